#include "imagefiles/heif/heifboxes.h"

#include "imagefiles/heif/heifboxparse.h"

#include <QtEndian>

#include <climits>
#include <map>

namespace zentavo::heif {

using namespace boxes;

namespace {

// The HEIF transform properties as a move: irot turns anticlockwise by quarters; imir mirrors
// top and bottom (mode 0, as EXIF orientation 4) or left and right (mode 1, as orientation 2),
// as libheif and libavif read them.
PixelMove irotMove(int angle) {
    return PixelMove::turn(-angle);
}
PixelMove imirMove(int mode) {
    return PixelMove::mirror(mode == 0 ? Mirror::Vertical : Mirror::Horizontal);
}
constexpr int ImirLeftRight = 1;

// The EXIF orientation whose move is move.
int orientationOf(PixelMove move) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        if (PixelMove::forOrientation(orientation) == move) {
            return orientation;
        }
    }
    return 1;
}

// Sets the orientation of an EXIF item's IFD0 in place (a 4-byte offset to the TIFF header,
// then the TIFF structure); nothing when it states none.
void patchExifOrientation(QByteArray& bytes, qint64 start, qint64 length, int orientation) {
    if (length < 4 + 8) {
        return;
    }
    const qint64 tiff = start + 4 + qFromBigEndian<quint32>(bytes.constData() + start);
    const qint64 end = start + length;
    if (tiff < start + 4 || tiff + 8 > end) {
        return;
    }
    const bool little = bytes[tiff] == 'I';
    const auto read16 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint16>(bytes.constData() + at)
                      : qFromBigEndian<quint16>(bytes.constData() + at);
    };
    const auto read32 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint32>(bytes.constData() + at)
                      : qFromBigEndian<quint32>(bytes.constData() + at);
    };
    const qint64 ifd = tiff + read32(tiff + 4);
    if (ifd < tiff + 8 || ifd + 2 > end) {
        return;
    }
    const int entries = read16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + qint64(i) * 12;
        if (entry + 12 > end) {
            return;
        }
        if (read16(entry) == 0x0112 && read16(entry + 2) == 3) {
            const quint16 value = quint16(orientation);
            if (little) {
                qToLittleEndian<quint16>(value, bytes.data() + entry + 8);
            } else {
                qToBigEndian<quint16>(value, bytes.data() + entry + 8);
            }
            return;
        }
    }
}

// Sets tiff:Orientation of an XMP packet in place, as an attribute or an element of one digit.
void patchXmpOrientation(QByteArray& bytes, qint64 start, qint64 length, int orientation) {
    const QByteArray packet = bytes.mid(start, length);
    for (const QByteArray& key :
         {QByteArray("tiff:Orientation=\""), QByteArray("tiff:Orientation='"),
          QByteArray("<tiff:Orientation>")}) {
        qint64 at = packet.indexOf(key);
        while (at >= 0) {
            const qint64 digit = at + key.size();
            if (digit + 1 < packet.size() && packet[digit] >= '1' && packet[digit] <= '8' &&
                (packet[digit + 1] == '"' || packet[digit + 1] == '\'' ||
                 packet[digit + 1] == '<')) {
                bytes[start + digit] = char('0' + orientation);
            }
            at = packet.indexOf(key, at + 1);
        }
    }
}

