#include "imagefiles/tiff/tiffcodec.h"

#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/qtreader/qtreader.h"
#include "imagefiles/tiff/memorytiff.h"
#include "imagefiles/tiff/tiffcmyk.h"

#include <QColorSpace>

#include <tiffio.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zentavo::decoders {

namespace {

// The largest tile buffer read, in bytes; real files use tiles of 256 x 256 or 512 x 512.
constexpr qint64 MaxTileBytes = qint64(64) << 20;

// The file in memory, and the last error libtiff gave while reading it.
struct MemoryFile {
    MemoryTiffSource source;
    QString lastError;
};

int keepError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const QString message = QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") +
                            QString::fromLocal8Bit(text);
    static_cast<MemoryFile*>(user)->lastError = message;
    libraryMessage(MessageSource::Tiff, true, message);
    return 1;  // handled: libtiff's process-wide handler stays quiet
}

int passWarning(TIFF*, void*, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    libraryMessage(MessageSource::Tiff, false,
                   QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") +
                       QString::fromLocal8Bit(text));
    return 1;
}

struct TiffCloser {
    TIFF* tiff;
    ~TiffCloser() { TIFFClose(tiff); }
};

// How the samples of a file land in a picture: the Qt format, and for each sample of a pixel
// the channels of the picture it fills (grey fills red, green and blue).
struct Layout {
    QImage::Format format = QImage::Format_Invalid;
    int bits = 8;
    int samples = 1;                        // samples a pixel in the file
    bool separate = false;                  // one plane a sample
    bool invert = false;                    // white is zero: colour samples are inverted
    bool opaqueFill = false;                // Format_RGBX64: the fourth channel is set to opaque
    int channels = 1;                       // channels a pixel in the picture
    std::vector<std::vector<int>> targets;  // for each file sample, its picture channels
    QList<QRgb> colourTable;                // for indexed pictures
};

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

// The layout that holds this file's samples exactly, or Invalid when only libtiff's RGBA
// interface reads it (subsampled YCbCr, CMYK, CIE Lab, LogLuv, old-style JPEG, odd depths).
Layout layoutFor(TIFF* tiff) {
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
    Layout layout;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) ||
        sampleFormat != SAMPLEFORMAT_UINT || compression == COMPRESSION_OJPEG || samples == 0) {
        return layout;
    }
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG &&
        planar == PLANARCONFIG_CONTIG && bits == 8 && samples == 3) {
        // The JPEG codec converts to RGB and undoes the subsampling itself.
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
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
    if (bits != 8 && bits != 16) {
        return layout;
    }
    const bool wide = bits == 16;
    layout.targets.assign(samples, {});
    if (alpha) {
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

template <typename Sample>
void scatterSamples(const Layout& layout, const uchar* source, int sourceSamples, int firstSample,
                    int count, uchar* row, int x0) {
    const auto* in = reinterpret_cast<const Sample*>(source);
    auto* out = reinterpret_cast<Sample*>(row) + qsizetype(x0) * layout.channels;
    constexpr Sample Top = Sample(~Sample(0));
    for (int s = 0; s < sourceSamples; ++s) {
        const std::vector<int>& targets = layout.targets[size_t(firstSample + s)];
        if (targets.empty()) {
            continue;
        }
        const bool invert = layout.invert && targets.front() != 3;
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
void putPixels(const Layout& layout, const uchar* source, int sourceSamples, int firstSample,
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
    } else {
        scatterSamples<quint16>(layout, source, sourceSamples, firstSample, count, row, x0);
    }
}

qsizetype packedBytes(qint64 pixels, int samples, int bits) {
    return qsizetype((pixels * samples * bits + 7) / 8);
}

bool readStrips(TIFF* tiff, const Layout& layout, QImage& image) {
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

// Tiles are read one by one and copied into place; the tiles at the right and bottom edges reach
// past the picture and are cut.
bool readTiles(TIFF* tiff, const Layout& layout, QImage& image) {
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

enum class RgbaRead { Refused, Failed, Read };

// libtiff's RGBA interface, for the layouts it converts (subsampled YCbCr, CMYK, CIE Lab,
// LogLuv, old-style JPEG): 8-bit RGBA with alpha associated. The rows come as stored, like the
// other routes, for the orientation to be applied after.
RgbaRead readThroughRgba(TIFF* tiff, QImage& image, QString& error) {
    char message[1024] = {};
    TIFFRGBAImage rgba{};
    // Stop at the first error: a strip or tile that cannot be read is damage, not a gap to
    // leave in the picture.
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&rgba, tiff, 1, message)) {
        error = QString::fromLocal8Bit(message);
        return RgbaRead::Refused;
    }
    std::unique_ptr<TIFFRGBAImage, decltype(&TIFFRGBAImageEnd)> end(&rgba, &TIFFRGBAImageEnd);
    rgba.req_orientation = rgba.orientation;
    image =
        pooledImage(int(rgba.width), int(rgba.height),
                    rgba.alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    const bool read = image.bytesPerLine() == qsizetype(rgba.width) * 4 &&
                      TIFFRGBAImageGet(&rgba, reinterpret_cast<uint32_t*>(image.bits()), rgba.width,
                                       rgba.height) != 0;
    return read ? RgbaRead::Read : RgbaRead::Failed;
}

void readResolution(TIFF* tiff, QImage& image) {
    float x = 0;
    float y = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) ||
        !TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) || unit == RESUNIT_NONE || !(x > 0) ||
        !(y > 0) || x > 1e6f || y > 1e6f) {
        return;
    }
    const double perMetre = unit == RESUNIT_CENTIMETER ? 100.0 : 100.0 / 2.54;
    image.setDotsPerMeterX(int(x * perMetre + 0.5));
    image.setDotsPerMeterY(int(y * perMetre + 0.5));
}

}  // namespace

