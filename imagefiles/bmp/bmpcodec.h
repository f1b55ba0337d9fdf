#pragma once

#include "imagefiles/picture/loadresult.h"
#include "imagefiles/qtreader/qtreader.h"

#include <QByteArray>

namespace zentavo::decoders {

// Whether bytes start as a Windows bitmap does ("BM" and room for the file header).
inline bool looksLikeBmp(const QByteArray& bytes) {
    return bytes.startsWith("BM") && bytes.size() >= 26;
}

// BMP through Qt's image reader (qtreader/qtreader.h), after the checks of its header.
inline LoadResult decodeBmp(const QByteArray& bytes) {
    return decodeWithQt(bytes, PictureFormat::Bmp);
}

}  // namespace zentavo::decoders

namespace zentavo {

// 24-bit uncompressed BMP, bottom-up rows, alpha composed onto white. Throws WriteFailure:
// status 3 when memory runs out, 2 for an empty picture. Reentrant: any thread.
QByteArray encodeBmp(const Picture& picture);

}  // namespace zentavo
