#pragma once

#include "imagefiles/picture/encoderquality.h"
#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start as a JPEG XL file does: a bare codestream (FF 0A) or the container's
// signature box.
inline bool looksLikeJxl(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView("\xFF\x0A", 2)) ||
           bytes.startsWith(QByteArrayView("\0\0\0\x0CJXL \r\n\x87\n", 12));
}

// JPEG XL through libjxl: lossy and lossless, alpha kept, samples of more than 8 bits kept as
// 16-bit samples, its orientation field applied; the ICC profile of the decoded pixels, and
// the Exif and xml boxes, kept. Of an animation the first frame is read and the rest counted
// as dropped. The size is checked against picture/limits.h before any pixel is decoded; what
// libjxl refuses is LoadError::Corrupt. Reentrant: any thread.
LoadResult decodeJxl(const QByteArray& bytes);

// The stored size (before orientation) from the header; invalid when unreadable.
QSize jxlHeaderSize(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// A JPEG XL file of picture through libjxl: lossless (its decoded pixels equal picture's) when
// the picture was read from a lossless file, lossy at the quality's distance otherwise; 8- or
// 16-bit samples as the picture holds them, alpha kept, its ICC profile kept (sRGB without
// one); EXIF and XMP made true of the output in the container's Exif and xml boxes. Throws
// WriteFailure. Reentrant: any thread.
QByteArray encodeJxl(const Picture& picture, const EncoderQuality& quality);

// The quality the writer uses, on cjxl's scale of 0 to 100, and the distance it gives. Any
// thread.
int jxlQualityFor(const EncoderQuality& quality);
float jxlDistanceFor(int quality);

}  // namespace zentavo
