#pragma once

#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/metadata/metadata.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace zentavo {

// What libjpeg reads of a JPEG's header, up to its first scan.
struct JpegHeader {
    bool read = false;                  // the header was read; else reason says why not
    QString reason;                     // libjpeg's words when it was not
    bool noImage = false;               // the stream holds tables only, no picture
    std::vector<JpegSegment> segments;  // every APPn and COM segment, in file order
    QByteArray iccProfile;              // the ICC profile its APP2 segments hold; empty when
                                        // none or incomplete
    Resolution jfifDensity;             // the JFIF segment's density; unit None when none
    bool adobe = false;                 // an Adobe APP14 segment (CMYK stored inverted)
    bool progressive = false;
    bool arithmetic = false;
};

// Reads a JPEG's header with libjpeg: segments, profile, density, coding. Never throws, never
// reads out of bounds. Reentrant.
JpegHeader readJpegHeader(const QByteArray& jpeg);

// The metadata of a JPEG file read with readJpegHeader; null when the header cannot be read.
std::shared_ptr<const PictureMetadata> jpegMetadataOf(const JpegHeader& header);

// Saves every APPn and COM segment a reader meets, whole. Call before jpeg_read_header.
void saveJpegSegments(j_decompress_ptr reader);

// The JFIF density an encoder writes: the resolution in whole dots per inch or centimetre
// (16 bits), or 1:1 without a unit when there is none. Call before the encoder starts.
void setJfifDensity(j_compress_ptr writer, const Resolution& density);

// Writes the metadata segments in their order, the ICC profile at its place (or first, when
// the segments name no place), after the encoder has started and before any image data.
void writeJpegSegments(j_compress_ptr writer, const JpegMetadataOutput& metadata,
                       const QByteArray& iccProfile);

// The bytes after the end of the image a reader has finished: the file's trailer.
QByteArray unreadJpegBytes(j_decompress_ptr reader);

}  // namespace zentavo
