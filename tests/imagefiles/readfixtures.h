#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace zentavo::test {

// Pictures and files the reading tests generate: nothing here comes from outside.

// A picture of size in format with random pixels (indices within the colour table for
// Indexed8) from seed.
QImage randomImage(int width, int height, QImage::Format format, unsigned seed);

// A JPEG of a picture through TurboJPEG. subsampling is a TJSAMP value.
QByteArray encodeJpeg(const QImage& rgb888, int quality = 95, int subsampling = 2);

// jpeg with an APP1 Exif segment holding orientation inserted after SOI.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian = true);

// A TIFF of 8- or 16-bit RGBA samples (channels 4) or grey and alpha (channels 2) written with
// libtiff; alpha associated or not; samples interleaved or in one plane each (separate).
// samples holds width x height x channels values; the file holds pages copies of the picture.
// whiteIsZero makes grey and alpha files white-is-zero; tagged false leaves the ExtraSamples tag
// out (associated is then ignored).
QByteArray writeRgbaTiff(int width, int height, int bits, bool associated,
                         const std::vector<quint16>& samples, int pages = 1, int channels = 4,
                         bool separate = false, bool whiteIsZero = false, bool tagged = true);

// One frame of a GIF written by writeGif.
struct GifFrameInput {
    int left = 0;
    int top = 0;
    QImage indices;  // Indexed8
    int delay = 0;
    int transparentIndex = -1;
    bool localPalette = false;
    int disposal = 1;  // DISPOSE_DO_NOT
    bool userInput = false;
};

// A GIF file with the given screen, global palette (4 colours), frames and loop count.
QByteArray writeGif(int screenWidth, int screenHeight, const std::vector<GifFrameInput>& frames,
                    int loopCount);

// A one-frame GIF of an Indexed8 picture with a 256-colour palette, written by giflib itself
// (EGifSpew), which also puts the rows of an interlaced frame in their passes.
QByteArray writeGifThroughGiflib(const QImage& indices, bool interlaced);

// The pixel bytes of image at (x, y).
QByteArray pixelBytes(const QImage& image, int x, int y);

}  // namespace zentavo::test
