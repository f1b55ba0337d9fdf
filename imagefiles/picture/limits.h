#pragma once

#include <QtGlobal>

#include <cstdint>

namespace zentavo::limits {

// Every ceiling the loader enforces, in one place. Each is checked from a file's header before
// the memory it guards is allocated, so an absurd header is refused in milliseconds.

// Largest file read into memory, in bytes. Real photos and panoramas stay far below it.
inline constexpr qint64 MaxInputFileBytes = qint64(1) << 30;  // 1 GiB

// Largest decoded picture, in bytes of pixel memory (width x height x bytes per pixel). Enough
// for a 12000 x 9000 picture with 16-bit RGBA samples (864 MB) and a 20000 x 15000 PNG decoded
// as 32-bit pixels (1.2 GB).
inline constexpr qint64 MaxDecodedBytes = qint64(1536) << 20;  // 1.5 GiB

// Longest side of a decoded picture, in pixels.
inline constexpr int MaxSide = 65535;

// Largest GIF logical screen, in pixels (width x height). A 12000 x 9000 screen fits.
inline constexpr qint64 MaxGifCanvasPixels = qint64(120) << 20;  // about 126 million

// Total index bytes of all frames of one GIF, so that thousands of small frames cannot add up
// to gigabytes.
inline constexpr qint64 MaxGifFrameBytes = qint64(1) << 30;  // 1 GiB

// Most frames kept from one GIF.
inline constexpr int MaxGifFrames = 10000;

// Total pixel bytes of all frames of one animation kept as whole pictures (animated WebP), and
// the most frames kept.
inline constexpr qint64 MaxAnimationBytes = qint64(1) << 30;  // 1 GiB
inline constexpr int MaxAnimationFrames = 10000;

// TurboJPEG's scan limit for progressive JPEGs (TJFLAG_LIMITSCANS stops after 500 scans);
// real progressive files have about ten.
inline constexpr int MaxProgressiveScans = 500;

// Whether a picture of width x height pixels of bytesPerPixel bytes each fits the ceilings.
inline bool decodedSizeAllowed(qint64 width, qint64 height, qint64 bytesPerPixel) {
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        return false;
    }
    return width * height * bytesPerPixel <= MaxDecodedBytes;
}

}  // namespace zentavo::limits