TransformEdit edit(const QByteArray& original, PixelMove move) {
    QByteArray bytes = original;
    const Meta meta = readMeta(bytes);
    const Iloc iloc = readIloc(bytes, require(meta.children, "iloc"));
    Ipma ipma = readIpma(bytes, meta.ipma);
    for (const auto& entry : ipma.entries) {
        for (const Association& association : entry.second) {
            if (association.index > int(meta.properties.size())) {
                damaged("an item names a property that does not exist");
            }
        }
    }
    // libheif 1.15 shows the alpha of a turned or mirrored picture unmoved, or drops it: a
    // picture with alpha is left to be re-encoded.
    for (const auto& [item, list] : ipma.entries) {
        if (!meta.auxiliariesOfPrimary.count(item)) {
            continue;
        }
        for (const Association& association : list) {
            if (association.index == 0) {
                continue;
            }
            const Box& box = meta.properties[size_t(association.index - 1)];
            if (box.type == "auxC" &&
                (bytes.mid(box.content, box.end - box.content).contains("alpha") ||
                 bytes.mid(box.content, box.end - box.content).contains("auxid:1"))) {
                refuse(QStringLiteral("Pictures with alpha are not turned without re-encoding."));
            }
        }
    }
    const auto propertyValue = [&](int index) {
        const Box& box = meta.properties[size_t(index - 1)];
        if (box.end - box.content < 1) {
            damaged("a transform property is empty");
        }
        return uchar(bytes[box.content]);
    };

    // New properties appended to ipco; at most one of each kind and value.
    QByteArray appended;
    std::map<std::pair<QByteArray, int>, int> appendedIndex;
    const auto property = [&](const QByteArray& type, int value) {
        // A property the file already has serves: the boxes need not grow.
        for (size_t i = 0; i < meta.properties.size(); ++i) {
            const Box& box = meta.properties[i];
            if (box.type == type && box.end - box.content == 1 &&
                uchar(bytes[box.content]) == value) {
                return int(i + 1);
            }
        }
        const auto key = std::make_pair(type, value);
        if (!appendedIndex.count(key)) {
            appended += boxBytes(type, QByteArray(1, char(value)));
            appendedIndex[key] = int(meta.properties.size() + appendedIndex.size() + 1);
        }
        return appendedIndex[key];
    };

    TransformEdit result;
    bool primaryFound = false;
    for (auto& [item, list] : ipma.entries) {
        const bool primary = item == meta.primary;
        if (!primary && !meta.thumbnailsOfPrimary.count(item)) {
            continue;
        }
        PixelMove shown;
        std::vector<Association> kept;
        bool turned = false;
        for (const Association& association : list) {
            if (association.index == 0) {
                kept.push_back(association);
                continue;
            }
            const QByteArray& type = meta.properties[size_t(association.index - 1)].type;
            if (type == "irot") {
                shown = shown.then(irotMove(propertyValue(association.index) & 3));
                turned = true;
            } else if (type == "imir") {
                shown = shown.then(imirMove(propertyValue(association.index) & 1));
                turned = true;
            } else {
                if (turned && type == "clap") {
                    refuse(QStringLiteral("The picture is cropped after it is turned."));
                }
                kept.push_back(association);
            }
        }
        const PixelMove wanted = shown.then(move);
        if (wanted.quarterTurns != 0) {
            kept.push_back({true, property("irot", (4 - wanted.quarterTurns) % 4)});
        }
        if (wanted.mirrored) {
            kept.push_back({true, property("imir", ImirLeftRight)});
        }
        list = kept;
        if (primary) {
            primaryFound = true;
            result.orientation = orientationOf(wanted);
            result.axesSwapped = move.swapsSides();
        }
    }
    if (!primaryFound) {
        refuse(QStringLiteral("The primary image has no properties."));
    }

    // The orientation in EXIF and XMP, in place: their lengths do not change.
    for (const auto& [item, type] : meta.itemTypes) {
        const bool exif = type == "Exif";
        const bool xmp = type == "mime" && meta.contentTypes.count(item) &&
                         meta.contentTypes.at(item).startsWith("application/rdf+xml");
        if (!exif && !xmp) {
            continue;
        }
        const auto [start, length] = itemRun(bytes, meta, iloc, item);
        if (start < 0) {
            continue;
        }
        if (exif) {
            patchExifOrientation(bytes, start, length, result.orientation);
        } else {
            patchXmpOrientation(bytes, start, length, result.orientation);
        }
    }

    // The new iprp: ipco with the appended properties, ipma anew, the rest as it was.
    const QByteArray ipco = boxBytes(
        "ipco", bytes.mid(meta.ipco.content, meta.ipco.end - meta.ipco.content) + appended);
    QByteArray iprpContent;
    for (const Box& child : meta.iprpChildren) {
        if (child.type == "ipco") {
            iprpContent += ipco;
        } else if (child.type == "ipma") {
            iprpContent += writeIpma(ipma);
        } else {
            iprpContent += bytes.mid(child.start, child.end - child.start);
        }
    }
    const QByteArray iprp = boxBytes("iprp", iprpContent);
    // The meta box is written anew with a plain header; its other children keep their bytes.
    qint64 newMetaSize = 8 + 4;
    for (const Box& child : meta.children) {
        newMetaSize += child.type == "iprp" ? iprp.size() : child.end - child.start;
    }
    const qint64 growth = newMetaSize - (meta.box.end - meta.box.start);

    // Data behind the meta box moves by growth: its offsets in iloc are moved first, in the
    // file as it is, then the boxes are put together.
    for (const Location& location : iloc.items) {
        if (location.method != 0 || location.dataReference != 0) {
            continue;
        }
        bool baseMoved = false;
        for (const Extent& extent : location.extents) {
            const quint64 place = location.base + extent.offset;
            if (place < quint64(meta.box.start)) {
                continue;  // before the meta box: it stays where it is
            }
            if (place < quint64(meta.box.end)) {
                damaged("an item lies inside the meta box");
            }
            if (location.baseField >= 0 && location.base >= quint64(meta.box.end)) {
                if (!baseMoved) {
                    writeNumber(bytes, location.baseField, location.base + quint64(growth),
                                iloc.baseSize);
                    baseMoved = true;
                }
            } else if (extent.offsetField >= 0) {
                writeNumber(bytes, extent.offsetField, extent.offset + quint64(growth),
                            iloc.offsetSize);
            } else {
                refuse(QStringLiteral("An item's place cannot be moved."));
            }
        }
    }

    QByteArray metaContent = bytes.mid(meta.box.content, 4);
    for (const Box& child : meta.children) {
        metaContent +=
            child.type == "iprp" ? iprp : bytes.mid(child.start, child.end - child.start);
    }
    const QByteArray metaBox = boxBytes("meta", metaContent);
    if (qint64(metaBox.size()) - (meta.box.end - meta.box.start) != growth) {
        damaged("the meta box");
    }
    result.bytes.reserve(bytes.size() + growth);
    result.bytes.append(bytes.constData(), meta.box.start);
    result.bytes += metaBox;
    result.bytes.append(bytes.constData() + meta.box.end, bytes.size() - meta.box.end);
    return result;
}

}  // namespace

