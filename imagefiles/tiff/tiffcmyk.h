#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>

namespace zentavo {

// For a TIFF file of 8-bit CMYK samples (photometric separated, ink set CMYK, samples
// together): the picture made CMYK from the file's samples and profile (colour/cmyk.h). False,
// and picture untouched, for any other TIFF or when the samples cannot be read. Reentrant: any
// thread.
bool readCmykTiff(const QByteArray& bytes, Picture& picture);

}  // namespace zentavo
