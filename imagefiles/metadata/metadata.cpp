#include "imagefiles/metadata/metadata.h"

#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/picture/gdiplusstatus.h"

#include <QtEndian>

#include <turbojpeg.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zentavo {

// A PNG text chunk as the file held it: its type (tEXt, zTXt, iTXt) and its data.
struct PngTextChunk {
    QByteArray type;
    QByteArray data;
};

struct PictureMetadata {
    Exiv2::ExifData exif;  // without the tags that describe the stored pixels' layout
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
    std::string comment;
    std::vector<PngTextChunk> pngText;
    Resolution resolution;
    int orientation = 1;
    int thumbnailSide = 0;    // the longer side of the EXIF thumbnail; 0 when there is none
    int tiffCompression = 0;  // a TIFF's Compression tag; 0 for other files

    bool describesPhoto() const {
        return !exif.empty() || !xmp.empty() || !iptc.empty() || !comment.empty() ||
               !pngText.empty();
    }
};

namespace {

constexpr int ThumbnailQuality = 85;
constexpr int DefaultThumbnailSide = 160;
constexpr char XmpKeyword[] = "XML:com.adobe.xmp";
constexpr char PngSignature[] = "\x89PNG\r\n\x1a\n";

// Tags of a TIFF's first directory that describe how its pixels are stored, or that the program
// writes itself (resolution, colour profile, XMP and IPTC blocks). They are never copied from
// one file to another: the output's own layout holds.
const std::set<std::uint16_t>& layoutTags() {
    static const std::set<std::uint16_t> tags = {
        0x00fe, 0x00ff, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010a,
        0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011a, 0x011b, 0x011c, 0x0122, 0x0123,
        0x0124, 0x0125, 0x0128, 0x012d, 0x013d, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145,
        0x0146, 0x0147, 0x014a, 0x014c, 0x014d, 0x014e, 0x0150, 0x0151, 0x0152, 0x0153, 0x0154,
        0x0155, 0x0156, 0x0157, 0x015b, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207,
        0x0208, 0x0209, 0x0211, 0x0212, 0x0213, 0x0214, 0x02bc, 0x83bb, 0x8649, 0x8773,
    };
    return tags;
}

void lockXmp(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

// The library keeps its XMP toolkit global: started once, used under one lock by every thread.
// Its warnings about odd files are not for users; what matters reaches them as our own errors.
void startLibrary() {
    static std::once_flag once;
    static std::mutex xmpMutex;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmp, &xmpMutex);
    });
}

const Exiv2::byte* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

// The JFIF density of a JPEG whose first segment is a JFIF APP0; invalid when it states no unit.
Resolution jfifDensity(const QByteArray& jpeg) {
    Resolution density;
    if (jpeg.size() < 18 || uchar(jpeg[2]) != 0xFF || uchar(jpeg[3]) != 0xE0 ||
        std::memcmp(jpeg.constData() + 6, "JFIF\0", 5) != 0) {
        return density;
    }
    const int unit = uchar(jpeg[13]);
    if (unit == 1 || unit == 2) {
        density.unit = unit == 1 ? Resolution::Unit::Inch : Resolution::Unit::Centimetre;
        density.x = qFromBigEndian<quint16>(jpeg.constData() + 14);
        density.y = qFromBigEndian<quint16>(jpeg.constData() + 16);
    }
    return density;
}

// Calls visit(type, data, offset of the chunk, whole length of the chunk) for each chunk of a
// PNG, checking every length against the buffer; stops at IEND or at the first bad length.
template <typename Visit>
void forEachPngChunk(const QByteArray& png, Visit visit) {
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12)) {
            return;
        }
        const QByteArray type = png.mid(at + 4, 4);
        visit(type, QByteArray::fromRawData(png.constData() + at + 8, length), at,
              qsizetype(length) + 12);
        if (type == "IEND") {
            return;
        }
        at += qsizetype(length) + 12;
    }
}

