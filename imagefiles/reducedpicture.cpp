#include "imagefiles/reducedpicture.h"

#include "imagefiles/decoders.h"
#include "imagefiles/files/filebytes.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/limits.h"

#include <QColorSpace>

#include <algorithm>
#include <new>

namespace zentavo {

namespace {

// Keeps the pixels the screen needs, smoothly scaled so that the longer side is at most
// longSide, in sRGB.
void reduce(Picture& picture, int longSide) {
    picture.gif.reset();
    picture.animation.reset();
    picture.cmyk = QImage();
    picture.cmykProfile.clear();
    picture.metadata.reset();
    QImage& image = picture.image;
    if (std::max(image.width(), image.height()) > longSide) {
        image = image.scaled(longSide, longSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const QColorSpace space = image.colorSpace();
    if (space.isValid() && space != QColorSpace::SRgb) {
        image.convertToColorSpace(QColorSpace::SRgb);
    }
    if (image.isNull()) {
        throw std::bad_alloc();
    }
}

}  // namespace

ReducedPicture loadReducedPicture(const QString& path, int longSide, EmbeddedThumbnail embedded) {
    longSide = std::max(longSide, 1);
    ReducedPicture reduced;
    QByteArray bytes;
    QString reason;
    const LoadError error = readRegularFile(path, limits::MaxInputFileBytes, bytes, reason);
    if (error != LoadError::None) {
        reduced.loaded = LoadResult::failure(error, reason);
        return reduced;
    }
    const PictureDecoder* decoder = recognisedDecoder(bytes);
    const PictureFormat format = decoder ? decoder->format : PictureFormat::None;
    std::optional<decoders::HeifThumbnail> thumbnail;
    if (embedded == EmbeddedThumbnail::Welcome &&
        (format == PictureFormat::Heif || format == PictureFormat::Avif)) {
        try {
            thumbnail = decoders::decodeHeifThumbnail(bytes, longSide);
        } catch (const std::bad_alloc&) {
            thumbnail.reset();  // the picture itself is tried, and fails as a load fails
        }
    }
    if (thumbnail) {
        reduced.loaded.picture.image = std::move(thumbnail->image);
        reduced.loaded.picture.format = format;
        reduced.fullSize = thumbnail->fullSize;
    } else if (format == PictureFormat::Jpeg) {
        reduced.loaded = decoders::decodeJpegReduced(bytes, longSide);
        const QSize stored = decoders::jpegHeaderSize(bytes);
        reduced.fullSize = reduced.loaded.picture.axesSwapped ? stored.transposed() : stored;
    } else {
        reduced.loaded = loadPictureFromBytes(bytes);
        reduced.fullSize = reduced.loaded.picture.image.size();
    }
    bytes = QByteArray();
    if (!reduced.loaded.ok()) {
        return reduced;
    }
    try {
        reduce(reduced.loaded.picture, longSide);
    } catch (const std::bad_alloc&) {
        reduced.loaded = LoadResult::failure(
            LoadError::OutOfMemory, QStringLiteral("There is not enough memory for the picture."));
    }
    return reduced;
}

}  // namespace zentavo
