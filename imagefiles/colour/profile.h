#pragma once

#include <QByteArray>

namespace zentavo {

// The colour model of a picture's pixels.
enum class PixelModel { Grey, Rgb, Cmyk };

// Whether an ICC profile describes pixels of that model (its data colour space, read with Little
// CMS): a profile is attached only to pixels it describes, never a CMYK profile to RGB pixels.
// False for an empty or unreadable profile. Reentrant: any thread.
bool profileFitsPixels(const QByteArray& profile, PixelModel model);

}  // namespace zentavo
