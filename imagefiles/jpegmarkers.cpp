#include "imagefiles/jpegmarkers.h"

#include <cstring>
#include <map>

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

int exifOrientation(const std::uint8_t* payload, std::size_t size) {
    if (size < 6 || std::memcmp(payload, "Exif\0\0", 6) != 0) {
        return 1;
    }
    const std::uint8_t* tiff = payload + 6;
    const std::size_t tiffSize = size - 6;
    if (tiffSize < 8) {
        return 1;
    }
    Reader reader{tiff, tiffSize, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        reader.bigEndian = true;
    } else if (!(tiff[0] == 'I' && tiff[1] == 'I')) {
        return 1;
    }
    std::uint16_t magic = 0;
    std::uint32_t ifd = 0;
    std::uint16_t count = 0;
    if (!reader.u16(2, magic) || magic != 42 || !reader.u32(4, ifd) || !reader.u16(ifd, count)) {
        return 1;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t n = 0;
        std::uint16_t value = 0;
        if (!reader.u16(entry, tag) || !reader.u16(entry + 2, type) || !reader.u32(entry + 4, n) ||
            !reader.u16(entry + 8, value)) {
            return 1;
        }
        if (tag == OrientationTag) {
            return (type == TiffTypeShort && n == 1 && value >= 1 && value <= 8) ? value : 1;
        }
    }
    return 1;
}

JpegMarkers scanJpegMarkers(const QByteArray& jpeg) {
    JpegMarkers markers;
    const auto* data = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
    const std::size_t size = std::size_t(jpeg.size());
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return markers;
    }
    bool orientationSeen = false;
    std::map<int, QByteArray> iccChunks;
    int iccChunkCount = 0;
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
        const std::uint8_t* payload = data + at + 4;
        const std::size_t payloadSize = length - 2;
        if (marker == 0xE1 && !orientationSeen && payloadSize >= 6 &&
            std::memcmp(payload, "Exif\0\0", 6) == 0) {
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
        }
        at += 2 + length;
    }
    if (iccChunkCount > 0 && int(iccChunks.size()) == iccChunkCount &&
        iccChunks.rbegin()->first == iccChunkCount) {
        for (const auto& [sequence, chunk] : iccChunks) {
            markers.iccProfile += chunk;
        }
    }
    return markers;
}

}  // namespace zentavo
