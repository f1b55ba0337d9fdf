#pragma once

#include "imagefiles/picture/encoderquality.h"
#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start as a WebP file does: a RIFF container of form "WEBP".
inline bool looksLikeWebp(const QByteArray& bytes) {
    return bytes.size() >= 12 && bytes.startsWith("RIFF") &&
           QByteArrayView(bytes).sliced(8, 4) == "WEBP";
}

// WebP through libwebp: lossy (VP8) and lossless (VP8L) pictures, alpha kept; an animation as
// every frame composed on its canvas (Picture::animation) with its timing and loop count, the
// first frame as Picture::image. The ICC profile, EXIF and XMP chunks are read through libwebp's
// demuxer. The canvas and the frames are checked against picture/limits.h before any pixel is
// decoded; what libwebp refuses is LoadError::Corrupt with its words. Reentrant: any thread.
LoadResult decodeWebp(const QByteArray& bytes);

// The canvas size from the header; invalid when unreadable.
QSize webpHeaderSize(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// A WebP file of picture through libwebp: lossless (VP8L, exact) when the picture was read from
// a lossless file, lossy at the quality otherwise; alpha kept; an animation written frame by
// frame with its timing and loop count. The ICC profile, EXIF and XMP (made true of the output)
// go into the container through libwebp's mux. Throws WriteFailure. Reentrant: any thread.
QByteArray encodeWebp(const Picture& picture, const EncoderQuality& quality);

// The quality the writer uses, on libwebp's scale of 0 to 100, for the run's setting. Any
// thread.
int webpQualityFor(const EncoderQuality& quality);

}  // namespace zentavo
