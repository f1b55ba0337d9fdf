#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QImage>

namespace zentavo::decoders {

// Whether bytes start with a GIF87a or GIF89a signature.
inline bool looksLikeGif(const QByteArray& bytes) {
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

// GIF through giflib: every frame as indices, the first frame composed as the image. Checks the
// logical screen and the frames against picture/limits.h before allocating; damaged data is
// LoadError::Corrupt. Reentrant: any thread.
LoadResult decodeGif(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// GIF through giflib. A picture that came from a GIF (picture.gif) is written back from its
// palette indices without loss: every frame with its offsets, palette, delay, disposal and
// transparent index, and the loop count. Any other picture is quantised to 256 colours with
// libimagequant and dithered; fully transparent pixels become the transparent colour.
// Throws WriteFailure: status 3 when memory runs out, 1 when the encoder fails, 2 for an empty
// picture. Reentrant: any thread, one call per picture.
QByteArray encodeGif(const Picture& picture);

// The quantised half of encodeGif: one frame of at most 256 colours chosen for this picture.
QByteArray encodeQuantisedGif(const QImage& image);

// Writes one frame of palette indices as a whole GIF file (used by encodeQuantisedGif).
QByteArray encodeIndexedGif(const QImage& indices, int transparentIndex);

}  // namespace zentavo
