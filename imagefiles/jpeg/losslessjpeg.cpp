#include "imagefiles/jpeg/losslessjpeg.h"

#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/jpegcoefficients.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/orientation.h"

#include <QTransform>

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
    return {LosslessOutcome::Refused, {}, reason, false};
}

// A small picture of the output for its thumbnail, when the move gave none (an output smaller
// than eight times the thumbnail): the input decoded at a small scale and moved the same way.
QImage smallOutput(const QByteArray& jpeg, const TransformEntry& entry, int side) {
    QImage small = decoders::decodeJpegSmall(jpeg, side);
    if (small.isNull()) {
        return {};
    }
    const Matrix m = entry.matrix;
    // (x, y) to (xx x + xy y, yx x + yy y): as a QTransform maps row vectors, its columns swap.
    return small.transformed(QTransform(m.xx, m.yx, m.xy, m.yy, 0, 0));
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

LosslessJpeg turnJpegLosslessly(const QByteArray& jpeg, RightAngleTransform operation, bool strip) {
    if (jpeg.size() > limits::MaxInputFileBytes) {
        return refused(QStringLiteral("The file is larger than the program reads."));
    }
    std::shared_ptr<const PictureMetadata> metadata = jpegMetadataOf(readJpegHeader(jpeg));
    if (strip) {
        metadata = strippedMetadata(metadata);
    }
    const RightAngleTransform transform =
        composeTransforms(transformForOrientation(metadataOrientation(metadata.get())), operation);
    const TransformEntry& entry = entryOf(transform);
    const int side = metadataThumbnailSide(metadata.get());
    MovedJpeg moved =
        moveJpegBlocks(jpeg, entry.blocks, side, [&](QSize size, const QImage& preview) {
            const OutputPicture output{
                size, entry.matrix.xx == 0,
                [&] { return preview.isNull() ? smallOutput(jpeg, entry, side) : preview; }};
            return jpegMetadataFor(metadata.get(), output);
        });
    if (moved.metadataFailed) {
        return {LosslessOutcome::MetadataFailed, {}, moved.words, false};
    }
    switch (moved.verdict) {
        case BlockMoveVerdict::Moved:
            break;
        case BlockMoveVerdict::NotPerfect:
            return {LosslessOutcome::NotPerfect,
                    {},
                    QStringLiteral("The edges that move do not fall on whole coding blocks."),
                    false};
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
    return {LosslessOutcome::Turned, std::move(moved.jpeg), {}, entry.matrix.xx == 0};
}

}  // namespace zentavo