void readPngChunks(const QByteArray& png, PictureMetadata& metadata) {
    forEachPngChunk(png, [&](const QByteArray& type, const QByteArray& data, qsizetype, qsizetype) {
        if (type == "pHYs" && data.size() == 9 && data[8] == 1) {
            // Dots per metre; kept in inches, the unit people read.
            metadata.resolution.unit = Resolution::Unit::Inch;
            metadata.resolution.x = qFromBigEndian<quint32>(data.constData()) * 0.0254;
            metadata.resolution.y = qFromBigEndian<quint32>(data.constData() + 4) * 0.0254;
        } else if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            // XMP and the "Raw profile type" blocks come back through EXIF, XMP and IPTC.
            const QByteArray keyword = data.left(data.indexOf('\0'));
            if (keyword != XmpKeyword && !keyword.startsWith("Raw profile type")) {
                metadata.pngText.push_back({type, QByteArray(data.constData(), data.size())});
            }
        }
    });
}

Resolution bmpResolution(const QByteArray& bmp) {
    Resolution resolution;
    if (bmp.size() >= 54 && qFromLittleEndian<quint32>(bmp.constData() + 14) >= 40) {
        const qint32 x = qFromLittleEndian<qint32>(bmp.constData() + 38);
        const qint32 y = qFromLittleEndian<qint32>(bmp.constData() + 42);
        if (x > 0 && y > 0) {
            resolution.unit = Resolution::Unit::Centimetre;
            resolution.x = x / 100.0;
            resolution.y = y / 100.0;
        }
    }
    return resolution;
}

double rationalValue(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0) {
        return 0;
    }
    const Exiv2::Rational value = it->toRational(0);
    return value.second > 0 && value.first > 0 ? double(value.first) / value.second : 0;
}

// Takes the resolution and orientation out of the EXIF block and drops what must not travel:
// the stored layout of a TIFF, and any directory past the first (further pages of a TIFF).
void settleExif(PictureMetadata& metadata, PictureFormat format) {
    Exiv2::ExifData& exif = metadata.exif;
    const double x = rationalValue(exif, "Exif.Image.XResolution");
    const double y = rationalValue(exif, "Exif.Image.YResolution");
    const auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
    const long unitValue = unit != exif.end() && unit->count() > 0 ? unit->toLong(0) : 2;
    if (x > 0 && y > 0 && (unitValue == 2 || unitValue == 3)) {
        metadata.resolution = {
            x, y, unitValue == 2 ? Resolution::Unit::Inch : Resolution::Unit::Centimetre};
    }
    const auto compression = exif.findKey(Exiv2::ExifKey("Exif.Image.Compression"));
    if (format == PictureFormat::Tiff && compression != exif.end() && compression->count() > 0) {
        metadata.tiffCompression = int(compression->toLong(0));
    }
    const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (orientation != exif.end() && orientation->count() > 0) {
        const long value = orientation->toLong(0);
        metadata.orientation = value >= 1 && value <= 8 ? int(value) : 1;
    }
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string group = it->groupName();
        const bool layout = group == "Image" && layoutTags().count(it->tag());
        const bool resolution =
            group == "Image" && (it->tag() == 0x011a || it->tag() == 0x011b || it->tag() == 0x0128);
        const bool otherPage = format == PictureFormat::Tiff && group != "Image" &&
                               group != "Photo" && group != "GPSInfo" && group != "Iop" &&
                               !Exiv2::ExifTags::isMakerGroup(group);
        it = layout || resolution || otherPage ? exif.erase(it) : std::next(it);
    }
}

int thumbnailSideOf(const Exiv2::ExifData& exif) {
    const Exiv2::DataBuf thumbnail = Exiv2::ExifThumbC(exif).copy();
    if (thumbnail.size_ <= 0) {
        return 0;
    }
    const TjDecompressor tj;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    const bool read =
        tj.handle && tjDecompressHeader3(tj.handle, thumbnail.pData_, unsigned(thumbnail.size_),
                                         &width, &height, &subsampling, &colorspace) == 0;
    return read && width > 0 && height > 0 ? std::max(width, height) : DefaultThumbnailSide;
}

