#include "imagefiles/jpeg/losslessjpeg.h"

#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/jpegcoefficients.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/picture/limits.h"

#include <array>

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
    BlockMove blocks;  // transpose, mirror the input's columns, mirror its rows
};

constexpr std::array<TransformEntry, 8> Transforms = {{
    {RightAngleTransform::None, {1, 0, 0, 1}, {false, false, false}},
    {RightAngleTransform::MirrorHorizontal, {-1, 0, 0, 1}, {false, true, false}},
    {RightAngleTransform::MirrorVertical, {1, 0, 0, -1}, {false, false, true}},
    {RightAngleTransform::Transpose, {0, 1, 1, 0}, {true, false, false}},
    {RightAngleTransform::Transverse, {0, -1, -1, 0}, {true, true, true}},
    {RightAngleTransform::Turn90, {0, -1, 1, 0}, {true, false, true}},
    {RightAngleTransform::Turn180, {-1, 0, 0, -1}, {false, true, true}},
    {RightAngleTransform::Turn270, {0, 1, -1, 0}, {true, true, false}},
}};

const TransformEntry& entryOf(RightAngleTransform transform) {
    for (const TransformEntry& entry : Transforms) {
        if (entry.transform == transform) {
            return entry;
        }
    }
    return Transforms[0];
}

LosslessJpeg refused(const QString& reason) {
    return {LosslessOutcome::Refused, {}, reason, false, {}};
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

LosslessJpeg turnJpegLosslessly(const QByteArray& jpeg, RightAngleTransform operation,
                                int previewSide) {
    if (jpeg.size() > limits::MaxInputFileBytes) {
        return refused(QStringLiteral("The file is larger than the program reads."));
    }
    const RightAngleTransform transform =
        composeTransforms(transformForOrientation(scanJpegMarkers(jpeg).orientation), operation);
    MovedJpeg moved = moveJpegBlocks(jpeg, entryOf(transform).blocks, previewSide);
    switch (moved.verdict) {
        case BlockMoveVerdict::Moved:
            break;
        case BlockMoveVerdict::NotPerfect:
            return {LosslessOutcome::NotPerfect,
                    {},
                    QStringLiteral("The edges that move do not fall on whole coding blocks."),
                    false,
                    {}};
        case BlockMoveVerdict::Unreadable:
            return refused(QStringLiteral("The JPEG header cannot be read (%1).").arg(moved.words));
        case BlockMoveVerdict::TooLarge:
            return refused(QStringLiteral("The picture is larger than the program can hold."));
        case BlockMoveVerdict::Failed:
            return refused(QStringLiteral("The JPEG cannot be transformed (%1).").arg(moved.words));
        case BlockMoveVerdict::Damaged:
            return refused(
                QStringLiteral("The JPEG data is damaged or incomplete (%1).").arg(moved.words));
    }
    LosslessJpeg result{LosslessOutcome::Turned,
                        std::move(moved.jpeg),
                        {},
                        entryOf(transform).matrix.xx == 0,
                        std::move(moved.preview)};
    // The pixels now stand as they are shown.
    resetJpegOrientation(result.jpeg);
    return result;
}

}  // namespace zentavo
