#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zentavo {

// The eight ways of moving a picture's pixels by flips and right-angle turns. Turns are
// clockwise; Transpose mirrors about the top-left to bottom-right diagonal, Transverse about the
// top-right to bottom-left one.
enum class RightAngleTransform {
    None,
    MirrorHorizontal,
    MirrorVertical,
    Transpose,
    Transverse,
    Turn90,
    Turn180,
    Turn270,
};

// What a file stored with this EXIF orientation (1 to 8; anything else counts as 1) needs to
// show as a viewer shows it.
RightAngleTransform transformForOrientation(int orientation);

// The single transform that gives the same picture as first and then then, applied in turn.
RightAngleTransform composeTransforms(RightAngleTransform first, RightAngleTransform then);

enum class LosslessOutcome {
    Turned,      // jpeg holds the result
    NotPerfect,  // the moving edges do not fall on whole coding blocks; nothing was made
    Refused,     // not a JPEG the transform reads, or damaged data; reason says which
};

struct LosslessJpeg {
    LosslessOutcome outcome = LosslessOutcome::Refused;
    QByteArray jpeg;
    QString reason;
    bool axesSwapped = false;  // Turned: the output's rows are the input file's columns
    QImage preview;            // the output at an eighth of its size, or null
};

// Applies operation to a JPEG on its compressed coefficients, without decoding: the input's
// EXIF orientation is composed with operation, so the result is the picture a viewer showed,
// then transformed, and its orientation is set to 1. Quantisation tables, subsampling,
// progressive or arithmetic coding and every marker segment are kept. A transform that would have
// to trim or leave edge blocks untransformed is refused as NotPerfect. Damaged entropy data (a
// cut-off file, bad Huffman codes) is refused, never copied. A previewSide asks for a small
// picture of the output to draw a thumbnail of that side from (see moveJpegBlocks). Reentrant:
// any thread.
LosslessJpeg turnJpegLosslessly(const QByteArray& jpeg, RightAngleTransform operation,
                                int previewSide = 0);

}  // namespace zentavo
