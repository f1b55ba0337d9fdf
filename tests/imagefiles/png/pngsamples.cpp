#include "tests/imagefiles/png/pngsamples.h"

#include <QtEndian>

#include <zlib.h>

#include <random>
#include <vector>

namespace zentavo::test {

namespace {

int channelsOf(int colourType) {
    switch (colourType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
    }
}

QByteArray be32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type, 4) + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return be32(quint32(data.size())) + body + be32(quint32(crc));
}

// Scales a sample of depth bits to 16 bits the way a reader must: 8-bit values and the values
// of lower depths widened to 8 bits first, as 8-bit pictures hold them.
quint16 widened(int value, int depth) {
    if (depth == 16) {
        return quint16(value);
    }
    return quint16(value * 255 / ((1 << depth) - 1) * 257);
}

// The serialised rows of one (sub-)image: a filter byte of 0, then the samples packed at depth.
void appendRows(QByteArray& raw, const std::vector<int>& samples, int width, int channels,
                int depth, int x0, int y0, int dx, int dy, int passWidth, int passHeight) {
    for (int py = 0; py < passHeight; ++py) {
        raw.append('\0');
        const int y = y0 + py * dy;
        int bitsUsed = 0;
        int accumulator = 0;
        for (int px = 0; px < passWidth; ++px) {
            const int x = x0 + px * dx;
            for (int c = 0; c < channels; ++c) {
                const int value = samples[(size_t(y) * width + x) * channels + c];
                if (depth == 16) {
                    raw.append(char(value >> 8)).append(char(value & 0xFF));
                } else if (depth == 8) {
                    raw.append(char(value));
                } else {
                    accumulator = (accumulator << depth) | value;
                    bitsUsed += depth;
                    if (bitsUsed == 8) {
                        raw.append(char(accumulator));
                        accumulator = 0;
                        bitsUsed = 0;
                    }
                }
            }
        }
        if (bitsUsed > 0) {
            raw.append(char(accumulator << (8 - bitsUsed)));
        }
    }
}

}  // namespace

QString PngKind::name() const {
    return QStringLiteral("type%1-%2bit%3%4")
        .arg(colourType)
        .arg(depth)
        .arg(interlaced ? QStringLiteral("-interlaced") : QString())
        .arg(transparency ? QStringLiteral("-trns") : QString());
}

QList<PngKind> everyPngKind() {
    const QList<std::pair<int, QList<int>>> depths{
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    QList<PngKind> kinds;
    for (const auto& [type, list] : depths) {
        for (const int depth : list) {
            for (const bool interlaced : {false, true}) {
                for (const bool transparency : {false, true}) {
                    if (transparency && (type == 4 || type == 6)) {
                        continue;  // these carry alpha of their own
                    }
                    kinds.append({type, depth, interlaced, transparency});
                }
            }
        }
    }
    return kinds;
}

MadePng makePng(const PngKind& kind, int width, int height, unsigned seed) {
    std::mt19937 random(seed + unsigned(kind.colourType * 100 + kind.depth));
    const int channels = channelsOf(kind.colourType);
    const int top = (1 << kind.depth) - 1;
    std::vector<int> samples(size_t(width) * height * channels);
    for (int& sample : samples) {
        sample = int(random() % unsigned(top + 1));
    }
    // Every fifth pixel takes the colour of the first, which is the colour key.
    if (kind.transparency && kind.colourType != 3) {
        for (size_t pixel = 5; pixel < size_t(width) * height; pixel += 5) {
            for (int c = 0; c < channels; ++c) {
                samples[pixel * channels + c] = samples[size_t(c)];
            }
        }
    }

    QByteArray header = be32(quint32(width)) + be32(quint32(height));
    header.append(char(kind.depth)).append(char(kind.colourType)).append('\0').append('\0');
    header.append(char(kind.interlaced ? 1 : 0));
    QByteArray file("\x89PNG\r\n\x1A\n", 8);
    file += chunk("IHDR", header);

    std::vector<QRgba64> palette;
    if (kind.colourType == 3) {
        QByteArray plte;
        QByteArray alphas;
        for (int i = 0; i <= top; ++i) {
            const int r = int(random() % 256), g = int(random() % 256), b = int(random() % 256);
            // The last entries have no alpha in tRNS and are opaque.
            const int a = kind.transparency && i < (top + 1) / 2 + 1 ? int(random() % 256) : 255;
            plte.append(char(r)).append(char(g)).append(char(b));
            if (kind.transparency && i < (top + 1) / 2 + 1) {
                alphas.append(char(a));
            }
            palette.push_back(QRgba64::fromRgba(quint8(r), quint8(g), quint8(b), quint8(a)));
        }
        file += chunk("PLTE", plte);
        if (kind.transparency) {
            file += chunk("tRNS", alphas);
        }
    } else if (kind.transparency) {
        QByteArray key;
        for (int c = 0; c < channels; ++c) {
            key.append(char(samples[size_t(c)] >> 8)).append(char(samples[size_t(c)] & 0xFF));
        }
        file += chunk("tRNS", key);
    }

    QByteArray raw;
    if (kind.interlaced) {
        constexpr int X0[] = {0, 4, 0, 2, 0, 1, 0};
        constexpr int Y0[] = {0, 0, 4, 0, 2, 0, 1};
        constexpr int DX[] = {8, 8, 4, 4, 2, 2, 1};
        constexpr int DY[] = {8, 8, 8, 4, 4, 2, 2};
        for (int pass = 0; pass < 7; ++pass) {
            const int passWidth = (width - X0[pass] + DX[pass] - 1) / DX[pass];
            const int passHeight = (height - Y0[pass] + DY[pass] - 1) / DY[pass];
            if (passWidth > 0 && passHeight > 0) {
                appendRows(raw, samples, width, channels, kind.depth, X0[pass], Y0[pass], DX[pass],
                           DY[pass], passWidth, passHeight);
            }
        }
    } else {
        appendRows(raw, samples, width, channels, kind.depth, 0, 0, 1, 1, width, height);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    QByteArray packed(qsizetype(packedSize), '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
              reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()), 6);
    packed.resize(qsizetype(packedSize));
    file += chunk("IDAT", packed) + chunk("IEND", {});

    MadePng made;
    made.file = file;
    made.width = width;
    made.height = height;
    for (size_t pixel = 0; pixel < size_t(width) * height; ++pixel) {
        const int* s = &samples[pixel * channels];
        if (kind.colourType == 3) {
            made.expected.append(palette[size_t(s[0])]);
            continue;
        }
        bool keyed = kind.transparency;
        for (int c = 0; c < channels && keyed; ++c) {
            keyed = s[c] == samples[size_t(c)];
        }
        const bool colour = channels >= 3;
        const quint16 r = widened(s[0], kind.depth);
        const quint16 g = colour ? widened(s[1], kind.depth) : r;
        const quint16 b = colour ? widened(s[2], kind.depth) : r;
        quint16 a = keyed ? 0 : 0xFFFF;
        if (channels == 2 || channels == 4) {
            a = widened(s[channels - 1], kind.depth);
        }
        made.expected.append(QRgba64::fromRgba64(r, g, b, a));
    }
    return made;
}

}  // namespace zentavo::test
