#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace zentavo {

// The EXIF orientation values (TIFF tag 0x0112), as stored in files.
enum class ExifOrientation : int {
    Normal = 1,
    MirrorHorizontal = 2,
    Turn180 = 3,
    MirrorVertical = 4,
    Transpose = 5,   // mirrored about the top-left to bottom-right diagonal
    Turn90Cw = 6,    // the stored picture must be turned 90 degrees clockwise to show it
    Transverse = 7,  // mirrored about the top-right to bottom-left diagonal
    Turn270Cw = 8,
};

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
