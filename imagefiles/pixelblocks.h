#pragma once

#include <QImage>

#include <algorithm>

namespace zentavo {

// Square tiles of a quarter turn: 64 x 64 pixels of 4 bytes fill 16 KiB, so the rows read and
// the rows written of one tile share a first-level cache.
inline constexpr int TurnTileSize = 64;

// One pixel of N bytes, moved as a whole.
template <int N>
struct Pixel {
    unsigned char bytes[N];
};

// Reverses the pixels of N bytes between begin and end. Any thread.
template <int N>
void reversePixels(uchar* begin, uchar* end) {
    std::reverse(reinterpret_cast<Pixel<N>*>(begin), reinterpret_cast<Pixel<N>*>(end));
}

// Vector paths of the pixel transforms. Each does its part exactly as the plain loops in
// transform.cpp would, or returns false without touching anything when this processor (or this
// build) has no such path; the caller then uses the plain loop. Any thread.

// Reverses the order of the width pixels of row, each bytesPerPixel bytes (1, 3 or 4 have a
// vector path). Touches only the width * bytesPerPixel bytes of the row.
bool reverseRowFast(uchar* row, int width, int bytesPerPixel);

// The part of a quarter turn that fills whole blocks of 4 x 4 pixels: every source pixel (x, y)
// with x < width & ~3 and y < height & ~3 is written to (h-1-y, x) of target for clockwise, to
// (y, w-1-x) otherwise. target is the turned size in the same format; 3 and 4 bytes a pixel
// have a vector path. The caller turns the remaining columns and rows.
bool turnBlocksFast(const QImage& source, QImage& target, bool clockwise);

}  // namespace zentavo
