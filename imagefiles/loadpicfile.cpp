#include "imagefiles/loadpicfile.h"

#include "imagefiles/decoders.h"
#include "imagefiles/files/filebytes.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/transform.h"
#include "report/dialogs.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>
#include <new>

namespace zentavo {

namespace {

// How much of a file the size probe reads, in turn, until a header is found: enough at last
// for every header (a JPEG's frame header may follow large EXIF and ICC segments). Most headers
// lie in the first 16 KiB, which is all a probe reads of them: the probe comes just before the
// whole file is read for decoding, and a run that skips its done files reads little of each.
constexpr qint64 HeadProbes[] = {16 << 10, 128 << 10, 1 << 20};

}  // namespace

namespace {

LoadResult decodePicture(const QByteArray& bytes, const PictureDecoder* decoder) {
    if (decoder) {
        return decoder->decode(bytes);
    }
    return LoadResult::failure(
        LoadError::Unsupported,
        bytes.isEmpty() ? QStringLiteral("The file is empty.")
                        : QStringLiteral("The file is not a JPEG, GIF, PNG, TIFF, BMP, icon, "
                                         "WebP, HEIF, AVIF or JPEG XL picture."));
}

void attachMetadata(Picture& picture, const QByteArray& bytes, PictureFormat format) {
    // Formats whose decoders read no metadata of their own (HEIF, WebP and JPEG XL read theirs
    // through their own libraries, JPEG, PNG and GIF through theirs): through exiv2.
    if (!picture.metadata) {
        picture.metadata = readMetadata(bytes, format);
    }
    const Resolution resolution = metadataResolution(picture.metadata.get());
    if (resolution.valid()) {
        // Along the file's axes; the decoder may already have turned the picture.
        const int x = int(std::lround(resolution.dotsPerMetreX()));
        const int y = int(std::lround(resolution.dotsPerMetreY()));
        picture.image.setDotsPerMeterX(picture.axesSwapped ? y : x);
        picture.image.setDotsPerMeterY(picture.axesSwapped ? x : y);
    }
    // A HEIF and a JPEG XL are shown through their own transforms, which their decoders apply;
    // their EXIF orientation only describes them.
    if (format == PictureFormat::Tiff || format == PictureFormat::Png ||
        format == PictureFormat::Webp) {
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
        const PictureDecoder* decoder = recognisedDecoder(bytes);
        LoadResult result = decodePicture(bytes, decoder);
        if (result.ok()) {
            attachMetadata(result.picture, bytes, decoder->format);
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
    const PictureDecoder* decoder = recognisedDecoder(head);
    if (decoder && decoder->headerSize) {
        const QSize size = decoder->headerSize(head);
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
    for (const qint64 probe : HeadProbes) {
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
