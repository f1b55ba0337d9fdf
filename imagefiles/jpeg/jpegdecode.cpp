#include "imagefiles/colour/cmyk.h"
#include "imagefiles/colour/profile.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/jpegwarnings.h"
#include "imagefiles/jpeg/libjpegdecode.h"
#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/picture/transform.h"

#include <QColorSpace>

#include <turbojpeg.h>

#include <algorithm>
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

namespace {

// The smallest of TurboJPEG's reducing scales (1/8 to 1) that keeps the longer side of a
// width x height picture at least longSide pixels; 1 (no reduction) when longSide is 0 or the
// picture is not larger.
tjscalingfactor reducingScale(int width, int height, int longSide) {
    tjscalingfactor chosen{1, 1};
    if (longSide <= 0) {
        return chosen;
    }
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom || std::max(TJSCALED(width, f), TJSCALED(height, f)) < longSide) {
            continue;
        }
        // Smaller than the one chosen so far: num / denom < chosen.num / chosen.denom.
        if (f.num * chosen.denom < chosen.num * f.denom) {
            chosen = f;
        }
    }
    return chosen;
}

// The decoder at a TurboJPEG scale: the whole picture when longSide is 0, otherwise reduced
// while its longer side stays at least longSide. The header, ceilings and damage are judged on
// the file as stored, so a reduced picture fails exactly where the whole one would.
LoadResult decodeJpegAt(const QByteArray& bytes, int longSide) {
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
        if (readJpegHeader(bytes).noImage) {
            return LoadResult::failure(
                LoadError::Corrupt,
                QStringLiteral("The JPEG file holds no picture, only coding tables."));
        }
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

    const tjscalingfactor scale = reducingScale(width, height, longSide);
    const int scaledWidth = TJSCALED(width, scale);
    const int scaledHeight = TJSCALED(height, scale);

    LoadResult result;
    Picture& picture = result.picture;
    try {
        picture.image = pooledImage(scaledWidth, scaledHeight,
                                    grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        QImage inks;
        if (cmyk) {
            inks = QImage(scaledWidth, scaledHeight, QImage::Format_RGBA8888);
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
        // A reduced picture is for the eye: the fast transform is good enough at 1/8 to 1/2.
        const int flags = TJFLAG_LIMITSCANS | (longSide > 0 ? TJFLAG_FASTDCT : TJFLAG_ACCURATEDCT);
        if (throughLibjpeg) {
            const QString damage = decodeWithLibjpeg(
                bytes, pixelFormat,
                {target, pitch, scaledWidth, scaledHeight, scale.num, scale.denom});
            if (!damage.isEmpty()) {
                return LoadResult::failure(
                    LoadError::Corrupt,
                    QStringLiteral("The JPEG data is damaged or incomplete (%1).").arg(damage));
            }
        } else if (tjDecompress2(tj.handle, data, size, target, scaledWidth, pitch, scaledHeight,
                                 pixelFormat, flags) != 0) {
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
        const JpegHeader header = readJpegHeader(bytes);
        if (cmyk) {
            // Adobe writes CMYK JPEGs inverted (255 = no ink), as the picture keeps them; others
            // store plain CMYK.
            if (!header.adobe) {
                inks.invertPixels(QImage::InvertRgba);
            }
            setCmykPicture(picture, std::move(inks), header.iccProfile);
        }
        picture.format = PictureFormat::Jpeg;
        picture.jpegSubsampling = subsampling;
        if (!cmyk &&
            profileFitsPixels(header.iccProfile, grey ? PixelModel::Grey : PixelModel::Rgb)) {
            picture.iccProfile = header.iccProfile;
            const QColorSpace space = QColorSpace::fromIccProfile(header.iccProfile);
            if (space.isValid()) {
                picture.image.setColorSpace(space);
            }
        }
        picture.metadata = jpegMetadataOf(header);
        picture.orientation = metadataOrientation(picture.metadata.get());
        applyOrientation(picture, picture.orientation);
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
    return result;
}

}  // namespace

LoadResult decodeJpeg(const QByteArray& bytes) {
    return decodeJpegAt(bytes, 0);
}

LoadResult decodeJpegReduced(const QByteArray& bytes, int longSide) {
    return decodeJpegAt(bytes, std::max(longSide, 1));
}

QImage decodeJpegSmall(const QByteArray& bytes, int side) {
    const TjDecompressor tj;
    if (!tj.handle) {
        return {};
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(tj.handle, data, size, &width, &height, &subsampling, &colorspace) !=
        0) {
        return {};
    }
    const tjscalingfactor scale = reducingScale(width, height, std::max(side, 1));
    const int scaledWidth = TJSCALED(width, scale);
    const int scaledHeight = TJSCALED(height, scale);
    if (!limits::decodedSizeAllowed(scaledWidth, scaledHeight, 3)) {
        return {};
    }
    QImage image(scaledWidth, scaledHeight, QImage::Format_RGB888);
    if (image.isNull() ||
        (tjDecompress2(tj.handle, data, size, image.bits(), scaledWidth, int(image.bytesPerLine()),
                       scaledHeight, TJPF_RGB, 0) != 0 &&
         tjGetErrorCode(tj.handle) == TJERR_FATAL)) {
        return {};
    }
    return image;
}

}  // namespace zentavo::decoders