// A JPEG of image scaled to fit a square of side pixels. Sampled down to a few times the size
// first, so that a large picture costs no more than a small one.
QByteArray makeThumbnail(const QImage& image, int side) {
    if (image.isNull() || side <= 0) {
        return {};
    }
    QImage small = image;
    if (std::max(image.width(), image.height()) > side * 4) {
        small = image.scaled(side * 4, side * 4, Qt::KeepAspectRatio, Qt::FastTransformation);
    }
    if (std::max(small.width(), small.height()) > side) {
        small = small.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    small = small.convertToFormat(QImage::Format_RGB888);
    if (small.isNull()) {
        return {};
    }
    const TjCompressor tj;
    if (!tj.handle) {
        return {};
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status =
        tjCompress2(tj.handle, small.constBits(), small.width(), int(small.bytesPerLine()),
                    small.height(), TJPF_RGB, &buffer, &size, TJSAMP_420, ThumbnailQuality, 0);
    QByteArray jpeg;
    if (status == 0) {
        jpeg = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    }
    tjFree(buffer);
    return jpeg;
}

// A JPEG decoded at the smallest scale that still covers side pixels, for its thumbnail.
QImage decodeSmall(const QByteArray& jpeg, int side) {
    const TjDecompressor tj;
    if (!tj.handle) {
        return {};
    }
    tjhandle handle = tj.handle;
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    QImage image;
    if (tjDecompressHeader3(handle, data, unsigned(jpeg.size()), &width, &height, &subsampling,
                            &colorspace) == 0) {
        int count = 0;
        const tjscalingfactor* factors = tjGetScalingFactors(&count);
        int scaledWidth = width;
        int scaledHeight = height;
        for (int i = 0; i < count; ++i) {
            const int w = TJSCALED(width, factors[i]);
            const int h = TJSCALED(height, factors[i]);
            if (std::max(w, h) >= side && w * h < scaledWidth * scaledHeight) {
                scaledWidth = w;
                scaledHeight = h;
            }
        }
        image = QImage(scaledWidth, scaledHeight, QImage::Format_RGB888);
        if (!image.isNull() &&
            tjDecompress2(handle, data, unsigned(jpeg.size()), image.bits(), scaledWidth,
                          int(image.bytesPerLine()), scaledHeight, TJPF_RGB, 0) != 0 &&
            tjGetErrorCode(handle) == TJERR_FATAL) {
            image = QImage();
        }
    }
    return image;
}

Exiv2::Rational rationalOf(double value) {
    const double rounded = std::round(value);
    if (std::abs(value - rounded) < 1e-6) {
        return {int(rounded), 1};
    }
    return {int(std::lround(value * 1000)), 1000};
}

Resolution outputResolution(const PictureMetadata& metadata, bool axesSwapped) {
    Resolution resolution = metadata.resolution;
    if (axesSwapped) {
        std::swap(resolution.x, resolution.y);
    }
    return resolution;
}

// What the output is: its size, whether its rows are the input file's columns, and the picture
// its thumbnail is made from (a null image when it has none at hand).
struct OutputFacts {
    QSize size;
    bool axesSwapped = false;
    QImage thumbnailSource;
    QByteArray jpegForThumbnail;  // used when thumbnailSource is null
};

// The EXIF block made true of the output. withThumbnail: a thumbnail is made again when the
// input had one; otherwise any thumbnail is removed.
Exiv2::ExifData exifFor(const PictureMetadata& metadata, const OutputFacts& output,
                        bool withThumbnail, bool withMakerNote) {
    Exiv2::ExifData exif = metadata.exif;
    if (exif.empty()) {
        return exif;
    }
    Exiv2::ExifThumb(exif).erase();
    if (!withMakerNote) {
        for (auto it = exif.begin(); it != exif.end();) {
            const bool maker = Exiv2::ExifTags::isMakerGroup(it->groupName()) ||
                               it->key() == "Exif.Photo.MakerNote";
            it = maker ? exif.erase(it) : std::next(it);
        }
    }
    exif["Exif.Image.Orientation"] = std::uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(output.size.width());
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(output.size.height());
    const Resolution resolution = outputResolution(metadata, output.axesSwapped);
    if (resolution.valid()) {
        exif["Exif.Image.XResolution"] = rationalOf(resolution.x);
        exif["Exif.Image.YResolution"] = rationalOf(resolution.y);
        exif["Exif.Image.ResolutionUnit"] =
            std::uint16_t(resolution.unit == Resolution::Unit::Inch ? 2 : 3);
    }
    if (withThumbnail && metadata.thumbnailSide > 0) {
        const QImage source = output.thumbnailSource.isNull()
                                  ? decodeSmall(output.jpegForThumbnail, metadata.thumbnailSide)
                                  : output.thumbnailSource;
        const QByteArray thumbnail = makeThumbnail(source, metadata.thumbnailSide);
        if (!thumbnail.isEmpty()) {
            Exiv2::ExifThumb(exif).setJpegThumbnail(bytesOf(thumbnail), long(thumbnail.size()));
        }
    }
    return exif;
}

void setXmpIfPresent(Exiv2::XmpData& xmp, const char* key, const std::string& value) {
    if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end()) {
        xmp[key] = value;
    }
}

Exiv2::XmpData xmpFor(const PictureMetadata& metadata, const OutputFacts& output) {
    Exiv2::XmpData xmp = metadata.xmp;
    if (xmp.empty()) {
        return xmp;
    }
    xmp["Xmp.tiff.Orientation"] = "1";
    const std::string width = std::to_string(output.size.width());
    const std::string height = std::to_string(output.size.height());
    setXmpIfPresent(xmp, "Xmp.exif.PixelXDimension", width);
    setXmpIfPresent(xmp, "Xmp.exif.PixelYDimension", height);
    setXmpIfPresent(xmp, "Xmp.tiff.ImageWidth", width);
    setXmpIfPresent(xmp, "Xmp.tiff.ImageLength", height);
    if (output.axesSwapped) {
        const auto x = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.XResolution"));
        const auto y = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.YResolution"));
        if (x != xmp.end() && y != xmp.end()) {
            const std::string xValue = x->toString();
            const std::string yValue = y->toString();
            xmp["Xmp.tiff.XResolution"] = yValue;
            xmp["Xmp.tiff.YResolution"] = xValue;
        }
    }
    return xmp;
}

// The written file, copied once out of the library's memory buffer.
QByteArray bytesOfImage(Exiv2::Image& image) {
    Exiv2::BasicIo& io = image.io();
    const long size = io.size();
    const Exiv2::byte* data = io.mmap(false);
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    io.munmap();
    return bytes;
}

// Writes the metadata into a JPEG or TIFF through the library. A block too large for its place
// (an EXIF segment holds at most 64 KiB) is tried again without the thumbnail, then without the
// maker note, before the output is given up.
QByteArray writeThroughLibrary(const QByteArray& encoded, const PictureMetadata& metadata,
                               const OutputFacts& output, bool jpeg) {
    std::string failure;
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            Exiv2::Image::AutoPtr image =
                Exiv2::ImageFactory::open(bytesOf(encoded), long(encoded.size()));
            image->readMetadata();
            image->setExifData(exifFor(metadata, output, jpeg && attempt == 0, attempt < 2));
            image->setXmpData(xmpFor(metadata, output));
            image->setIptcData(metadata.iptc);
            if (jpeg) {
                image->setComment(metadata.comment);
            }
            image->writeMetadata();
            return bytesOfImage(*image);
        } catch (const Exiv2::AnyError& error) {
            failure = error.what();
        } catch (const std::bad_alloc&) {
            throw WriteFailure{GdiplusStatus::OutOfMemory,
                               QStringLiteral("Not enough memory to write the metadata")};
        }
    }
    throw WriteFailure{GdiplusStatus::GenericError,
                       QStringLiteral("The picture's metadata cannot be written (%1)")
                           .arg(QString::fromStdString(failure))};
}

