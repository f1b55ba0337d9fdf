#include "imagefiles/loadpicfile.h"

#include "imagefiles/cmyk.h"
#include "imagefiles/decoders.h"
#include "imagefiles/filebytes.h"
#include "imagefiles/librarymessages.h"
#include "imagefiles/limits.h"
#include "imagefiles/metadata.h"
#include "imagefiles/transform.h"
#include "shell/report/dialogs.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>
#include <new>

namespace zentavo {

namespace {

// Enough of a file for every header the size probe reads (a JPEG's frame header may follow
// large EXIF and ICC segments). Most headers lie in the first FirstProbeBytes, which is all a
// probe reads of them: a run that skips its done files reads little of each.
constexpr qint64 FirstProbeBytes = 128 << 10;
constexpr qint64 HeaderProbeBytes = 1 << 20;

}  // namespace

LoadResult LoadResult::failure(LoadError error, const QString& reason) {
    LoadResult result;
    result.error = error;
    result.reason = reason;
    return result;
}

namespace {

LoadResult decodePicture(const QByteArray& bytes, PictureFormat format) {
    switch (format) {
        case PictureFormat::Jpeg:
            return decoders::decodeJpeg(bytes);
        case PictureFormat::Gif:
            return decoders::decodeGif(bytes);
        case PictureFormat::Tiff:
            return decoders::decodeTiff(bytes);
        case PictureFormat::Png:
            return decoders::decodePng(bytes);
        case PictureFormat::Bmp:
            return decoders::decodeWithQt(bytes, PictureFormat::Bmp);
        case PictureFormat::Ico:
            return decoders::decodeWithQt(bytes, PictureFormat::Ico);
        case PictureFormat::None:
            break;
    }
    return LoadResult::failure(
        LoadError::Unsupported,
        bytes.isEmpty() ? QStringLiteral("The file is empty.")
                        : QStringLiteral("The file is not a JPEG, GIF, PNG, TIFF, BMP or icon "
                                         "picture."));
}

// Keeps what the file holds besides its pixels with the picture, and makes the picture look as
// viewers show it: a TIFF's or PNG's orientation is applied here, a JPEG's by its decoder.
void attachMetadata(Picture& picture, const QByteArray& bytes, PictureFormat format) {
    picture.metadata = readMetadata(bytes, format);
    const Resolution resolution = metadataResolution(picture.metadata.get());
    if (resolution.valid()) {
        // Along the file's axes; the decoder may already have turned the picture.
        const int x = int(std::lround(resolution.dotsPerMetreX()));
        const int y = int(std::lround(resolution.dotsPerMetreY()));
        picture.image.setDotsPerMeterX(picture.axesSwapped ? y : x);
        picture.image.setDotsPerMeterY(picture.axesSwapped ? x : y);
    }
    if (format == PictureFormat::Tiff || format == PictureFormat::Png) {
        picture.orientation = metadataOrientation(picture.metadata.get());
        applyOrientation(picture, picture.orientation);
    }
}

}  // namespace

LoadResult loadPictureFromBytes(const QByteArray& bytes) {
    if (bytes.size() > limits::MaxInputFileBytes) {
        return LoadResult::failure(LoadError::TooBig, QStringLiteral("The file is too large."));
    }
    try {
        const PictureFormat format = sniffFormat(bytes);
        LoadResult result = decodePicture(bytes, format);
        if (result.ok() && format == PictureFormat::Tiff) {
            readCmykTiff(bytes, result.picture);
        }
        if (result.ok()) {
            attachMetadata(result.picture, bytes, format);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
}

LoadResult loadPicture(const QString& path) {
    QByteArray bytes;
    QString reason;
    const LoadError error = readRegularFile(path, limits::MaxInputFileBytes, bytes, reason);
    if (error != LoadError::None) {
        return LoadResult::failure(error, reason);
    }
    return loadPictureFromBytes(bytes);
}

namespace {

// The pixel size a file's head tells; none when it tells none.
std::optional<QSize> pictureSizeIn(QByteArray& head) {
    const PictureFormat format = sniffFormat(head);
    if (format == PictureFormat::Jpeg || format == PictureFormat::Png) {
        const QSize size = format == PictureFormat::Jpeg ? decoders::jpegHeaderSize(head)
                                                         : decoders::pngHeaderSize(head);
        if (size.isValid()) {
            return size;
        }
        return std::nullopt;
    }
    // Other formats keep their size near the start; a TIFF whose directory lies past the head
    // reports none. What Qt's plugins say about a damaged header is not for the terminal.
    LibraryMessages quiet;
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid()) {
        return size;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QSize> readPictureSize(const QString& path) {
    for (const qint64 probe : {FirstProbeBytes, HeaderProbeBytes}) {
        QByteArray head;
        QString reason;
        if (readFileHead(path, probe, head, reason) != LoadError::None) {
            return std::nullopt;
        }
        const std::optional<QSize> size = pictureSizeIn(head);
        // A file shorter than the probe was read whole: reading more finds nothing more.
        if (size || head.size() < probe) {
            return size;
        }
    }
    return std::nullopt;
}

bool LoadPicFile(Picture& surface, const QString& path, QString* failedList, bool showTooBig,
                 bool* tooBig, Dialogs* dialogs, const QString& appTitle) {
    surface.clear();
    LoadResult result = loadPicture(path);
    if (result.ok()) {
        surface = std::move(result.picture);
        return true;
    }
    if (failedList) {
        *failedList += QStringLiteral("\r\n") + path;
    }
    if (result.error == LoadError::OutOfMemory || result.error == LoadError::TooBig) {
        if (showTooBig && dialogs) {
            dialogs->message(QStringLiteral("Picture ") + path + QStringLiteral(" is too big."),
                             appTitle, MessageIcon::None);
        }
        if (tooBig) {
            *tooBig = true;
        }
    }
    return false;
}

}  // namespace zentavo
