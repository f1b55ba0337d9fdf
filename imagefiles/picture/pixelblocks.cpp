#include "imagefiles/picture/pixelblocks.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZENTAVO_X86_VECTORS 1
#endif

namespace zentavo {

#ifdef ZENTAVO_X86_VECTORS

namespace {

// The vector paths below need SSSE3 (every x86 processor since about 2008); without it the
// plain loops serve.
#define ZENTAVO_SSSE3 __attribute__((target("ssse3")))

bool hasSsse3() {
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}

// pshufb masks that reverse sixteen 3-byte pixels held in three registers a, b, c (48 bytes):
// output byte k is input byte 45 - 3 * (k / 3) + k % 3. ReverseRgb[o][i] picks the bytes of
// output register o that come from input register i; -128 leaves a zero for the others.
constexpr auto reverseRgbMasks() {
    std::array<std::array<std::array<signed char, 16>, 3>, 3> masks{};
    for (int k = 0; k < 48; ++k) {
        const int from = 45 - 3 * (k / 3) + k % 3;
        for (int i = 0; i < 3; ++i) {
            masks[k / 16][i][k % 16] = from / 16 == i ? static_cast<signed char>(from % 16) : -128;
        }
    }
    return masks;
}
alignas(16) constexpr auto ReverseRgb = reverseRgbMasks();

ZENTAVO_SSSE3 inline __m128i mask(const std::array<signed char, 16>& bytes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data()));
}

struct Rgb16 {
    __m128i a, b, c;
};

ZENTAVO_SSSE3 inline Rgb16 loadRgb16(const uchar* p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
}

// Stores the sixteen pixels of v at p in reverse order.
ZENTAVO_SSSE3 inline void storeReversedRgb16(uchar* p, const Rgb16& v) {
    const auto& m = ReverseRgb;
    // Output register 0 takes nothing from a, and 2 nothing from c.
    const __m128i o0 =
        _mm_or_si128(_mm_shuffle_epi8(v.b, mask(m[0][1])), _mm_shuffle_epi8(v.c, mask(m[0][2])));
    const __m128i o1 = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(v.a, mask(m[1][0])), _mm_shuffle_epi8(v.b, mask(m[1][1]))),
        _mm_shuffle_epi8(v.c, mask(m[1][2])));
    const __m128i o2 =
        _mm_or_si128(_mm_shuffle_epi8(v.a, mask(m[2][0])), _mm_shuffle_epi8(v.b, mask(m[2][1])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), o0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), o1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), o2);
}

// Both ends of the row move at once, sixteen pixels a step, each block reversed and stored at
// the other end; the middle (fewer than 32 pixels) is reversed pixel by pixel.
ZENTAVO_SSSE3 void reverseRowRgb(uchar* row, int width) {
    uchar* left = row;
    uchar* right = row + qsizetype(width) * 3;
    while (right - left >= 96) {
        right -= 48;
        const Rgb16 l = loadRgb16(left);
        const Rgb16 r = loadRgb16(right);
        storeReversedRgb16(left, r);
        storeReversedRgb16(right, l);
        left += 48;
    }
    reversePixels<3>(left, right);
}

ZENTAVO_SSSE3 void reverseRowRgba(uchar* row, int width) {
    uchar* left = row;
    uchar* right = row + qsizetype(width) * 4;
    while (right - left >= 32) {
        right -= 16;
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(left), _mm_shuffle_epi32(r, 0x1B));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(right), _mm_shuffle_epi32(l, 0x1B));
        left += 16;
    }
    reversePixels<4>(left, right);
}

ZENTAVO_SSSE3 void reverseRowBytes(uchar* row, int width) {
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    uchar* left = row;
    uchar* right = row + width;
    while (right - left >= 32) {
        right -= 16;
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(left), _mm_shuffle_epi8(r, reverse));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(right), _mm_shuffle_epi8(l, reverse));
        left += 16;
    }
    std::reverse(left, right);
}

ZENTAVO_SSSE3 void reverseCopyBytes(const uchar* in, uchar* out, int width) {
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + width - 16 - i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(v, reverse));
    }
    std::reverse_copy(in, in + width - i, out + i);
}

// Four pixels of one row as four 32-bit lanes. A wide load reads 16 bytes, past the four pixels
// of 3 bytes; callers ask for it only where the image's memory goes on (another row follows).
// A store writes the four pixels and nothing else.
template <int N>
struct Quad;

