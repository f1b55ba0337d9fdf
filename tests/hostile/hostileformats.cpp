#include "tests/hostile/hostilebytes.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QtEndian>

#include <gif_lib.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace zentavo::test {

namespace {

QByteArray be32(quint32 value) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(value, out.data());
    return out;
}

QByteArray saved(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format)) {
        throw std::runtime_error("Qt could not write a test picture");
    }
    return bytes;
}

// A zlib stream of count zero bytes, deflated in blocks so the inflated form is never held.
QByteArray deflatedZeros(qint64 count, int rowLength = 0) {
    z_stream stream{};
    deflateInit(&stream, 1);
    const int block = rowLength > 0 ? rowLength : (1 << 20);
    QByteArray zeros(block, '\0');
    QByteArray out;
    QByteArray chunk(1 << 16, '\0');
    qint64 left = count;
    do {
        const int now = int(std::min<qint64>(left, block));
        left -= now;
        stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
        stream.avail_in = uInt(now);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = uInt(chunk.size());
            deflate(&stream, flush);
            out.append(chunk.constData(), chunk.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    } while (left > 0);
    deflateEnd(&stream);
    return out;
}

// The offset of the first chunk of a type, walking chunk lengths from the signature.
qsizetype findChunk(const QByteArray& png, const char* type) {
    qsizetype i = 8;
    while (i + 8 <= png.size()) {
        if (png.mid(i + 4, 4) == type) {
            return i;
        }
        i += 12 + qsizetype(qFromBigEndian<quint32>(png.constData() + i));
    }
    return -1;
}

int appendToBuffer(GifFileType* file, const GifByteType* data, int length) {
    static_cast<QByteArray*>(file->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// A GIF through giflib with a 4-colour global palette, a frames frames of indices each.
QByteArray writeGif(int width, int height, const QImage& indices, int frames) {
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendToBuffer, &error);
    GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* palette = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 2, 0, palette);
    for (int frame = 0; frame < frames; ++frame) {
        EGifPutImageDesc(gif, 0, 0, indices.width(), indices.height(), false, nullptr);
        for (int y = 0; y < indices.height(); ++y) {
            EGifPutLine(gif, const_cast<GifPixelType*>(indices.constScanLine(y)), indices.width());
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(palette);
    return bytes;
}

qsizetype firstImageDescriptor(const QByteArray& gif) {
    const auto flags = uchar(gif[10]);
    qsizetype i = 13 + ((flags & 0x80) ? 3 * (2 << (flags & 7)) : 0);
    while (i < gif.size()) {
        const auto kind = uchar(gif[i]);
        if (kind == 0x2C) {
            return i;
        }
        if (kind != 0x21) {
            break;
        }
        i += 2;
        while (i < gif.size() && gif[i] != 0) {
            i += 1 + uchar(gif[i]);
        }
        ++i;
    }
    throw std::runtime_error("no image descriptor");
}

}  // namespace

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    const QByteArray body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return be32(quint32(data.size())) + body + be32(quint32(crc));
}

QByteArray pngOf(const QImage& image) {
    return saved(image, "PNG");
}

QByteArray zeroPng(int width, int height) {
    QByteArray header = be32(quint32(width)) + be32(quint32(height));
    header += QByteArray("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, no interlace
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", deflatedZeros(qint64(width + 1) * height, width + 1)) +
           pngChunk("IEND", {});
}

QByteArray withPngSize(QByteArray png, quint32 width, quint32 height) {
    QByteArray data = png.mid(16, 13);
    qToBigEndian<quint32>(width, data.data());
    qToBigEndian<quint32>(height, data.data() + 4);
    return png.left(8) + pngChunk("IHDR", data) + png.mid(33);
}

QByteArray withChunkBeforeData(const QByteArray& png, const QByteArray& chunk) {
    const qsizetype at = findChunk(png, "IDAT");
    return png.left(at) + chunk + png.mid(at);
}

QByteArray textBombChunk(qint64 inflatedBytes, bool international) {
    if (international) {
        // keyword, compressed, method 0, empty language tag and translated keyword
        return pngChunk("iTXt", QByteArray("Comment\0\1\0\0\0", 12) + deflatedZeros(inflatedBytes));
    }
    return pngChunk("zTXt", QByteArray("Comment\0\0", 9) + deflatedZeros(inflatedBytes));
}

QByteArray animationControlChunk(int frames) {
    return pngChunk("acTL", be32(quint32(frames)) + be32(0));
}

QByteArray withBadPngCrc(QByteArray png) {
    const qsizetype at = findChunk(png, "IDAT");
    const auto length = qsizetype(qFromBigEndian<quint32>(png.constData() + at));
    png[at + 8 + length / 2] = char(png[at + 8 + length / 2] ^ 0x5A);
    return png;
}

QByteArray gifOf(int width, int height) {
    QImage indices(width, height, QImage::Format_Indexed8);
    indices.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
    for (int y = 0; y < height; ++y) {
        uchar* row = indices.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x] = uchar((x / 4 + y / 4) % 4);
        }
    }
    return writeGif(width, height, indices, 1);
}

QByteArray withGifScreen(QByteArray gif, int width, int height) {
    qToLittleEndian<quint16>(quint16(width), gif.data() + 6);
    qToLittleEndian<quint16>(quint16(height), gif.data() + 8);
    return gif;
}

