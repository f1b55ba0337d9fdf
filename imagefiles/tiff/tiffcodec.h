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

// TIFF through libtiff for the common layouts, exactly; others through Qt's TIFF reader. A CMYK
// file of 8 or 16 bits, in strips or tiles, samples together or in planes, becomes a CMYK
// picture (colour/cmyk.h); an ICC profile is kept only with pixels of its colour model. Checks the
// header against picture/limits.h before allocating pixels; damaged data is LoadError::Corrupt.
// Reentrant: any thread.
LoadResult decodeTiff(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// TIFF through libtiff with LZW compression (deflate when the file it came from used deflate)
// and the horizontal predictor (the floating-point one for floating-point samples). 8- or 16-bit
// samples, grey or RGB, alpha as unassociated or associated extra sample as the picture holds
// it, and the ICC profile.
// A picture of a colour table stays in its kind: black and white as 1 bit a pixel (CCITT
// Group 4 when its file used a CCITT code), other opaque tables as a palette.
// The resolution is the one the picture's file stated, in its unit (none when it stated none);
// the metadata follows (metadata/metadata.h, withTiffMetadata). The file's bytes in memory.
// Throws WriteFailure: status 3 when memory runs out, 1 when the encoder fails, 2 for an empty
// picture. Reentrant: any thread, one call per picture.
QByteArray encodeTiff(const Picture& picture);

}  // namespace zentavo
