#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <set>
#include <utility>
#include <vector>

// The reading and writing of the boxes that a HEIF transform edit touches. Internal to heif/:
// every read is checked against its box, and what does not hold throws Refusal.
namespace zentavo::heif::boxes {

// A refusal of the edit; caught at the top and turned into TransformEdit::refusal.
struct Refusal {
    QString reason;
};

[[noreturn]] void refuse(const QString& reason);
[[noreturn]] void damaged(const char* what);

// One box: its type and where its header, content and end lie in the file.
struct Box {
    QByteArray type;
    qint64 start = 0;
    qint64 content = 0;  // first byte after the header
    qint64 end = 0;      // one past the last byte
};

// Reads big-endian numbers from a range of the file, every read checked against the range.
class Reader {
public:
    Reader(const QByteArray& bytes, qint64 from, qint64 to)
        : m_bytes(bytes), m_at(from), m_end(to) {}

    quint64 number(int size) {
        if (size < 0 || size > 8 || m_at + size > m_end) {
            damaged("a field runs past its box");
        }
        quint64 value = 0;
        for (int i = 0; i < size; ++i) {
            value = (value << 8) | uchar(m_bytes[m_at + i]);
        }
        m_at += size;
        return value;
    }
    quint8 u8() { return quint8(number(1)); }
    quint16 u16() { return quint16(number(2)); }
    quint32 u32() { return quint32(number(4)); }
    QByteArray fourcc() {
        if (m_at + 4 > m_end) {
            damaged("a type runs past its box");
        }
        m_at += 4;
        return m_bytes.mid(m_at - 4, 4);
    }
    QByteArray text() {
        const qint64 zero = m_bytes.indexOf('\0', m_at);
        if (zero < 0 || zero >= m_end) {
            damaged("a name runs past its box");
        }
        const QByteArray value = m_bytes.mid(m_at, zero - m_at);
        m_at = zero + 1;
        return value;
    }
    qint64 at() const { return m_at; }

private:
    const QByteArray& m_bytes;
    qint64 m_at;
    qint64 m_end;
};

// The boxes that follow each other from `from` to `to`; throws Refusal when one runs past `to`.
std::vector<Box> boxesIn(const QByteArray& bytes, qint64 from, qint64 to);
// The one box of a type among boxes: null when there is none, Refusal when there are several.
const Box* find(const std::vector<Box>& boxes, const char* type);
// The same, Refusal when there is none.
const Box& require(const std::vector<Box>& boxes, const char* type);

// A full box's version and flags.
struct FullHeader {
    int version = 0;
    quint32 flags = 0;
};

FullHeader fullHeader(Reader& reader);

// A box of a type holding content, with a 32-bit size.
QByteArray boxBytes(const QByteArray& type, const QByteArray& content);
// value as size big-endian bytes on the end of out.
void append(QByteArray& out, quint64 value, int size);

// One association of an item with a property: its 1-based index in ipco.
struct Association {
    bool essential = false;
    int index = 0;
};

struct Ipma {
    FullHeader header;
    std::vector<std::pair<quint32, std::vector<Association>>> entries;  // in file order
};

Ipma readIpma(const QByteArray& bytes, const Box& box);
// The ipma box of ipma, with 16-bit property indices when an index needs them.
QByteArray writeIpma(const Ipma& ipma);

// One extent of an item's data as iloc states it, with where its offset fields lie.
struct Extent {
    quint64 offset = 0;
    quint64 length = 0;
    qint64 offsetField = -1;  // where the extent offset is written; -1 when offset_size is 0
};

struct Location {
    quint32 item = 0;
    int method = 0;
    int dataReference = 0;
    quint64 base = 0;
    qint64 baseField = -1;
    std::vector<Extent> extents;
};

struct Iloc {
    int offsetSize = 0;
    int lengthSize = 0;
    int baseSize = 0;
    std::vector<Location> items;
};

Iloc readIloc(const QByteArray& bytes, const Box& box);
// Writes value in size bytes at `at`; Refusal when it does not fit.
void writeNumber(QByteArray& bytes, qint64 at, quint64 value, int size);

// Everything of the meta box that the edit reads.
struct Meta {
    Box box;
    std::vector<Box> children;
    quint32 primary = 0;
    std::vector<Box> properties;  // the children of ipco, in index order
    Box ipco;
    Box ipma;
    Box iprp;
    std::vector<Box> iprpChildren;
    std::map<quint32, QByteArray> itemTypes;     // from iinf
    std::map<quint32, QByteArray> contentTypes;  // of mime items
    std::set<quint32> thumbnailsOfPrimary;
    std::set<quint32> auxiliariesOfPrimary;  // alpha, depth and other auxiliary images
};

// The meta box of a HEIF file and the boxes of it the edit reads; Refusal for a file that is
// not a single-image HEIF of known top-level boxes.
Meta readMeta(const QByteArray& bytes);

// The single run of bytes an item's data occupies in the file; -1 offset when it is not one
// run that can be patched in place.
std::pair<qint64, qint64> itemRun(const QByteArray& bytes, const Meta& meta, const Iloc& iloc,
                                  quint32 item);

}  // namespace zentavo::heif::boxes
