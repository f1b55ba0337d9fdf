#include "imagefiles/metadata/metadatacontent.h"

// The "Raw profile type" texts of PNG files (EXIF, IPTC or XMP written by programs that had no
// chunk for them): a line break, the type, the length in decimal, then the bytes as hex digits
// in lines. No library the program links reads or writes them.

namespace zentavo {

namespace {

constexpr int HexPerLine = 72;

}  // namespace

QByteArray decodeRawProfile(const QByteArray& text) {
    // "\n<type>\n<spaces><length>\n<hex...>"
    const qsizetype typeEnd = text.indexOf('\n', 1);
    const qsizetype lengthEnd = typeEnd < 0 ? -1 : text.indexOf('\n', typeEnd + 1);
    if (!text.startsWith('\n') || lengthEnd < 0) {
        return {};
    }
    bool number = false;
    const qsizetype length =
        text.mid(typeEnd + 1, lengthEnd - typeEnd - 1).trimmed().toLongLong(&number);
    if (!number || length <= 0 || length > (text.size() - lengthEnd) / 2) {
        return {};
    }
    QByteArray digits;
    digits.reserve(length * 2);
    for (qsizetype i = lengthEnd + 1; i < text.size() && digits.size() < length * 2; ++i) {
        const char c = text[i];
        if (std::isxdigit(uchar(c))) {
            digits.append(c);
        } else if (!std::isspace(uchar(c))) {
            return {};
        }
    }
    return digits.size() == length * 2 ? QByteArray::fromHex(digits) : QByteArray();
}

QByteArray encodeRawProfile(const QByteArray& type, const QByteArray& data) {
    QByteArray text =
        '\n' + type + '\n' + QByteArray::number(data.size()).rightJustified(8, ' ') + '\n';
    const QByteArray hex = data.toHex();
    for (qsizetype at = 0; at < hex.size(); at += HexPerLine) {
        text += hex.mid(at, HexPerLine) + '\n';
    }
    return text;
}

}  // namespace zentavo