template <>
struct Quad<4> {
    template <bool Wide>
    ZENTAVO_SSSE3 static __m128i load(const uchar* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    ZENTAVO_SSSE3 static void store(uchar* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }
};

template <>
struct Quad<3> {
    template <bool Wide>
    ZENTAVO_SSSE3 static __m128i load(const uchar* p) {
        __m128i packed;
        if constexpr (Wide) {
            packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        } else {
            quint32 tail;
            std::memcpy(&tail, p + 8, 4);
            packed = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                        _mm_cvtsi32_si128(int(tail)));
        }
        return _mm_shuffle_epi8(
            packed, _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
    }
    ZENTAVO_SSSE3 static void store(uchar* p, __m128i v) {
        const __m128i packed = _mm_shuffle_epi8(
            v, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
        const quint32 tail = quint32(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
        std::memcpy(p + 8, &tail, 4);
    }
};

// Turns the 4 x 4 block whose top-left source pixel is at in: output row k of the block (the
// source column k, read bottom up for Clockwise, top down otherwise) goes to out + k * outStep.
template <int N, bool Clockwise, bool Wide>
ZENTAVO_SSSE3 inline void turnBlock(const uchar* in, qsizetype srcStride, uchar* out,
                                    qsizetype outStep) {
    const uchar* first = Clockwise ? in + 3 * srcStride : in;
    const qsizetype step = Clockwise ? -srcStride : srcStride;
    const __m128i r0 = Quad<N>::template load<Wide>(first);
    const __m128i r1 = Quad<N>::template load<Wide>(first + step);
    const __m128i r2 = Quad<N>::template load<Wide>(first + 2 * step);
    const __m128i r3 = Quad<N>::template load<Wide>(first + 3 * step);
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
    const __m128i t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1);
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
    Quad<N>::store(out, _mm_unpacklo_epi64(t0, t1));
    Quad<N>::store(out + outStep, _mm_unpackhi_epi64(t0, t1));
    Quad<N>::store(out + 2 * outStep, _mm_unpacklo_epi64(t2, t3));
    Quad<N>::store(out + 3 * outStep, _mm_unpackhi_epi64(t2, t3));
}

// Transposes the 16 x 16 block of bytes whose rows start at in, in + inStep, ...: row j of the
// result, written at out + j * outStep, is column j of the block. The rows are interleaved by
// bytes, pairs, quads and halves in turn, which leaves each column whole in one register.
ZENTAVO_SSSE3 inline void transposeByteBlock(const uchar* in, qsizetype inStep, uchar* out,
                                             qsizetype outStep) {
    __m128i r[16];
    for (int i = 0; i < 16; ++i) {
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i * inStep));
    }
    // a[h * 8 + p]: rows 2p and 2p + 1, columns 8h to 8h + 7
    __m128i a[16];
    for (int p = 0; p < 8; ++p) {
        a[p] = _mm_unpacklo_epi8(r[2 * p], r[2 * p + 1]);
        a[p + 8] = _mm_unpackhi_epi8(r[2 * p], r[2 * p + 1]);
    }
    // b[h * 8 + g * 4 + q]: rows 4q to 4q + 3, columns 8h + 4g to 8h + 4g + 3
    __m128i b[16];
    for (int h = 0; h < 2; ++h) {
        for (int q = 0; q < 4; ++q) {
            b[h * 8 + q] = _mm_unpacklo_epi16(a[h * 8 + 2 * q], a[h * 8 + 2 * q + 1]);
            b[h * 8 + 4 + q] = _mm_unpackhi_epi16(a[h * 8 + 2 * q], a[h * 8 + 2 * q + 1]);
        }
    }
    // c[g * 4 + s * 2 + t]: rows 8s to 8s + 7, columns 4g + 2t and 4g + 2t + 1
    __m128i c[16];
    for (int g = 0; g < 4; ++g) {
        for (int s = 0; s < 2; ++s) {
            c[g * 4 + s * 2] = _mm_unpacklo_epi32(b[g * 4 + 2 * s], b[g * 4 + 2 * s + 1]);
            c[g * 4 + s * 2 + 1] = _mm_unpackhi_epi32(b[g * 4 + 2 * s], b[g * 4 + 2 * s + 1]);
        }
    }
    for (int g = 0; g < 4; ++g) {
        for (int t = 0; t < 2; ++t) {
            const int column = 4 * g + 2 * t;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + column * outStep),
                             _mm_unpacklo_epi64(c[g * 4 + t], c[g * 4 + 2 + t]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (column + 1) * outStep),
                             _mm_unpackhi_epi64(c[g * 4 + t], c[g * 4 + 2 + t]));
        }
    }
}

// Turns the 16 x 16 block of bytes whose top-left source byte is at in, as turnBlock does for
// 4 x 4 pixels: a clockwise turn transposes the rows taken from the bottom up.
template <bool Clockwise>
ZENTAVO_SSSE3 inline void turnByteBlock(const uchar* in, qsizetype srcStride, uchar* out,
                                        qsizetype outStep) {
    if constexpr (Clockwise) {
        transposeByteBlock(in + 15 * srcStride, -srcStride, out, outStep);
    } else {
        transposeByteBlock(in, srcStride, out, outStep);
    }
}

