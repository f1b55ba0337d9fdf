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

}  // namespace zentavo
