#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start as a JPEG file does (SOI followed by a marker).
inline bool looksLikeJpeg(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView("\xFF\xD8\xFF", 3));
}

// JPEG through TurboJPEG, with the EXIF orientation applied, the ICC profile and the metadata
// kept (libjpeg reads the header's segments). Checks the
// header against picture/limits.h before allocating pixels; damaged data is LoadError::Corrupt.
// Reentrant: any thread.
LoadResult decodeJpeg(const QByteArray& bytes);

// The same at one of TurboJPEG's reducing scales (1/8 to 1), the smallest that keeps the longer
// side at least longSide pixels: only the coefficients that scale needs are transformed, so a
// 12-megapixel photo decodes for a 500-pixel view in a fraction of the time. The header,
// ceilings and damage are judged as decodeJpeg judges them. Reentrant: any thread.
LoadResult decodeJpegReduced(const QByteArray& bytes, int longSide);

// The pixel size in a JPEG's frame header, before orientation; invalid when unreadable.
QSize jpegHeaderSize(const QByteArray& bytes);

// A JPEG decoded at the smallest scale that still covers side pixels on its longer edge, as it
// is stored (no orientation), for a thumbnail; null when it cannot be decoded. Reentrant.
QImage decodeJpegSmall(const QByteArray& bytes, int side);

}  // namespace zentavo::decoders

// The JPEG encoder is SaveJpeg's encodeJpeg, in jpeg/savejpeg.h.
