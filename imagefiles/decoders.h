#pragma once

#include "imagefiles/loadpicfile.h"

#include <QByteArray>

namespace zentavo::decoders {

// The decoders behind loadPicture, one per family of formats, each from the whole file in
// memory. Each checks the header against imagefiles/limits.h before allocating pixels, and
// reports damaged data as LoadError::Corrupt. Reentrant; any thread.

// JPEG through TurboJPEG, with the EXIF orientation applied and the ICC profile kept.
LoadResult decodeJpeg(const QByteArray& bytes);

// The pixel size in a JPEG's frame header, before orientation; invalid when unreadable.
QSize jpegHeaderSize(const QByteArray& bytes);

// GIF through giflib: every frame as indices, the first frame composed as the image.
LoadResult decodeGif(const QByteArray& bytes);

// PNG through libspng, every colour type, bit depth and interlacing exactly: 16-bit samples
// stay 16-bit, a colour key becomes alpha, palettes and grey of 1 to 4 bits stay indexed.
LoadResult decodePng(const QByteArray& bytes);

// The pixel size in a PNG's header; invalid when unreadable.
QSize pngHeaderSize(const QByteArray& bytes);

// TIFF through libtiff for the common layouts, exactly; others through Qt's TIFF reader.
LoadResult decodeTiff(const QByteArray& bytes);

// BMP, ICO, CUR (and the TIFF fallback) through Qt's image reader.
LoadResult decodeWithQt(const QByteArray& bytes, PictureFormat format);

}  // namespace zentavo::decoders
