#include "tests/imagefiles/metadata/metadatafixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>

#include <tiffio.h>
#include <turbojpeg.h>
#include <zlib.h>

namespace zentavo::test {

const QRgb Red = qRgb(230, 20, 20);
const QRgb Green = qRgb(20, 200, 20);
const QRgb Blue = qRgb(20, 20, 230);
const QRgb White = qRgb(245, 245, 245);

QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y, bottom ? (right ? White : Blue) : (right ? Green : Red));
        }
    }
    return image;
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 50 && std::abs(qGreen(a) - qGreen(b)) < 50 &&
           std::abs(qBlue(a) - qBlue(b)) < 50;
}

QByteArray plainJpeg(const QImage& picture, int subsampling) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                TJPF_RGB, &buffer, &size, subsampling, 92, 0);
    const QByteArray jpeg(reinterpret_cast<const char*>(buffer), qsizetype(size));
    tjFree(buffer);
    tjDestroy(handle);
    return jpeg;
}

QByteArray jpegSegment(int marker, const QByteArray& payload) {
    QByteArray segment(4, '\0');
    segment[0] = char(0xFF);
    segment[1] = char(marker);
    qToBigEndian<quint16>(quint16(payload.size() + 2), segment.data() + 2);
    return segment + payload;
}

QByteArray withSegments(const QByteArray& jpeg, const QByteArray& segments) {
    qsizetype at = 2;
    if (uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0) {
        at = 4 + (uchar(jpeg[4]) << 8 | uchar(jpeg[5]));
    }
    return jpeg.left(at) + segments + jpeg.mid(at);
}

std::vector<std::pair<int, QByteArray>> segmentsOf(const QByteArray& jpeg) {
    std::vector<std::pair<int, QByteArray>> segments;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
        if (marker == 0xDA) {
            break;
        }
        if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) {
            segments.push_back({marker, jpeg.mid(at + 4, length - 2)});
        }
        at += 2 + length;
    }
    return segments;
}

namespace {

QByteArray u16(int value) {
    QByteArray bytes(2, '\0');
    qToBigEndian<quint16>(quint16(value), bytes.data());
    return bytes;
}

QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(value, bytes.data());
    return bytes;
}

}  // namespace

QByteArray exifBlock(int orientation, int type, int resolution) {
    const int entries = resolution > 0 ? 4 : 1;
    const int valuesAt = 8 + 2 + entries * 12 + 4;
    QByteArray block = QByteArray("MM", 2) + u16(42) + u32(8) + u16(entries);
    const QByteArray value = type == 4 ? u32(quint32(orientation)) : u16(orientation) + u16(0);
    block += u16(0x0112) + u16(type) + u32(1) + value;
    if (resolution > 0) {
        block += u16(0x011a) + u16(5) + u32(1) + u32(valuesAt);
        block += u16(0x011b) + u16(5) + u32(1) + u32(valuesAt + 8);
        block += u16(0x0128) + u16(3) + u32(1) + u16(2) + u16(0);
    }
    block += u32(0);
    if (resolution > 0) {
        block += u32(quint32(resolution)) + u32(1) + u32(quint32(resolution)) + u32(1);
    }
    return block;
}

QByteArray xmpPacket(const QString& subject, const QByteArray& guid) {
    QByteArray packet =
        "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
        " <rdf:Description rdf:about='uuid:faf5bdd5-ba3d-11da-ad31-d33d75182f1b'\n"
        "  xmlns:dc='http://purl.org/dc/elements/1.1/'\n"
        "  xmlns:xmpNote='http://ns.adobe.com/xmp/note/'";
    if (!guid.isEmpty()) {
        packet += "\n  xmpNote:HasExtendedXMP='" + guid + "'";
    }
    packet += ">\n  <dc:subject><rdf:Bag><rdf:li>" + subject.toUtf8() +
              "</rdf:li></rdf:Bag></dc:subject>\n"
              " </rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
    return packet;
}

QByteArray photoshopResources(const QByteArray& keyword,
                              const std::vector<std::pair<int, QByteArray>>& others,
                              const QByteArray& moreRecords) {
    const auto resource = [](int id, const QByteArray& data) {
        QByteArray bytes = QByteArray("8BIM") + u16(id) + u16(0) + u32(quint32(data.size())) + data;
        return data.size() % 2 ? bytes + '\0' : bytes;
    };
    // IPTC: the record version, then one keyword (record 2, dataset 25).
    QByteArray iptc = QByteArray("\x1C\x02\x00", 3) + u16(2) + u16(4);
    iptc += QByteArray("\x1C\x02\x19", 3) + u16(int(keyword.size())) + keyword + moreRecords;
    QByteArray resources = resource(0x0404, iptc);
    for (const auto& [id, data] : others) {
        resources += resource(id, data);
    }
    return resources;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data, bool badChecksum) {
    const QByteArray body = type + data;
    quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
    if (badChecksum) {
        crc ^= 1;
    }
    return u32(quint32(data.size())) + body + u32(crc);
}

QByteArray plainPng(const QImage& picture, const QByteArray& before, const QByteArray& after,
                    bool badImageChecksum) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    QByteArray raw;
    for (int y = 0; y < rgb.height(); ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    }
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray compressed(qsizetype(size), '\0');
    compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()));
    compressed.resize(qsizetype(size));
    QByteArray header = u32(quint32(rgb.width())) + u32(quint32(rgb.height()));
    header += QByteArray("\x08\x02\x00\x00\x00", 5);
    const qsizetype half = compressed.size() / 2;
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + before +
           pngChunk("IDAT", compressed.left(half)) +
           pngChunk("IDAT", compressed.mid(half), badImageChecksum) + after + pngChunk("IEND", {});
}

