#include "imagefiles/tiff/tiffsamples.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace zentavo::decoders {

namespace {

// The largest tile buffer read, in bytes; real files use tiles of 256 x 256 or 512 x 512.
constexpr qint64 MaxTileBytes = qint64(64) << 20;

QList<QRgb> greyRamp(int bits, bool whiteIsZero) {
    const int entries = 1 << bits;
    QList<QRgb> table;
    for (int i = 0; i < entries; ++i) {
        const int grey = (whiteIsZero ? entries - 1 - i : i) * 255 / (entries - 1);
        table.append(qRgb(grey, grey, grey));
    }
    return table;
}

// The colour map of a palette file. Some writers store 8-bit values in the 16-bit map; like
// libtiff's own reader, a map with no value above 255 is taken as such.
QList<QRgb> colourMap(TIFF* tiff, int bits) {
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    const int entries = 1 << bits;
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        return table;
    }
    bool eightBit = true;
    for (int i = 0; i < entries && eightBit; ++i) {
        eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
    }
    for (int i = 0; i < entries; ++i) {
        table[i] = eightBit ? qRgb(red[i], green[i], blue[i])
                            : qRgb(red[i] >> 8, green[i] >> 8, blue[i] >> 8);
    }
    return table;
}

// CMYK ink samples of 8 or 16 bits in any layout (strips or tiles, together or in planes),
// inverted as the picture keeps them (the maximum is no ink); further samples are left out.
TiffLayout cmykLayout(int bits, int samples, bool separate) {
    TiffLayout layout;
    layout.format = bits == 16 ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    layout.bits = bits;
    layout.samples = samples;
    layout.separate = separate;
    layout.invert = true;
    layout.cmyk = true;
    layout.channels = 4;
    layout.targets.assign(size_t(samples), {});
    for (int ink = 0; ink < 4; ++ink) {
        layout.targets[size_t(ink)] = {ink};
    }
    return layout;
}

}  // namespace

