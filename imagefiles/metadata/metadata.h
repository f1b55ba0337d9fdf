#pragma once

#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>

namespace zentavo {

// A resolution as a file states it: dots per inch or per centimetre along the file's own axes.
struct Resolution {
    enum class Unit { Inch, Centimetre };
    double x = 0;
    double y = 0;
    Unit unit = Unit::Inch;

    bool valid() const { return x > 0 && y > 0; }
    double dotsPerMetreX() const { return x * (unit == Unit::Inch ? 100 / 2.54 : 100); }
    double dotsPerMetreY() const { return y * (unit == Unit::Inch ? 100 / 2.54 : 100); }
};

// What a picture file holds besides its pixels and ICC profile (EXIF, XMP, IPTC, comments, PNG
// text, resolution), kept with the picture so that the writers can put it into the output.
// Opaque: only the metadata module speaks to the library behind it.
struct PictureMetadata;

// Reads the metadata of a picture file from its bytes, which are already in memory for the
// decoder (the file is never read twice). Null when the file holds nothing the program keeps or
// its metadata cannot be read: a damaged EXIF block never stops a picture from loading.
// Never throws. Reentrant: any thread.
std::shared_ptr<const PictureMetadata> readMetadata(const QByteArray& bytes, PictureFormat format);

// The orientation (1 to 8) the metadata states for the stored pixels; 1 when none. For TIFF
// files the Orientation tag, for PNG and JPEG files the EXIF one.
int metadataOrientation(const PictureMetadata* metadata);

// The Compression tag of a TIFF file (1 none, 4 CCITT Group 4...); 0 for other files.
int metadataTiffCompression(const PictureMetadata* metadata);

// The longer side of the file's EXIF thumbnail in pixels; 0 when it has none.
int metadataThumbnailSide(const PictureMetadata* metadata);

// The resolution the file states, along its stored axes; invalid when it states none.
Resolution metadataResolution(const PictureMetadata* metadata);

// A copy that keeps the resolution only: no EXIF, XMP, IPTC, comment or text, for outputs that
// must not carry a camera's serial number or a GPS position. Null when metadata is null.
std::shared_ptr<const PictureMetadata> strippedMetadata(
    const std::shared_ptr<const PictureMetadata>& metadata);

// Writes the metadata of picture (picture.metadata) into encoded, the bytes of an output of
// format outputFormat made from picture, and returns the new bytes. What the format holds is
// kept: JPEG gets EXIF, XMP, IPTC, comment and the JFIF density; TIFF gets EXIF and GPS IFDs,
// the descriptive tags, XMP and IPTC; PNG gets eXIf, XMP, text chunks and pHYs. BMP and GIF
// outputs are returned unchanged (their writers carry the resolution themselves).
//
// On the way the metadata is made true of the output: the orientation is 1 in EXIF and XMP,
// the pixel dimensions are the output's, the resolution follows a quarter turn, and an EXIF
// thumbnail is made again from the output picture (or removed when it cannot be).
// Returns encoded unchanged when picture has no metadata. Throws WriteFailure when the
// metadata cannot be written. Reentrant: any thread, one call per output.
QByteArray withMetadata(const QByteArray& encoded, PictureFormat outputFormat,
                        const Picture& picture);

// The same for a JPEG output made without a decoded picture (a lossless transform of the input
// stream): jpeg is the output's bytes, metadata what the input held (or null), axesSwapped
// whether the output's rows are the input file's columns. The thumbnail is made from
// thumbnailSource when it is given, else from jpeg itself, decoded at a small scale. Markers
// that jpeg carries over from its input (EXIF, XMP, IPTC, comments) are replaced.
// Throws WriteFailure. Reentrant: any thread.
QByteArray withJpegMetadata(const QByteArray& jpeg, const PictureMetadata* metadata,
                            bool axesSwapped, const QImage& thumbnailSource = {});

// A file's EXIF and XMP as blocks, the form in which HEIF, WebP and JPEG XL files hold them.
struct MetadataBlocks {
    QByteArray exif;  // from its TIFF header on ("II*\0" or "MM\0*"), no "Exif\0\0" before it
    QByteArray xmp;   // the XMP packet

    bool isEmpty() const { return exif.isEmpty() && xmp.isEmpty(); }
};

// The metadata of a file whose format's own library gave its blocks; null when they hold
// nothing the program keeps or cannot be read. Never throws. Reentrant: any thread.
std::shared_ptr<const PictureMetadata> metadataFromBlocks(const MetadataBlocks& blocks);

// The blocks to write into an output of outputSize pixels made from a picture with metadata,
// made true of it as withMetadata does (dimensions, resolution of a quarter turn, no
// thumbnail), with orientation (1 to 8) as the orientation it states. Empty blocks when
// metadata is null or holds neither. Throws WriteFailure. Reentrant: any thread.
MetadataBlocks metadataBlocksFor(const PictureMetadata* metadata, QSize outputSize,
                                 bool axesSwapped, int orientation = 1);

}  // namespace zentavo
