#include "tests/hostile/hostilebytes.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <turbojpeg.h>

#include <stdexcept>
#include <vector>

namespace zentavo::test {

namespace {

bool isFrameHeader(uchar marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The offset of the first segment with marker (0xFF marker), walking segment lengths; -1 when
// absent before the first scan (or, for the scan marker itself, found).
qsizetype findSegment(const QByteArray& jpeg, uchar wanted) {
    qsizetype i = 2;
    while (i + 4 <= jpeg.size()) {
        const auto marker = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) != 0xFF) {
            return -1;
        }
        if (marker == wanted || (wanted == 0xC0 && isFrameHeader(marker))) {
            return i;
        }
        if (marker == 0xDA) {
            return -1;
        }
        i += 2 + qFromBigEndian<quint16>(jpeg.constData() + i + 2);
    }
    return -1;
}

QByteArray exifSegment(const QByteArray& tiffPart) {
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiffPart;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF));
    return segment + payload;
}

QByteArray be16(int value) {
    QByteArray out(2, '\0');
    qToBigEndian<quint16>(quint16(value), out.data());
    return out;
}

QByteArray be32(quint32 value) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(value, out.data());
    return out;
}

}  // namespace

QImage patternImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar((x / 8) * 37);
            row[3 * x + 1] = uchar((y / 8) * 53);
            row[3 * x + 2] = uchar(x < width / 3 && y < height / 2 ? 230 : 40);
        }
    }
    return image;
}

QByteArray jpegOf(const QImage& image, int flags, bool grey, bool cmyk) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<uchar> cmykPixels;
    const uchar* source = rgb.constBits();
    int pitch = int(rgb.bytesPerLine());
    int pixelFormat = TJPF_RGB;
    if (cmyk) {
        cmykPixels.resize(size_t(rgb.width()) * rgb.height() * 4);
        for (int y = 0; y < rgb.height(); ++y) {
            const uchar* in = rgb.constScanLine(y);
            for (int x = 0; x < rgb.width(); ++x) {
                uchar* out = &cmykPixels[(size_t(y) * rgb.width() + x) * 4];
                out[0] = uchar(255 - in[3 * x]);
                out[1] = uchar(255 - in[3 * x + 1]);
                out[2] = uchar(255 - in[3 * x + 2]);
                out[3] = 0;
            }
        }
        source = cmykPixels.data();
        pitch = rgb.width() * 4;
        pixelFormat = TJPF_CMYK;
    }
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int subsampling = grey ? TJSAMP_GRAY : (cmyk ? TJSAMP_444 : TJSAMP_420);
    const int status = tjCompress2(handle, source, rgb.width(), pitch, rgb.height(), pixelFormat,
                                   &out, &size, subsampling, 90, flags);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(handle);
    if (status != 0) {
        throw std::runtime_error("TurboJPEG could not make a test JPEG");
    }
    return bytes;
}

QByteArray arithmeticJpegOf(const QImage& image) {
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg.isEmpty()) {
        return {};
    }
    QByteArray ppm;
    QBuffer buffer(&ppm);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PPM");
    QProcess process;
    process.start(cjpeg, {QStringLiteral("-arithmetic")});
    process.write(ppm);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray withJpegSize(QByteArray jpeg, int width, int height) {
    const qsizetype at = findSegment(jpeg, 0xC0);
    if (at < 0) {
        throw std::runtime_error("no frame header");
    }
    qToBigEndian<quint16>(quint16(height), jpeg.data() + at + 5);
    qToBigEndian<quint16>(quint16(width), jpeg.data() + at + 7);
    return jpeg;
}

QByteArray twelveBitJpeg(QByteArray jpeg) {
    const qsizetype at = findSegment(jpeg, 0xC0);
    if (at < 0) {
        throw std::runtime_error("no frame header");
    }
    jpeg[at + 1] = char(0xC1);
    jpeg[at + 4] = char(12);
    return jpeg;
}

QByteArray scanBombJpeg(const QByteArray& progressive, int count) {
    const qsizetype lastScan = progressive.lastIndexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype end = progressive.size() - 2;  // the end-of-image marker
    const QByteArray scan = progressive.mid(lastScan, end - lastScan);
    QByteArray bytes = progressive.left(end);
    for (int i = 0; i < count; ++i) {
        bytes += scan;
    }
    return bytes + progressive.right(2);
}

QByteArray withExifEntry(const QByteArray& jpeg, int value, int type) {
    QByteArray tiff = QByteArray("MM\0*", 4) + be32(8) + be16(1);
    tiff += be16(0x0112) + be16(type) + be32(1);
    tiff += type == 3 ? be16(value) + be16(0) : be32(quint32(value));
    tiff += be32(0);
    return jpeg.left(2) + exifSegment(tiff) + jpeg.mid(2);
}

QByteArray withBrokenExif(const QByteArray& jpeg, bool hugeOffset) {
    QByteArray tiff = QByteArray("MM\0*", 4);
    if (hugeOffset) {
        tiff += be32(0x7FFFFFF0u) + be16(1);
    } else {
        tiff += be32(8) + be16(0xFFFF) + be16(0x0112) + be16(3);  // 65535 entries announced
    }
    return jpeg.left(2) + exifSegment(tiff) + jpeg.mid(2);
}

QByteArray withEarlyEndMarker(const QByteArray& jpeg) {
    const qsizetype scan = findSegment(jpeg, 0xDA);
    const qsizetype dataStart = scan + 2 + qFromBigEndian<quint16>(jpeg.constData() + scan + 2);
    qsizetype middle = (dataStart + jpeg.size() - 2) / 2;
    while (uchar(jpeg[middle - 1]) == 0xFF) {
        ++middle;  // never between a 0xFF and its stuffed zero
    }
    return jpeg.left(middle) + QByteArray("\xFF\xD9", 2) + jpeg.mid(middle);
}

QByteArray withBogusHuffmanTable(QByteArray jpeg) {
    const qsizetype at = findSegment(jpeg, 0xC4);
    if (at < 0) {
        throw std::runtime_error("no Huffman table");
    }
    jpeg[at + 4] = char(0x25);  // class 2, table 5: neither exists
    return jpeg;
}

QByteArray cutTo(const QByteArray& bytes, double share) {
    return bytes.left(qsizetype(double(bytes.size()) * share));
}

}  // namespace zentavo::test
