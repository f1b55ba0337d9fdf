#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start with the PNG signature.
inline bool looksLikePng(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView("\x89PNG\r\n\x1A\n", 8));
}

// PNG through libspng, every colour type, bit depth and interlacing exactly: 16-bit samples
// stay 16-bit, a colour key becomes alpha, palettes and grey of 1 to 4 bits stay indexed.
// Checks the header against picture/limits.h before allocating pixels; damaged data is
// LoadError::Corrupt. Reentrant: any thread.
LoadResult decodePng(const QByteArray& bytes);

// The pixel size in a PNG's header; invalid when unreadable.
QSize pngHeaderSize(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// PNG through libspng at zlib level 1 with one fixed row filter. Alpha, 16-bit samples, the ICC
// profile (or the sRGB or gamma chunk the picture was read with), the resolution and the text
// are kept; palettes stay palettes and grey ramps of 1, 2 or 4 bits stay grey at that depth.
// The file's bytes in memory; the metadata is added by metadata/metadata.h. Throws
// WriteFailure: status 3 when memory runs out, 1 when the encoder fails, 2 for an empty
// picture. Reentrant: any thread, one call per picture.
QByteArray encodePng(const Picture& picture);

}  // namespace zentavo
