#pragma once

// Inside the metadata module only: what a PictureMetadata holds, and the pieces of the module
// that work on it. The rest of the program sees metadata.h.

#include "imagefiles/metadata/metadata.h"

#include <exiv2/exiv2.hpp>

#include <string>

namespace zentavo {

struct PictureMetadata {
    PictureFormat source = PictureFormat::None;
    std::vector<JpegSegment> jpegSegments;  // a JPEG's APPn and COM segments, in file order
    PngMetadataChunks png;                  // a PNG's text, eXIf, pHYs and kept chunks
    QByteArray exifBlock;                   // the EXIF block as a JPEG or PNG file stored it
    Exiv2::ExifData exif;                   // decoded, for TIFF outputs; a TIFF file's tags
                                            // without its layout
    std::vector<QByteArray> xmpPackets;     // every main XMP packet, in order
    QByteArray iptc;                        // the IPTC records as stored
    std::vector<QByteArray> comments;       // JPEG and GIF comments, PNG ones in UTF-8
    Resolution resolution;                  // what the file states, along its stored axes
    Resolution jfifDensity;                 // a JPEG's JFIF density; unit None when none
    int orientation = 1;
    int thumbnailSide = 0;    // the longer side of the EXIF thumbnail; 0 when there is none
    int tiffCompression = 0;  // a TIFF's Compression tag; 0 for other files
    bool stripped = false;    // what the file held besides the resolution was left behind

    bool empty() const {
        return jpegSegments.empty() && png.texts.empty() && png.exif.isEmpty() &&
               png.chunks.empty() && !png.physical.valid() && exifBlock.isEmpty() && exif.empty() &&
               xmpPackets.empty() && iptc.isEmpty() && comments.empty() && !resolution.valid() &&
               orientation == 1 && tiffCompression == 0;
    }
};

// The library keeps its XMP toolkit global: started once, used under one lock by every thread.
// Its warnings about odd files are not for users; what matters reaches them as our own errors.
void startExiv2();

// Signatures of the JPEG segments the module reads and writes, with their NUL.
inline const QByteArray ExifSignature = QByteArray("Exif\0\0", 6);
inline const QByteArray XmpSignature = QByteArray("http://ns.adobe.com/xap/1.0/", 29);
inline const QByteArray ExtendedXmpSignature = QByteArray("http://ns.adobe.com/xmp/extension/", 35);
inline const QByteArray PhotoshopSignature = QByteArray("Photoshop 3.0", 14);

// exifblock.cpp: the EXIF block through exiv2.

// Decodes an EXIF block (a TIFF structure); false, and exif empty, when it cannot be read.
bool decodeExifBlock(const QByteArray& block, Exiv2::ExifData& exif);

// Takes the orientation, the resolution and the thumbnail's side out of decoded EXIF.
void readExifFacts(const Exiv2::ExifData& exif, PictureMetadata& metadata);

// The EXIF block made true of output: changed in place where nothing needs new room, so that
// maker notes keep their offsets. thumbnailSide 0: no thumbnail is drawn. Throws WriteFailure.
QByteArray exifBlockFor(const QByteArray& block, const OutputPicture& output, int thumbnailSide);

// A new EXIF block from decoded exif made true of output (thumbnailSide 0: no thumbnail drawn),
// for a JPEG output (forJpeg: with the tags a JPEG's EXIF must have) or another; resolution is
// the input's, along its axes, written in place of EXIF's own when valid. Empty when
// there is nothing to write. Throws WriteFailure.
QByteArray exifBlockFrom(const Exiv2::ExifData& exif, const OutputPicture& output,
                         const Resolution& resolution, bool forJpeg, int thumbnailSide);

// Sets an unsigned value that exif holds, keeping its type where the value fits it, so that the
// block can be written in place; a value exif does not hold is not added.
void setIfPresent(Exiv2::ExifData& exif, const char* key, std::uint32_t value);

// exifthumbnail.cpp: the EXIF thumbnail.

// The longer side of exif's thumbnail in pixels; 0 when it has none.
int thumbnailSideOf(const Exiv2::ExifData& exif);

// Gives exif a thumbnail of the output (output.thumbnailSource) in place of the old one, made to
// fit the old one's room (at the old one's quality, then lower, then smaller) so that the block
// keeps its layout; a thumbnail the program cannot draw is removed.
void redrawThumbnail(Exiv2::ExifData& exif, const OutputPicture& output, int side);

// Removes what describes a TIFF's stored layout (and the GeoTIFF tags, wrong for moved pixels),
// its further pages and the EXIF thumbnail: the output's own layout holds.
void eraseTiffLayout(Exiv2::ExifData& exif);

// Decoded EXIF made true of a TIFF output: no layout, no thumbnail, the facts of output.
Exiv2::ExifData exifForTiff(const Exiv2::ExifData& exif, const OutputPicture& output);

// xmppacket.cpp: XMP packets, changed as text.

// What an XMP packet is made true of.
struct XmpChange {
    QSize size;                        // the output's pixel size
    bool axesSwapped = false;          // the resolution's sides swap
    bool dropExtendedPointer = false;  // the output holds no extended XMP
};

// packet with the facts of the picture it describes made true (tiff:Orientation 1, the pixel
// dimensions, the resolution of a quarter turn, the extended XMP pointer when asked) and nothing
// else changed. A packet the XML reader cannot read is returned as it is.
QByteArray changedXmpPacket(const QByteArray& packet, const XmpChange& change);

// photoshop.cpp: Photoshop resources (APP13).

// An APP13 payload (after its signature) without the thumbnail resources and with the
// resolution resource's sides swapped when axesSwapped.
QByteArray photoshopResourcesFor(const QByteArray& resources, bool axesSwapped);

// The IPTC records of Photoshop resources; empty when none.
QByteArray iptcOfPhotoshopResources(const QByteArray& resources);

// Photoshop resources holding only the IPTC records iptc.
QByteArray photoshopResourcesOfIptc(const QByteArray& iptc);

// rawprofile.cpp: the hex "Raw profile type" text of PNG files.

// The bytes of a raw profile text; empty when it is not one.
QByteArray decodeRawProfile(const QByteArray& text);

// A raw profile text of type holding data.
QByteArray encodeRawProfile(const QByteArray& type, const QByteArray& data);

}  // namespace zentavo
