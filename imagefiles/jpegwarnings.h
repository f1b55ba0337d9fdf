#pragma once

#include <QByteArray>
#include <QString>

namespace zentavo {

// Reads every scan of a JPEG stream (entropy decoding only, no pixels made) and hears every
// warning the decoder raises, not only the first. Returns the first warning that means gaps in
// the picture (data cut off, bad Huffman or arithmetic codes, lost restart markers) as the
// decoder words it, or an empty text when the data is whole. Warnings that leave the pixels whole
// (stray bytes between segments, an unknown JFIF revision or Adobe transform, a damaged colour
// profile marker) are passed over. Reentrant: any thread.
QString jpegDamage(const QByteArray& jpeg);

// True when a warning text of the decoder leaves the pixels whole (see jpegDamage).
bool harmlessJpegWarning(const QString& warning);

}  // namespace zentavo
