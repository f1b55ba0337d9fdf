#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>

namespace zentavo {

// CMYK pictures. A CMYK file keeps its ink samples in Picture::cmyk (4 bytes a pixel in a
// Format_RGBA8888 image, stored as Adobe JPEGs store them: 255 is no ink, 0 full ink) with its
// profile in Picture::cmykProfile, so that JPEG and TIFF outputs stay CMYK. Picture::image holds
// the same picture converted to sRGB, for every other output; no CMYK profile is ever attached
// to it. The one file of the program that speaks to Little CMS.

// Makes picture a CMYK picture from inverted samples (width x height x 4 bytes, 255 = no ink):
// cmyk takes them, image the sRGB conversion through profile (Little CMS, perceptual intent),
// or through the plain ink formula when profile is empty or not a usable CMYK profile.
// Throws std::bad_alloc when memory runs out. Reentrant: any thread.
void setCmykPicture(Picture& picture, QImage inverted, const QByteArray& profile);

}  // namespace zentavo