TiffLayout tiffLayoutFor(TIFF* tiff) {
    uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    TiffLayout layout;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) ||
        compression == COMPRESSION_OJPEG || samples == 0) {
        return layout;
    }
    const bool floating = sampleFormat == SAMPLEFORMAT_IEEEFP && bits == 32 &&
                          (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_MINISBLACK);
    if (sampleFormat != SAMPLEFORMAT_UINT && !floating) {
        return layout;
    }
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG &&
        planar == PLANARCONFIG_CONTIG && bits == 8 && samples == 3) {
        // The JPEG codec converts to RGB and undoes the subsampling itself.
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    if (photometric == PHOTOMETRIC_SEPARATED) {
        // The colour model decides: CMYK inks are read as inks, whatever profile comes with
        // them; other ink sets go to libtiff.
        uint16_t inkSet = INKSET_CMYK;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
        if (inkSet == INKSET_CMYK && samples >= 4 && (bits == 8 || bits == 16)) {
            return cmykLayout(bits, samples, planar == PLANARCONFIG_SEPARATE);
        }
        return layout;
    }
    layout.bits = bits;
    layout.samples = samples;
    layout.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : photometric == PHOTOMETRIC_RGB ? 3 : 0;
    if (photometric == PHOTOMETRIC_PALETTE && samples == 1 && bits <= 8) {
        layout.format = QImage::Format_Indexed8;
        layout.colourTable = colourMap(tiff, bits);
        layout.targets = {{0}};
        return layout;
    }
    if (colours == 0 || samples < colours) {
        return layout;
    }
    // The first extra sample is alpha. RGB with a fourth sample that no ExtraSamples tag
    // describes is taken as associated alpha, as libtiff's RGBA reader does; libtiff itself
    // reports such a sample as unspecified.
    const bool alpha = samples > colours && (extraCount > 0 || (colours == 3 && samples == 4));
    const int extraType = extraCount > 0 ? extraTypes[0] : EXTRASAMPLE_UNSPECIFIED;
    const bool associated =
        alpha && (extraType == EXTRASAMPLE_ASSOCALPHA ||
                  (extraType == EXTRASAMPLE_UNSPECIFIED && colours == 3 && samples == 4));
    layout.invert = photometric == PHOTOMETRIC_MINISWHITE;
    if (grey && !alpha && bits < 8 && (bits == 1 || bits == 2 || bits == 4)) {
        layout.format = QImage::Format_Indexed8;
        layout.colourTable = greyRamp(bits, layout.invert);
        layout.invert = false;  // the ramp runs from white
        layout.targets = {{0}};
        return layout;
    }
    if (bits != 8 && bits != 16 && !floating) {
        return layout;
    }
    const bool wide = bits == 16;
    layout.targets.assign(samples, {});
    layout.floating = floating;
    if (floating) {
        // Qt holds floating-point pixels with four samples: grey is spread over three.
        layout.format = !alpha       ? QImage::Format_RGBX32FPx4
                        : associated ? QImage::Format_RGBA32FPx4_Premultiplied
                                     : QImage::Format_RGBA32FPx4;
        layout.channels = 4;
        layout.opaqueFill = !alpha;
        if (alpha) {
            layout.targets[colours] = {3};
        }
    } else if (alpha) {
        layout.format =
            wide ? (associated ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64)
                 : (associated ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
        layout.channels = 4;
        layout.targets[colours] = {3};
    } else if (grey) {
        layout.format = wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    } else {
        layout.format = wide ? QImage::Format_RGBX64 : QImage::Format_RGB888;
        layout.channels = wide ? 4 : 3;
        layout.opaqueFill = wide;
    }
    if (grey) {
        layout.targets[0] = layout.channels == 1 ? std::vector<int>{0} : std::vector<int>{0, 1, 2};
    } else {
        layout.targets[0] = {0};
        layout.targets[1] = {1};
        layout.targets[2] = {2};
    }
    return layout;
}

// The sample that means full intensity: all bits set, or 1 for floating point.
namespace {

template <typename Sample>
constexpr Sample topSample() {
    if constexpr (std::is_floating_point_v<Sample>) {
        return Sample(1);
    } else {
        return Sample(~Sample(0));
    }
}

template <typename Sample>
void scatterSamples(const TiffLayout& layout, const uchar* source, int sourceSamples,
                    int firstSample, int count, uchar* row, int x0) {
    const auto* in = reinterpret_cast<const Sample*>(source);
    auto* out = reinterpret_cast<Sample*>(row) + qsizetype(x0) * layout.channels;
    constexpr Sample Top = topSample<Sample>();
    for (int s = 0; s < sourceSamples; ++s) {
        const std::vector<int>& targets = layout.targets[size_t(firstSample + s)];
        if (targets.empty()) {
            continue;
        }
        const bool invert = layout.invert && (layout.cmyk || targets.front() != 3);
        for (int x = 0; x < count; ++x) {
            Sample value = in[qsizetype(x) * sourceSamples + s];
            if (invert) {
                value = Sample(Top - value);
            }
            for (const int channel : targets) {
                out[qsizetype(x) * layout.channels + channel] = value;
            }
        }
    }
    if (layout.opaqueFill) {
        for (int x = 0; x < count; ++x) {
            out[qsizetype(x) * layout.channels + 3] = Top;
        }
    }
}

// Puts count pixels of one row, starting at column x0, from source: every sample of a pixel
// (sourceSamples == layout.samples) or the one sample firstSample of a plane.
void putPixels(const TiffLayout& layout, const uchar* source, int sourceSamples, int firstSample,
               int count, QImage& image, int y, int x0) {
    uchar* row = image.scanLine(y);
    if (layout.bits < 8) {
        const int perByte = 8 / layout.bits;
        const int mask = (1 << layout.bits) - 1;
        for (int x = 0; x < count; ++x) {
            const int shift = 8 - layout.bits * (x % perByte + 1);
            row[x0 + x] = uchar((source[x / perByte] >> shift) & mask);
        }
    } else if (layout.bits == 8) {
        scatterSamples<uchar>(layout, source, sourceSamples, firstSample, count, row, x0);
    } else if (layout.floating) {
        scatterSamples<float>(layout, source, sourceSamples, firstSample, count, row, x0);
    } else {
        scatterSamples<quint16>(layout, source, sourceSamples, firstSample, count, row, x0);
    }
}

qsizetype packedBytes(qint64 pixels, int samples, int bits) {
    return qsizetype((pixels * samples * bits + 7) / 8);
}

}  // namespace

bool readTiffStrips(TIFF* tiff, const TiffLayout& layout, QImage& image) {
    const int planes = layout.separate ? layout.samples : 1;
    const int perPlane = layout.separate ? 1 : layout.samples;
    if (TIFFScanlineSize(tiff) != packedBytes(image.width(), perPlane, layout.bits)) {
        return false;
    }
    std::vector<uchar> line(size_t(TIFFScanlineSize(tiff)), 0);
    // Within a plane the rows are read in order, so no strip is decoded twice.
    for (int plane = 0; plane < planes; ++plane) {
        for (int y = 0; y < image.height(); ++y) {
            if (TIFFReadScanline(tiff, line.data(), uint32_t(y), uint16_t(plane)) < 0) {
                return false;
            }
            putPixels(layout, line.data(), perPlane, plane, image.width(), image, y, 0);
        }
    }
    return true;
}

bool readTiffTiles(TIFF* tiff, const TiffLayout& layout, QImage& image) {
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const int planes = layout.separate ? layout.samples : 1;
    const int perPlane = layout.separate ? 1 : layout.samples;
    const qsizetype tileRowBytes = packedBytes(tileWidth, perPlane, layout.bits);
    const qint64 tileBytes = qint64(tileRowBytes) * tileHeight;
    // A tile is a small part of the picture; a header claiming huge tiles is refused before the
    // buffer is allocated.
    if (tileWidth == 0 || tileHeight == 0 || tileBytes != qint64(TIFFTileSize(tiff)) ||
        tileBytes > MaxTileBytes) {
        return false;
    }
    std::vector<uchar> tile(size_t(tileBytes), 0);
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < uint32_t(image.height()); y += tileHeight) {
            for (uint32_t x = 0; x < uint32_t(image.width()); x += tileWidth) {
                if (TIFFReadTile(tiff, tile.data(), x, y, 0, uint16_t(plane)) < 0) {
                    return false;
                }
                const uint32_t rows = std::min<uint32_t>(tileHeight, uint32_t(image.height()) - y);
                const uint32_t columns = std::min<uint32_t>(tileWidth, uint32_t(image.width()) - x);
                for (uint32_t row = 0; row < rows; ++row) {
                    putPixels(layout, tile.data() + qsizetype(row) * tileRowBytes, perPlane, plane,
                              int(columns), image, int(y + row), int(x));
                }
            }
        }
    }
    return true;
}

}  // namespace zentavo::decoders