// A scan marker and the end of the stream: what the library copies of a JPEG given only its
// segments.
constexpr char EmptyScan[] = {char(0xFF), char(0xDA), char(0x00),
                              char(0x02), char(0xFF), char(0xD9)};

// Where a JPEG stream's first scan begins (its SOS marker); -1 when the segments before it do not
// parse.
qsizetype firstScanOffset(const QByteArray& jpeg) {
    const auto* data = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype size = jpeg.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return -1;
    }
    qsizetype at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        const uchar marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;  // a fill byte
            continue;
        }
        if (marker == 0xDA) {
            return at;
        }
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x01 ||
            (marker >= 0xD0 && marker <= 0xD7)) {
            return -1;  // no segment of its own before a scan
        }
        at += 2 + ((qsizetype(data[at + 2]) << 8) | data[at + 3]);
    }
    return -1;
}

// Sets the density of the JFIF segment a JPEG encoder wrote (16-bit whole numbers).
void setJfifDensity(QByteArray& jpeg, const Resolution& resolution) {
    if (!resolution.valid() || jpeg.size() < 18 || uchar(jpeg[2]) != 0xFF ||
        uchar(jpeg[3]) != 0xE0 || std::memcmp(jpeg.constData() + 6, "JFIF\0", 5) != 0) {
        return;
    }
    const auto x = quint16(std::clamp<long>(std::lround(resolution.x), 1, 65535));
    const auto y = quint16(std::clamp<long>(std::lround(resolution.y), 1, 65535));
    jpeg[13] = char(resolution.unit == Resolution::Unit::Inch ? 1 : 2);
    qToBigEndian<quint16>(x, jpeg.data() + 14);
    qToBigEndian<quint16>(y, jpeg.data() + 16);
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += type;
    chunk += data;
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 4; i < chunk.size(); ++i) {
        crc ^= uchar(chunk[i]);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    QByteArray tail(4, '\0');
    qToBigEndian<quint32>(crc ^ 0xffffffffu, tail.data());
    return chunk + tail;
}

