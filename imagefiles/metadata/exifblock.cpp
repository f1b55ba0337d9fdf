#include "imagefiles/metadata/metadatacontent.h"

#include "imagefiles/picture/gdiplusstatus.h"

#include <algorithm>
#include <array>
#include <set>

namespace zentavo {

namespace {

// The largest EXIF block a JPEG APP1 segment holds.
constexpr qsizetype MaxJpegExifBytes = 65533 - 6;

const Exiv2::byte* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

// Tags of a TIFF's first directory that describe how its pixels are stored, or that the program
// writes itself (resolution, colour profile, XMP and IPTC blocks), and the GeoTIFF tags, which
// tie the stored pixels to places and are wrong for pixels that have moved. They are never
// copied from one file to another: the output's own layout holds.
const std::set<std::uint16_t>& tiffLayoutTags() {
    static const std::set<std::uint16_t> tags = {
        0x00fe,
        0x00ff,
        0x0100,
        0x0101,
        0x0102,
        0x0103,
        0x0106,
        0x0107,
        0x0108,
        0x0109,
        0x010a,
        0x0111,
        0x0115,
        0x0116,
        0x0117,
        0x0118,
        0x0119,
        0x011a,
        0x011b,
        0x011c,
        0x0122,
        0x0123,
        0x0124,
        0x0125,
        0x0128,
        0x012d,
        0x013d,
        0x0140,
        0x0141,
        0x0142,
        0x0143,
        0x0144,
        0x0145,
        0x0146,
        0x0147,
        0x014a,
        0x014c,
        0x014d,
        0x014e,
        0x0150,
        0x0151,
        0x0152,
        0x0153,
        0x0154,
        0x0155,
        0x0156,
        0x0157,
        0x015b,
        0x0200,
        0x0201,
        0x0202,
        0x0203,
        0x0205,
        0x0206,
        0x0207,
        0x0208,
        0x0209,
        0x0211,
        0x0212,
        0x0213,
        0x0214,
        0x02bc,
        0x83bb,
        0x8649,
        0x8773,
        // GeoTIFF: ModelPixelScale, ModelTiepoint, ModelTransformation, GeoKeyDirectory,
        // GeoDoubleParams, GeoAsciiParams
        0x830e,
        0x8482,
        0x85d8,
        0x87af,
        0x87b0,
        0x87b1,
    };
    return tags;
}

Exiv2::ExifData::iterator findTag(Exiv2::ExifData& exif, const char* key) {
    return exif.findKey(Exiv2::ExifKey(key));
}

// Sets an unsigned value the block has, keeping its type where the value fits it: the block
// is then written in place.
}  // namespace

void setIfPresent(Exiv2::ExifData& exif, const char* key, std::uint32_t value) {
    const auto it = findTag(exif, key);
    if (it == exif.end() || it->count() != 1 || it->toLong(0) == long(value)) {
        return;
    }
    if (it->typeId() == Exiv2::unsignedShort && value > 0xffff) {
        *it = value;
    } else {
        it->setValue(std::to_string(value));
    }
}

namespace {

void swapIfPresent(Exiv2::ExifData& exif, const char* first, const char* second) {
    const auto a = findTag(exif, first);
    const auto b = findTag(exif, second);
    if (a == exif.end() || b == exif.end()) {
        return;
    }
    const Exiv2::Value::AutoPtr x = a->getValue();
    const Exiv2::Value::AutoPtr y = b->getValue();
    a->setValue(y.get());
    b->setValue(x.get());
}

// The facts of the output in the tags that state them: orientation 1 (the pixels stand as they
// are shown), the pixel size, the resolution of a quarter turn. Only tags already there change.
void makeTrue(Exiv2::ExifData& exif, const OutputPicture& output) {
    setIfPresent(exif, "Exif.Image.Orientation", 1);
    setIfPresent(exif, "Exif.Thumbnail.Orientation", 1);
    if (output.size.isValid()) {
        setIfPresent(exif, "Exif.Photo.PixelXDimension", std::uint32_t(output.size.width()));
        setIfPresent(exif, "Exif.Photo.PixelYDimension", std::uint32_t(output.size.height()));
        // Some cameras state the size in the first directory too.
        setIfPresent(exif, "Exif.Image.ImageWidth", std::uint32_t(output.size.width()));
        setIfPresent(exif, "Exif.Image.ImageLength", std::uint32_t(output.size.height()));
    }
    if (output.axesSwapped) {
        swapIfPresent(exif, "Exif.Image.XResolution", "Exif.Image.YResolution");
        swapIfPresent(exif, "Exif.Thumbnail.XResolution", "Exif.Thumbnail.YResolution");
        swapIfPresent(exif, "Exif.Photo.FocalPlaneXResolution", "Exif.Photo.FocalPlaneYResolution");
    }
}

QByteArray encodedOrFailed(const std::function<QByteArray()>& encode) {
    try {
        return encode();
    } catch (const Exiv2::AnyError& error) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's EXIF block cannot be written (%1)")
                               .arg(QString::fromLocal8Bit(error.what()))};
    } catch (const std::bad_alloc&) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("Not enough memory to write the metadata")};
    }
}

