#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>

namespace zentavo {

// CMYK pictures. A CMYK file keeps its ink samples in Picture::cmyk (4 samples a pixel in a
// Format_RGBA8888 image, or Format_RGBA64 for 16-bit files, stored as Adobe JPEGs store them: the
// maximum is no ink, 0 full ink) with its profile in Picture::cmykProfile, so that JPEG and TIFF
// outputs stay CMYK. Picture::image holds the same picture converted to sRGB, for every other
// output; no CMYK profile is ever attached to it. The one file of the program that speaks to
// Little CMS.

// Makes picture a CMYK picture from inverted samples (Format_RGBA8888 or Format_RGBA64, the
// maximum = no ink): cmyk takes them, image the sRGB conversion through profile (Little CMS,
// perceptual intent; 16-bit samples give 16-bit pixels), or through the plain ink formula when
// profile is empty or not a usable CMYK profile.
// Throws std::bad_alloc when memory runs out. Reentrant: any thread.
void setCmykPicture(Picture& picture, QImage inverted, const QByteArray& profile);

}  // namespace zentavo
