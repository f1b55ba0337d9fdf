#pragma once

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

}  // namespace zentavo
