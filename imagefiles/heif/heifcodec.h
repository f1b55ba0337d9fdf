#pragma once

#include "imagefiles/picture/encoderquality.h"
#include "imagefiles/picture/loadresult.h"
#include "imagefiles/picture/pixelmove.h"

#include <QByteArray>
#include <QSize>

namespace zentavo::decoders {

// Whether bytes start with the file-type box of a HEIF file coded with HEVC or any other codec
// but AV1 ("heic", "heix", "mif1"...), and of an AVIF file (brand "avif" or "avis").
bool looksLikeHeif(const QByteArray& bytes);
bool looksLikeAvif(const QByteArray& bytes);

// The primary image of a HEIF or AVIF file through libheif, as it is shown: its irot, imir and
// clap transforms applied, alpha kept, 10- and 12-bit samples kept as 16-bit samples
// (Picture::sampleBits says which), its ICC profile and nclx colour kept, its EXIF and XMP read.
// A file of several top-level images counts the others in Picture::droppedPages. The size is
// checked against picture/limits.h before any pixel is decoded, and libheif's own image size
// limit is set to the same ceiling; what libheif refuses is LoadError::Corrupt with its words.
// Reentrant: any thread.
LoadResult decodeHeif(const QByteArray& bytes);

// The primary image's stored size (its ispe box, before its transforms); invalid when the
// boxes that say it are not within bytes.
QSize heifHeaderSize(const QByteArray& bytes);

}  // namespace zentavo::decoders

namespace zentavo {

// A HEIF file of picture coded with HEVC through libheif and x265: 8-bit, or 10-bit for
// pictures that held more than 8 bits a sample; alpha kept; ICC profile and nclx colour kept;
// EXIF and XMP made true of the output. The quality maps onto libheif's scale (Smart-Detect
// through the table of heifquality.cpp). No irot or imir: the pixels are stored as shown.
// Throws WriteFailure. Reentrant: any thread.
QByteArray encodeHeif(const Picture& picture, const EncoderQuality& quality);

// An AVIF file of picture through libavif and the AV1 encoder behind it, at the picture's depth
// (8, 10 or 12 bits; 16-bit samples of no stated depth as 12), alpha kept. A picture read from
// a lossless file is written lossless (identity matrix, 4:4:4, quantizer 0): its decoded
// pixels equal picture's. Throws WriteFailure. Reentrant: any thread.
QByteArray encodeAvif(const Picture& picture, const EncoderQuality& quality);

// The qualities the writers use, on libheif's and libavif's scale of 0 to 100, for the run's
// setting: libavif's scale follows libjpeg's, so a fixed quality carries over; libheif's does
// not, so a fixed quality N is the libheif quality that spends about 60 % of the JPEG writer's
// bits at N (heifquality.cpp). Smart-Detect keeps the input's bits a pixel. Any thread.
int heifQualityFor(const EncoderQuality& quality);
int avifQualityFor(const EncoderQuality& quality);

// A HEIF or AVIF file turned without re-encoding: its bytes, or why it was not turned.
struct LosslessHeif {
    QByteArray bytes;     // empty when refused
    QString refusal;      // a sentence; empty when turned
    int orientation = 1;  // the EXIF orientation that agrees with the new transforms
};

// bytes, a HEIF or AVIF file, shown after move by editing its primary image's irot and imir
// properties (heif/heifboxes.h): the coded image data are copied untouched, the EXIF and XMP
// orientation made to agree. The result is read back through libheif before it is returned:
// a file libheif does not open, or that does not show the turned size, is refused, never
// returned. Reentrant: any thread.
LosslessHeif turnHeifLosslessly(const QByteArray& bytes, PixelMove move);

}  // namespace zentavo