QByteArray bytesOfBlob(const Exiv2::Blob& blob) {
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

Exiv2::URational rationalOf(std::uint32_t numerator, std::uint32_t denominator) {
    return {numerator, denominator};
}

}  // namespace

bool decodeExifBlock(const QByteArray& block, Exiv2::ExifData& exif) {
    exif.clear();
    if (block.size() < 8 || !(block.startsWith(QByteArrayView("II*\0", 4)) ||
                              block.startsWith(QByteArrayView("MM\0*", 4)))) {
        return false;
    }
    try {
        Exiv2::ExifParser::decode(exif, bytesOf(block), uint32_t(block.size()));
        return true;
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    exif.clear();
    return false;
}

int exifBlockOrientation(const QByteArray& tiffStructure) {
    startExiv2();
    Exiv2::ExifData exif;
    PictureMetadata facts;
    if (decodeExifBlock(tiffStructure, exif)) {
        readExifFacts(exif, facts);
    }
    return facts.orientation;
}

void readExifFacts(const Exiv2::ExifData& exif, PictureMetadata& metadata) {
    try {
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0) {
            const long value = orientation->toLong(0);
            metadata.orientation = value >= 1 && value <= 8 ? int(value) : 1;
        }
        const auto x = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
        const auto y = exif.findKey(Exiv2::ExifKey("Exif.Image.YResolution"));
        const auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
        const long unitValue = unit != exif.end() && unit->count() > 0 ? unit->toLong(0) : 2;
        if (x != exif.end() && y != exif.end() && x->count() > 0 && y->count() > 0 &&
            (unitValue == 2 || unitValue == 3)) {
            const Exiv2::Rational rx = x->toRational(0);
            const Exiv2::Rational ry = y->toRational(0);
            const Resolution stated{
                std::uint32_t(std::max(rx.first, 0)), std::uint32_t(std::max(rx.second, 0)),
                std::uint32_t(std::max(ry.first, 0)), std::uint32_t(std::max(ry.second, 0)),
                unitValue == 2 ? Resolution::Unit::Inch : Resolution::Unit::Centimetre};
            if (stated.valid()) {
                metadata.resolution = stated;
            }
        }
        metadata.thumbnailSide = thumbnailSideOf(exif);
    } catch (const Exiv2::AnyError&) {
        // A value the library cannot convert states nothing.
    }
}

QByteArray exifBlockFor(const QByteArray& block, const OutputPicture& output, int thumbnailSide) {
    startExiv2();
    return encodedOrFailed([&] {
        Exiv2::ExifData exif;
        if (!decodeExifBlock(block, exif)) {
            return QByteArray();  // a block nobody can read says nothing true of the output
        }
        const Exiv2::ByteOrder order =
            block.startsWith("MM") ? Exiv2::bigEndian : Exiv2::littleEndian;
        makeTrue(exif, output);
        if (thumbnailSide > 0) {
            redrawThumbnail(exif, output, thumbnailSide);
        }
        // The library writes the changed values into this copy when they fit their places,
        // and lays out a new block only when something needs room.
        QByteArray inPlace(block.constData(), block.size());
        Exiv2::Blob blob;
        const Exiv2::WriteMethod method =
            Exiv2::ExifParser::encode(blob, reinterpret_cast<Exiv2::byte*>(inPlace.data()),
                                      uint32_t(inPlace.size()), order, exif);
        return method == Exiv2::wmNonIntrusive ? inPlace : bytesOfBlob(blob);
    });
}

