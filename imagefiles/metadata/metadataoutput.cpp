#include "imagefiles/metadata/metadata.h"

#include "imagefiles/metadata/metadatacontent.h"
#include "imagefiles/picture/gdiplusstatus.h"

#include <algorithm>

namespace zentavo {

namespace {

constexpr char XmpKeyword[] = "XML:com.adobe.xmp";
constexpr char RawProfilePrefix[] = "Raw profile type ";
constexpr qsizetype MaxSegmentBytes = 65533;

bool isSegment(const JpegSegment& segment, int marker, const QByteArray& signature) {
    return segment.marker == marker && segment.data.startsWith(signature);
}

bool isLatin1(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xff; });
}

XmpChange xmpChangeFor(const OutputPicture& output, bool dropExtendedPointer) {
    return {output.size, output.axesSwapped, dropExtendedPointer};
}

// A segment whose payload has grown past what a segment holds keeps its old payload.
void appendSegment(std::vector<JpegSegment>& segments, int marker, const QByteArray& payload,
                   const QByteArray& original) {
    segments.push_back({marker, payload.size() <= MaxSegmentBytes ? payload : original});
}

void appendExif(std::vector<JpegSegment>& segments, const QByteArray& block) {
    if (block.isEmpty()) {
        return;
    }
    if (block.size() + ExifSignature.size() > MaxSegmentBytes) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's EXIF block is too large for a JPEG file")};
    }
    segments.push_back({0xE1, ExifSignature + block});
}

// The segments of a JPEG input, kept in their order and made true of the output.
void keepJpegSegments(const PictureMetadata& metadata, const OutputPicture& output,
                      JpegMetadataOutput& result) {
    bool exifSeen = false;
    bool iccPlaced = false;
    bool previewImagesFollow = false;
    for (const JpegSegment& segment : metadata.jpegSegments) {
        const QByteArray& data = segment.data;
        if (isSegment(segment, 0xE0, QByteArray("JFXX\0", 5)) ||
            isSegment(segment, 0xE2, QByteArray("FPXR\0", 5))) {
            continue;  // JFIF and FlashPix previews of the old picture
        }
        if (isSegment(segment, 0xE2, QByteArray("MPF\0", 4))) {
            previewImagesFollow = true;  // its images of the old picture are the trailer
            continue;
        }
        if (isSegment(segment, 0xEE, QByteArray("Adobe", 5))) {
            continue;  // the encoder states its own colour transform
        }
        if (isSegment(segment, 0xE2, QByteArray("ICC_PROFILE\0", 12))) {
            if (!iccPlaced) {
                result.segments.push_back({0, {}});  // the encoder writes the profile here
                iccPlaced = true;
            }
            continue;
        }
        if (isSegment(segment, 0xE1, ExifSignature) && !exifSeen) {
            exifSeen = true;
            appendExif(result.segments,
                       exifBlockFor(metadata.exifBlock, output, metadata.thumbnailSide));
            continue;
        }
        if (isSegment(segment, 0xE1, XmpSignature)) {
            const QByteArray packet =
                changedXmpPacket(data.mid(XmpSignature.size()), xmpChangeFor(output, false));
            appendSegment(result.segments, 0xE1, XmpSignature + packet, data);
            continue;
        }
        if (isSegment(segment, 0xED, PhotoshopSignature)) {
            result.segments.push_back(
                {0xED,
                 PhotoshopSignature + photoshopResourcesFor(data.mid(PhotoshopSignature.size()),
                                                            output.axesSwapped)});
            continue;
        }
        result.segments.push_back(segment);  // comments and segments of the user's own
    }
    result.keepTrailer = !previewImagesFollow && !metadata.stripped;
}

// An EXIF block for an output of another format: a JPEG's block changed in place for a PNG;
// else one made anew, with what a JPEG's EXIF must state when the output is a JPEG.
QByteArray exifBlockOf(const PictureMetadata& metadata, const OutputPicture& output, bool forJpeg) {
    if (!metadata.exifBlock.isEmpty() && !forJpeg) {
        return exifBlockFor(metadata.exifBlock, output, metadata.thumbnailSide);
    }
    return exifBlockFrom(metadata.exif, output, metadata.resolution, forJpeg,
                         metadata.thumbnailSide);
}

