#include "imagefiles/tiff/tiffxmp.h"

#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/tiff/memorytiff.h"

#include <QtEndian>

#include <tiffio.h>

#include <memory>

namespace zentavo {

namespace {

// libtiff knows the IPTC tag only as bytes (UNDEFINED) and writes it so when it writes a
// directory again; TIFF readers expect it as 32-bit words (LONG), as exiv2 wrote it. The entry
// of the first directory, which libtiff has just written, gets that type back; the data stays.
void iptcAsWords(QByteArray& tiff) {
    if (tiff.size() < 8 || !(tiff.startsWith("II*") || tiff.startsWith("MM\0*"))) {
        return;
    }
    const bool big = tiff.startsWith("MM");
    const auto u16 = [&](qsizetype at) {
        return big ? qFromBigEndian<quint16>(tiff.constData() + at)
                   : qFromLittleEndian<quint16>(tiff.constData() + at);
    };
    const auto u32 = [&](qsizetype at) {
        return big ? qFromBigEndian<quint32>(tiff.constData() + at)
                   : qFromLittleEndian<quint32>(tiff.constData() + at);
    };
    const qsizetype directory = qsizetype(u32(4));
    if (directory + 2 > tiff.size()) {
        return;
    }
    const int entries = u16(directory);
    for (int i = 0; i < entries && directory + 2 + (i + 1) * 12 <= tiff.size(); ++i) {
        const qsizetype entry = directory + 2 + qsizetype(i) * 12;
        if (u16(entry) == TIFFTAG_RICHTIFFIPTC && u16(entry + 2) == TIFF_UNDEFINED &&
            u32(entry + 4) % 4 == 0) {
            const quint32 words = u32(entry + 4) / 4;
            if (big) {
                qToBigEndian<quint16>(TIFF_LONG, tiff.data() + entry + 2);
                qToBigEndian<quint32>(words, tiff.data() + entry + 4);
            } else {
                qToLittleEndian<quint16>(TIFF_LONG, tiff.data() + entry + 2);
                qToLittleEndian<quint32>(words, tiff.data() + entry + 4);
            }
        }
    }
}

}  // namespace

// tiff with an XMP packet as it is, written with libtiff into its first directory, which is
// written again at the end. exiv2, which writes the rest of the metadata, writes a packet only
// from its own parse of it: serialised anew, without rdf:about, in its own layout.
QByteArray withXmpPacket(QByteArray tiff, const QByteArray& xmp) {
    if (xmp.isEmpty()) {
        return tiff;
    }
    MemoryTiffFile stream{std::move(tiff), 0, {}};
    TIFF* opened = openMemoryTiffFile(stream, "r+m");
    if (!opened) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's XMP cannot be written: ") + stream.error};
    }
    std::unique_ptr<TIFF, decltype(&TIFFClose)> closer(opened, &TIFFClose);
    if (!TIFFSetField(opened, TIFFTAG_XMLPACKET, uint32_t(xmp.size()), xmp.constData()) ||
        !TIFFRewriteDirectory(opened)) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The picture's XMP cannot be written: ") + stream.error};
    }
    closer.reset();
    iptcAsWords(stream.bytes);
    return stream.bytes;
}

}  // namespace zentavo
