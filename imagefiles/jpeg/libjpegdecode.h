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

// Decodes jpeg into target (height rows of pitch bytes) as TurboJPEG's pixelFormat (TJPF_RGB,
// TJPF_GRAY or TJPF_CMYK) would. Returns the words of the damage the decoder met (data cut off,
// bad codes, a fatal error), or an empty text when the picture is whole.
QString decodeWithLibjpeg(const QByteArray& jpeg, int pixelFormat, unsigned char* target,
                          int pitch, int height);

}  // namespace zentavo