QByteArray withGifFrameOffset(QByteArray gif, int left, int top) {
    const qsizetype at = firstImageDescriptor(gif);
    qToLittleEndian<quint16>(quint16(left), gif.data() + at + 1);
    qToLittleEndian<quint16>(quint16(top), gif.data() + at + 3);
    return gif;
}

QByteArray manyFrameGif(int count) {
    QImage pixel(1, 1, QImage::Format_Indexed8);
    pixel.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
    pixel.fill(1);
    return writeGif(1, 1, pixel, count);
}

QByteArray bmpOf(const QImage& image) {
    return saved(image, "BMP");
}

QByteArray withBmpSize(QByteArray bmp, qint32 width, qint32 height) {
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    return bmp;
}

QByteArray withBmpBits(QByteArray bmp, int bits) {
    qToLittleEndian<quint16>(quint16(bits), bmp.data() + 28);
    return bmp;
}

QByteArray rle8Bmp(int width, int height, int cutRows) {
    QByteArray pixels;
    const int rows = cutRows >= 0 ? cutRows : height;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; x += 255) {
            pixels.append(char(std::min(255, width - x))).append(char(y % 4));
        }
        pixels.append('\0').append('\0');  // end of line
    }
    if (cutRows < 0) {
        pixels.append('\0').append('\1');  // end of bitmap
    }
    QByteArray header(54 + 4 * 4, '\0');
    auto* h = header.data();
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian<quint32>(quint32(header.size() + pixels.size()), h + 2);
    qToLittleEndian<quint32>(quint32(header.size()), h + 10);
    qToLittleEndian<quint32>(40, h + 14);
    qToLittleEndian<qint32>(width, h + 18);
    qToLittleEndian<qint32>(height, h + 22);
    qToLittleEndian<quint16>(1, h + 26);
    qToLittleEndian<quint16>(8, h + 28);
    qToLittleEndian<quint32>(1, h + 30);  // BI_RLE8
    qToLittleEndian<quint32>(quint32(pixels.size()), h + 34);
    qToLittleEndian<quint32>(4, h + 46);  // colours used
    const uchar palette[16] = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    std::memcpy(h + 54, palette, sizeof palette);
    return header + pixels;
}

QByteArray tiffOf(int width, int height, int pages, bool tiled) {
    QTemporaryFile file;
    if (!file.open()) {
        throw std::runtime_error("no temporary file");
    }
    TIFF* tiff = TIFFOpen(QFile::encodeName(file.fileName()).constData(), "w");
    const QImage image = patternImage(width, height);
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
        if (pages > 1) {
            TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE));
            TIFFSetField(tiff, TIFFTAG_PAGENUMBER, uint16_t(page), uint16_t(pages));
        }
        if (tiled) {
            constexpr int Tile = 16;
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, uint32_t(Tile));
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, uint32_t(Tile));
            std::vector<uchar> tile(Tile * Tile * 3);
            for (int ty = 0; ty < height; ty += Tile) {
                for (int tx = 0; tx < width; tx += Tile) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int y = ty; y < std::min(height, ty + Tile); ++y) {
                        std::memcpy(&tile[size_t(y - ty) * Tile * 3],
                                    image.constScanLine(y) + tx * 3,
                                    size_t(std::min(Tile, width - tx)) * 3);
                    }
                    TIFFWriteTile(tiff, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
                }
            }
        } else {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
            for (int y = 0; y < height; ++y) {
                TIFFWriteScanline(tiff, const_cast<uchar*>(image.constScanLine(y)), uint32_t(y), 0);
            }
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    file.seek(0);
    return file.readAll();
}

QByteArray withTiffSize(QByteArray tiff, quint32 width, quint32 height) {
    if (!tiff.startsWith("II*")) {
        throw std::runtime_error("a little-endian TIFF was expected");
    }
    const auto ifd = qsizetype(qFromLittleEndian<quint32>(tiff.constData() + 4));
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + ifd);
    for (int i = 0; i < entries; ++i) {
        char* entry = tiff.data() + ifd + 2 + 12 * i;
        const quint16 tag = qFromLittleEndian<quint16>(entry);
        if (tag == 256 || tag == 257) {
            qToLittleEndian<quint16>(4, entry + 2);  // LONG
            qToLittleEndian<quint32>(1, entry + 4);
            qToLittleEndian<quint32>(tag == 256 ? width : height, entry + 8);
        }
    }
    return tiff;
}

QByteArray withTiffDataPastEnd(QByteArray tiff) {
    const auto ifd = qsizetype(qFromLittleEndian<quint32>(tiff.constData() + 4));
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + ifd);
    for (int i = 0; i < entries; ++i) {
        char* entry = tiff.data() + ifd + 2 + 12 * i;
        const quint16 tag = qFromLittleEndian<quint16>(entry);
        if (tag != 273 && tag != 324) {  // StripOffsets, TileOffsets
            continue;
        }
        const bool wide = qFromLittleEndian<quint16>(entry + 2) == 4;
        const quint32 count = qFromLittleEndian<quint32>(entry + 4);
        const int size = wide ? 4 : 2;
        char* values =
            count * size <= 4 ? entry + 8 : tiff.data() + qFromLittleEndian<quint32>(entry + 8);
        char* last = values + (count - 1) * size;
        if (wide) {
            qToLittleEndian<quint32>(0x7FFFFFF0u, last);
        } else {
            qToLittleEndian<quint16>(0xFFF0, last);
        }
    }
    return tiff;
}

}  // namespace zentavo::test
