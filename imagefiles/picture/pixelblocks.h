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

// Writes the width bytes of in to out in reverse order; in and out do not overlap.
bool reverseCopyFast(const uchar* in, uchar* out, int width);

// The part of a quarter turn that fills whole square blocks of side S: every source pixel
// (x, y) with x < width & ~(S-1) and y < height & ~(S-1) is written to (h-1-y, x) of target for
// clockwise, to (y, w-1-x) otherwise. target is the turned size in the same format. Pixels of
// 3 and 4 bytes have a vector path in blocks of 4, single bytes (grey pictures, colour planes)
// in blocks of 16. Returns S, or 0 when there is no vector path; the caller turns the remaining
// columns and rows.
int turnBlocksFast(const QImage& source, QImage& target, bool clockwise);

// Transposes the whole 16 x 16 blocks of a columns x rows grid of bytes whose rows start
// sourceStep apart: the byte at column c of row r goes to target + c * targetStep + r, for
// c < columns & ~15 and r < rows & ~15. Steps may be negative, which reverses the rows read or
// written. Returns 16, or 0 when there is no vector path (nothing is touched).
int transposeByteBlocksFast(const uchar* source, qsizetype sourceStep, int columns, int rows,
                            uchar* target, qsizetype targetStep);

}  // namespace zentavo
