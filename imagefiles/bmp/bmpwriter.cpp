#include "imagefiles/bmp/bmpcodec.h"

#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <QtEndian>

#include <cstring>

namespace zentavo {

namespace {

constexpr int FileHeaderBytes = 14;
constexpr int InfoHeaderBytes = 40;  // BITMAPINFOHEADER

void put16(char*& at, quint16 value) {
    qToLittleEndian(value, at);
    at += 2;
}

void put32(char*& at, quint32 value) {
    qToLittleEndian(value, at);
    at += 4;
}

}  // namespace

QByteArray encodeBmp(const Picture& picture) {
    requirePixels(picture);
    const QImage rgb = flattenedOntoWhite(picture.image);
    const qint64 width = rgb.width();
    const qint64 height = rgb.height();
    const qint64 rowBytes = (width * 3 + 3) & ~qint64(3);
    const qint64 pixelBytes = rowBytes * height;
    const qint64 total = FileHeaderBytes + InfoHeaderBytes + pixelBytes;
    if (total > qint64(0xFFFFFFFF)) {
        throw WriteFailure{GdiplusStatus::ValueOverflow,
                           QStringLiteral("The picture is too large for a BMP file")};
    }
    QByteArray file(total, Qt::Uninitialized);
    char* at = file.data();
    std::memcpy(at, "BM", 2);
    at += 2;
    put32(at, quint32(total));
    put32(at, 0);
    put32(at, FileHeaderBytes + InfoHeaderBytes);
    put32(at, InfoHeaderBytes);
    put32(at, quint32(width));
    put32(at, quint32(height));  // positive: rows stored bottom-up
    put16(at, 1);                // planes
    put16(at, 24);               // bits per pixel
    put32(at, 0);                // BI_RGB
    put32(at, quint32(pixelBytes));
    put32(at, quint32(qMax(0, rgb.dotsPerMeterX())));
    put32(at, quint32(qMax(0, rgb.dotsPerMeterY())));
    put32(at, 0);
    put32(at, 0);
    for (qint64 y = height - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(int(y)));
        char* out = at;
        for (qint64 x = 0; x < width; ++x) {
            *out++ = char(qBlue(line[x]));
            *out++ = char(qGreen(line[x]));
            *out++ = char(qRed(line[x]));
        }
        std::memset(out, 0, size_t(rowBytes - width * 3));
        at += rowBytes;
    }
    return file;
}

}  // namespace zentavo
