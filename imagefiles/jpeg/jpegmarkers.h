#pragma once

#include "imagefiles/picture/orientation.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace zentavo {

// What the loader takes from a JPEG's marker segments before the image data.
struct JpegMarkers {
    int orientation = 1;    // 1 to 8; 1 when absent or invalid
    QByteArray iccProfile;  // the APP2 ICC_PROFILE chunks joined in order; empty when absent
                            // or when the chunks are incomplete
    bool adobe = false;     // an Adobe APP14 segment is present (CMYK stored inverted)
    int frameMarker = 0;    // the first SOF marker (0xC0 baseline, 0xC2 progressive, 0xC9
                            // and up arithmetic); 0 when none comes before the first SOS
};

// Walks the marker segments from SOI up to the first SOS. Every length is checked against the
// buffer: hostile bytes give defaults, never a read out of bounds. Reentrant.
JpegMarkers scanJpegMarkers(const QByteArray& jpeg);

// The orientation in an APP1 payload that starts with "Exif\0\0"; 1 when absent or invalid.
// Bounds-checked on every read. Reentrant.
int exifOrientation(const std::uint8_t* payload, std::size_t size);

// Sets the orientation of a JPEG's first Exif APP1 segment to 1 in place, changing two bytes
// and nothing else. False when that segment holds no orientation other than 1. Bounds-checked
// like scanJpegMarkers.
bool resetJpegOrientation(QByteArray& jpeg);

}  // namespace zentavo
