#include "imagefiles/heif/heifboxparse.h"

#include <QtEndian>

namespace zentavo::heif::boxes {

[[noreturn]] void refuse(const QString& reason) {
    throw Refusal{reason};
}

[[noreturn]] void damaged(const char* what) {
    refuse(QStringLiteral("The HEIF box structure is damaged (%1).").arg(QLatin1String(what)));
}

std::vector<Box> boxesIn(const QByteArray& bytes, qint64 from, qint64 to) {
    std::vector<Box> boxes;
    qint64 at = from;
    while (at < to) {
        if (to - at < 8) {
            damaged("a box header is cut off");
        }
        Reader header(bytes, at, to);
        quint64 size = header.u32();
        Box box;
        box.type = header.fourcc();
        box.start = at;
        if (size == 1) {
            size = header.number(8);
        } else if (size == 0) {
            // Only a last box of the file may run to its end: inside another box, such a box
            // would swallow what the edit adds after it.
            if (from != 0 || to != bytes.size()) {
                damaged("a box inside another has no length");
            }
            size = quint64(to - at);
        }
        if (box.type == "uuid") {
            header.number(8);
            header.number(8);
        }
        box.content = header.at();
        if (size < quint64(box.content - at) || size > quint64(to - at)) {
            damaged("a box is longer than its container");
        }
        box.end = at + qint64(size);
        boxes.push_back(box);
        at = box.end;
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char* type) {
    const Box* found = nullptr;
    for (const Box& box : boxes) {
        if (box.type == type) {
            if (found) {
                refuse(QStringLiteral("The file holds more than one %1 box.")
                           .arg(QLatin1String(type)));
            }
            found = &box;
        }
    }
    return found;
}

const Box& require(const std::vector<Box>& boxes, const char* type) {
    const Box* box = find(boxes, type);
    if (!box) {
        refuse(QStringLiteral("The file has no %1 box.").arg(QLatin1String(type)));
    }
    return *box;
}

FullHeader fullHeader(Reader& reader) {
    const quint32 word = reader.u32();
    return {int(word >> 24), word & 0xFFFFFF};
}

QByteArray boxBytes(const QByteArray& type, const QByteArray& content) {
    QByteArray box(4, '\0');
    if (quint64(content.size()) + 8 > 0xFFFFFFFFu) {
        refuse(QStringLiteral("A box would grow past 4 GB."));
    }
    qToBigEndian<quint32>(quint32(content.size() + 8), box.data());
    return box + type + content;
}

void append(QByteArray& out, quint64 value, int size) {
    for (int i = size - 1; i >= 0; --i) {
        out.append(char((value >> (8 * i)) & 0xFF));
    }
}

Ipma readIpma(const QByteArray& bytes, const Box& box) {
    Reader reader(bytes, box.content, box.end);
    Ipma ipma;
    ipma.header = fullHeader(reader);
    const quint32 count = reader.u32();
    for (quint32 i = 0; i < count; ++i) {
        const quint32 item = ipma.header.version < 1 ? reader.u16() : reader.u32();
        const int associations = reader.u8();
        std::vector<Association> list;
        for (int j = 0; j < associations; ++j) {
            if (ipma.header.flags & 1) {
                const quint16 value = reader.u16();
                list.push_back({(value & 0x8000) != 0, value & 0x7FFF});
            } else {
                const quint8 value = reader.u8();
                list.push_back({(value & 0x80) != 0, value & 0x7F});
            }
        }
        ipma.entries.emplace_back(item, std::move(list));
    }
    return ipma;
}

QByteArray writeIpma(const Ipma& ipma) {
    int largest = 0;
    for (const auto& entry : ipma.entries) {
        for (const Association& association : entry.second) {
            largest = std::max(largest, association.index);
        }
        if (entry.second.size() > 255) {
            refuse(QStringLiteral("An item has too many properties."));
        }
    }
    const bool wide = largest > 127;
    QByteArray content;
    append(content,
           (quint32(ipma.header.version) << 24) |
               (wide ? ipma.header.flags | 1 : ipma.header.flags & ~1u),
           4);
    append(content, ipma.entries.size(), 4);
    for (const auto& [item, list] : ipma.entries) {
        append(content, item, ipma.header.version < 1 ? 2 : 4);
        append(content, list.size(), 1);
        for (const Association& association : list) {
            if (wide) {
                append(content, (association.essential ? 0x8000 : 0) | association.index, 2);
            } else {
                append(content, (association.essential ? 0x80 : 0) | association.index, 1);
            }
        }
    }
    return boxBytes("ipma", content);
}

Iloc readIloc(const QByteArray& bytes, const Box& box) {
    Reader reader(bytes, box.content, box.end);
    const FullHeader header = fullHeader(reader);
    if (header.version > 2) {
        refuse(QStringLiteral("The file's item locations are of an unknown version."));
    }
    Iloc iloc;
    const quint8 sizes = reader.u8();
    const quint8 more = reader.u8();
    iloc.offsetSize = sizes >> 4;
    iloc.lengthSize = sizes & 15;
    iloc.baseSize = more >> 4;
    const int indexSize = header.version >= 1 ? more & 15 : 0;
    for (const int size : {iloc.offsetSize, iloc.lengthSize, iloc.baseSize, indexSize}) {
        if (size != 0 && size != 4 && size != 8) {
            damaged("a field size of the item locations");
        }
    }
    const quint32 count = header.version < 2 ? reader.u16() : reader.u32();
    for (quint32 i = 0; i < count; ++i) {
        Location location;
        location.item = header.version < 2 ? reader.u16() : reader.u32();
        if (header.version >= 1) {
            location.method = reader.u16() & 15;
        }
        location.dataReference = reader.u16();
        location.baseField = iloc.baseSize ? reader.at() : -1;
        location.base = reader.number(iloc.baseSize);
        const int extents = reader.u16();
        for (int j = 0; j < extents; ++j) {
            reader.number(indexSize);
            Extent extent;
            extent.offsetField = iloc.offsetSize ? reader.at() : -1;
            extent.offset = reader.number(iloc.offsetSize);
            extent.length = reader.number(iloc.lengthSize);
            location.extents.push_back(extent);
        }
        iloc.items.push_back(std::move(location));
    }
    return iloc;
}

void writeNumber(QByteArray& bytes, qint64 at, quint64 value, int size) {
    if (size < 8 && value >> (8 * size)) {
        refuse(QStringLiteral("An item's place does not fit its field once the boxes grow."));
    }
    for (int i = size - 1; i >= 0; --i) {
        bytes[at + size - 1 - i] = char((value >> (8 * i)) & 0xFF);
    }
}

Meta readMeta(const QByteArray& bytes) {
    const std::vector<Box> top = boxesIn(bytes, 0, bytes.size());
    if (top.empty() || top.front().type != "ftyp") {
        refuse(QStringLiteral("The file does not begin with a file-type box."));
    }
    for (const Box& box : top) {
        static const std::set<QByteArray> known = {"ftyp", "meta", "mdat", "free", "skip"};
        if (!known.count(box.type)) {
            refuse(box.type == "moov"
                       ? QStringLiteral("Image sequences are not turned without re-encoding.")
                       : QStringLiteral("The file holds a %1 box, which is not moved without "
                                        "re-encoding.")
                             .arg(QString::fromLatin1(box.type.toHex())));
        }
    }
    Meta meta;
    meta.box = require(top, "meta");
    meta.children = boxesIn(bytes, meta.box.content + 4, meta.box.end);
    const Box& pitm = require(meta.children, "pitm");
    {
        Reader reader(bytes, pitm.content, pitm.end);
        const FullHeader header = fullHeader(reader);
        meta.primary = header.version == 0 ? reader.u16() : reader.u32();
    }
    meta.iprp = require(meta.children, "iprp");
    meta.iprpChildren = boxesIn(bytes, meta.iprp.content, meta.iprp.end);
    meta.ipco = require(meta.iprpChildren, "ipco");
    meta.ipma = require(meta.iprpChildren, "ipma");
    meta.properties = boxesIn(bytes, meta.ipco.content, meta.ipco.end);
    if (const Box* iinf = find(meta.children, "iinf")) {
        Reader reader(bytes, iinf->content, iinf->end);
        const FullHeader header = fullHeader(reader);
        reader.number(header.version == 0 ? 2 : 4);
        for (const Box& infe : boxesIn(bytes, reader.at(), iinf->end)) {
            if (infe.type != "infe") {
                continue;
            }
            Reader entry(bytes, infe.content, infe.end);
            const FullHeader version = fullHeader(entry);
            if (version.version < 2) {
                continue;
            }
            const quint32 item = version.version == 2 ? entry.u16() : entry.u32();
            entry.u16();
            const QByteArray type = entry.fourcc();
            meta.itemTypes[item] = type;
            if (type == "mime") {
                entry.text();
                meta.contentTypes[item] = entry.text();
            }
        }
    }
    if (const Box* iref = find(meta.children, "iref")) {
        Reader reader(bytes, iref->content, iref->end);
        const FullHeader header = fullHeader(reader);
        for (const Box& reference : boxesIn(bytes, reader.at(), iref->end)) {
            Reader entry(bytes, reference.content, reference.end);
            const int size = header.version == 0 ? 2 : 4;
            const quint32 from = quint32(entry.number(size));
            const int count = entry.u16();
            for (int i = 0; i < count; ++i) {
                if (entry.number(size) != meta.primary) {
                    continue;
                }
                if (reference.type == "thmb") {
                    meta.thumbnailsOfPrimary.insert(from);
                } else if (reference.type == "auxl") {
                    meta.auxiliariesOfPrimary.insert(from);
                }
            }
        }
    }
    return meta;
}

// The single run of bytes an item's data occupies in the file; -1 offset when it is not one
// run this edit can patch in place.
std::pair<qint64, qint64> itemRun(const QByteArray& bytes, const Meta& meta, const Iloc& iloc,
                                  quint32 item) {
    for (const Location& location : iloc.items) {
        if (location.item != item || location.extents.size() != 1 || location.dataReference != 0) {
            continue;
        }
        qint64 start = qint64(location.base + location.extents[0].offset);
        if (location.method == 1) {
            const Box* idat = find(meta.children, "idat");
            if (!idat) {
                return {-1, 0};
            }
            start += idat->content;
        } else if (location.method != 0) {
            return {-1, 0};
        }
        const qint64 length =
            location.extents[0].length ? qint64(location.extents[0].length) : bytes.size() - start;
        if (start < 0 || length < 0 || start > bytes.size() || length > bytes.size() - start) {
            damaged("an item lies outside the file");
        }
        return {start, length};
    }
    return {-1, 0};
}

}  // namespace zentavo::heif::boxes
