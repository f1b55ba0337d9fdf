#include "imagefiles/png/pngchunks.h"

#include <QtEndian>

#include <zlib.h>

#include <set>

namespace zentavo {

namespace {

constexpr qsizetype SignatureBytes = 8;

// Chunks libspng reads or the program writes itself, and chunks whose meaning a flip or a turn
// changes (an offset on a page, a page size): never copied as they stood.
const std::set<QByteArray>& knownChunks() {
    static const std::set<QByteArray> known = {
        "IHDR", "PLTE", "IDAT", "IEND", "tRNS", "cHRM", "gAMA", "iCCP", "sBIT", "sRGB",
        "tEXt", "zTXt", "iTXt", "bKGD", "hIST", "pHYs", "sPLT", "tIME", "oFFs", "eXIf",
        "acTL", "fcTL", "fdAT", "pCAL", "sCAL", "sTER", "vpAg", "gIFg", "gIFx", "gIFt",
    };
    return known;
}

bool isKept(QByteArrayView type) {
    if (isColourChunk(type.toByteArray())) {
        return true;
    }
    const bool ancillary = (type[0] & 0x20) != 0;
    const bool safeToCopy = (type[3] & 0x20) != 0;
    return ancillary && safeToCopy && !knownChunks().count(type.toByteArray());
}

}  // namespace

void forEachPngChunk(const QByteArray& png,
                     const std::function<bool(QByteArrayView type, QByteArrayView data,
                                              QByteArrayView whole, bool intact)>& visit) {
    const auto* bytes = reinterpret_cast<const uchar*>(png.constData());
    qsizetype at = SignatureBytes;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(bytes + at);
        if (length > quint32(png.size() - at - 12)) {
            return;
        }
        const QByteArrayView type(png.constData() + at + 4, 4);
        const QByteArrayView data(png.constData() + at + 8, qsizetype(length));
        // The image data is libspng's to check, and the bulk of the file.
        const bool intact =
            type == "IDAT" || qFromBigEndian<quint32>(bytes + at + 8 + length) ==
                                  quint32(crc32(crc32(0, nullptr, 0), bytes + at + 4, length + 4));
        if (!visit(type, data, QByteArrayView(png.constData() + at, qsizetype(length) + 12),
                   intact) ||
            type == "IEND") {
            return;
        }
        at += qsizetype(length) + 12;
    }
}

std::vector<PngChunk> keptPngChunks(const QByteArray& png) {
    std::vector<PngChunk> kept;
    PngChunk::Place place = PngChunk::Place::BeforePalette;
    forEachPngChunk(png,
                    [&](QByteArrayView type, QByteArrayView data, QByteArrayView, bool intact) {
                        if (type == "PLTE" && place == PngChunk::Place::BeforePalette) {
                            place = PngChunk::Place::BeforeImage;
                        } else if (type == "IDAT") {
                            place = PngChunk::Place::AfterImage;
                        } else if (intact && type.size() == 4 && isKept(type)) {
                            kept.push_back({type.toByteArray(), data.toByteArray(), place});
                        }
                        return true;
                    });
    return kept;
}

}  // namespace zentavo
