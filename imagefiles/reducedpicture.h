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

// Whether a thumbnail the file itself carries may stand for the picture (HEIF and AVIF files
// from phones and cameras carry one). It is decoded in a fraction of the time, but it is not
// the picture: a file whose picture is damaged may have a good thumbnail.
enum class EmbeddedThumbnail { Refused, Welcome };

// Loads a picture file for a preview or a thumbnail, its longer side at most longSide pixels
// (never enlarged). The decoder is chosen by content as loadPicture chooses it; a JPEG decodes
// at TurboJPEG's smallest scale that keeps longSide (through libjpeg at the same scale when
// TurboJPEG cannot name its sampling), other formats (PNG, TIFF, GIF, BMP, icons, WebP, HEIF,
// AVIF, JPEG XL) decode whole and are scaled down smoothly. Colours are converted to sRGB for the
// screen. Reentrant: any thread; it may take a while for a large non-JPEG file, so not on the GUI
// thread.
// With EmbeddedThumbnail::Welcome a HEIF or AVIF file's own thumbnail is taken instead when it
// shows the same picture at least longSide pixels long (heif/heifcodec.h).
ReducedPicture loadReducedPicture(const QString& path, int longSide,
                                  EmbeddedThumbnail embedded = EmbeddedThumbnail::Refused);

}  // namespace zentavo