PngText textChunk(PngText::Kind kind, const QByteArray& keyword, const QByteArray& text) {
    PngText chunk;
    chunk.kind = kind;
    chunk.keyword = keyword;
    chunk.text = text;
    return chunk;
}

// A comment as tEXt when Latin-1 holds it, else as iTXt in UTF-8.
PngText commentChunk(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    return isLatin1(text) ? textChunk(PngText::Kind::Plain, "Comment", text.toLatin1())
                          : textChunk(PngText::Kind::International, "Comment", utf8);
}

}  // namespace

JpegMetadataOutput jpegMetadataFor(const PictureMetadata* metadata, const OutputPicture& output) {
    JpegMetadataOutput result;
    if (!metadata) {
        return result;
    }
    const Resolution density = metadata->jfifDensity.valid()
                                   ? metadata->jfifDensity
                                   : metadata->resolution.inInchesOrCentimetres();
    result.density = output.axesSwapped ? density.swapped() : density;
    if (metadata->source == PictureFormat::Jpeg) {
        keepJpegSegments(*metadata, output, result);
        return result;
    }
    appendExif(result.segments, exifBlockOf(*metadata, output, true));
    if (const QByteArray packet = xmpPacketFor(metadata, output); !packet.isEmpty()) {
        appendSegment(result.segments, 0xE1, XmpSignature + packet, {});
    }
    if (!metadata->iptc.isEmpty()) {
        appendSegment(result.segments, 0xED,
                      PhotoshopSignature + photoshopResourcesOfIptc(metadata->iptc), {});
    }
    for (const QByteArray& comment : metadata->comments) {
        appendSegment(result.segments, 0xFE, comment, comment.left(MaxSegmentBytes));
    }
    std::erase_if(result.segments, [](const JpegSegment& s) { return s.data.isEmpty(); });
    return result;
}

QByteArray xmpPacketFor(const PictureMetadata* metadata, const OutputPicture& output) {
    if (!metadata || metadata->xmpPackets.empty()) {
        return {};
    }
    return changedXmpPacket(metadata->xmpPackets.front(), xmpChangeFor(output, true));
}

PngMetadataChunks pngMetadataFor(const PictureMetadata* metadata, const OutputPicture& output) {
    PngMetadataChunks result;
    if (!metadata) {
        return result;
    }
    const Resolution resolution =
        output.axesSwapped ? metadata->resolution.swapped() : metadata->resolution;
    if (resolution.valid()) {
        result.physical =
            resolution.unit == Resolution::Unit::Metre
                ? resolution
                : Resolution::whole(resolution.wholeDotsPerMetreX(),
                                    resolution.wholeDotsPerMetreY(), Resolution::Unit::Metre);
    }
    if (metadata->source == PictureFormat::Png) {
        result.exif = metadata->exifBlock.isEmpty()
                          ? QByteArray()
                          : exifBlockFor(metadata->exifBlock, output, metadata->thumbnailSide);
        bool xmpWritten = false;
        for (const PngText& text : metadata->png.texts) {
            if (text.keyword == XmpKeyword) {
                PngText changed = text;
                changed.text = changedXmpPacket(text.text, xmpChangeFor(output, true));
                result.texts.push_back(changed);
                xmpWritten = true;
            } else if (text.keyword.startsWith(RawProfilePrefix)) {
                // EXIF and XMP go into their own chunks, made true; the rest stays as it was.
                const QByteArray type =
                    text.keyword.mid(int(sizeof RawProfilePrefix) - 1).toLower();
                if (type != "exif" && type != "app1" && type != "xmp") {
                    result.texts.push_back(text);
                }
            } else {
                result.texts.push_back(text);
            }
        }
        if (!xmpWritten && !metadata->xmpPackets.empty()) {
            result.texts.push_back(textChunk(PngText::Kind::International, XmpKeyword,
                                             xmpPacketFor(metadata, output)));
        }
        result.chunks = metadata->png.chunks;
        return result;
    }
    result.exif = exifBlockOf(*metadata, output, false);
    if (const QByteArray packet = xmpPacketFor(metadata, output); !packet.isEmpty()) {
        result.texts.push_back(textChunk(PngText::Kind::International, XmpKeyword, packet));
    }
    if (!metadata->iptc.isEmpty()) {
        result.texts.push_back(textChunk(PngText::Kind::Compressed, "Raw profile type iptc",
                                         encodeRawProfile("iptc", metadata->iptc)));
    }
    for (const QByteArray& comment : metadata->comments) {
        result.texts.push_back(commentChunk(comment));
    }
    return result;
}

