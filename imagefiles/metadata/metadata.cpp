#include "imagefiles/metadata/metadata.h"

#include "imagefiles/metadata/metadatacontent.h"

#include <QtEndian>

#include <algorithm>
#include <iterator>
#include <mutex>

namespace zentavo {

namespace {

constexpr char XmpKeyword[] = "XML:com.adobe.xmp";
constexpr char RawProfilePrefix[] = "Raw profile type ";

void lockXmp(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

bool startsWith(const QByteArray& data, const QByteArray& signature) {
    return data.startsWith(signature);
}

std::shared_ptr<const PictureMetadata> unlessEmpty(std::shared_ptr<PictureMetadata> metadata) {
    return metadata->empty() ? nullptr : metadata;
}

// The EXIF block's facts; the format's own resolution, when it states one, wins over EXIF's.
void settleExif(PictureMetadata& metadata, const Resolution& ownResolution) {
    if (!metadata.exifBlock.isEmpty() && decodeExifBlock(metadata.exifBlock, metadata.exif)) {
        readExifFacts(metadata.exif, metadata);
    }
    if (ownResolution.valid()) {
        metadata.resolution = ownResolution;
    }
}

Resolution bmpResolution(const QByteArray& bmp) {
    if (bmp.size() >= 54 && qFromLittleEndian<quint32>(bmp.constData() + 14) >= 40) {
        const qint32 x = qFromLittleEndian<qint32>(bmp.constData() + 38);
        const qint32 y = qFromLittleEndian<qint32>(bmp.constData() + 42);
        if (x > 0 && y > 0) {
            return Resolution::whole(std::uint32_t(x), std::uint32_t(y), Resolution::Unit::Metre);
        }
    }
    return {};
}

// A TIFF file (or any other the library reads) through exiv2.
void readThroughLibrary(const QByteArray& bytes, PictureMetadata& metadata) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    image->readMetadata();
    metadata.exif = image->exifData();
    // The XMP packet and the IPTC records as the file holds them, in the file's byte order.
    const auto bytesOfTag = [&](const char* key) {
        const auto it = metadata.exif.findKey(Exiv2::ExifKey(key));
        QByteArray bytes;
        if (it != metadata.exif.end() && it->size() > 0) {
            bytes = QByteArray(qsizetype(it->size()), Qt::Uninitialized);
            it->copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), image->byteOrder());
        }
        return bytes;
    };
    if (const QByteArray packet = bytesOfTag("Exif.Image.XMLPacket"); !packet.isEmpty()) {
        metadata.xmpPackets.push_back(packet);
    } else if (!image->xmpPacket().empty()) {
        metadata.xmpPackets.push_back(QByteArray::fromStdString(image->xmpPacket()));
    }
    metadata.iptc = bytesOfTag("Exif.Image.IPTCNAA");
    const auto compression = metadata.exif.findKey(Exiv2::ExifKey("Exif.Image.Compression"));
    if (metadata.source == PictureFormat::Tiff && compression != metadata.exif.end() &&
        compression->count() > 0) {
        metadata.tiffCompression = int(compression->toLong(0));
    }
    readExifFacts(metadata.exif, metadata);
    metadata.thumbnailSide = 0;  // a TIFF's second directory is a page, not a thumbnail
    eraseTiffLayout(metadata.exif);
}

QByteArray latin1ToUtf8(const QByteArray& latin1) {
    return QString::fromLatin1(latin1).toUtf8();
}

}  // namespace

void startExiv2() {
    static std::once_flag once;
    static std::mutex xmpMutex;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmp, &xmpMutex);
    });
}

std::shared_ptr<const PictureMetadata> readMetadata(const QByteArray& bytes, PictureFormat format) {
    auto metadata = std::make_shared<PictureMetadata>();
    metadata->source = format;
    switch (format) {
        case PictureFormat::Bmp:
            metadata->resolution = bmpResolution(bytes);
            return unlessEmpty(metadata);
        case PictureFormat::Jpeg:
        case PictureFormat::Png:
        case PictureFormat::Gif:
        case PictureFormat::None:
        case PictureFormat::Webp:
        case PictureFormat::Heif:
        case PictureFormat::Avif:
        case PictureFormat::Jxl:
            return nullptr;  // their decoders read what they hold
        default:
            break;
    }
    startExiv2();
    try {
        readThroughLibrary(bytes, *metadata);
    } catch (const Exiv2::AnyError&) {
        // Metadata the library cannot read is left behind; the pixels still load.
        *metadata = PictureMetadata();
        metadata->source = format;
    } catch (const std::exception&) {
        return nullptr;
    }
    return unlessEmpty(metadata);
}

std::shared_ptr<const PictureMetadata> jpegMetadata(std::vector<JpegSegment> segments,
                                                    const Resolution& jfifDensity) {
    auto metadata = std::make_shared<PictureMetadata>();
    metadata->source = PictureFormat::Jpeg;
    metadata->jfifDensity = jfifDensity;
    for (const JpegSegment& segment : segments) {
        const QByteArray& data = segment.data;
        if (segment.marker == 0xE1 && startsWith(data, ExifSignature) &&
            metadata->exifBlock.isEmpty()) {
            metadata->exifBlock = data.mid(ExifSignature.size());
        } else if (segment.marker == 0xE1 && startsWith(data, XmpSignature)) {
            metadata->xmpPackets.push_back(data.mid(XmpSignature.size()));
        } else if (segment.marker == 0xED && startsWith(data, PhotoshopSignature) &&
                   metadata->iptc.isEmpty()) {
            metadata->iptc = iptcOfPhotoshopResources(data.mid(PhotoshopSignature.size()));
        } else if (segment.marker == 0xFE) {
            metadata->comments.push_back(data);
        }
    }
    // Everything but the JFIF segment, which the encoder writes again, is the file's own.
    std::erase_if(segments, [](const JpegSegment& segment) {
        return segment.marker == 0xE0 && segment.data.startsWith(QByteArrayView("JFIF\0", 5));
    });
    metadata->jpegSegments = std::move(segments);
    startExiv2();
    settleExif(*metadata, {});
    if (!metadata->resolution.valid()) {
        metadata->resolution = jfifDensity;
    }
    // Never null: even a file without segments decides whether its trailer is kept.
    return metadata;
}

