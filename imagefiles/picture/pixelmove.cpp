#include "imagefiles/picture/pixelmove.h"

#include "imagefiles/picture/orientation.h"
#include "imagefiles/picture/pixelblocks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace zentavo {

namespace {

// Where a move sends the unit steps of the source: one column to the right goes to
// (xx, xy), one row down to (yx, yy), in the result's axes (y pointing down).
struct Axes {
    int xx, xy, yx, yy;
    bool operator==(const Axes&) const = default;
};

Axes axesOf(PixelMove move) {
    // A clockwise quarter turn on a screen with y pointing down sends (x, y) to (-y, x).
    static constexpr std::array<Axes, 4> turns = {Axes{1, 0, 0, 1}, Axes{0, 1, -1, 0},
                                                  Axes{-1, 0, 0, -1}, Axes{0, -1, 1, 0}};
    Axes axes = turns[move.quarterTurns & 3];
    if (move.mirrored) {
        axes.xx = -axes.xx;
        axes.yx = -axes.yx;
    }
    return axes;
}

}  // namespace

PixelMove PixelMove::turn(int quarterTurnsClockwise) {
    return {((quarterTurnsClockwise % 4) + 4) % 4, false};
}

PixelMove PixelMove::mirror(Mirror mirror) {
    // A vertical mirror is a half turn followed by a horizontal one.
    return mirror == Mirror::Horizontal ? PixelMove{0, true} : PixelMove{2, true};
}

PixelMove PixelMove::forOrientation(int orientation) {
    switch (ExifOrientation(orientation)) {
        case ExifOrientation::Normal:
            break;
        case ExifOrientation::MirrorHorizontal:
            return {0, true};
        case ExifOrientation::Turn180:
            return {2, false};
        case ExifOrientation::MirrorVertical:
            return {2, true};
        case ExifOrientation::Transpose:
            return {1, true};
        case ExifOrientation::Turn90Cw:
            return {1, false};
        case ExifOrientation::Transverse:
            return {3, true};
        case ExifOrientation::Turn270Cw:
            return {3, false};
    }
    return {};
}

PixelMove PixelMove::then(PixelMove next) const {
    const Axes a = axesOf(*this);
    const Axes b = axesOf(next);
    // next applied to the images of this move's unit steps.
    const Axes both{b.xx * a.xx + b.yx * a.xy, b.xy * a.xx + b.yy * a.xy, b.xx * a.yx + b.yx * a.yy,
                    b.xy * a.yx + b.yy * a.yy};
    for (int turns = 0; turns < 4; ++turns) {
        for (const bool mirrored : {false, true}) {
            if (axesOf({turns, mirrored}) == both) {
                return {turns, mirrored};
            }
        }
    }
    return {};  // not reached: the eight moves are closed under composition
}

bool PixelMove::reversesColumns() const {
    const Axes axes = axesOf(*this);
    return axes.xx < 0 || axes.xy < 0;
}

bool PixelMove::reversesRows() const {
    const Axes axes = axesOf(*this);
    return axes.yx < 0 || axes.yy < 0;
}

void moveImage(QImage& image, PixelMove move) {
    if (image.isNull()) {
        return;
    }
    // Half turns are done in place as two mirrors: no second picture is needed.
    if (move.quarterTurns == 2) {
        mirrorImage(image, Mirror::Vertical);
        if (!move.mirrored) {
            mirrorImage(image, Mirror::Horizontal);
        }
    } else {
        if (move.quarterTurns != 0) {
            QImage turned = turnImage(image, move.quarterTurns);
            if (turned.isNull()) {
                throw std::bad_alloc();
            }
            image = std::move(turned);
        }
        if (move.mirrored) {
            mirrorImage(image, Mirror::Horizontal);
        }
    }
    if (image.isNull()) {
        throw std::bad_alloc();
    }
}

void moveBandOfBytes(const QImage& band, int firstRow, int height, PixelMove move, QImage& target) {
    const int width = band.width();
    const int rows = band.height();
    const qsizetype bandStep = band.bytesPerLine();
    const qsizetype targetStride = target.bytesPerLine();
    uchar* const targetBits = target.bits();
    // A clockwise turn sends (x, y) to (h-1-y, x) and a half turn to (w-1-x, h-1-y); the mirror
    // that follows reverses the rows of the result.
    const int turns = move.quarterTurns & 3;
    if (turns % 2 == 0) {
        const bool reverseRows = turns == 2;
        const bool reverseEach = reverseRows != move.mirrored;
        for (int i = 0; i < rows; ++i) {
            const int y = firstRow + i;
            const uchar* in = band.constScanLine(i);
            uchar* out = targetBits + qsizetype(reverseRows ? height - 1 - y : y) * targetStride;
            if (!reverseEach) {
                std::memcpy(out, in, size_t(width));
            } else if (!reverseCopyFast(in, out, width)) {
                std::reverse_copy(in, in + width, out);
            }
        }
        return;
    }
    // Source column x becomes target row x (w-1-x when reversed); source row y becomes target
    // column y (h-1-y when reversed).
    const bool rowsReversed = turns == 3;                        // x goes to w-1-x
    const bool columnsReversed = (turns == 1) != move.mirrored;  // y goes to h-1-y
    // Read the band's rows backwards when its rows land in reverse; then the band's row i, as
    // read, lands at target column firstColumn + i.
    const uchar* source = columnsReversed ? band.constScanLine(rows - 1) : band.constBits();
    const qsizetype sourceStep = columnsReversed ? -bandStep : bandStep;
    const int firstColumn = columnsReversed ? height - firstRow - rows : firstRow;
    uchar* target0 =
        targetBits + (rowsReversed ? qsizetype(width - 1) * targetStride : 0) + firstColumn;
    const qsizetype targetStep = rowsReversed ? -targetStride : targetStride;
    const int side = transposeByteBlocksFast(source, sourceStep, width, rows, target0, targetStep);
    const int blockedColumns = side ? width & ~(side - 1) : 0;
    const int blockedRows = side ? rows & ~(side - 1) : 0;
    // What the blocks leave: the columns right of the last whole block, the rows below it.
    for (int i = 0; i < rows; ++i) {
        for (int x = i < blockedRows ? blockedColumns : 0; x < width; ++x) {
            target0[x * targetStep + i] = source[i * sourceStep + x];
        }
    }
}

}  // namespace zentavo
