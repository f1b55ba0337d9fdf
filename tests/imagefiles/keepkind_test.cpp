// Pictures stay in their kind through a flip: a 1-bit page stays 1-bit (and small), a palette
// stays a palette. Checked on the written files with libtiff and against Qt's own mirror.
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QFileInfo>
#include <QTransform>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <tiffio.h>

namespace zentavo {
namespace {

// A page of black bars on white, 1 bit a pixel, or a picture of 6 colours as a palette.
QByteArray writeTiff(const QString& path, int compression, bool palette) {
    const int width = 203;  // not a whole number of bytes a row
    const int height = 120;
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(palette ? 8 : 1));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(compression));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
    std::vector<uint16_t> map(3 * 256, 0);
    for (int i = 0; i < 6; ++i) {
        map[i] = uint16_t(i * 50 * 257);
        map[256 + i] = uint16_t((250 - i * 40) * 257);
        map[512 + i] = uint16_t((i % 2) * 65535);
    }
    if (palette) {
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    }
    std::vector<uchar> row(width);
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < width; ++x) {
            const bool ink = (y / 6) % 3 == 1 && (x / 9) % 4 != 3 && x < width - 20 + y % 7;
            if (palette) {
                row[x] = uchar((x / 20 + y / 30) % 6);
            } else if (ink) {
                row[x >> 3] |= uchar(0x80 >> (x & 7));
            }
        }
        TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
    }
    TIFFClose(tiff);
    return test::readFile(path);
}

struct Written {
    uint16_t bits = 0, photometric = 0, compression = 0;
};

Written tagsOf(const QString& path) {
    Written tags;
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (tiff) {
        TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &tags.bits);
        TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &tags.photometric);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &tags.compression);
        TIFFClose(tiff);
    }
    return tags;
}

TEST(KeepKind, OneBitAndPaletteTiffsStayInTheirKindThroughAFlip) {
    struct Row {
        const char* name;
        int inputCompression;
        bool palette;
        Written expected;
    };
    const Row rows[] = {
        {"G4 page", COMPRESSION_CCITTFAX4, false, {1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4}},
        {"uncompressed page", COMPRESSION_NONE, false,
         {1, PHOTOMETRIC_MINISWHITE, COMPRESSION_ADOBE_DEFLATE}},
        {"palette", COMPRESSION_ADOBE_DEFLATE, true,
         {8, PHOTOMETRIC_PALETTE, COMPRESSION_ADOBE_DEFLATE}},
    };
    QTemporaryDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString input = dir.filePath(QStringLiteral("in.tif"));
        const QString output = dir.filePath(QStringLiteral("out.tif"));
        const QByteArray bytes = writeTiff(input, row.inputCompression, row.palette);
        LoadResult loaded = loadPictureFromBytes(bytes);
        ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
        mirrorPicture(loaded.picture, Mirror::Horizontal);
        QString reason;
        ASSERT_TRUE(SaveWithEncoder(loaded.picture, output, QStringLiteral("image/tiff"), &reason))
            << reason.toStdString();
        const Written tags = tagsOf(output);
        EXPECT_EQ(tags.bits, row.expected.bits);
        EXPECT_EQ(tags.photometric, row.expected.photometric);
        EXPECT_EQ(tags.compression, row.expected.compression);
        if (row.inputCompression == COMPRESSION_CCITTFAX4) {
            EXPECT_LE(QFileInfo(output).size(), 2 * bytes.size());
        }
        const QImage expected =
            QImage(input).convertToFormat(QImage::Format_RGB32).mirrored(true, false);
        EXPECT_EQ(QImage(output).convertToFormat(QImage::Format_RGB32), expected);
    }
}

TEST(KeepKind, APalettePngStaysAPalette) {
    QImage indexed(37, 21, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(200, 10, 10), qRgb(10, 160, 40), qRgb(30, 30, 220)});
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x) {
            indexed.setPixel(x, y, uint((x / 5 + y / 4) % 3));
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(indexed.save(&buffer, "PNG"));
    LoadResult loaded = loadPictureFromBytes(png);
    ASSERT_TRUE(loaded.ok());
    turnPicture(loaded.picture, 1);
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.png"));
    ASSERT_TRUE(SaveWithEncoder(loaded.picture, output, QStringLiteral("image/png")));
    const QByteArray written = test::readFile(output);
    // IHDR's colour type (byte 25 of the file) 3 is a palette.
    ASSERT_GT(written.size(), 26);
    EXPECT_EQ(int(written[25]), 3);
    QTransform turn;
    turn.rotate(90);
    EXPECT_EQ(QImage(output).convertToFormat(QImage::Format_RGB32),
              indexed.transformed(turn).convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace zentavo
