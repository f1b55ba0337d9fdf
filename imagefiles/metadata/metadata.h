#pragma once

#include "imagefiles/metadata/resolution.h"
#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zentavo {

// What a picture file holds besides its pixels and ICC profile (EXIF, XMP, IPTC, comments, text,
// the segments and chunks of its format, resolution), kept with the picture so that the writers
// can put it into the output made true of it. Opaque: only the metadata module speaks to the
// library behind it (exiv2). The format folders read and write their containers with their own
// libraries (libjpeg, libspng, libtiff, giflib) and hand the contents over as the types below.
struct PictureMetadata;

// A JPEG marker segment before the first scan: an APPn (0xE0 to 0xEF) or COM (0xFE) marker and
// its payload as the file held it, without the marker and length bytes.
struct JpegSegment {
    int marker = 0;
    QByteArray data;
};

// A PNG text chunk as libspng gives it: tEXt, zTXt or iTXt, the text uncompressed.
struct PngText {
    enum class Kind { Plain, Compressed, International };
    Kind kind = Kind::Plain;
    QByteArray keyword;            // Latin-1, 1 to 79 bytes
    QByteArray text;               // Latin-1 (tEXt, zTXt) or UTF-8 (iTXt)
    bool compressed = false;       // iTXt: the text is stored compressed
    QByteArray language;           // iTXt only
    QByteArray translatedKeyword;  // iTXt only, UTF-8
};

// A PNG chunk the program does not read but keeps: the type, the data, and whether it stood
// before the palette, between palette and image data, or after the image data.
struct PngChunk {
    enum class Place { BeforePalette, BeforeImage, AfterImage };
    QByteArray type;
    QByteArray data;
    Place place = Place::BeforePalette;
};

// What a PNG file holds besides its pixels and colour chunks.
struct PngMetadataChunks {
    std::vector<PngText> texts;    // in file order
    QByteArray exif;               // the eXIf chunk (a TIFF structure); empty when none
    Resolution physical;           // the pHYs chunk; unit None when absent or without a unit
    std::vector<PngChunk> chunks;  // kept chunks the program does not read (cICP, mDCV, ...)
};

// Reads the metadata of a TIFF or BMP file (and of any other format the library reads) from its
// bytes, which are already in memory for the decoder. Null when the file holds nothing the
// program keeps or its metadata cannot be read: damaged metadata never stops a picture from
// loading. JPEG, PNG and GIF files get theirs from their decoders (the functions below).
// Never throws. Reentrant: any thread.
std::shared_ptr<const PictureMetadata> readMetadata(const QByteArray& bytes, PictureFormat format);

// The metadata of a JPEG file from its segments in file order and the density of its JFIF
// segment (unit None when it states none). Never null: a JPEG without segments still has its
// trailer to keep or drop. Never throws. Reentrant.
std::shared_ptr<const PictureMetadata> jpegMetadata(std::vector<JpegSegment> segments,
                                                    const Resolution& jfifDensity);

// Whether a PNG chunk type is one of the colour chunks (cICP, mDCV, cLLI): facts of how the
// pixels are shown, which no flip or turn changes.
inline bool isColourChunk(const QByteArray& type) {
    return type == "cICP" || type == "mDCV" || type == "cLLI";
}

// The metadata of a PNG file from the chunks its decoder read (damaged ones already dropped).
// Null when there is nothing to keep. Never throws. Reentrant.
std::shared_ptr<const PictureMetadata> pngMetadata(PngMetadataChunks chunks);

// The metadata of a GIF file: its comment extensions in order and the XMP packet of its XMP
// application extension (empty when none). Null when there is nothing. Never throws. Reentrant.
std::shared_ptr<const PictureMetadata> gifMetadata(std::vector<QByteArray> comments,
                                                   const QByteArray& xmp);

// The orientation (1 to 8) the metadata states for the stored pixels; 1 when none. For TIFF
// files the Orientation tag, for PNG and JPEG files the EXIF one, as SHORT or LONG.
int metadataOrientation(const PictureMetadata* metadata);

// The orientation stated by a TIFF structure (an EXIF block), read as the whole program reads
// it; 1 when none, invalid or unreadable. Reentrant.
int exifBlockOrientation(const QByteArray& tiffStructure);

// The Compression tag of a TIFF file (1 none, 4 CCITT Group 4...); 0 for other files.
int metadataTiffCompression(const PictureMetadata* metadata);

// The longer side of the file's EXIF thumbnail in pixels; 0 when it has none.
int metadataThumbnailSide(const PictureMetadata* metadata);

// The resolution the file states along its stored axes, from the format's own field (pHYs for
// PNG, the TIFF tags for TIFF; for JPEG EXIF, else JFIF); unit None when it states none.
Resolution metadataResolution(const PictureMetadata* metadata);