ZENTAVO_SSSE3 void transposeByteBlocks(const uchar* source, qsizetype sourceStep, int columns,
                                       int rows, uchar* target, qsizetype targetStep) {
    for (int c = 0; c < columns; c += 16) {
        for (int r = 0; r < rows; r += 16) {
            transposeByteBlock(source + r * sourceStep + c, sourceStep, target + c * targetStep + r,
                               targetStep);
        }
    }
}

// One block of Side x Side pixels of N bytes: 4 x 4 for pixels of 3 and 4 bytes, 16 x 16 for
// single bytes.
template <int N, bool Clockwise, bool Wide>
ZENTAVO_SSSE3 inline void turnAnyBlock(const uchar* in, qsizetype srcStride, uchar* out,
                                       qsizetype outStep) {
    if constexpr (N == 1) {
        turnByteBlock<Clockwise>(in, srcStride, out, outStep);
    } else {
        turnBlock<N, Clockwise, Wide>(in, srcStride, out, outStep);
    }
}

template <int N>
inline constexpr int BlockSide = N == 1 ? 16 : 4;

// Blocks transposed in registers, taken tile by tile so that both the rows read and the rows
// written stay in the cache.
template <int N, bool Clockwise>
ZENTAVO_SSSE3 void turnBlocks(const QImage& source, QImage& target) {
    constexpr int Side = BlockSide<N>;
    const int w = source.width();
    const int h = source.height();
    const int wb = w & ~(Side - 1);
    const int hb = h & ~(Side - 1);
    const uchar* src = source.constBits();
    uchar* dst = target.bits();
    const qsizetype srcStride = source.bytesPerLine();
    const qsizetype dstStride = target.bytesPerLine();
    const qsizetype outStep = Clockwise ? dstStride : -dstStride;
    // Column bands of tiles, each walked from top to bottom: the target's rows then fill from
    // one end to the other while their lines are in the cache, and the source is read down a
    // column of lines at a steady stride.
    for (int tx = 0; tx < wb; tx += TurnTileSize) {
        const int tx1 = std::min(wb, tx + TurnTileSize);
        for (int ty = 0; ty < hb; ty += TurnTileSize) {
            const int ty1 = std::min(hb, ty + TurnTileSize);
            for (int x = tx; x < tx1; x += Side) {
                uchar* column = Clockwise ? dst + x * dstStride : dst + (w - 1 - x) * dstStride;
                for (int y = ty; y < ty1; y += Side) {
                    const uchar* in = src + y * srcStride + x * N;
                    uchar* out = column + (Clockwise ? h - Side - y : y) * N;
                    if (y + Side < h) {
                        turnAnyBlock<N, Clockwise, true>(in, srcStride, out, outStep);
                    } else {
                        turnAnyBlock<N, Clockwise, false>(in, srcStride, out, outStep);
                    }
                }
            }
        }
    }
}

}  // namespace

bool reverseRowFast(uchar* row, int width, int bytesPerPixel) {
    if (!hasSsse3()) {
        return false;
    }
    switch (bytesPerPixel) {
        case 1:
            reverseRowBytes(row, width);
            return true;
        case 3:
            reverseRowRgb(row, width);
            return true;
        case 4:
            reverseRowRgba(row, width);
            return true;
        default:
            return false;
    }
}

bool reverseCopyFast(const uchar* in, uchar* out, int width) {
    if (!hasSsse3()) {
        return false;
    }
    reverseCopyBytes(in, out, width);
    return true;
}

int transposeByteBlocksFast(const uchar* source, qsizetype sourceStep, int columns, int rows,
                            uchar* target, qsizetype targetStep) {
    if (!hasSsse3()) {
        return 0;
    }
    transposeByteBlocks(source, sourceStep, columns & ~15, rows & ~15, target, targetStep);
    return 16;
}

int turnBlocksFast(const QImage& source, QImage& target, bool clockwise) {
    if (!hasSsse3()) {
        return 0;
    }
    switch (source.depth()) {
        case 8:
            clockwise ? turnBlocks<1, true>(source, target) : turnBlocks<1, false>(source, target);
            return BlockSide<1>;
        case 24:
            clockwise ? turnBlocks<3, true>(source, target) : turnBlocks<3, false>(source, target);
            return BlockSide<3>;
        case 32:
            clockwise ? turnBlocks<4, true>(source, target) : turnBlocks<4, false>(source, target);
            return BlockSide<4>;
        default:
            return 0;
    }
}

#else

bool reverseRowFast(uchar*, int, int) {
    return false;
}

bool reverseCopyFast(const uchar*, uchar*, int) {
    return false;
}

int transposeByteBlocksFast(const uchar*, qsizetype, int, int, uchar*, qsizetype) {
    return 0;
}

int turnBlocksFast(const QImage&, QImage&, bool) {
    return 0;
}

#endif

}  // namespace zentavo
