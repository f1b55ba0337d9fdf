#pragma once

#include <QByteArray>
#include <QList>
#include <QRgba64>
#include <QString>

namespace zentavo::test {

// One kind of PNG file: colour type (0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA), bit
// depth, Adam7 interlacing and, for grey, RGB and palette, a tRNS chunk.
struct PngKind {
    int colourType;
    int depth;
    bool interlaced;
    bool transparency;

    QString name() const;
};

// Every colour type at every depth it allows, interlaced or not, with and without tRNS.
QList<PngKind> everyPngKind();

// A PNG written by our own small writer over zlib, with the colour each pixel must read as.
struct MadePng {
    QByteArray file;
    int width = 0;
    int height = 0;
    QList<QRgba64> expected;  // row by row; 8-bit values scaled to 16 bits (v * 257)
};

// Random samples of kind, with the colour key (when transparency) hit by every fifth pixel.
MadePng makePng(const PngKind& kind, int width = 13, int height = 11, unsigned seed = 5);

}  // namespace zentavo::test
