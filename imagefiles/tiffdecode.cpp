#include "imagefiles/decoders.h"
#include "imagefiles/limits.h"

#include <QColorSpace>

#include <tiffio.h>

#include <cstring>
#include <new>
#include <vector>

namespace zentavo::decoders {

namespace {

// The largest tile buffer read, in bytes; real files use tiles of 256 x 256 or 512 x 512.
constexpr qint64 MaxTileBytes = qint64(64) << 20;

// libtiff reads the file from memory through these callbacks.
struct MemoryFile {
    const QByteArray* bytes;
    toff_t position = 0;
    QString lastError;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    const auto total = toff_t(file->bytes->size());
    if (file->position >= total || size <= 0) {
        return 0;
    }
    const tmsize_t count = tmsize_t(std::min<toff_t>(toff_t(size), total - file->position));
    std::memcpy(buffer, file->bytes->constData() + file->position, size_t(count));
    file->position += toff_t(count);
    return count;
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    const auto total = toff_t(file->bytes->size());
    const toff_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? total : 0;
    file->position = base + offset;
    return file->position;
}

int closeNothing(thandle_t) {
    return 0;
}
toff_t sizeOfMemory(thandle_t handle) {
    return toff_t(static_cast<MemoryFile*>(handle)->bytes->size());
}

int keepError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<MemoryFile*>(user)->lastError = QString::fromLocal8Bit(module ? module : "") +
                                                QStringLiteral(": ") + QString::fromLocal8Bit(text);
    return 1;  // handled: libtiff's global handler stays quiet
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    TIFF* tiff;
    ~TiffCloser() { TIFFClose(tiff); }
};

// The Qt format that holds this layout exactly, or Invalid when libtiff's scanlines cannot be
// taken as they are and Qt's reader should try.
QImage::Format formatFor(TIFF* tiff, bool& invertGrey) {
    uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) || planar != PLANARCONFIG_CONTIG ||
        sampleFormat != SAMPLEFORMAT_UINT || (bits != 8 && bits != 16)) {
        return QImage::Format_Invalid;
    }
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    const bool wide = bits == 16;
    invertGrey = photometric == PHOTOMETRIC_MINISWHITE;
    if ((photometric == PHOTOMETRIC_MINISBLACK || invertGrey) && samples == 1) {
        return wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    }
    if (photometric != PHOTOMETRIC_RGB) {
        return QImage::Format_Invalid;
    }
    if (samples == 3 && extraCount == 0) {
        return wide ? QImage::Format_Invalid : QImage::Format_RGB888;
    }
    if (samples == 4 && extraCount == 1) {
        if (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA) {
            return wide ? QImage::Format_RGBA64_Premultiplied
                        : QImage::Format_RGBA8888_Premultiplied;
        }
        return wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    }
    return QImage::Format_Invalid;
}

bool readScanlines(TIFF* tiff, QImage& image, bool invertGrey) {
    const qsizetype lineBytes = TIFFScanlineSize(tiff);
    const qsizetype needed = qsizetype(image.width()) * image.depth() / 8;
    if (lineBytes != needed) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        if (TIFFReadScanline(tiff, image.scanLine(y), uint32_t(y), 0) < 0) {
            return false;
        }
    }
    if (invertGrey) {
        image.invertPixels();
    }
    return true;
}

// Tiles are read one by one and copied into place; the tiles at the right and bottom edges reach
// past the picture and are cut. Qt's reader fails on tiled RGB files, so these stay here.
bool readTiles(TIFF* tiff, QImage& image, bool invertGrey) {
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const qsizetype pixelBytes = image.depth() / 8;
    const qint64 tileBytes = qint64(tileWidth) * tileHeight * pixelBytes;
    // A tile is a small part of the picture; a header claiming huge tiles is refused before the
    // buffer is allocated.
    if (tileWidth == 0 || tileHeight == 0 || tileBytes != qint64(TIFFTileSize(tiff)) ||
        tileBytes > MaxTileBytes) {
        return false;
    }
    std::vector<uchar> tile(size_t(tileBytes), 0);
    for (uint32_t y = 0; y < uint32_t(image.height()); y += tileHeight) {
        for (uint32_t x = 0; x < uint32_t(image.width()); x += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), x, y, 0, 0) < 0) {
                return false;
            }
            const uint32_t rows = std::min<uint32_t>(tileHeight, uint32_t(image.height()) - y);
            const uint32_t columns = std::min<uint32_t>(tileWidth, uint32_t(image.width()) - x);
            for (uint32_t row = 0; row < rows; ++row) {
                std::memcpy(image.scanLine(int(y + row)) + x * pixelBytes,
                            tile.data() + qsizetype(row) * tileWidth * pixelBytes,
                            size_t(columns) * size_t(pixelBytes));
            }
        }
    }
    if (invertGrey) {
        image.invertPixels();
    }
    return true;
}

}  // namespace

LoadResult decodeTiff(const QByteArray& bytes) {
    MemoryFile memory{&bytes, 0, {}};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepError, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, &memory);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(limits::MaxDecodedBytes));
    TIFF* tiff = TIFFClientOpenExt("memory", "rm", &memory, readMemory, writeNothing, seekMemory,
                                   closeNothing, sizeOfMemory, nullptr, nullptr, options);
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
    bool invertGrey = false;
    const QImage::Format format = formatFor(tiff, invertGrey);
    LoadResult result;
    if (format == QImage::Format_Invalid) {
        result = decodeWithQt(bytes, PictureFormat::Tiff);
    } else {
        try {
            QImage image(int(width), int(height), format);
            if (image.isNull()) {
                throw std::bad_alloc();
            }
            const bool read = TIFFIsTiled(tiff) ? readTiles(tiff, image, invertGrey)
                                                : readScanlines(tiff, image, invertGrey);
            if (!read) {
                return LoadResult::failure(
                    LoadError::Corrupt,
                    QStringLiteral("The TIFF data is damaged or incomplete (%1).")
                        .arg(memory.lastError));
            }
            result.picture.image = std::move(image);
        } catch (const std::bad_alloc&) {
            return LoadResult::failure(
                LoadError::OutOfMemory,
                QStringLiteral("There is not enough memory for the picture."));
        }
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

}  // namespace zentavo::decoders
