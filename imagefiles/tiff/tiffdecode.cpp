#include "imagefiles/tiff/tiffcodec.h"

#include "imagefiles/colour/cmyk.h"
#include "imagefiles/colour/profile.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/qtreader/qtreader.h"
#include "imagefiles/tiff/memorytiff.h"
#include "imagefiles/tiff/tiffsamples.h"

#include <QColorSpace>

#include <tiffio.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zentavo::decoders {

namespace {

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
LoadResult decodeTiff(const QByteArray& bytes) {
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
    const TiffLayout layout = tiffLayoutFor(tiff);
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
            read = TIFFIsTiled(tiff) ? readTiffTiles(tiff, layout, image)
                                     : readTiffStrips(tiff, layout, image);
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
    if (layout.cmyk) {
        // The inks become the picture's CMYK samples and, through their profile when it is a
        // CMYK one, its RGB pixels; a CMYK profile never sits on RGB pixels.
        try {
            QImage inks = std::move(result.picture.image);
            setCmykPicture(result.picture, std::move(inks),
                           profileFitsPixels(icc, PixelModel::Cmyk) ? icc : QByteArray());
        } catch (const std::bad_alloc&) {
            return LoadResult::failure(
                LoadError::OutOfMemory,
                QStringLiteral("There is not enough memory for the picture."));
        }
        return result;
    }
    const bool grey = result.picture.image.format() == QImage::Format_Grayscale8 ||
                      result.picture.image.format() == QImage::Format_Grayscale16;
    if (profileFitsPixels(icc, grey ? PixelModel::Grey : PixelModel::Rgb)) {
        result.picture.iccProfile = icc;
        const QColorSpace space = QColorSpace::fromIccProfile(icc);
        if (space.isValid()) {
            result.picture.image.setColorSpace(space);
        }
    }
    return result;
}

}  // namespace zentavo::decoders
