#pragma once

#include "imagefiles/picture/picture.h"

#include <QString>
#include <QtGlobal>

namespace zentavo {

// The JPEG quality, 1 to 100, that a file of fileLength bytes suggests for a picture of width x
// height pixels: v = 101 - (width x height x 3) / fileLength, rounded to the nearest whole
// number with ties to even; 1 when that is 0 or less, at most 100. Each unit of compression
// ratio against 24-bit colour costs one quality step.
// Throws ZentavoError(ErrorNumber::Overflow) when the rounded value leaves the signed 16-bit
// range (a ratio above about 32,868, or a zero length). Pure; any thread.
int DetectJpegQuality(double width, double height, qint64 fileLength);

// The same for a picture already decoded from path: its pixel size and path's length in bytes.
// The file is not read or decoded again. Throws ZentavoError(ErrorNumber::Generic) when path
// has vanished, and the overflow above. Any thread.
int DetectJpegQuality(const Picture& picture, const QString& path);

}  // namespace zentavo
