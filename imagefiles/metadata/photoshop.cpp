#include "imagefiles/metadata/metadatacontent.h"

#include <QtEndian>

namespace zentavo {

namespace {

constexpr std::uint16_t ResolutionInfo = 0x03ed;
constexpr std::uint16_t IptcRecords = 0x0404;
// Thumbnails of the picture: Photoshop 4's and Photoshop 5's.
constexpr std::uint16_t ThumbnailResources[] = {0x0409, 0x040c};
// hRes, hResUnit, widthUnit, then the same for the vertical side.
constexpr qsizetype ResolutionInfoSide = 8;

struct Found {
    qsizetype at = 0;      // where the resource's header starts
    qsizetype length = 0;  // header, data and padding
    qsizetype dataAt = 0;
    qsizetype dataSize = 0;
};

// The first resource of that id, found by the library, which checks every length on the way.
std::optional<Found> locate(const QByteArray& resources, std::uint16_t id) {
    const auto* data = reinterpret_cast<const Exiv2::byte*>(resources.constData());
    const Exiv2::byte* record = nullptr;
    std::uint32_t headerSize = 0;
    std::uint32_t dataSize = 0;
    if (Exiv2::Photoshop::locateIrb(data, long(resources.size()), id, &record, &headerSize,
                                    &dataSize) != 0 ||
        !record) {
        return std::nullopt;
    }
    Found found;
    found.at = record - data;
    found.dataAt = found.at + headerSize;
    found.dataSize = dataSize;
    found.length =
        std::min<qsizetype>(headerSize + dataSize + (dataSize & 1), resources.size() - found.at);
    return found;
}

}  // namespace

QByteArray photoshopResourcesFor(const QByteArray& resources, bool axesSwapped) {
    QByteArray kept = resources;
    for (const std::uint16_t id : ThumbnailResources) {
        while (const std::optional<Found> thumbnail = locate(kept, id)) {
            kept.remove(thumbnail->at, thumbnail->length);
        }
    }
    if (axesSwapped) {
        if (const std::optional<Found> info = locate(kept, ResolutionInfo);
            info && info->dataSize >= 2 * ResolutionInfoSide) {
            const QByteArray horizontal = kept.mid(info->dataAt, ResolutionInfoSide);
            const QByteArray vertical =
                kept.mid(info->dataAt + ResolutionInfoSide, ResolutionInfoSide);
            kept.replace(info->dataAt, ResolutionInfoSide, vertical);
            kept.replace(info->dataAt + ResolutionInfoSide, ResolutionInfoSide, horizontal);
        }
    }
    return kept;
}

QByteArray iptcOfPhotoshopResources(const QByteArray& resources) {
    const std::optional<Found> iptc = locate(resources, IptcRecords);
    return iptc ? resources.mid(iptc->dataAt, iptc->dataSize) : QByteArray();
}

QByteArray photoshopResourcesOfIptc(const QByteArray& iptc) {
    if (iptc.isEmpty()) {
        return {};
    }
    QByteArray resource("8BIM", 4);
    char header[8] = {};
    qToBigEndian<quint16>(IptcRecords, header);
    // header[2], header[3]: an empty name, padded to an even size
    qToBigEndian<quint32>(quint32(iptc.size()), header + 4);
    resource.append(header, sizeof header);
    resource += iptc;
    if (iptc.size() % 2 != 0) {
        resource.append('\0');
    }
    return resource;
}

}  // namespace zentavo
