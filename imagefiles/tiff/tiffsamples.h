#pragma once

#include <QImage>
#include <QList>

#include <tiffio.h>

#include <vector>

namespace zentavo::decoders {

// How the samples of a TIFF land in a picture: the Qt format, and for each sample of a pixel the
// channels of the picture it fills (grey fills red, green and blue).
struct TiffLayout {
    QImage::Format format = QImage::Format_Invalid;
    int bits = 8;
    int samples = 1;                        // samples a pixel in the file
    bool separate = false;                  // one plane a sample
    bool invert = false;                    // white is zero: colour samples are inverted
    bool opaqueFill = false;                // Format_RGBX64: the fourth channel is set to opaque
    bool cmyk = false;                      // ink samples, kept as colour/cmyk.h keeps them
    bool floating = false;                  // 32-bit floating-point samples, kept as they are
    int channels = 1;                       // channels a pixel in the picture
    std::vector<std::vector<int>> targets;  // for each file sample, its picture channels
    QList<QRgb> colourTable;                // for indexed pictures
};

// The layout that holds the samples of tiff's current page exactly, or Format_Invalid when only
// libtiff's RGBA interface reads them (subsampled YCbCr, CIE Lab, LogLuv, old-style JPEG, odd
// depths). Reentrant.
TiffLayout tiffLayoutFor(TIFF* tiff);

// Reads the page's strips (readTiffStrips) or tiles (readTiffTiles) into image, a picture of the
// layout's format and the page's size; tiles at the right and bottom edges are cut. False at
// the first strip or tile that cannot be read, or when the page's sizes do not agree with the
// layout. Reentrant.
bool readTiffStrips(TIFF* tiff, const TiffLayout& layout, QImage& image);
bool readTiffTiles(TIFF* tiff, const TiffLayout& layout, QImage& image);

}  // namespace zentavo::decoders