// The PNG with the metadata's chunks after its header, in place of any the encoder wrote.
QByteArray writePngChunks(const QByteArray& png, const PictureMetadata& metadata,
                          const OutputFacts& output) {
    if (png.size() < 8 || std::memcmp(png.constData(), PngSignature, 8) != 0) {
        return png;
    }
    QByteArray chunks;
    const Resolution resolution = outputResolution(metadata, output.axesSwapped);
    if (resolution.valid()) {
        QByteArray data(9, '\0');
        qToBigEndian<quint32>(quint32(std::lround(resolution.dotsPerMetreX())), data.data());
        qToBigEndian<quint32>(quint32(std::lround(resolution.dotsPerMetreY())), data.data() + 4);
        data[8] = 1;
        chunks += pngChunk("pHYs", data);
    }
    try {
        const Exiv2::ExifData exif = exifFor(metadata, output, false, true);
        if (!exif.empty()) {
            Exiv2::Blob blob;
            Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
            chunks += pngChunk("eXIf", QByteArray(reinterpret_cast<const char*>(blob.data()),
                                                  qsizetype(blob.size())));
        }
        const Exiv2::XmpData xmp = xmpFor(metadata, output);
        std::string packet;
        if (!xmp.empty() && Exiv2::XmpParser::encode(packet, xmp) == 0) {
            // iTXt: keyword, no compression, empty language and translated keyword.
            QByteArray data(XmpKeyword);
            data.append('\0').append('\0').append('\0').append('\0').append('\0');
            data += QByteArray::fromStdString(packet);
            chunks += pngChunk("iTXt", data);
        }
    } catch (const Exiv2::AnyError& error) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's metadata cannot be written (%1)")
                               .arg(QString::fromLocal8Bit(error.what()))};
    }
    for (const PngTextChunk& text : metadata.pngText) {
        chunks += pngChunk(text.type, text.data);
    }
    if (!metadata.comment.empty()) {
        chunks += pngChunk("tEXt", QByteArray("Comment") + '\0' +
                                       QString::fromStdString(metadata.comment).toLatin1());
    }

    QByteArray out = png.left(8);
    out.reserve(png.size() + chunks.size());
    forEachPngChunk(
        png, [&](const QByteArray& type, const QByteArray&, qsizetype at, qsizetype length) {
            const bool replaced = type == "eXIf" || type == "tEXt" || type == "zTXt" ||
                                  type == "iTXt" || (type == "pHYs" && resolution.valid());
            if (!replaced) {
                out.append(png.constData() + at, length);
            }
            if (type == "IHDR") {
                out += chunks;
            }
        });
    return out;
}

}  // namespace

