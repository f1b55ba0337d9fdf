#pragma once

#include "imagefiles/picture/picture.h"

#include <QImage>

namespace zentavo {

// The two mirrors of a picture.
enum class Mirror { Horizontal, Vertical };

// Mirrors image in place, exactly: output pixel (x, y) is input pixel (W-1-x, y) for
// Horizontal and (x, H-1-y) for Vertical. Any format; pictures of less than 8 bits per pixel
// become Indexed8 with the same colours. Keeps the colour table, colour space and resolution.
// Any thread, one image per call.
void mirrorImage(QImage& image, Mirror mirror);

// image turned clockwise by quarterTurns x 90 degrees (any integer, taken modulo 4), exactly:
// for one quarter turn output pixel (H-1-y, x) is input pixel (x, y) and a W x H picture
// becomes H x W. Keeps the format, colour table, colour space and resolution (swapped). A null
// image when the memory cannot be had. Any thread.
QImage turnImage(const QImage& image, int quarterTurns);

// The same on every frame of a GIF: each frame's indices are mirrored or turned and its offset
// moved, so the animation shows mirrored or turned; the logical screen turns with it.
void mirrorGif(GifAnimation& gif, Mirror mirror);
void turnGif(GifAnimation& gif, int quarterTurns);

// The same on a whole picture: its image and, for a GIF, every frame. Throws std::bad_alloc
// when the memory for a turned copy cannot be had. Any thread.
void mirrorPicture(Picture& picture, Mirror mirror);
void turnPicture(Picture& picture, int quarterTurns);

// Applies an EXIF orientation (1 to 8) so that the picture looks as viewers show it. Other
// values leave it unchanged.
void applyOrientation(Picture& picture, int orientation);

}  // namespace zentavo