QByteArray exifBlockFrom(const Exiv2::ExifData& source, const OutputPicture& output,
                         const Resolution& resolution, bool forJpeg, int thumbnailSide) {
    if (source.empty()) {
        return {};
    }
    startExiv2();
    return encodedOrFailed([&] {
        Exiv2::ExifData exif = source;
        makeTrue(exif, output);
        if (thumbnailSide > 0) {
            redrawThumbnail(exif, output, thumbnailSide);
        }
        if (forJpeg && output.size.isValid() &&
            std::any_of(exif.begin(), exif.end(),
                        [](const Exiv2::Exifdatum& d) { return d.groupName() == "Photo"; })) {
            // What a JPEG's EXIF directory must state, true of the output: the order of its
            // components and its size.
            if (findTag(exif, "Exif.Photo.ComponentsConfiguration") == exif.end()) {
                exif["Exif.Photo.ComponentsConfiguration"] = "1 2 3 0";
            }
            if (findTag(exif, "Exif.Photo.PixelXDimension") == exif.end()) {
                exif["Exif.Photo.PixelXDimension"] = std::uint32_t(output.size.width());
                exif["Exif.Photo.PixelYDimension"] = std::uint32_t(output.size.height());
            }
        }
        // resolution is along the input's axes, as the file stated it.
        const Resolution stated =
            (output.axesSwapped ? resolution.swapped() : resolution).inInchesOrCentimetres();
        if (stated.valid()) {
            exif["Exif.Image.XResolution"] = rationalOf(stated.xNumerator, stated.xDenominator);
            exif["Exif.Image.YResolution"] = rationalOf(stated.yNumerator, stated.yDenominator);
            exif["Exif.Image.ResolutionUnit"] =
                std::uint16_t(stated.unit == Resolution::Unit::Inch ? 2 : 3);
        }
        if (forJpeg && findTag(exif, "Exif.Image.YCbCrPositioning") == exif.end()) {
            exif["Exif.Image.YCbCrPositioning"] = std::uint16_t(1);  // required in JPEG files
        }
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
        if (forJpeg && qsizetype(blob.size()) > MaxJpegExifBytes) {
            throw WriteFailure{GdiplusStatus::GenericError,
                               QStringLiteral("The picture's EXIF block is too large for a JPEG "
                                              "file")};
        }
        return bytesOfBlob(blob);
    });
}

void eraseTiffLayout(Exiv2::ExifData& exif) {
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string group = it->groupName();
        const bool layout = group == "Image" && tiffLayoutTags().count(it->tag());
        // Further pages and sub-images of a TIFF, and the EXIF thumbnail: pictures of their own.
        const bool ownPicture = group != "Image" && group != "Photo" && group != "GPSInfo" &&
                                group != "Iop" && !Exiv2::ExifTags::isMakerGroup(group);
        it = layout || ownPicture ? exif.erase(it) : std::next(it);
    }
}

Exiv2::ExifData exifForTiff(const Exiv2::ExifData& source, const OutputPicture& output) {
    Exiv2::ExifData exif = source;
    eraseTiffLayout(exif);
    // Tags of compressed pictures (JPEG), which a TIFF's EXIF directory must not hold.
    for (const char* key : {"Exif.Photo.ComponentsConfiguration",
                            "Exif.Photo.CompressedBitsPerPixel", "Exif.Photo.PixelXDimension",
                            "Exif.Photo.PixelYDimension", "Exif.Iop.InteroperabilityIndex"}) {
        if (const auto it = findTag(exif, key); it != exif.end()) {
            exif.erase(it);
        }
    }
    makeTrue(exif, output);
    return exif;
}

}  // namespace zentavo
