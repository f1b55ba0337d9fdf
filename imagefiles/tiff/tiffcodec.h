#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>

namespace zentavo::decoders {

// Whether bytes start as a TIFF or BigTIFF file does, in either byte order.
inline bool looksLikeTiff(const QByteArray& bytes) {
    for (const char* magic : {"II*\0", "MM\0*", "II+\0", "MM\0+"}) {
        if (bytes.startsWith(QByteArrayView(magic, 4))) {
            return true;
        }
    }
    return false;
}

// TIFF through libtiff for the common layouts, exactly; others through Qt's TIFF reader. An
// 8-bit CMYK file becomes a CMYK picture (colour/cmyk.h). Checks the header against
// picture/limits.h before allocating pixels; damaged data is LoadError::Corrupt. Reentrant:
// any thread.
LoadResult decodeTiff(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// TIFF through libtiff with deflate compression and the horizontal predictor. 8- or 16-bit
// samples, grey or RGB, alpha as unassociated or associated extra sample as the picture holds
// it, and the ICC profile.
// A picture of a colour table stays in its kind: black and white as 1 bit a pixel (CCITT
// Group 4 when its file used a CCITT code, else deflate), other opaque tables as a palette.
// The file's bytes in memory; the metadata is added by metadata/metadata.h. Throws
// WriteFailure: status 3 when memory runs out, 1 when the encoder fails, 2 for an empty
// picture. Reentrant: any thread, one call per picture.
QByteArray encodeTiff(const Picture& picture);

}  // namespace zentavo
