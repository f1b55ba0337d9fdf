#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "tests/imagefiles/writefixtures.h"
#include "tests/testsupport.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

namespace zentavo {
namespace {

using test::folderEntries;
using test::readFile;

Picture pictureOf(const QImage& image) {
    Picture picture;
    picture.image = image;
    return picture;
}

// Random pixels with every alpha value from 0 to opaque, so that translucent colours show.
QImage randomImage(int width, int height, QImage::Format format, quint32 seed) {
    QImage image(width, height, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i) {
            line[i] = uchar(random.generate());
        }
    }
    // Premultiplied formats need colour <= alpha to be valid.
    if (format == QImage::Format_RGBA64_Premultiplied) {
        image.reinterpretAsFormat(QImage::Format_RGBA64);
        image = image.convertToFormat(QImage::Format_RGBA64_Premultiplied);
    }
    return image;
}

QImage readBack(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read();
}

TEST(EncoderRegistry, LooksUpMimeTypesIgnoringCase) {
    EncoderId clsid = EncoderId::Bmp;
    EXPECT_TRUE(GetEncoderClsid(QStringLiteral("IMAGE/PNG"), &clsid));
    EXPECT_EQ(clsid, EncoderId::Png);
    EXPECT_TRUE(GetEncoderClsid(QStringLiteral("image/Tiff"), &clsid));
    EXPECT_EQ(clsid, EncoderId::Tiff);
    EXPECT_TRUE(GetEncoderClsid(QStringLiteral("Image/HEIC"), &clsid));
    EXPECT_EQ(clsid, EncoderId::Heif);
    EXPECT_TRUE(GetEncoderClsid(QStringLiteral("image/Tiff"), &clsid));
    EXPECT_FALSE(GetEncoderClsid(QStringLiteral("image/x-pcx"), &clsid));
    EXPECT_FALSE(GetEncoderClsid(QStringLiteral("image/png "), &clsid));
    EXPECT_EQ(clsid, EncoderId::Tiff);

    QTemporaryDir dir;
    EXPECT_TRUE(SaveWithEncoder(pictureOf(test::photoLike(8, 8)),
                                dir.filePath(QStringLiteral("a.png")),
                                QStringLiteral("IMAGE/PNG")));
    EXPECT_TRUE(readFile(dir.filePath(QStringLiteral("a.png"))).startsWith("\x89PNG"));
}

TEST(EncoderRegistry, UnknownTypeReturnsFalseAndWritesNothing) {
    QTemporaryDir dir;
    QString reason;
    EXPECT_FALSE(SaveWithEncoder(pictureOf(test::photoLike(8, 8)),
                                 dir.filePath(QStringLiteral("a.pcx")),
                                 QStringLiteral("image/x-pcx"), &reason));
    EXPECT_EQ(reason, QStringLiteral("No encoder for the type image/x-pcx"));
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
}

TEST(BitmapWriter, Writes24BitRowsPaddedAndAlphaOntoWhite) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.bmp"));
    const QImage odd = randomImage(5, 3, QImage::Format_RGB32, 7);
    SaveBitmap(pictureOf(odd), path);
    const QByteArray bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 54 + 16 * 3);
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32), odd);

    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    SaveBitmap(pictureOf(clear), path);
    EXPECT_EQ(QImage::fromData(readFile(path), "BMP").pixel(2, 2), qRgb(255, 255, 255));
}

TEST(PngWriter, AlphaAnd16BitSamplesComeBackExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    for (const QImage::Format format :
         {QImage::Format_RGBA64, QImage::Format_ARGB32, QImage::Format_Grayscale16}) {
        const QImage image = randomImage(33, 17, format, 11);
        ASSERT_TRUE(SaveWithEncoder(pictureOf(image), path, QStringLiteral("image/png")));
        const QImage back = readBack(path);
        EXPECT_EQ(back.format(), format);
        EXPECT_EQ(back.convertToFormat(format), image) << "format " << int(format);
    }
}

TEST(PngWriter, CompressesRatherThanStoringThePixels) {
    // Qt's handler maps a high quality to zlib level 0, which stores the pixels as they are.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(qRgb(40, 90, 160));
    ASSERT_TRUE(SaveWithEncoder(pictureOf(image), path, QStringLiteral("image/png")));
    EXPECT_LT(QFileInfo(path).size(), 400 * 300 * 3 / 50);
    EXPECT_EQ(readBack(path).convertToFormat(QImage::Format_RGB32), image);
}

TEST(TiffWriter, AlphaAnd16BitSamplesComeBackExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tif"));
    struct Case {
        QImage::Format format;
        int samples;
        int bits;
        int extra;
    };
    const Case cases[] = {
        {QImage::Format_RGBA64, 4, 16, EXTRASAMPLE_UNASSALPHA},
        {QImage::Format_RGBA64_Premultiplied, 4, 16, EXTRASAMPLE_ASSOCALPHA},
        {QImage::Format_RGBA8888, 4, 8, EXTRASAMPLE_UNASSALPHA},
        {QImage::Format_Grayscale16, 1, 16, -1},
        {QImage::Format_RGB888, 3, 8, -1},
    };
    for (const Case& c : cases) {
        const QImage image = randomImage(21, 13, c.format, 5);
        ASSERT_TRUE(SaveWithEncoder(pictureOf(image), path, QStringLiteral("image/tiff")));
        const test::TiffContent tiff = test::readTiff(path);
        ASSERT_TRUE(tiff.ok);
        EXPECT_EQ(tiff.compression, COMPRESSION_ADOBE_DEFLATE);
        EXPECT_EQ(tiff.samples, c.samples);
        EXPECT_EQ(tiff.bits, c.bits);
        EXPECT_EQ(tiff.extraSample, c.extra);
        // The file's samples in order are exactly the bytes or words of the picture's rows.
        std::vector<quint16> expected;
        const int perRow = image.width() * c.samples;
        for (int y = 0; y < image.height(); ++y) {
            for (int i = 0; i < perRow; ++i) {
                expected.push_back(c.bits == 16
                                       ? reinterpret_cast<const quint16*>(image.constScanLine(y))[i]
                                       : image.constScanLine(y)[i]);
            }
        }
        EXPECT_EQ(tiff.values, expected) << "format " << int(c.format);
    }
}

// The turn may drop the image's colour space; the profile read with the picture still goes out.
TEST(EncoderRegistry, IccProfileSurvivesATurnInPngAndTiff) {
    QTemporaryDir dir;
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    Picture picture = pictureOf(randomImage(9, 5, QImage::Format_RGBA64, 3));
    picture.iccProfile = adobe;
    picture.image.setColorSpace(QColorSpace::fromIccProfile(adobe));
    turnPicture(picture, 1);
    picture.image.setColorSpace(QColorSpace());

    const QString png = dir.filePath(QStringLiteral("a.png"));
    ASSERT_TRUE(SaveWithEncoder(picture, png, QStringLiteral("image/png")));
    EXPECT_EQ(readBack(png).colorSpace().iccProfile(), adobe);
    const QString tif = dir.filePath(QStringLiteral("a.tif"));
    ASSERT_TRUE(SaveWithEncoder(picture, tif, QStringLiteral("image/tiff")));
    EXPECT_EQ(test::readTiff(tif).icc, adobe);
}

}  // namespace
}  // namespace zentavo
