#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QImage>

#include <vector>

namespace zentavo::decoders {

// Whether bytes start with a GIF87a or GIF89a signature.
inline bool looksLikeGif(const QByteArray& bytes) {
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

// GIF through giflib: every frame as indices, the first frame composed as the image; the comment
// extensions and the XMP application extension become the picture's metadata, the ICC one its
// profile. Checks the logical screen and the frames against picture/limits.h before allocating;
// damaged data is LoadError::Corrupt. Reentrant: any thread.
LoadResult decodeGif(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// What a GIF file carries besides its frames: comment extensions (in order), an XMP packet and
// an ICC profile in their application extensions.
struct GifExtensions {
    std::vector<QByteArray> comments;
    QByteArray xmp;
    QByteArray iccProfile;
};

// GIF through giflib. A picture that came from a GIF (picture.gif) is written back from its
// palette indices without loss: every frame with its offsets, palette, delay, disposal and
// transparent index, and the loop count. Any other picture is quantised to 256 colours with
// libimagequant and dithered; fully transparent pixels become the transparent colour. The
// picture's comments, XMP packet (made true of it) and ICC profile go into extensions.
// Throws WriteFailure: status 3 when memory runs out, 1 when the encoder fails, 2 for an empty
// picture. Reentrant: any thread, one call per picture.
QByteArray encodeGif(const Picture& picture);

// The quantised half of encodeGif: one frame of at most 256 colours chosen for this picture.
QByteArray encodeQuantisedGif(const QImage& image, const GifExtensions& extensions = {});

// Writes one frame of palette indices as a whole GIF file (used by encodeQuantisedGif).
QByteArray encodeIndexedGif(const QImage& indices, int transparentIndex,
                            const GifExtensions& extensions = {});

}  // namespace zentavo
