#include "imagefiles/colour/cmyk.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/jpegwarnings.h"
#include "imagefiles/jpeg/libjpegdecode.h"
#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/picture/transform.h"

#include <QColorSpace>

#include <turbojpeg.h>

#include <array>
#include <new>

namespace zentavo::decoders {

QSize jpegHeaderSize(const QByteArray& bytes) {
    TjDecompressor tj;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (!tj.handle) {
        return {};
    }
    const int status = tjDecompressHeader3(
        tj.handle, reinterpret_cast<const unsigned char*>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()), &width, &height, &subsampling, &colorspace);
    if ((status != 0 && tjGetErrorCode(tj.handle) == TJERR_FATAL) || width <= 0 || height <= 0) {
        const std::optional<JpegFrame> frame = readFrameWithLibjpeg(bytes);
        return frame ? QSize(frame->width, frame->height) : QSize();
    }
    return QSize(width, height);
}

LoadResult decodeJpeg(const QByteArray& bytes) {
    TjDecompressor tj;
    if (!tj.handle) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("The JPEG decoder could not be started."));
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    QString why;
    std::optional<JpegFrame> frame = readJpegFrame(tj.handle, bytes, &why);
    // A valid stream whose sampling TurboJPEG has no name for goes through libjpeg itself.
    const bool throughLibjpeg = !frame && (frame = readFrameWithLibjpeg(bytes)).has_value();
    if (!frame || frame->width <= 0) {
        // 12-bit and lossless JPEGs are valid files that this decoder does not read.
        const QString message = frame ? QString::fromLocal8Bit(tjGetErrorStr2(tj.handle)) : why;
        const bool unsupported = message.contains(QLatin1String("Unsupported"));
        return LoadResult::failure(
            unsupported ? LoadError::Unsupported : LoadError::Corrupt,
            QStringLiteral("The JPEG header cannot be read (%1).").arg(message));
    }
    const auto [width, height, subsampling, colorspace] = *frame;
    const bool grey = colorspace == TJCS_GRAY;
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    if (!limits::decodedSizeAllowed(width, height, cmyk ? 7 : (grey ? 1 : 3))) {
        return LoadResult::failure(
            LoadError::TooBig,
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(width)
                .arg(height));
    }

    LoadResult result;
    Picture& picture = result.picture;
    try {
        picture.image =
            pooledImage(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        QImage inks;
        if (cmyk) {
            inks = QImage(width, height, QImage::Format_RGBA8888);
            if (inks.isNull()) {
                throw std::bad_alloc();
            }
        }
        if (picture.image.isNull()) {
            throw std::bad_alloc();
        }
        unsigned char* target = cmyk ? inks.bits() : picture.image.bits();
        const int pitch = int(cmyk ? inks.bytesPerLine() : picture.image.bytesPerLine());
        const int pixelFormat = cmyk ? TJPF_CMYK : (grey ? TJPF_GRAY : TJPF_RGB);
        const int flags = TJFLAG_LIMITSCANS | TJFLAG_ACCURATEDCT;
        if (throughLibjpeg) {
            const QString damage = decodeWithLibjpeg(bytes, pixelFormat, target, pitch, height);
            if (!damage.isEmpty()) {
                return LoadResult::failure(
                    LoadError::Corrupt,
                    QStringLiteral("The JPEG data is damaged or incomplete (%1).").arg(damage));
            }
        } else if (tjDecompress2(tj.handle, data, size, target, width, pitch, height, pixelFormat,
                                 flags) != 0) {
            const QString message = QString::fromLocal8Bit(tjGetErrorStr2(tj.handle));
            // The decoder words only its first warning: a harmless one may hide damage later
            // in the data, which a second reading that hears every warning finds.
            const QString damage =
                tjGetErrorCode(tj.handle) == TJERR_FATAL || !harmlessJpegWarning(message)
                    ? message
                    : jpegDamage(bytes);
            if (!damage.isEmpty()) {
                return LoadResult::failure(
                    LoadError::Corrupt,
                    QStringLiteral("The JPEG data is damaged or incomplete (%1).").arg(damage));
            }
        }
        const JpegMarkers markers = scanJpegMarkers(bytes);
        if (cmyk) {
            // Adobe writes CMYK JPEGs inverted (255 = no ink), as the picture keeps them; others
            // store plain CMYK.
            if (!markers.adobe) {
                inks.invertPixels(QImage::InvertRgba);
            }
            setCmykPicture(picture, std::move(inks), markers.iccProfile);
        }
        picture.format = PictureFormat::Jpeg;
        picture.jpegSubsampling = subsampling;
        if (!markers.iccProfile.isEmpty() && !cmyk) {
            // A CMYK profile does not describe the RGB pixels made from it: dropped.
            picture.iccProfile = markers.iccProfile;
            const QColorSpace space = QColorSpace::fromIccProfile(markers.iccProfile);
            if (space.isValid()) {
                picture.image.setColorSpace(space);
            }
        }
        picture.orientation = markers.orientation;
        applyOrientation(picture, markers.orientation);
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
    return result;
}

}  // namespace zentavo::decoders
