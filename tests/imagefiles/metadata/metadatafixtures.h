#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace zentavo::test {

// Files with metadata as cameras, editors and other programs write it, made at test time, and the
// readers that check what zentavo-batch made of them: exiftool, an independent reader, and small
// walks of our own over the bytes.

// Corner colours of the stored picture: top-left, top-right, bottom-left, bottom-right.
extern const QRgb Red;
extern const QRgb Green;
extern const QRgb Blue;
extern const QRgb White;

// A picture of four coloured quadrants (Red, Green / Blue, White).
QImage quadrants(int width, int height);

// Whether two colours are the same but for coding noise.
bool near(QRgb a, QRgb b);

// A JPEG of a picture through TurboJPEG (subsampling: a TJSAMP value), with a JFIF segment.
QByteArray plainJpeg(const QImage& picture, int subsampling = 2);

// A marker segment: marker, length, payload.
QByteArray jpegSegment(int marker, const QByteArray& payload);

// jpeg with segments (whole, as jpegSegment makes them) after its JFIF segment.
QByteArray withSegments(const QByteArray& jpeg, const QByteArray& segments);

// The APPn and COM segments of a JPEG before its first scan: (marker, payload), in order.
std::vector<std::pair<int, QByteArray>> segmentsOf(const QByteArray& jpeg);

// An EXIF block (a TIFF structure, big-endian) with an orientation of that TIFF type (3 SHORT,
// 4 LONG) and, when resolution is given, XResolution and YResolution in inches.
QByteArray exifBlock(int orientation, int type = 3, int resolution = 0);

// An XMP packet holding dc:subject and, when guid is given, the pointer to extended XMP.
QByteArray xmpPacket(const QString& subject, const QByteArray& guid = {});

// Photoshop resources: IPTC records with one keyword and moreRecords (records as stored), and
// the other resources given as (id, data).
QByteArray photoshopResources(const QByteArray& keyword,
                              const std::vector<std::pair<int, QByteArray>>& others,
                              const QByteArray& moreRecords = {});

// A PNG chunk with its checksum, spoiled when badChecksum.
QByteArray pngChunk(const QByteArray& type, const QByteArray& data, bool badChecksum = false);

// An 8-bit RGB PNG of picture with chunks before and after its image data. The image data is
// split in two IDAT chunks; the last one's checksum is spoiled when badImageChecksum.
QByteArray plainPng(const QImage& picture, const QByteArray& before = {},
                    const QByteArray& after = {}, bool badImageChecksum = false);

// The chunks of a PNG: (type, data), in order.
std::vector<std::pair<QByteArray, QByteArray>> chunksOf(const QByteArray& png);

// A TIFF of picture written with libtiff: 8-bit RGB in strips, with a resolution in dots per
// inch when one is given, and an XMP packet and IPTC records as they are given.
QByteArray plainTiff(const QImage& picture, double dpi = 0, const QByteArray& xmp = {},
                     const QByteArray& iptc = {});

// How a CMYK TIFF stores its inks.
enum class InkLayout { Strips, Tiles, Planes };

// A CMYK TIFF of varied inks, 8 or 16 bits a sample, with profile.
QByteArray cmykTiff(int width, int height, InkLayout layout, int bits, const QByteArray& profile);

// A TIFF of 32-bit floating-point RGB samples, sample(x, y, channel) each.
QByteArray floatTiff(int width, int height, float (*sample)(int x, int y, int channel));

// The samples of a floating-point RGB TIFF, row by row; empty when it is not one.
std::vector<float> floatSamples(const QByteArray& tiff);

// What exiftool reads in a file: -j -a -G1 -n, as one object of "Group:Tag" keys.
QJsonObject exiftoolTags(const QString& path, const QStringList& options = {});

// Runs exiftool to write tags into path (-n, in place). True when it succeeded.
bool exiftoolWrite(const QString& path, const QStringList& assignments);

// Whether exiftool is installed (setup.sh installs it).
bool haveExiftool();

// Writes bytes to path. True when the whole file was written.
bool writeBytes(const QString& path, const QByteArray& bytes);

// The bytes of path; empty when it cannot be read.
QByteArray readBytes(const QString& path);

}  // namespace zentavo::test
