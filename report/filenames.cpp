#include "report/filenames.h"

namespace zentavo {

namespace {

constexpr char16_t EscapeBase = 0xDC00;
constexpr char16_t Replacement = 0xFFFD;

bool isEscapedByte(char16_t unit) {
    return unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF;
}

// True at the code units of path that stand for bytes: the low half of a surrogate pair, which
// a character past U+FFFF gives, is no byte.
bool isEscapeAt(QStringView path, qsizetype i) {
    return isEscapedByte(path[i].unicode()) &&
           (i == 0 || !QChar::isHighSurrogate(path[i - 1].unicode()));
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

bool isAscii(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

int validUtf8Sequence(const unsigned char* bytes, qsizetype size, qsizetype i, char32_t& code) {
    const unsigned char lead = bytes[i];
    int length = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        code = lead & 0x1F;
        length = 2;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        code = lead & 0x0F;
        length = 3;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        code = lead & 0x07;
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > size) {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

QString decodeFileName(QByteArrayView bytes) {
    // Nearly every name is plain ASCII: a list of a million of them is read at the speed of
    // the copy.
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes);
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    QString text;
    text.reserve(size);
    for (qsizetype i = 0; i < size;) {
        if (data[i] < 0x80) {
            text.append(QChar(char16_t(data[i])));
            ++i;
            continue;
        }
        char32_t code = 0;
        const int length = validUtf8Sequence(data, size, i, code);
        if (length == 0) {
            text.append(QChar(char16_t(EscapeBase + data[i])));
            ++i;
            continue;
        }
        const char32_t codes[] = {code};
        text.append(QString::fromUcs4(codes, 1));
        i += length;
    }
    return text;
}

QByteArray encodeFileName(QStringView path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype size = path.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = path[i].unicode();
        if (unit < 0x80) {
            out.append(char(unit));
        } else if (isEscapedByte(unit)) {
            out.append(char(unit - EscapeBase));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size &&
                   QChar::isLowSurrogate(path[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(out, Replacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

bool hasUndecodedBytes(QStringView path) {
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isEscapeAt(path, i)) {
            return true;
        }
    }
    return false;
}

QString readableFileName(const QString& path) {
    if (!hasUndecodedBytes(path)) {
        return path;
    }
    QString readable = path;
    for (qsizetype i = 0; i < readable.size(); ++i) {
        if (isEscapeAt(path, i)) {
            readable[i] = QChar(Replacement);
        }
    }
    return readable;
}

}  // namespace zentavo
