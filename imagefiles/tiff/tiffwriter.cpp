#include "imagefiles/tiff/tiffcodec.h"

#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <cstring>
#include <memory>

namespace zentavo {

namespace {

// The TIFF file grows in memory; libtiff seeks back to patch offsets, so it needs a file-like
// stream rather than an append-only one.
struct MemoryStream {
    QByteArray bytes;
    qint64 position = 0;
    QString error;
};

tmsize_t streamRead(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<MemoryStream*>(handle);
    const qint64 available = qMax<qint64>(0, s->bytes.size() - s->position);
    const qint64 count = qMin<qint64>(available, size);
    std::memcpy(data, s->bytes.constData() + s->position, size_t(count));
    s->position += count;
    return tmsize_t(count);
}

tmsize_t streamWrite(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<MemoryStream*>(handle);
    try {
        if (s->position + size > s->bytes.size()) {
            s->bytes.resize(s->position + size);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(s->bytes.data() + s->position, data, size_t(size));
    s->position += size;
    return size;
}

toff_t streamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<MemoryStream*>(handle);
    qint64 base = 0;
    if (whence == SEEK_CUR) {
        base = s->position;
    } else if (whence == SEEK_END) {
        base = s->bytes.size();
    }
    s->position = base + qint64(offset);
    return toff_t(s->position);
}

int streamClose(thandle_t) {
    return 0;
}

toff_t streamSize(thandle_t handle) {
    return toff_t(static_cast<MemoryStream*>(handle)->bytes.size());
}

int recordError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    auto* s = static_cast<MemoryStream*>(user);
    if (s->error.isEmpty()) {
        s->error = QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") +
                   QString::fromLocal8Bit(text);
    }
    return 1;
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

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
        // Ink samples as TIFF stores them: 0 is no ink.
        layout.pixels = picture.cmyk.copy();
        requireAllocated(layout.pixels);
        layout.pixels.invertPixels(QImage::InvertRgba);
        layout.samples = 4;
        layout.photometric = PHOTOMETRIC_SEPARATED;
    } else {
        layout = layoutFor(picture.image, metadataTiffCompression(picture.metadata.get()));
    }
    requireAllocated(layout.pixels);
    const int width = layout.pixels.width();
    const int height = layout.pixels.height();
    const bool packRgbx = layout.pixels.format() == QImage::Format_RGBX64;

    MemoryStream stream;
    std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), recordError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreWarning, nullptr);
    // "m": no memory mapping, which a growing in-memory stream cannot offer.
    TIFF* tiff = TIFFClientOpenExt("output", "wm", &stream, streamRead, streamWrite, streamSeek,
                                   streamClose, streamSize, nullptr, nullptr, options.get());
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
    if (layout.predictor) {
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (!layout.colourMap.empty()) {
        TIFFSetField(tiff, TIFFTAG_COLORMAP, layout.colourMap.data(), layout.colourMap.data() + 256,
                     layout.colourMap.data() + 512);
    }
    if (layout.alpha >= 0) {
        const uint16_t extra = uint16_t(layout.alpha);
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    const QImage& source = picture.image;
    if (source.dotsPerMeterX() > 0 && source.dotsPerMeterY() > 0) {
        // Whole dots per inch (72, 300) are written in inches, as the file they came from most
        // likely stated them; anything else in centimetres.
        const double xInch = source.dotsPerMeterX() * 0.0254;
        const double yInch = source.dotsPerMeterY() * 0.0254;
        const bool inches = std::abs(xInch - std::round(xInch)) < 0.01 &&
                            std::abs(yInch - std::round(yInch)) < 0.01;
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, inches ? RESUNIT_INCH : RESUNIT_CENTIMETER);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION,
                     float(inches ? std::round(xInch) : source.dotsPerMeterX() / 100.0));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION,
                     float(inches ? std::round(yInch) : source.dotsPerMeterY() / 100.0));
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
        if (packRgbx) {
            const auto* in = reinterpret_cast<const quint16*>(line);
            auto* out = reinterpret_cast<quint16*>(row.data());
            for (int x = 0; x < width; ++x) {
                out[3 * x] = in[4 * x];
                out[3 * x + 1] = in[4 * x + 1];
                out[3 * x + 2] = in[4 * x + 2];
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
    return stream.bytes;
}

}  // namespace zentavo
