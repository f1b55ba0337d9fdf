#pragma once

#include "imagefiles/picture/transform.h"

namespace zentavo {

// One of the eight exact moves of a whole picture (the flips and right-angle turns): a
// clockwise turn by quarterTurns x 90 degrees, then a horizontal mirror when mirrored. Moves
// compose, so an EXIF orientation and the operation of a run become one move.
struct PixelMove {
    int quarterTurns = 0;  // 0 to 3
    bool mirrored = false;

    static PixelMove turn(int quarterTurnsClockwise);  // any integer, taken modulo 4
    static PixelMove mirror(Mirror mirror);
    // The move that shows a picture stored with an EXIF orientation (1 to 8) as viewers show
    // it; the identity for other values.
    static PixelMove forOrientation(int orientation);

    // This move followed by next.
    PixelMove then(PixelMove next) const;

    // Whether a W x H picture becomes H x W.
    bool swapsSides() const { return quarterTurns % 2 == 1; }
    // Whether the source's columns (rows) come out in reverse order: the source's right edge
    // (bottom edge) becomes a left or top edge of the result.
    bool reversesColumns() const;
    bool reversesRows() const;

    bool operator==(const PixelMove&) const = default;
};

// Moves image in place, exactly, as mirrorImage and turnImage do. Throws std::bad_alloc when
// the memory for a turned copy cannot be had. Any thread.
void moveImage(QImage& image, PixelMove move);

// Moves a band of a picture of single bytes (Format_Grayscale8) that is width x height in all:
// band holds its rows firstRow to firstRow + band.height() - 1, which go to where move puts
// them in target, the whole moved picture. Band after band, the rows end as moveImage would
// leave the whole picture, without the picture ever being held unmoved. Any thread.
void moveBandOfBytes(const QImage& band, int firstRow, int height, PixelMove move, QImage& target);

}  // namespace zentavo