std::vector<std::pair<QByteArray, QByteArray>> chunksOf(const QByteArray& png) {
    std::vector<std::pair<QByteArray, QByteArray>> chunks;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        chunks.push_back({png.mid(at + 4, 4), png.mid(at + 8, qsizetype(length))});
        at += 12 + qsizetype(length);
    }
    return chunks;
}

namespace {

// A TIFF written by libtiff into a temporary file by write, read back whole.
template <typename Write>
QByteArray tiffOf(Write&& write) {
    QTemporaryFile file;
    file.open();
    const QByteArray name = file.fileName().toLocal8Bit();
    TIFF* tiff = TIFFOpen(name.constData(), "w");
    write(tiff);
    TIFFClose(tiff);
    return readBytes(file.fileName());
}

}  // namespace

QByteArray plainTiff(const QImage& picture, double dpi, const QByteArray& xmp,
                     const QByteArray& iptc) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    return tiffOf([&](TIFF* tiff) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, rgb.width());
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rgb.height());
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (dpi > 0) {
            TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            TIFFSetField(tiff, TIFFTAG_XRESOLUTION, dpi);
            TIFFSetField(tiff, TIFFTAG_YRESOLUTION, dpi);
        }
        if (!xmp.isEmpty()) {
            TIFFSetField(tiff, TIFFTAG_XMLPACKET, uint32_t(xmp.size()), xmp.constData());
        }
        if (!iptc.isEmpty()) {
            TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, uint32_t(iptc.size()), iptc.constData());
        }
        for (int y = 0; y < rgb.height(); ++y) {
            TIFFWriteScanline(tiff, const_cast<uchar*>(rgb.constScanLine(y)), uint32_t(y), 0);
        }
    });
}

namespace {

// Ink samples (0 = no ink), varied in every ink and not symmetric.
quint16 ink(int x, int y, int channel, int width, int height) {
    switch (channel) {
        case 0:
            return quint16(x * 65535 / width);
        case 1:
            return quint16(y * 65535 / height);
        case 2:
            return quint16((x + y) * 65535 / (width + height));
        default:
            return quint16(x > width / 2 ? 20000 : 3000);
    }
}

}  // namespace

QByteArray cmykTiff(int width, int height, InkLayout layout, int bits, const QByteArray& profile) {
    return tiffOf([&](TIFF* tiff) {
        const bool planes = layout == InkLayout::Planes;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
        TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                     planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
        const int bytes = bits / 8;
        const auto put = [&](uchar* at, int x, int y, int channel) {
            const quint16 value = ink(x, y, channel, width, height);
            if (bytes == 2) {
                std::memcpy(at, &value, 2);
            } else {
                *at = uchar(value >> 8);
            }
        };
        if (layout == InkLayout::Tiles) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
            std::vector<uchar> tile(size_t(16 * 16 * 4 * bytes));
            for (int ty = 0; ty < height; ty += 16) {
                for (int tx = 0; tx < width; tx += 16) {
                    for (int y = 0; y < 16; ++y) {
                        for (int x = 0; x < 16; ++x) {
                            for (int c = 0; c < 4; ++c) {
                                put(&tile[size_t(((y * 16 + x) * 4 + c) * bytes)], tx + x, ty + y,
                                    c);
                            }
                        }
                    }
                    TIFFWriteTile(tiff, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
                }
            }
            return;
        }
        std::vector<uchar> row(size_t(width * 4 * bytes));
        for (int plane = 0; plane < (planes ? 4 : 1); ++plane) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    for (int c = 0; c < (planes ? 1 : 4); ++c) {
                        put(&row[size_t(((planes ? x : x * 4 + c)) * bytes)], x, y,
                            planes ? plane : c);
                    }
                }
                TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane));
            }
        }
    });
}

QByteArray floatTiff(int width, int height, float (*sample)(int x, int y, int channel)) {
    return tiffOf([&](TIFF* tiff) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 32);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        std::vector<float> row(size_t(width) * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    row[size_t(x * 3 + c)] = sample(x, y, c);
                }
            }
            TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
        }
    });
}

std::vector<float> floatSamples(const QByteArray& bytes) {
    QTemporaryFile file;
    file.open();
    file.write(bytes);
    file.flush();
    const QByteArray name = file.fileName().toLocal8Bit();
    TIFF* tiff = TIFFOpen(name.constData(), "r");
    if (!tiff) {
        return {};
    }
    uint32_t width = 0, height = 0;
    uint16_t format = 0, bits = 0, samples = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    std::vector<float> values;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 32 && samples == 3) {
        values.resize(size_t(width) * height * 3);
        for (uint32_t y = 0; y < height; ++y) {
            TIFFReadScanline(tiff, values.data() + size_t(y) * width * 3, y, 0);
        }
    }
    TIFFClose(tiff);
    return values;
}

QJsonObject exiftoolTags(const QString& path, const QStringList& options) {
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  QStringList{QStringLiteral("-j"), QStringLiteral("-a"), QStringLiteral("-G1"),
                              QStringLiteral("-n")} +
                      options + QStringList{path});
    process.waitForFinished(60000);
    const QJsonArray array = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    return array.isEmpty() ? QJsonObject() : array.first().toObject();
}

bool exiftoolWrite(const QString& path, const QStringList& assignments) {
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  QStringList{QStringLiteral("-q"), QStringLiteral("-q"), QStringLiteral("-n"),
                              QStringLiteral("-overwrite_original")} +
                      assignments + QStringList{path});
    process.waitForFinished(60000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool haveExiftool() {
    return !QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace zentavo::test
