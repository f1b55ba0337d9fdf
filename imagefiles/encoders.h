#pragma once

#include "imagefiles/picture.h"

#include <QByteArray>

namespace zentavo {

// The file encoders behind the encoder registry, each turning a picture into the bytes of one
// file in memory (the registry writes them through an AtomicFile). Reentrant: any thread, one
// call per picture. Each throws WriteFailure: status 3 when memory runs out, 1 when the encoder
// fails, 2 for an empty picture.

// 24-bit uncompressed BMP, bottom-up rows, alpha composed onto white.
QByteArray encodeBmp(const Picture& picture);

// PNG through libspng at zlib level 1 with one fixed row filter. Alpha, 16-bit samples, the ICC
// profile (or the sRGB or gamma chunk the picture was read with), the resolution and the text
// are kept; palettes stay palettes and grey ramps of 1, 2 or 4 bits stay grey at that depth.
QByteArray encodePng(const Picture& picture);

// TIFF through libtiff with deflate compression and the horizontal predictor. 8- or 16-bit
// samples, grey or RGB, alpha as unassociated or associated extra sample as the picture holds
// it, and the ICC profile.
// A picture of a colour table stays in its kind: black and white as 1 bit a pixel (CCITT
// Group 4 when its file used a CCITT code, else deflate), other opaque tables as a palette.
QByteArray encodeTiff(const Picture& picture);

// GIF through giflib. A picture that came from a GIF (picture.gif) is written back from its
// palette indices without loss: every frame with its offsets, palette, delay, disposal and
// transparent index, and the loop count. Any other picture is quantised to 256 colours with
// libimagequant and dithered; fully transparent pixels become the transparent colour.
QByteArray encodeGif(const Picture& picture);

// The quantised half of encodeGif: one frame of at most 256 colours chosen for this picture.
QByteArray encodeQuantisedGif(const QImage& image);

// Writes one frame of palette indices as a whole GIF file (used by encodeQuantisedGif).
QByteArray encodeIndexedGif(const QImage& indices, int transparentIndex);

}  // namespace zentavo
