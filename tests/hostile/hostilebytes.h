#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zentavo::test {

// Byte-level builders and surgeons for hostile picture files. Each starts from a valid file
// made by a real encoder (TurboJPEG, Qt's writers, giflib, libtiff) and changes exactly the
// bytes that make the trap, so a test knows what the loader is up against.

// A picture of width x height with a coarse pattern (cheap to make at 40000 pixels).
QImage patternImage(int width, int height);

// A JPEG through TurboJPEG: flags are TJFLAG_* (TJFLAG_PROGRESSIVE), grey makes a one-channel
// JPEG, cmyk an Adobe YCCK one.
QByteArray jpegOf(const QImage& image, int flags = 0, bool grey = false, bool cmyk = false);
// The same picture through cjpeg -arithmetic; empty when cjpeg is not installed.
QByteArray arithmeticJpegOf(const QImage& image);
// Rewrites the frame header's height and width in place.
QByteArray withJpegSize(QByteArray jpeg, int width, int height);
// The baseline frame header turned into a 12-bit extended one (SOF1, precision 12).
QByteArray twelveBitJpeg(QByteArray jpeg);
// A progressive JPEG whose last scan is repeated count times: far more scans than any real file.
QByteArray scanBombJpeg(const QByteArray& progressive, int count);
// An APP1 Exif segment inserted after SOI: one IFD0 entry of tag 0x0112 with value, of TIFF type
// type (3 is SHORT).
QByteArray withExifEntry(const QByteArray& jpeg, int value, int type = 3);
// An APP1 Exif segment whose IFD0 offset or entry count points far past the segment.
QByteArray withBrokenExif(const QByteArray& jpeg, bool hugeOffset);
// An end-of-image marker placed in the middle of the entropy-coded data.
QByteArray withEarlyEndMarker(const QByteArray& jpeg);
// A Huffman table segment whose table class is impossible.
QByteArray withBogusHuffmanTable(QByteArray jpeg);

// A PNG chunk with its length and CRC.
QByteArray pngChunk(const QByteArray& type, const QByteArray& data);
// A PNG through Qt's writer.
QByteArray pngOf(const QImage& image);
// A grey 8-bit PNG of width x height zeros, compressed as a stream (never held inflated).
QByteArray zeroPng(int width, int height);
// The IHDR's size rewritten and its CRC made right again.
QByteArray withPngSize(QByteArray png, quint32 width, quint32 height);
// A chunk inserted before the first IDAT.
QByteArray withChunkBeforeData(const QByteArray& png, const QByteArray& chunk);
// A zTXt (or compressed iTXt) chunk whose text inflates to inflatedBytes of zeros.
QByteArray textBombChunk(qint64 inflatedBytes, bool international);
// An acTL chunk announcing frames frames (the file stays a plain PNG otherwise).
QByteArray animationControlChunk(int frames);
// IDAT bytes changed while the CRC is left as it was.
QByteArray withBadPngCrc(QByteArray png);

// A GIF through giflib with one frame of the picture reduced to a 4-colour palette.
QByteArray gifOf(int width, int height);
// The logical screen rewritten.
QByteArray withGifScreen(QByteArray gif, int width, int height);
// The first image descriptor's offset rewritten.
QByteArray withGifFrameOffset(QByteArray gif, int left, int top);
// A GIF of count frames of 1 x 1 pixel each.
QByteArray manyFrameGif(int count);

// A BMP through Qt's writer.
QByteArray bmpOf(const QImage& image);
// The info header's width and height rewritten (height negative: top-down rows).
QByteArray withBmpSize(QByteArray bmp, qint32 width, qint32 height);
// The bits per pixel rewritten.
QByteArray withBmpBits(QByteArray bmp, int bits);
// An 8-bit run-length encoded BMP of width x height, cut after cutRows rows when cutRows >= 0.
QByteArray rle8Bmp(int width, int height, int cutRows = -1);

// A TIFF through libtiff: pages pages, tiled or in strips, uncompressed RGB.
QByteArray tiffOf(int width, int height, int pages = 1, bool tiled = false);
// The IFD0 image width and length rewritten.
QByteArray withTiffSize(QByteArray tiff, quint32 width, quint32 height);

// The last strip's or tile's data offset moved past the end of the file.
QByteArray withTiffDataPastEnd(QByteArray tiff);

// bytes cut to the given share of their length (0 to 1).
QByteArray cutTo(const QByteArray& bytes, double share);

}  // namespace zentavo::test