std::shared_ptr<const PictureMetadata> pngMetadata(PngMetadataChunks chunks) {
    auto metadata = std::make_shared<PictureMetadata>();
    metadata->source = PictureFormat::Png;
    metadata->exifBlock = chunks.exif;
    QByteArray rawXmp;
    for (const PngText& text : chunks.texts) {
        if (text.keyword == XmpKeyword) {
            metadata->xmpPackets.push_back(text.text);
        } else if (text.keyword == "Comment") {
            metadata->comments.push_back(
                text.kind == PngText::Kind::International ? text.text : latin1ToUtf8(text.text));
        } else if (text.keyword.startsWith(RawProfilePrefix)) {
            // Programs without eXIf and iTXt wrote EXIF, IPTC and XMP as hex text.
            const QByteArray type = text.keyword.mid(int(sizeof RawProfilePrefix) - 1).toLower();
            const QByteArray data = decodeRawProfile(text.text);
            if ((type == "exif" || type == "app1") && metadata->exifBlock.isEmpty()) {
                const qsizetype tiff = data.indexOf(QByteArrayView("II*\0", 4)) >= 0
                                           ? data.indexOf(QByteArrayView("II*\0", 4))
                                           : data.indexOf(QByteArrayView("MM\0*", 4));
                metadata->exifBlock = tiff >= 0 ? data.mid(tiff) : QByteArray();
            } else if (type == "iptc" && metadata->iptc.isEmpty()) {
                metadata->iptc = data.startsWith("8BIM") ? iptcOfPhotoshopResources(data) : data;
            } else if (type == "xmp") {
                rawXmp = data;
            }
        }
    }
    if (metadata->xmpPackets.empty() && !rawXmp.isEmpty()) {
        metadata->xmpPackets.push_back(rawXmp);
    }
    const Resolution physical = chunks.physical;
    metadata->png = std::move(chunks);
    startExiv2();
    settleExif(*metadata, physical);
    return unlessEmpty(metadata);
}

std::shared_ptr<const PictureMetadata> gifMetadata(std::vector<QByteArray> comments,
                                                   const QByteArray& xmp) {
    auto metadata = std::make_shared<PictureMetadata>();
    metadata->source = PictureFormat::Gif;
    metadata->comments = std::move(comments);
    if (!xmp.isEmpty()) {
        metadata->xmpPackets.push_back(xmp);
    }
    return unlessEmpty(metadata);
}

int metadataOrientation(const PictureMetadata* metadata) {
    return metadata ? metadata->orientation : 1;
}

int metadataTiffCompression(const PictureMetadata* metadata) {
    return metadata ? metadata->tiffCompression : 0;
}

int metadataThumbnailSide(const PictureMetadata* metadata) {
    return metadata ? metadata->thumbnailSide : 0;
}

Resolution metadataResolution(const PictureMetadata* metadata) {
    return metadata ? metadata->resolution : Resolution();
}

Resolution outputResolution(const Picture& picture) {
    const Resolution resolution = metadataResolution(picture.metadata.get());
    return picture.axesSwapped ? resolution.swapped() : resolution;
}

std::vector<QByteArray> metadataComments(const PictureMetadata* metadata) {
    return metadata ? metadata->comments : std::vector<QByteArray>();
}

QByteArray metadataIptc(const PictureMetadata* metadata) {
    return metadata ? metadata->iptc : QByteArray();
}

std::shared_ptr<const PictureMetadata> strippedMetadata(
    const std::shared_ptr<const PictureMetadata>& metadata) {
    if (!metadata) {
        return nullptr;
    }
    auto stripped = std::make_shared<PictureMetadata>();
    stripped->source = metadata->source;
    stripped->resolution = metadata->resolution;
    stripped->jfifDensity = metadata->jfifDensity;
    stripped->orientation = metadata->orientation;
    stripped->tiffCompression = metadata->tiffCompression;
    // A PNG's colour chunks say how its pixels are shown, as a profile does.
    std::copy_if(metadata->png.chunks.begin(), metadata->png.chunks.end(),
                 std::back_inserter(stripped->png.chunks),
                 [](const PngChunk& chunk) { return isColourChunk(chunk.type); });
    stripped->stripped = true;
    return stripped;
}

std::shared_ptr<const PictureMetadata> metadataFromBlocks(const MetadataBlocks& blocks) {
    auto metadata = std::make_shared<PictureMetadata>();
    metadata->exifBlock = blocks.exif;
    if (!blocks.xmp.isEmpty()) {
        metadata->xmpPackets.push_back(blocks.xmp);
    }
    startExiv2();
    settleExif(*metadata, {});
    return unlessEmpty(metadata);
}

}  // namespace zentavo