TransformEdit editPrimaryTransform(const QByteArray& bytes, PixelMove move) {
    try {
        return edit(bytes, move);
    } catch (const Refusal& refusal) {
        TransformEdit result;
        result.refusal = refusal.reason;
        return result;
    }
}

std::optional<PixelMove> primaryTransform(const QByteArray& bytes) {
    try {
        const Meta meta = readMeta(bytes);
        const Ipma ipma = readIpma(bytes, meta.ipma);
        for (const auto& [item, list] : ipma.entries) {
            if (item != meta.primary) {
                continue;
            }
            PixelMove shown;
            for (const Association& association : list) {
                if (association.index < 1 || association.index > int(meta.properties.size())) {
                    continue;
                }
                const Box& box = meta.properties[size_t(association.index - 1)];
                if (box.type == "clap" || box.end <= box.content) {
                    if (box.type == "clap") {
                        return std::nullopt;
                    }
                    continue;
                }
                if (box.type == "irot") {
                    shown = shown.then(irotMove(uchar(bytes[box.content]) & 3));
                } else if (box.type == "imir") {
                    shown = shown.then(imirMove(uchar(bytes[box.content]) & 1));
                }
            }
            return shown;
        }
    } catch (const Refusal&) {
    }
    return std::nullopt;
}

QSize primaryStoredSize(const QByteArray& bytes) {
    try {
        const Meta meta = readMeta(bytes);
        const Ipma ipma = readIpma(bytes, meta.ipma);
        for (const auto& [item, list] : ipma.entries) {
            if (item != meta.primary) {
                continue;
            }
            for (const Association& association : list) {
                if (association.index < 1 || association.index > int(meta.properties.size())) {
                    continue;
                }
                const Box& box = meta.properties[size_t(association.index - 1)];
                if (box.type == "ispe") {
                    Reader reader(bytes, box.content, box.end);
                    fullHeader(reader);
                    const quint32 width = reader.u32();
                    const quint32 height = reader.u32();
                    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) {
                        return {};
                    }
                    return QSize(int(width), int(height));
                }
            }
        }
    } catch (const Refusal&) {
    }
    return {};
}

}  // namespace zentavo::heif
