#include "imagefiles/jpeg/jpegmarkers.h"

#include <cstring>
#include <map>
#include <optional>

namespace zentavo {

namespace {

constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t TiffTypeShort = 3;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    bool bigEndian;

    bool u16(std::size_t at, std::uint16_t& value) const {
        if (at > size || size - at < 2) {
            return false;
        }
        value = bigEndian ? std::uint16_t(data[at] << 8 | data[at + 1])
                          : std::uint16_t(data[at + 1] << 8 | data[at]);
        return true;
    }
    bool u32(std::size_t at, std::uint32_t& value) const {
        std::uint16_t a = 0;
        std::uint16_t b = 0;
        if (!u16(at, a) || !u16(at + 2, b)) {
            return false;
        }
        value = bigEndian ? (std::uint32_t(a) << 16 | b) : (std::uint32_t(b) << 16 | a);
        return true;
    }
};

}  // namespace

namespace {

// Where the orientation's value sits in an APP1 payload that starts with "Exif\0\0": the
// offset of its two bytes from the payload's start, and their byte order. Empty when the
// payload has no well-formed orientation entry in its first directory.
struct OrientationEntry {
    std::size_t offset = 0;
    bool bigEndian = false;
    int value = 1;
};

std::optional<OrientationEntry> findOrientation(const std::uint8_t* payload, std::size_t size) {
    if (size < 6 || std::memcmp(payload, "Exif\0\0", 6) != 0) {
        return std::nullopt;
    }
    const std::uint8_t* tiff = payload + 6;
    const std::size_t tiffSize = size - 6;
    if (tiffSize < 8) {
        return std::nullopt;
    }
    Reader reader{tiff, tiffSize, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        reader.bigEndian = true;
    } else if (!(tiff[0] == 'I' && tiff[1] == 'I')) {
        return std::nullopt;
    }
    std::uint16_t magic = 0;
    std::uint32_t ifd = 0;
    std::uint16_t count = 0;
    if (!reader.u16(2, magic) || magic != 42 || !reader.u32(4, ifd) || !reader.u16(ifd, count)) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t n = 0;
        std::uint16_t value = 0;
        if (!reader.u16(entry, tag) || !reader.u16(entry + 2, type) || !reader.u32(entry + 4, n) ||
            !reader.u16(entry + 8, value)) {
            return std::nullopt;
        }
        if (tag == OrientationTag) {
            if (type != TiffTypeShort || n != 1) {
                return std::nullopt;
            }
            return OrientationEntry{6 + entry + 8, reader.bigEndian, value};
        }
    }
    return std::nullopt;
}

// Calls visit(marker, offset of the payload, payload size) for each marker segment from SOI up
// to the first SOS, in file order, until visit returns false.
template <typename Visit>
void forEachHeaderSegment(const QByteArray& jpeg, Visit visit) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
    const std::size_t size = std::size_t(jpeg.size());
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return;
    }
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) {
            break;  // not a marker where one must be: stop, the decoder judges the rest
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            break;  // start of scan or end of image: no more header segments
        }
        const std::size_t length = std::size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || length > size - at - 2) {
            break;
        }
        if (!visit(marker, at + 4, length - 2)) {
            break;
        }
        at += 2 + length;
    }
}

bool isExifSegment(std::uint8_t marker, const std::uint8_t* payload, std::size_t size) {
    return marker == 0xE1 && size >= 6 && std::memcmp(payload, "Exif\0\0", 6) == 0;
}

}  // namespace

int exifOrientation(const std::uint8_t* payload, std::size_t size) {
    const std::optional<OrientationEntry> entry = findOrientation(payload, size);
    return entry && entry->value >= 1 && entry->value <= 8 ? entry->value : 1;
}

bool resetJpegOrientation(QByteArray& jpeg) {
    std::optional<std::size_t> valueAt;
    bool bigEndian = false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
    forEachHeaderSegment(jpeg, [&](std::uint8_t marker, std::size_t at, std::size_t size) {
        if (!isExifSegment(marker, data + at, size)) {
            return true;
        }
        // Only the first Exif segment counts, as when reading.
        if (const auto entry = findOrientation(data + at, size); entry && entry->value != 1) {
            valueAt = at + entry->offset;
            bigEndian = entry->bigEndian;
        }
        return false;
    });
    if (!valueAt) {
        return false;
    }
    jpeg[qsizetype(*valueAt)] = char(bigEndian ? 0 : 1);
    jpeg[qsizetype(*valueAt) + 1] = char(bigEndian ? 1 : 0);
    return true;
}

JpegMarkers scanJpegMarkers(const QByteArray& jpeg) {
    JpegMarkers markers;
    const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
    bool orientationSeen = false;
    std::map<int, QByteArray> iccChunks;
    int iccChunkCount = 0;
    forEachHeaderSegment(jpeg, [&](std::uint8_t marker, std::size_t at, std::size_t size) {
        const std::uint8_t* payload = data + at;
        const std::size_t payloadSize = size;
        if (isExifSegment(marker, payload, payloadSize) && !orientationSeen) {
            orientationSeen = true;
            markers.orientation = exifOrientation(payload, payloadSize);
        } else if (marker == 0xE2 && payloadSize >= 14 &&
                   std::memcmp(payload, "ICC_PROFILE\0", 12) == 0) {
            const int sequence = payload[12];
            const int count = payload[13];
            if (iccChunkCount == 0) {
                iccChunkCount = count;
            }
            if (sequence >= 1 && count == iccChunkCount && !iccChunks.count(sequence)) {
                iccChunks[sequence] = QByteArray(reinterpret_cast<const char*>(payload + 14),
                                                 qsizetype(payloadSize - 14));
            }
        } else if (marker == 0xEE && payloadSize >= 5 && std::memcmp(payload, "Adobe", 5) == 0) {
            markers.adobe = true;
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                   marker != 0xCC && markers.frameMarker == 0) {
            markers.frameMarker = marker;
        }
        return true;
    });
    if (iccChunkCount > 0 && int(iccChunks.size()) == iccChunkCount &&
        iccChunks.rbegin()->first == iccChunkCount) {
        for (const auto& [sequence, chunk] : iccChunks) {
            markers.iccProfile += chunk;
        }
    }
    return markers;
}

}  // namespace zentavo
