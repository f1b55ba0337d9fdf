#include "imagefiles/losslessjpeg.h"

#include "imagefiles/atomicfile.h"
#include "imagefiles/decoders.h"
#include "imagefiles/gdiplusstatus.h"
#include "imagefiles/jpegarithmetic.h"
#include "imagefiles/jpegmarkers.h"
#include "imagefiles/jpegwarnings.h"
#include "imagefiles/limits.h"
#include "imagefiles/savejpeg.h"
#include "imagefiles/tjhandle.h"

#include "shell/report/zentavoerror.h"

#include <turbojpeg.h>

#include <array>
#include <memory>
#include <new>

namespace zentavo {

namespace {

// A transform as its action on pixel positions measured from the picture's centre, x to the
// right and y downwards: (x, y) becomes (xx x + xy y, yx x + yy y).
struct Matrix {
    int xx, xy, yx, yy;
    bool operator==(const Matrix&) const = default;
};

struct TransformEntry {
    RightAngleTransform transform;
    Matrix matrix;
    int turboOperation;
};

constexpr std::array<TransformEntry, 8> Transforms = {{
    {RightAngleTransform::None, {1, 0, 0, 1}, TJXOP_NONE},
    {RightAngleTransform::MirrorHorizontal, {-1, 0, 0, 1}, TJXOP_HFLIP},
    {RightAngleTransform::MirrorVertical, {1, 0, 0, -1}, TJXOP_VFLIP},
    {RightAngleTransform::Transpose, {0, 1, 1, 0}, TJXOP_TRANSPOSE},
    {RightAngleTransform::Transverse, {0, -1, -1, 0}, TJXOP_TRANSVERSE},
    {RightAngleTransform::Turn90, {0, -1, 1, 0}, TJXOP_ROT90},
    {RightAngleTransform::Turn180, {-1, 0, 0, -1}, TJXOP_ROT180},
    {RightAngleTransform::Turn270, {0, 1, -1, 0}, TJXOP_ROT270},
}};

const TransformEntry& entryOf(RightAngleTransform transform) {
    for (const TransformEntry& entry : Transforms) {
        if (entry.transform == transform) {
            return entry;
        }
    }
    return Transforms[0];
}

// TurboJPEG's words for a transform whose edges do not fall on whole blocks.
constexpr char NotPerfectText[] = "not perfect";

LosslessJpeg refused(const QString& reason) {
    return {LosslessOutcome::Refused, {}, reason};
}

}  // namespace

RightAngleTransform transformForOrientation(int orientation) {
    switch (ExifOrientation(orientation)) {
        case ExifOrientation::Normal:
            break;
        case ExifOrientation::MirrorHorizontal:
            return RightAngleTransform::MirrorHorizontal;
        case ExifOrientation::Turn180:
            return RightAngleTransform::Turn180;
        case ExifOrientation::MirrorVertical:
            return RightAngleTransform::MirrorVertical;
        case ExifOrientation::Transpose:
            return RightAngleTransform::Transpose;
        case ExifOrientation::Turn90Cw:
            return RightAngleTransform::Turn90;
        case ExifOrientation::Transverse:
            return RightAngleTransform::Transverse;
        case ExifOrientation::Turn270Cw:
            return RightAngleTransform::Turn270;
    }
    return RightAngleTransform::None;
}

RightAngleTransform composeTransforms(RightAngleTransform first, RightAngleTransform then) {
    const Matrix a = entryOf(first).matrix;
    const Matrix b = entryOf(then).matrix;
    const Matrix product{b.xx * a.xx + b.xy * a.yx, b.xx * a.xy + b.xy * a.yy,
                         b.yx * a.xx + b.yy * a.yx, b.yx * a.xy + b.yy * a.yy};
    for (const TransformEntry& entry : Transforms) {
        if (entry.matrix == product) {
            return entry.transform;
        }
    }
    return RightAngleTransform::None;  // unreachable: the eight are closed under composition
}

LosslessJpeg turnJpegLosslessly(const QByteArray& jpeg, RightAngleTransform operation) {
    if (jpeg.size() > limits::MaxInputFileBytes) {
        return refused(QStringLiteral("The file is larger than the program reads."));
    }
    const JpegMarkers markers = scanJpegMarkers(jpeg);
    const RightAngleTransform transform =
        composeTransforms(transformForOrientation(markers.orientation), operation);
    const bool progressive = markers.frameMarker == 0xC2 || markers.frameMarker == 0xCA;
    const bool arithmetic = markers.frameMarker == 0xC9 || markers.frameMarker == 0xCA;

    TjTransformer tj;
    if (!tj.handle) {
        return refused(QStringLiteral("The JPEG transformer could not be started."));
    }
    QString why;
    const std::optional<JpegFrame> frame = readJpegFrame(tj.handle, jpeg, &why);
    if (!frame) {
        return refused(QStringLiteral("The JPEG header cannot be read (%1).").arg(why));
    }
    const auto [width, height, subsampling, colorspace] = *frame;
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    // The coefficients of the whole picture are held at once, two bytes a sample.
    if (!limits::decodedSizeAllowed(width, height, colorspace == TJCS_GRAY ? 2 : 6)) {
        return refused(
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(width)
                .arg(height));
    }

    tjtransform request{};
    request.op = entryOf(transform).turboOperation;
    request.options = TJXOPT_PERFECT | (progressive ? TJXOPT_PROGRESSIVE : 0);
    unsigned char* buffer = nullptr;
    unsigned long outputSize = 0;
    const int status =
        tjTransform(tj.handle, data, size, 1, &buffer, &outputSize, &request, TJFLAG_LIMITSCANS);
    std::unique_ptr<unsigned char, decltype(&tjFree)> owned(buffer, &tjFree);
    if (status != 0) {
        const QString message = QString::fromLocal8Bit(tjGetErrorStr2(tj.handle));
        if (tjGetErrorCode(tj.handle) == TJERR_FATAL) {
            if (message.contains(QLatin1String(NotPerfectText), Qt::CaseInsensitive)) {
                return {LosslessOutcome::NotPerfect, {}, message};
            }
            return refused(QStringLiteral("The JPEG cannot be transformed (%1).").arg(message));
        }
        // A warning: the transform ran to its end, but the data it read may have gaps.
        // The transformer words only its first warning; a harmless one may hide damage later.
        const QString damage = harmlessJpegWarning(message) ? jpegDamage(jpeg) : message;
        if (!damage.isEmpty()) {
            return refused(
                QStringLiteral("The JPEG data is damaged or incomplete (%1).").arg(damage));
        }
    }
    if (!buffer || outputSize == 0) {
        return refused(QStringLiteral("The JPEG transformer gave no output."));
    }
    LosslessJpeg result{LosslessOutcome::Turned,
                        QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(outputSize)),
                        {},
                        entryOf(transform).matrix.xx == 0};
    if (arithmetic) {
        // The transform writes Huffman coding; the input's coding comes back losslessly.
        result.jpeg = withArithmeticCoding(result.jpeg, progressive);
        if (result.jpeg.isEmpty()) {
            return refused(QStringLiteral("The arithmetic coding could not be written again."));
        }
    }
    // The pixels now stand as they are shown.
    resetJpegOrientation(result.jpeg);
    return result;
}

}  // namespace zentavo
