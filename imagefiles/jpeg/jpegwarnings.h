#pragma once

#include <QByteArray>
#include <QString>

#include <turbojpeg.h>

#include <optional>

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

// The frame header of a JPEG stream as TurboJPEG reads it.
struct JpegFrame {
    int width = 0;
    int height = 0;
    int subsampling = -1;
    int colorspace = -1;
};

// Reads the frame header of jpeg with handle. A warning that leaves the pixels whole (stray
// bytes between segments) still gives the header; anything else gives nothing, and the
// decoder's words in *why.
std::optional<JpegFrame> readJpegFrame(tjhandle handle, const QByteArray& jpeg, QString* why);

}  // namespace zentavo