// The resolution to write with picture, along its own axes; unit None when none is known.
Resolution outputResolution(const Picture& picture);

// The comments of the file (JPEG COM segments, GIF comment extensions) in order, byte for byte.
std::vector<QByteArray> metadataComments(const PictureMetadata* metadata);

// A copy that keeps the resolution and what the pixels need (orientation, compression, a PNG's
// colour chunks cICP, mDCV and cLLI) only: no EXIF, XMP, IPTC, comment, text, other segment or
// chunk, for outputs that must not carry a camera's serial number or a GPS position. Null when
// metadata is null.
std::shared_ptr<const PictureMetadata> strippedMetadata(
    const std::shared_ptr<const PictureMetadata>& metadata);

// What an output is, for its metadata to be made true of it.
struct OutputPicture {
    QSize size;                // the output's size in pixels
    bool axesSwapped = false;  // the output's rows are the input file's columns
    // The output picture or a small copy of it, for a redrawn EXIF thumbnail; asked for at most
    // once, and only when the file had a thumbnail. May be empty or return a null image.
    std::function<QImage()> thumbnailSource;
};

// The segments of a JPEG output, after the JFIF or Adobe segment its encoder writes.
struct JpegMetadataOutput {
    std::vector<JpegSegment> segments;  // in order; marker 0 marks where the ICC profile goes
    Resolution density;                 // for the encoder's JFIF segment; unit None: none
    bool keepTrailer = false;           // the input's data after its image is the user's: kept
};

// The segments for a JPEG output made from a picture with metadata (null: none). From a JPEG
// input every segment is kept in its order, made true of the output (EXIF changed in place so
// that maker notes keep their offsets, XMP facts, Photoshop resolution), except what shows the
// old picture (JFXX and Photoshop thumbnails, FlashPix previews, MPF with its images) and the
// segments the encoder makes (JFIF, Adobe, ICC profile). From other inputs: EXIF, XMP, IPTC and
// comments. Throws WriteFailure when an EXIF block cannot be written. Reentrant.
JpegMetadataOutput jpegMetadataFor(const PictureMetadata* metadata, const OutputPicture& output);

// The chunks for a PNG output: from a PNG input its text, eXIf, pHYs and kept chunks; from other
// inputs eXIf, XMP and comments as text, IPTC as a raw profile. Throws WriteFailure when an EXIF
// block cannot be written. Reentrant.
PngMetadataChunks pngMetadataFor(const PictureMetadata* metadata, const OutputPicture& output);

// The XMP packet for an output of a format that holds one packet (PNG, TIFF, GIF), made true of
// it; the pointer to extended XMP is removed, as these formats do not hold it. Empty when none.
QByteArray xmpPacketFor(const PictureMetadata* metadata, const OutputPicture& output);

// The IPTC records of the file as they were stored; empty when none.
QByteArray metadataIptc(const PictureMetadata* metadata);

// Writes the EXIF and GPS directories and the descriptive tags of metadata into a TIFF file made
// from picture, made true of it, through exiv2; the TIFF's own layout tags hold. The XMP packet
// and the IPTC records are the writer's (xmpPacketFor, metadataIptc). Returns tiff unchanged
// when there are no tags. Throws WriteFailure. Reentrant.
QByteArray withTiffMetadata(const QByteArray& tiff, const Picture& picture);

// A file's EXIF and XMP as blocks, the form in which HEIF, WebP and JPEG XL files hold them.
struct MetadataBlocks {
    QByteArray exif;  // from its TIFF header on ("II*\0" or "MM\0*"), no "Exif\0\0" before it
    QByteArray xmp;   // the XMP packet

    bool isEmpty() const { return exif.isEmpty() && xmp.isEmpty(); }
};

// The metadata of a file whose format's own library gave its blocks (HEIF, AVIF, WebP, JPEG
// XL); null when they hold nothing the program keeps. A block that cannot be read is kept out of
// the picture's facts. Never throws. Reentrant: any thread.
std::shared_ptr<const PictureMetadata> metadataFromBlocks(const MetadataBlocks& blocks);

// The blocks to write into an output of such a format made from picture (its metadata), made
// true of it as the other writers' metadata is: the EXIF block changed in place where it can be
// (maker notes keep their offsets) with its thumbnail redrawn from the picture; from an input
// without an EXIF block, one made of its tags and the resolution it stated (these formats have
// no resolution field of their own); the first XMP packet with its facts made true and without
// the pointer to extended XMP. Empty blocks when metadata is null or holds neither. Throws
// WriteFailure. Reentrant: any thread.
MetadataBlocks metadataBlocksFor(const Picture& picture);

}  // namespace zentavo
