#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>

namespace zentavo {

// Pixel preparation shared by the writers. Reentrant: any thread. Each throws WriteFailure with
// status 3 when the converted copy cannot be allocated and status 2 for an empty picture.

// The picture as 8-bit opaque colour (Format_RGB32) with any alpha composed onto white, as
// formats without alpha (JPEG, BMP) show a translucent picture.
QImage flattenedOntoWhite(const QImage& image);

// Whether the picture is grey only by its format (8- or 16-bit grey), not by chance of content.
bool isGreyFormat(const QImage& image);

// The ICC profile to write with picture: the one read with it, empty when none. A colour space
// that Qt gave the image on its own (an sRGB chunk, a default) is not a profile of the file and
// is not embedded in JPEG and TIFF files.
QByteArray iccProfileOf(const Picture& picture);

// Throws WriteFailure(OutOfMemory) when image is null although source was not: Qt reports a
// failed allocation with a null image.
void requireAllocated(const QImage& image);

// Throws WriteFailure(InvalidParameter) for a picture without pixels.
void requirePixels(const Picture& picture);

// A picture's samples as the encoders of interleaved RGB or RGBA take them (HEIF, AVIF, WebP,
// JPEG XL): bytes for 8 bits, else 16-bit words in host order holding values of bits bits (the
// most significant bits of the picture's 16-bit samples). Alpha is kept when the picture has
// it, unpremultiplied.
struct WriterSamples {
    QByteArray data;
    int width = 0;
    int height = 0;
    int bits = 8;
    bool alpha = false;
    qsizetype rowBytes = 0;

    int channels() const { return alpha ? 4 : 3; }
    const uchar* row(int y) const {
        return reinterpret_cast<const uchar*>(data.constData()) + qsizetype(y) * rowBytes;
    }
};

// The samples of picture at bits (8 to 16) a sample. Throws WriteFailure (status 3) when the
// memory cannot be had, (status 2) for an empty picture.
WriterSamples writerSamples(const Picture& picture, int bits);

}  // namespace zentavo