MetadataBlocks metadataBlocksFor(const Picture& picture) {
    MetadataBlocks blocks;
    const PictureMetadata* metadata = picture.metadata.get();
    if (!metadata) {
        return blocks;
    }
    const OutputPicture output{picture.image.size(), picture.axesSwapped,
                               [&] { return picture.image; }};
    startExiv2();
    if (!metadata->exifBlock.isEmpty()) {
        blocks.exif = exifBlockFor(metadata->exifBlock, output, metadata->thumbnailSide);
    } else if (!metadata->exif.empty()) {
        blocks.exif = exifBlockFrom(metadata->exif, output, metadata->resolution, false, 0);
    } else if (metadata->resolution.valid()) {
        // These formats have no resolution field of their own: a resolution alone travels in EXIF.
        Exiv2::ExifData resolutionOnly;
        resolutionOnly["Exif.Image.Orientation"] = std::uint16_t(1);
        blocks.exif = exifBlockFrom(resolutionOnly, output, metadata->resolution, false, 0);
    }
    blocks.xmp = xmpPacketFor(metadata, output);
    return blocks;
}

// IPTC records that the library writes back byte for byte: each value kept as the bytes it was
// stored as. The library's own parse gives each value its type and formats it anew when
// writing (a time of day without a zone gains one); only its reading of the records' frame is
// done here. Records of an extended length, which no photograph holds, go through its parse.
Exiv2::IptcData iptcAsStored(const QByteArray& records) {
    Exiv2::IptcData iptc;
    const auto* data = reinterpret_cast<const Exiv2::byte*>(records.constData());
    qsizetype at = 0;
    while (at + 5 <= records.size() && data[at] == 0x1C) {
        const int record = data[at + 1];
        const int dataset = data[at + 2];
        const qsizetype length = qsizetype(data[at + 3]) << 8 | data[at + 4];
        if ((length & 0x8000) != 0 || at + 5 + length > records.size()) {
            iptc.clear();
            Exiv2::IptcParser::decode(iptc, data, uint32_t(records.size()));
            return iptc;
        }
        Exiv2::DataValue value(data + at + 5, long(length));
        iptc.add(Exiv2::IptcKey(uint16_t(dataset), uint16_t(record)), &value);
        at += 5 + length;
    }
    return iptc;
}

QByteArray withTiffMetadata(const QByteArray& tiff, const Picture& picture) {
    const PictureMetadata* metadata = picture.metadata.get();
    if (!metadata) {
        return tiff;
    }
    startExiv2();
    const OutputPicture output{picture.image.size(), picture.axesSwapped, {}};
    const Exiv2::ExifData exif = exifForTiff(metadata->exif, output);
    if (exif.empty() && metadata->iptc.isEmpty()) {
        return tiff;
    }
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(tiff.constData()), long(tiff.size()));
        image->readMetadata();
        image->setExifData(exif);
        image->setIptcData(iptcAsStored(metadata->iptc));
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        const long size = io.size();
        const Exiv2::byte* data = io.mmap(false);
        QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        io.munmap();
        return bytes;
    } catch (const Exiv2::AnyError& error) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's metadata cannot be written (%1)")
                               .arg(QString::fromLocal8Bit(error.what()))};
    } catch (const std::bad_alloc&) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("Not enough memory to write the metadata")};
    }
}

}  // namespace zentavo