std::shared_ptr<const PictureMetadata> readMetadata(const QByteArray& bytes, PictureFormat format) {
    auto metadata = std::make_shared<PictureMetadata>();
    switch (format) {
        case PictureFormat::Bmp:
            metadata->resolution = bmpResolution(bytes);
            return metadata->resolution.valid() ? metadata : nullptr;
        case PictureFormat::Jpeg:
            metadata->resolution = jfifDensity(bytes);
            break;
        case PictureFormat::Png:
            readPngChunks(bytes, *metadata);
            break;
        case PictureFormat::Tiff:
            break;
        case PictureFormat::Gif:
        case PictureFormat::Ico:
        case PictureFormat::None:
        // Their decoders read the blocks through the format's own library.
        case PictureFormat::Webp:
        case PictureFormat::Heif:
        case PictureFormat::Avif:
        case PictureFormat::Jxl:
            return nullptr;
    }
    startLibrary();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(bytesOf(bytes), long(bytes.size()));
        image->readMetadata();
        metadata->exif = image->exifData();
        metadata->xmp = image->xmpData();
        metadata->iptc = image->iptcData();
        if (format == PictureFormat::Jpeg) {
            metadata->comment = image->comment();
        }
    } catch (const Exiv2::AnyError&) {
        // Metadata the library cannot read is left behind; the pixels still load.
        metadata->exif.clear();
        metadata->xmp.clear();
        metadata->iptc.clear();
    } catch (const std::exception&) {
        return nullptr;
    }
    try {
        if (format == PictureFormat::Jpeg) {
            metadata->thumbnailSide = thumbnailSideOf(metadata->exif);
        }
        settleExif(*metadata, format);
    } catch (const Exiv2::AnyError&) {
        metadata->exif.clear();
    }
    if (!metadata->describesPhoto() && !metadata->resolution.valid() &&
        metadata->orientation == 1 && metadata->tiffCompression == 0) {
        return nullptr;
    }
    return metadata;
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

std::shared_ptr<const PictureMetadata> strippedMetadata(
    const std::shared_ptr<const PictureMetadata>& metadata) {
    if (!metadata) {
        return nullptr;
    }
    auto stripped = std::make_shared<PictureMetadata>();
    stripped->resolution = metadata->resolution;
    stripped->orientation = metadata->orientation;
    stripped->tiffCompression = metadata->tiffCompression;
    return stripped;
}

QByteArray withMetadata(const QByteArray& encoded, PictureFormat outputFormat,
                        const Picture& picture) {
    if (!picture.metadata) {
        return encoded;
    }
    const OutputFacts output{picture.image.size(), picture.axesSwapped, picture.image, {}};
    switch (outputFormat) {
        case PictureFormat::Jpeg:
            return withJpegMetadata(encoded, picture.metadata.get(), picture.axesSwapped,
                                    picture.image);
        case PictureFormat::Tiff:
            startLibrary();
            if (!picture.metadata->describesPhoto()) {
                return encoded;
            }
            return writeThroughLibrary(encoded, *picture.metadata, output, false);
        case PictureFormat::Png:
            startLibrary();
            return writePngChunks(encoded, *picture.metadata, output);
        default:
            return encoded;
    }
}

