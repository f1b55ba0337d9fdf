#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start as a JPEG file does (SOI followed by a marker).
inline bool looksLikeJpeg(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView("\xFF\xD8\xFF", 3));
}

// JPEG through TurboJPEG, with the EXIF orientation applied and the ICC profile kept. Checks the
// header against picture/limits.h before allocating pixels; damaged data is LoadError::Corrupt.
// Reentrant: any thread.
LoadResult decodeJpeg(const QByteArray& bytes);

// The pixel size in a JPEG's frame header, before orientation; invalid when unreadable.
QSize jpegHeaderSize(const QByteArray& bytes);

}  // namespace zentavo::decoders

// The JPEG encoder is SaveJpeg's encodeJpeg, in jpeg/savejpeg.h.
