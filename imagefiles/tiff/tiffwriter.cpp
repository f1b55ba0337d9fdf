#include "imagefiles/tiff/tiffcodec.h"

#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"
#include "imagefiles/tiff/memorytiff.h"
#include "imagefiles/tiff/tiffxmp.h"

#include <tiffio.h>

#include <algorithm>
#include <vector>

#include <cstring>
#include <memory>

namespace zentavo {

namespace {

// How the picture's samples go into the file.
struct Layout {
    QImage pixels;    // converted so that each row is the TIFF row, native byte order
    int samples = 3;  // per pixel
    int bits = 8;     // per sample
    int alpha = -1;   // EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA, -1 without alpha
    bool grey = false;
    int photometric = -1;  // set for 1-bit and palette pictures; else from grey
    int compression = COMPRESSION_ADOBE_DEFLATE;
    bool predictor = true;
    bool floating = false;            // 32-bit floating-point samples
    std::vector<uint16_t> colourMap;  // red, green and blue thirds, for a palette picture
};

bool blackAndWhite(const QList<QRgb>& table) {
    bool black = false;
    for (const QRgb colour : table) {
        if (colour == qRgb(0, 0, 0)) {
            black = true;
        } else if (colour != qRgb(255, 255, 255)) {
            return false;
        }
    }
    return black && table.size() <= 2;
}

bool opaque(const QList<QRgb>& table) {
    return std::all_of(table.begin(), table.end(), [](QRgb c) { return qAlpha(c) == 255; });
}

// A picture of few colours stays in its kind: black and white as 1 bit a pixel (CCITT Group 4
// when the file it came from used a CCITT code, a fit for scanned pages), other colour tables as
// a palette. The rows hold packed bits or indices.
bool layoutForIndexed(const QImage& image, int sourceCompression, Layout& layout) {
    const bool indexed = image.format() == QImage::Format_Mono ||
                         image.format() == QImage::Format_MonoLSB ||
                         image.format() == QImage::Format_Indexed8;
    if (!indexed || image.colorTable().isEmpty() || !opaque(image.colorTable())) {
        return false;
    }
    const QImage indices = image.convertToFormat(QImage::Format_Indexed8);
    requireAllocated(indices);
    const QList<QRgb> table = indices.colorTable();
    layout.samples = 1;
    layout.predictor = false;
    if (blackAndWhite(table)) {
        // Bit 1 is black, as fax pages store it.
        layout.pixels = QImage(indices.size(), QImage::Format_Mono);
        requireAllocated(layout.pixels);
        layout.pixels.fill(0);
        for (int y = 0; y < indices.height(); ++y) {
            const uchar* in = indices.constScanLine(y);
            uchar* out = layout.pixels.scanLine(y);
            for (int x = 0; x < indices.width(); ++x) {
                if (in[x] < table.size() && table[in[x]] == qRgb(0, 0, 0)) {
                    out[x >> 3] |= uchar(0x80 >> (x & 7));
                }
            }
        }
        layout.bits = 1;
        layout.photometric = PHOTOMETRIC_MINISWHITE;
        const bool ccitt = sourceCompression == COMPRESSION_CCITTRLE ||
                           sourceCompression == COMPRESSION_CCITTFAX3 ||
                           sourceCompression == COMPRESSION_CCITTFAX4;
        layout.compression = ccitt ? COMPRESSION_CCITTFAX4 : COMPRESSION_ADOBE_DEFLATE;
        return true;
    }
    layout.pixels = indices;
    layout.bits = 8;
    layout.photometric = PHOTOMETRIC_PALETTE;
    layout.colourMap.assign(3 * 256, 0);
    for (int i = 0; i < table.size() && i < 256; ++i) {
        layout.colourMap[i] = uint16_t(qRed(table[i]) * 257);
        layout.colourMap[256 + i] = uint16_t(qGreen(table[i]) * 257);
        layout.colourMap[512 + i] = uint16_t(qBlue(table[i]) * 257);
    }
    return true;
}

Layout layoutFor(const QImage& image, int sourceCompression) {
    Layout layout;
    if (layoutForIndexed(image, sourceCompression, layout)) {
        return layout;
    }
    const QImage::Format format = image.format();
    if (image.pixelFormat().typeInterpretation() == QPixelFormat::FloatingPoint) {
        // Floating-point pixels stay floating point, 32 bits a sample.
        const bool alpha = image.hasAlphaChannel();
        const bool premultiplied =
            image.pixelFormat().premultiplied() == QPixelFormat::Premultiplied;
        layout.pixels =
            image.convertToFormat(!alpha          ? QImage::Format_RGBX32FPx4
                                  : premultiplied ? QImage::Format_RGBA32FPx4_Premultiplied
                                                  : QImage::Format_RGBA32FPx4);
        layout.samples = alpha ? 4 : 3;
        layout.bits = 32;
        layout.floating = true;
        if (alpha) {
            layout.alpha = premultiplied ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        }
        return layout;
    }
    const bool deep = image.pixelFormat().redSize() > 8 || format == QImage::Format_Grayscale16;
    if (format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16) {
        layout.pixels = image;
        layout.samples = 1;
        layout.bits = format == QImage::Format_Grayscale16 ? 16 : 8;
        layout.grey = true;
        return layout;
    }
    if (image.hasAlphaChannel()) {
        // Keep premultiplied pixels premultiplied: converting them would round the colours of
        // translucent pixels.
        const bool premultiplied =
            image.pixelFormat().premultiplied() == QPixelFormat::Premultiplied;
        QImage::Format target;
        if (deep) {
            target = premultiplied ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64;
        } else {
            target =
                premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888;
        }
        layout.pixels = image.convertToFormat(target);
        layout.samples = 4;
        layout.bits = deep ? 16 : 8;
        layout.alpha = premultiplied ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        return layout;
    }
    if (deep) {
        // RGBX64 has a fourth sample that is not alpha; the rows are packed to three below.
        layout.pixels = image.convertToFormat(QImage::Format_RGBX64);
        layout.bits = 16;
    } else {
        layout.pixels = image.convertToFormat(QImage::Format_RGB888);
    }
    return layout;
}

}  // namespace

QByteArray encodeTiff(const Picture& picture) {
    requirePixels(picture);
    Layout layout;
    if (!picture.cmyk.isNull()) {
        // Ink samples as TIFF stores them: 0 is no ink; 8 or 16 bits as the file had them.
        layout.pixels = picture.cmyk.copy();
        requireAllocated(layout.pixels);
        layout.pixels.invertPixels(QImage::InvertRgba);
        layout.samples = 4;
        layout.bits = picture.cmyk.format() == QImage::Format_RGBA64 ? 16 : 8;
        layout.photometric = PHOTOMETRIC_SEPARATED;
    } else {
        layout = layoutFor(picture.image, metadataTiffCompression(picture.metadata.get()));
    }
    requireAllocated(layout.pixels);
    // LZW is what every TIFF reader knows (baseline TIFF); deflate is kept for the files that
    // came as deflate.
    const int sourceCompression = metadataTiffCompression(picture.metadata.get());
    if (layout.compression == COMPRESSION_ADOBE_DEFLATE &&
        sourceCompression != COMPRESSION_ADOBE_DEFLATE &&
        sourceCompression != COMPRESSION_DEFLATE) {
        layout.compression = COMPRESSION_LZW;
    }
    const int width = layout.pixels.width();
    const int height = layout.pixels.height();
    // RGBX64 and RGBX32FPx4 rows carry a fourth sample that is not alpha: packed to three.
    const int packedSampleBytes = layout.pixels.format() == QImage::Format_RGBX64       ? 2
                                  : layout.pixels.format() == QImage::Format_RGBX32FPx4 ? 4
                                                                                        : 0;

    MemoryTiffFile stream;
    TIFF* tiff = openMemoryTiffFile(stream, "wm");
    if (!tiff) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("The TIFF encoder cannot start: ") + stream.error};
    }
    std::unique_ptr<TIFF, decltype(&TIFFClose)> closer(tiff, &TIFFClose);

    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(layout.samples));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits));
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const int photometric = layout.photometric >= 0 ? layout.photometric
                            : layout.grey           ? PHOTOMETRIC_MINISBLACK
                                                    : PHOTOMETRIC_RGB;
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(photometric));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(layout.compression));
    if (layout.floating) {
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    }
    if (layout.predictor) {
        TIFFSetField(tiff, TIFFTAG_PREDICTOR,
                     layout.floating ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    }
    if (!layout.colourMap.empty()) {
        TIFFSetField(tiff, TIFFTAG_COLORMAP, layout.colourMap.data(), layout.colourMap.data() + 256,
                     layout.colourMap.data() + 512);
    }
    if (layout.alpha >= 0) {
        const uint16_t extra = uint16_t(layout.alpha);
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    // The resolution as the file it came from stated it, in its unit; none when it stated none.
    const Resolution resolution = outputResolution(picture).inInchesOrCentimetres();
    if (resolution.valid()) {
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT,
                     resolution.unit == Resolution::Unit::Inch ? RESUNIT_INCH : RESUNIT_CENTIMETER);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(resolution.x()));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(resolution.y()));
    }
    if (layout.photometric == PHOTOMETRIC_SEPARATED) {
        TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    }
    const QByteArray icc = picture.cmyk.isNull() ? iccProfileOf(picture) : picture.cmykProfile;
    if (!icc.isEmpty()) {
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.constData());
    }
    // A Group 4 page is coded as one strip, as fax pages are.
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                 layout.compression == COMPRESSION_CCITTFAX4 ? uint32_t(height)
                                                             : TIFFDefaultStripSize(tiff, 0));

    const qsizetype rowBytes = (qsizetype(width) * layout.samples * layout.bits + 7) / 8;
    QByteArray row(rowBytes, Qt::Uninitialized);
    for (int y = 0; y < height; ++y) {
        const uchar* line = layout.pixels.constScanLine(y);
        if (packedSampleBytes > 0) {
            const qsizetype pixel = 3 * packedSampleBytes;
            for (int x = 0; x < width; ++x) {
                std::memcpy(row.data() + x * pixel, line + qsizetype(x) * 4 * packedSampleBytes,
                            size_t(pixel));
            }
        } else {
            std::memcpy(row.data(), line, size_t(rowBytes));
        }
        // libtiff's predictor works in place on the buffer it is given, so it gets a copy.
        if (TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) < 0) {
            throw WriteFailure{GdiplusStatus::GenericError,
                               QStringLiteral("The TIFF encoder failed: ") + stream.error};
        }
    }
    if (!TIFFWriteDirectory(tiff)) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The TIFF encoder failed: ") + stream.error};
    }
    closer.reset();
    return withXmpPacket(
        withTiffMetadata(stream.bytes, picture),
        xmpPacketFor(picture.metadata.get(),
                     OutputPicture{picture.image.size(), picture.axesSwapped, {}}));
}

}  // namespace zentavo