QByteArray withJpegMetadata(const QByteArray& jpeg, const PictureMetadata* metadata,
                            bool axesSwapped, const QImage& thumbnailSource) {
    if (!metadata) {
        return jpeg;
    }
    startLibrary();
    OutputFacts output{{}, axesSwapped, thumbnailSource, jpeg};
    {
        const TjDecompressor tj;
        int width = 0;
        int height = 0;
        int subsampling = 0;
        int colorspace = 0;
        if (tj.handle &&
            tjDecompressHeader3(tj.handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                                unsigned(jpeg.size()), &width, &height, &subsampling,
                                &colorspace) == 0) {
            output.size = QSize(width, height);
        }
    }
    // The library writes the segments ahead of the first scan and copies the scans, nearly all
    // of the file, four kilobytes at a time into a growing buffer. Only the segments go through
    // it here; the scans are joined on once, afterwards.
    const qsizetype scan = firstScanOffset(jpeg);
    QByteArray out;
    if (scan < 0) {
        out = writeThroughLibrary(jpeg, *metadata, output, true);
    } else {
        const QByteArray written = writeThroughLibrary(
            jpeg.left(scan) + QByteArray::fromRawData(EmptyScan, sizeof EmptyScan), *metadata,
            output, true);
        const qsizetype writtenScan = firstScanOffset(written);
        if (writtenScan < 0) {
            throw WriteFailure{GdiplusStatus::GenericError,
                               QStringLiteral("The picture's metadata cannot be written")};
        }
        out.reserve(writtenScan + jpeg.size() - scan);
        out.append(written.constData(), writtenScan);
        out.append(jpeg.constData() + scan, jpeg.size() - scan);
    }
    setJfifDensity(out, outputResolution(*metadata, axesSwapped));
    return out;
}

std::shared_ptr<const PictureMetadata> metadataFromBlocks(const MetadataBlocks& blocks) {
    if (blocks.isEmpty()) {
        return nullptr;
    }
    startLibrary();
    auto metadata = std::make_shared<PictureMetadata>();
    try {
        if (!blocks.exif.isEmpty()) {
            Exiv2::ExifParser::decode(metadata->exif, bytesOf(blocks.exif),
                                      uint32_t(blocks.exif.size()));
        }
    } catch (const std::exception&) {
        metadata->exif.clear();
    }
    try {
        if (!blocks.xmp.isEmpty() &&
            Exiv2::XmpParser::decode(metadata->xmp, blocks.xmp.toStdString()) != 0) {
            metadata->xmp.clear();
        }
    } catch (const std::exception&) {
        metadata->xmp.clear();
    }
    try {
        settleExif(*metadata, PictureFormat::None);
    } catch (const std::exception&) {
        metadata->exif.clear();
    }
    if (!metadata->describesPhoto() && !metadata->resolution.valid()) {
        return nullptr;
    }
    return metadata;
}

MetadataBlocks metadataBlocksFor(const PictureMetadata* metadata, QSize outputSize,
                                 bool axesSwapped, int orientation) {
    MetadataBlocks blocks;
    if (!metadata) {
        return blocks;
    }
    startLibrary();
    const OutputFacts output{outputSize, axesSwapped, {}, {}};
    try {
        Exiv2::ExifData exif = exifFor(*metadata, output, false, true);
        if (exif.empty() && metadata->resolution.valid()) {
            // A resolution alone still travels, as it does into a PNG's pHYs.
            PictureMetadata resolutionOnly;
            resolutionOnly.resolution = metadata->resolution;
            resolutionOnly.exif["Exif.Image.Orientation"] = std::uint16_t(1);
            exif = exifFor(resolutionOnly, output, false, true);
        }
        if (!exif.empty()) {
            exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
            Exiv2::Blob blob;
            Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
            blocks.exif =
                QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
        }
        Exiv2::XmpData xmp = xmpFor(*metadata, output);
        if (!xmp.empty()) {
            xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat) == 0) {
                blocks.xmp = QByteArray::fromStdString(packet);
            }
        }
    } catch (const Exiv2::AnyError& error) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's metadata cannot be written (%1)")
                               .arg(QString::fromLocal8Bit(error.what()))};
    } catch (const std::bad_alloc&) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("Not enough memory to write the metadata")};
    }
    return blocks;
}

}  // namespace zentavo