// The pixels, the ICC profile and the resolution of the first page.
static LoadResult decodeTiffPixels(const QByteArray& bytes) {
    MemoryFile memory{{&bytes}, {}};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepError, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options, passWarning, &memory);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(limits::MaxDecodedBytes));
    TIFF* tiff = openMemoryTiff(memory.source, options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        return LoadResult::failure(
            LoadError::Corrupt,
            QStringLiteral("The TIFF file cannot be read (%1).").arg(memory.lastError));
    }
    TiffCloser closer{tiff};
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    uint16_t samples = 1;
    uint16_t bits = 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    // Decoded through any route the picture takes at least 4 bytes a pixel, 8 for 16-bit.
    if (!limits::decodedSizeAllowed(width, height, bits > 8 ? 8 : 4)) {
        return LoadResult::failure(
            LoadError::TooBig,
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(width)
                .arg(height));
    }
    const int pages = TIFFNumberOfDirectories(tiff);
    QByteArray icc;
    uint32_t iccSize = 0;
    void* iccData = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &iccData) && iccData && iccSize > 0) {
        icc = QByteArray(static_cast<const char*>(iccData), qsizetype(iccSize));
    }
    const Layout layout = layoutFor(tiff);
    LoadResult result;
    try {
        QImage image;
        bool read = false;
        QString why;
        if (layout.format != QImage::Format_Invalid) {
            image = pooledImage(int(width), int(height), layout.format);
            if (image.isNull()) {
                throw std::bad_alloc();
            }
            image.setColorTable(layout.colourTable);
            read = TIFFIsTiled(tiff) ? readTiles(tiff, layout, image)
                                     : readStrips(tiff, layout, image);
        } else {
            const RgbaRead outcome = readThroughRgba(tiff, image, why);
            if (outcome == RgbaRead::Refused) {
                // What libtiff cannot convert (floating-point samples) Qt's reader may.
                return decodeWithQt(bytes, PictureFormat::Tiff);
            }
            read = outcome == RgbaRead::Read;
        }
        if (!read) {
            return LoadResult::failure(
                LoadError::Corrupt, QStringLiteral("The TIFF data is damaged or incomplete (%1).")
                                        .arg(memory.lastError.isEmpty() ? why : memory.lastError));
        }
        readResolution(tiff, image);
        result.picture.image = std::move(image);
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
    if (!result.ok()) {
        return result;
    }
    result.picture.format = PictureFormat::Tiff;
    result.picture.droppedPages = std::max(0, pages - 1);
    if (!icc.isEmpty()) {
        result.picture.iccProfile = icc;
        const QColorSpace space = QColorSpace::fromIccProfile(icc);
        if (space.isValid()) {
            result.picture.image.setColorSpace(space);
        }
    }
    return result;
}

LoadResult decodeTiff(const QByteArray& bytes) {
    LoadResult result = decodeTiffPixels(bytes);
    if (result.ok()) {
        readCmykTiff(bytes, result.picture);
    }
    return result;
}

}  // namespace zentavo::decoders
