#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QSize>
#include <QString>

namespace zentavo {

// A picture made small enough to show on a screen, and the size of the whole one.
struct ReducedPicture {
    // The picture upright (the orientation its file states applied, as loadPicture applies it),
    // its longer side at most the side asked for; or the error and the reason a user reads, the
    // same as loadPicture gives for the file. Holds the image only: no GIF or WebP frames, CMYK
    // inks or metadata.
    LoadResult loaded;
    QSize fullSize;  // the upright picture's size in pixels before the reduction
};

// Loads a picture file for a preview or a thumbnail, its longer side at most longSide pixels
// (never enlarged). The decoder is chosen by content as loadPicture chooses it; a JPEG decodes
// at TurboJPEG's smallest scale that keeps longSide (through libjpeg at the same scale when
// TurboJPEG cannot name its sampling), other formats (PNG, TIFF, GIF, BMP, icons, WebP, HEIF,
// AVIF, JPEG XL) decode whole and are scaled down smoothly. Colours are converted to sRGB for the
// screen. Reentrant: any thread; it may take a while for a large non-JPEG file, so not on the GUI
// thread.
ReducedPicture loadReducedPicture(const QString& path, int longSide);

}  // namespace zentavo
