#pragma once

#include "imagefiles/jpeg/jpegwarnings.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentavo {

// The decoder for the JPEG streams TurboJPEG's functions refuse although they are valid: sampling
// factors it has no name for, such as the 1 x 4 luma blocks that a lossless quarter turn of a
// 4:1:1 picture writes. Reads through the libjpeg API. Reentrant: any thread.

// The frame header as readJpegFrame gives it, with subsampling -1 (no TurboJPEG name); nothing
// when libjpeg cannot read the header either.
std::optional<JpegFrame> readFrameWithLibjpeg(const QByteArray& jpeg);

// Where a decode goes: height rows of pitch bytes, each of width pixels, which is the frame's
// size at the scale scaleNum / scaleDenom (one of TurboJPEG's scales, 1/8 to 1, rounded up as
// TJSCALED rounds).
struct LibjpegTarget {
    unsigned char* pixels = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    int scaleNum = 1;
    int scaleDenom = 1;
};

// Decodes jpeg into target as TurboJPEG's pixelFormat (TJPF_RGB, TJPF_GRAY or TJPF_CMYK) would,
// at the target's scale. Returns the words of the damage the decoder met (data cut off, bad
// codes, a fatal error, a scaled size other than the target's), or an empty text when the
// picture is whole.
QString decodeWithLibjpeg(const QByteArray& jpeg, int pixelFormat, const LibjpegTarget& target);

}  // namespace zentavo
