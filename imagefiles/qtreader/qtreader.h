#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>

namespace zentavo::decoders {

// Whether bytes start as a Windows icon or cursor file does (reserved 0, type 1 or 2, at
// least one image).
inline bool looksLikeIcon(const QByteArray& bytes) {
    return bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 1 || bytes[2] == 2) &&
           bytes[3] == 0 && (bytes[4] != 0 || bytes[5] != 0);
}

// BMP, ICO, CUR (and what libtiff cannot convert of a TIFF) through Qt's image reader, with the
// header checked against picture/limits.h before any pixel is decoded. Reentrant: any thread.
LoadResult decodeWithQt(const QByteArray& bytes, PictureFormat format);

// An icon or cursor file through Qt's image reader.
inline LoadResult decodeIcon(const QByteArray& bytes) {
    return decodeWithQt(bytes, PictureFormat::Ico);
}

}  // namespace zentavo::decoders
