#include "imagefiles/files/filebytes.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/loadpicfile.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <sys/stat.h>

namespace zentavo {
namespace {

using test::encodeJpeg;
using test::randomImage;
using test::writeFile;

// The CRC of a PNG chunk's type and data.
quint32 pngCrc(const QByteArray& typeAndData) {
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : typeAndData) {
        crc ^= uchar(byte);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = char(value >> (24 - 8 * i));
    }
    return bytes;
}

class Loading : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const {
        writeFile(path(name), bytes);
        return path(name);
    }
    // A 32 x 16 JPEG: left half red, right half blue.
    static QByteArray halves() {
        QImage image(32, 16, QImage::Format_RGB888);
        image.fill(Qt::red);
        for (int y = 0; y < 16; ++y) {
            for (int x = 16; x < 32; ++x) {
                image.setPixelColor(x, y, Qt::blue);
            }
        }
        return encodeJpeg(image, 100, TJSAMP_444);
    }
    static bool near(QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
               std::abs(a.blue() - b.blue()) < 24;
    }
    QTemporaryDir m_dir;
};

TEST_F(Loading, JpegLoadsWithItsSubsamplingAndLeavesTheFailedListAlone) {
    const QString file = write("a.jpg", halves());
    Picture surface;
    QString failed = "before";
    ASSERT_TRUE(LoadPicFile(surface, file, &failed));
    EXPECT_EQ(failed, "before");
    EXPECT_EQ(surface.format, PictureFormat::Jpeg);
    EXPECT_EQ(surface.jpegSubsampling, TJSAMP_444);
    EXPECT_EQ(surface.image.size(), QSize(32, 16));
    EXPECT_TRUE(near(surface.image.pixelColor(2, 2), Qt::red));
}

// Grey, CMYK (stored inverted, as Adobe writes it) and progressive JPEGs.
TEST_F(Loading, JpegColourModelsLoadAsTheyLook) {
    tjhandle tj = tjInitCompress();
    const auto compress = [&](const std::vector<uchar>& pixels, int format, int samp, int flags) {
        unsigned char* out = nullptr;
        unsigned long size = 0;
        const int bytes = tjPixelSize[format];
        EXPECT_EQ(
            tjCompress2(tj, pixels.data(), 8, 8 * bytes, 8, format, &out, &size, samp, 95, flags),
            0);
        const QByteArray jpeg(reinterpret_cast<char*>(out), qsizetype(size));
        tjFree(out);
        return jpeg;
    };
    const LoadResult grey =
        loadPictureFromBytes(compress(std::vector<uchar>(64, 77), TJPF_GRAY, TJSAMP_GRAY, 0));
    ASSERT_TRUE(grey.ok());
    EXPECT_EQ(grey.picture.image.format(), QImage::Format_Grayscale8);
    EXPECT_NEAR(qGray(grey.picture.image.pixel(3, 3)), 77, 2);

    std::vector<uchar> cmyk;
    for (int i = 0; i < 64; ++i) {
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});  // inverted: no cyan, full magenta and yellow
    }
    const LoadResult red = loadPictureFromBytes(compress(cmyk, TJPF_CMYK, TJSAMP_444, 0));
    ASSERT_TRUE(red.ok()) << red.reason.toStdString();
    EXPECT_EQ(red.picture.image.format(), QImage::Format_RGB888);
    EXPECT_TRUE(near(red.picture.image.pixelColor(4, 4), Qt::red));

    std::vector<uchar> rgb;
    for (int i = 0; i < 64; ++i) {
        rgb.insert(rgb.end(), {0, 0, 255});
    }
    const LoadResult progressive =
        loadPictureFromBytes(compress(rgb, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE));
    ASSERT_TRUE(progressive.ok()) << progressive.reason.toStdString();
    EXPECT_TRUE(near(progressive.picture.image.pixelColor(4, 4), Qt::blue));
    tjDestroy(tj);
}

TEST_F(Loading, AFailureAfterASuccessLeavesTheSurfaceEmptyAndListsBothFailures) {
    Picture surface;
    QString failed;
    ASSERT_TRUE(LoadPicFile(surface, write("good.jpg", halves()), &failed));
    const QString missing = path("missing.jpg");
    const QString text = write("notes.jpg", "just some text");
    EXPECT_FALSE(LoadPicFile(surface, missing, &failed));
    EXPECT_TRUE(surface.isEmpty());
    EXPECT_EQ(surface.format, PictureFormat::None);
    EXPECT_FALSE(LoadPicFile(surface, text, &failed));
    EXPECT_EQ(failed, "\r\n" + missing + "\r\n" + text);
}

TEST_F(Loading, PngAndTiffAreReadAsThemselvesWhateverTheirName) {
    const QImage image = randomImage(5, 4, QImage::Format_ARGB32, 5);
    image.save(path("png-named-jpg.jpg"), "png");
    image.save(path("tiff-named-bmp.bmp"), "tiff");
    const LoadResult png = loadPicture(path("png-named-jpg.jpg"));
    const LoadResult tiff = loadPicture(path("tiff-named-bmp.bmp"));
    ASSERT_TRUE(png.ok() && tiff.ok());
    EXPECT_EQ(png.picture.format, PictureFormat::Png);
    EXPECT_EQ(tiff.picture.format, PictureFormat::Tiff);
    EXPECT_EQ(png.picture.image.convertToFormat(QImage::Format_ARGB32), image);
    EXPECT_EQ(tiff.picture.image.convertToFormat(QImage::Format_ARGB32), image);
}

TEST_F(Loading, IconsAndCursorsLoadWithTheirAlpha) {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(qRgba(200, 10, 10, 128));
    ASSERT_TRUE(icon.save(path("a.ico"), "ico"));
    QByteArray bytes = test::readFile(path("a.ico"));
    const LoadResult ico = loadPictureFromBytes(bytes);
    ASSERT_TRUE(ico.ok()) << ico.reason.toStdString();
    EXPECT_EQ(ico.picture.format, PictureFormat::Ico);
    EXPECT_EQ(ico.picture.image.pixelColor(3, 3).alpha(), 128);
    bytes[2] = 2;  // the same file as a cursor
    const LoadResult cursor = loadPictureFromBytes(bytes);
    ASSERT_TRUE(cursor.ok()) << cursor.reason.toStdString();
    EXPECT_EQ(cursor.picture.image.size(), QSize(16, 16));
}

TEST_F(Loading, PicturesOverQtsDefaultCeilingLoad) {
    // 6000 x 6000 decodes to 144 MB of 32-bit pixels, past Qt's own 128 MB default. A bitmap
    // keeps the test quick; the ceiling is the same for every format Qt reads.
    QImage big(6000, 6000, QImage::Format_RGB32);
    big.fill(qRgb(10, 20, 30));
    ASSERT_TRUE(big.save(path("big.bmp"), "bmp"));
    big = QImage();
    const LoadResult result = loadPicture(path("big.bmp"));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    EXPECT_EQ(result.picture.image.size(), QSize(6000, 6000));
    EXPECT_EQ(result.picture.image.pixel(5999, 5999), qRgb(10, 20, 30));
}

TEST_F(Loading, APhotoOf12000By9000PixelsLoads) {
    // Encoded from flat planes so the test stays quick; the decode is the real thing.
    const int width = 12000;
    const int height = 9000;
    std::vector<uchar> luma(size_t(width) * height, 128);
    std::vector<uchar> chroma(size_t(width / 2) * (height / 2), 100);
    const unsigned char* planes[3] = {luma.data(), chroma.data(), chroma.data()};
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompressFromYUVPlanes(tj, planes, width, nullptr, height, TJSAMP_420, &jpeg, &size,
                                      75, 0),
              0);
    writeFile(path("photo.jpg"), QByteArray(reinterpret_cast<char*>(jpeg), qsizetype(size)));
    tjFree(jpeg);
    tjDestroy(tj);
    luma = {};
    chroma = {};
    EXPECT_EQ(readPictureSize(path("photo.jpg")), QSize(width, height));
    Picture surface;
    ASSERT_TRUE(LoadPicFile(surface, path("photo.jpg")));
    EXPECT_EQ(surface.image.size(), QSize(width, height));
    EXPECT_EQ(surface.image.pixelColor(width - 1, height - 1), surface.image.pixelColor(0, 0));
}

TEST_F(Loading, TheSizeIsFoundBehindLargeSegmentsAndInFilesShorterThanAProbe) {
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(small.save(&buffer, "JPG"));
    }
    writeFile(path("small.jpg"), jpeg);
    EXPECT_EQ(readPictureSize(path("small.jpg")), QSize(40, 30));
    // One or five full application segments (64 or 320 KB) before the frame header: past the
    // first short looks, within the whole probe.
    QByteArray padded;
    for (const int segments : {1, 5}) {
        padded = jpeg.left(2);
        for (int i = 0; i < segments; ++i) {
            padded += QByteArray("\xFF\xE9\xFF\xFF", 4) + QByteArray(0xFFFF - 2, char('a' + i));
        }
        padded += jpeg.mid(2);
        writeFile(path("padded.jpg"), padded);
        EXPECT_EQ(readPictureSize(path("padded.jpg")), QSize(40, 30)) << segments;
    }
    writeFile(path("cut.jpg"), padded.left(200000));
    EXPECT_EQ(readPictureSize(path("cut.jpg")), std::nullopt);
}

TEST_F(Loading, ExifOrientationIsAppliedSoTheTurnIsWhatTheUserSees) {
    // Orientation 6: the stored picture is shown turned 90 degrees clockwise, so the red left
    // half becomes the top half.
    for (bool bigEndian : {true, false}) {
        const LoadResult result =
            loadPictureFromBytes(test::withExifOrientation(halves(), 6, bigEndian));
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.picture.orientation, 6);
        ASSERT_EQ(result.picture.image.size(), QSize(16, 32));
        EXPECT_TRUE(near(result.picture.image.pixelColor(8, 2), Qt::red));
        EXPECT_TRUE(near(result.picture.image.pixelColor(8, 29), Qt::blue));
    }
    const LoadResult eight = loadPictureFromBytes(test::withExifOrientation(halves(), 8));
    EXPECT_TRUE(near(eight.picture.image.pixelColor(8, 29), Qt::red));
    const LoadResult invalid = loadPictureFromBytes(test::withExifOrientation(halves(), 9));
    ASSERT_TRUE(invalid.ok());
    EXPECT_EQ(invalid.picture.image.size(), QSize(32, 16));
    EXPECT_EQ(invalid.picture.orientation, 1);
}

TEST_F(Loading, AJpegProfileSplitOverSegmentsIsJoinedAndUsed) {
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    ASSERT_GT(profile.size(), 100);
    QByteArray segments;
    const qsizetype half = profile.size() / 2;
    for (int part = 1; part <= 2; ++part) {
        const QByteArray chunk = part == 1 ? profile.left(half) : profile.mid(half);
        const QByteArray payload = QByteArray("ICC_PROFILE", 12) + char(part) + char(2) + chunk;
        segments += QByteArray("\xFF\xE2") + char((payload.size() + 2) >> 8) +
                    char((payload.size() + 2) & 0xFF) + payload;
    }
    const QByteArray jpeg = halves();
    const LoadResult result = loadPictureFromBytes(jpeg.left(2) + segments + jpeg.mid(2));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.picture.iccProfile, profile);
    EXPECT_EQ(result.picture.image.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    // One chunk missing: no profile rather than half of one.
    const qsizetype secondStart = segments.indexOf("\xFF\xE2", 4);
    const LoadResult partial =
        loadPictureFromBytes(jpeg.left(2) + segments.left(secondStart) + jpeg.mid(2));
    ASSERT_TRUE(partial.ok());
    EXPECT_TRUE(partial.picture.iccProfile.isEmpty());
}

TEST(ExifReader, HostileBlocksGiveTheDefaultWithoutReadingPastTheEnd) {
    const QByteArray good = test::withExifOrientation(QByteArray("\xFF\xD8", 2), 3).mid(12);
    const auto orientationOf = [](const QByteArray& block) {
        // A copy of exactly the block's size, so a read past it is caught by sanitizers.
        const QByteArray copy(block.constData(), block.size());
        return exifBlockOrientation(copy);
    };
    EXPECT_EQ(orientationOf(good), 3);
    const qsizetype valueEnd = 8 + 2 + 10;  // header and IFD offset, entry count, entry
    for (qsizetype cut = 0; cut < valueEnd; ++cut) {
        EXPECT_EQ(orientationOf(good.left(cut)), 1) << "cut at " << cut;
    }
    QByteArray farOffset = good;
    farOffset[4] = char(0x7F);  // IFD offset far beyond the block
    EXPECT_EQ(orientationOf(farOffset), 1);
    QByteArray manyEntries = good;
    manyEntries[8] = char(0xFF);  // 65000 entries claimed, one present
    manyEntries[9] = char(0xF0);
    const int many = orientationOf(manyEntries);
    EXPECT_TRUE(many >= 1 && many <= 8);
    QByteArray outOfRange = good;
    outOfRange[8 + 2 + 8 + 1] = 9;  // no orientation has that number
    EXPECT_EQ(orientationOf(outOfRange), 1);
}

TEST_F(Loading, DamagedJpegsAreNotLoadedButHarmlessQuirksAre) {
    const QByteArray jpeg = encodeJpeg(randomImage(64, 64, QImage::Format_RGB888, 1));
    const LoadResult truncated = loadPictureFromBytes(jpeg.left(jpeg.size() * 2 / 3));
    EXPECT_EQ(truncated.error, LoadError::Corrupt);
    EXPECT_FALSE(truncated.reason.isEmpty());
    EXPECT_TRUE(truncated.picture.isEmpty());

    EXPECT_TRUE(loadPictureFromBytes(jpeg + QByteArray(100, 'x')).ok()) << "junk after the end";
    // Stray bytes between the first segment and the next marker.
    const int app0End = 2 + 2 + (uchar(jpeg[4]) << 8 | uchar(jpeg[5]));
    const QByteArray stray = jpeg.left(app0End) + "abc" + jpeg.mid(app0End);
    const LoadResult strayResult = loadPictureFromBytes(stray);
    EXPECT_TRUE(strayResult.ok()) << strayResult.reason.toStdString();
    // The same harmless first warning must not hide data cut off later.
    const LoadResult strayAndCut = loadPictureFromBytes(stray.left(stray.size() * 2 / 3));
    EXPECT_EQ(strayAndCut.error, LoadError::Corrupt);
    EXPECT_TRUE(strayAndCut.reason.contains(QLatin1String("Premature end")))
        << strayAndCut.reason.toStdString();
}

TEST_F(Loading, AbsurdHeadersAreRefusedBeforeAnyLargeAllocation) {
    // A JPEG frame header patched to claim 65500 x 65500.
    QByteArray jpeg = encodeJpeg(randomImage(16, 16, QImage::Format_RGB888, 2));
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = jpeg[sof + 7] = char(0xFF);
    jpeg[sof + 6] = jpeg[sof + 8] = char(0xDC);
    const LoadResult bigJpeg = loadPictureFromBytes(jpeg);
    EXPECT_EQ(bigJpeg.error, LoadError::TooBig);
    EXPECT_TRUE(bigJpeg.reason.contains("65500 x 65500"));

    // A GIF screen of 65535 x 65535.
    const QByteArray gif("GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00;", 14);
    EXPECT_EQ(loadPictureFromBytes(gif).error, LoadError::TooBig);

    // A PNG whose header claims 100000 x 100000.
    QByteArray png = QByteArray(QImage(1, 1, QImage::Format_RGB32).isNull() ? "" : "");
    QImage one(1, 1, QImage::Format_RGB32);
    one.save(path("one.png"));
    png = test::readFile(path("one.png"));
    const quint32 side = 100000;
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = png[20 + i] = char(side >> (24 - 8 * i));
    }
    // The header's CRC, recomputed so the reader gets as far as the size.
    png.replace(29, 4, bigEndian(pngCrc(png.mid(12, 17))));
    const LoadResult bigPng = loadPictureFromBytes(png);
    EXPECT_EQ(bigPng.error, LoadError::TooBig) << bigPng.reason.toStdString();
}

TEST_F(Loading, TheFramesOfAnAnimatedPngAfterTheFirstAreCountedAsDropped) {
    QImage one(3, 2, QImage::Format_RGB32);
    one.fill(Qt::green);
    one.save(path("one.png"));
    QByteArray png = test::readFile(path("one.png"));
    const QByteArray typeAndData = QByteArray("acTL") + bigEndian(4) + bigEndian(0);
    const QByteArray chunk = bigEndian(8) + typeAndData + bigEndian(pngCrc(typeAndData));
    png.insert(8 + 25, chunk);  // after the signature and the header chunk
    const LoadResult result = loadPictureFromBytes(png);
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    EXPECT_EQ(result.picture.droppedPages, 3);
    EXPECT_EQ(result.picture.image.pixelColor(2, 1), QColor(Qt::green));
}

TEST_F(Loading, TooBigIsSaidInWordsAndFlagged) {
    QByteArray jpeg = encodeJpeg(randomImage(16, 16, QImage::Format_RGB888, 2));
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    jpeg[sof + 5] = jpeg[sof + 7] = char(0xFF);
    const QString file = write("huge.jpg", jpeg);
    test::ScriptedDialogs dialogs;
    Picture surface;
    QString failed;
    bool tooBig = false;
    EXPECT_FALSE(LoadPicFile(surface, file, &failed, false, &tooBig, &dialogs, "Zentavo"));
    EXPECT_TRUE(tooBig);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(LoadPicFile(surface, file, &failed, true, &tooBig, &dialogs, "Zentavo"));
    ASSERT_EQ(dialogs.messages(), QStringList{"Picture " + file + " is too big."});
    EXPECT_EQ(dialogs.shown[0].title, "Zentavo");
}

TEST_F(Loading, OnlyRegularFilesAreRead) {
    const QString fifo = path("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(loadPicture(fifo).error, LoadError::NotAFile);  // returns: no writer is waited for
    QDir(m_dir.path()).mkdir("folder.jpg");
    EXPECT_EQ(loadPicture(path("folder.jpg")).error, LoadError::NotAFile);
    EXPECT_EQ(loadPicture("/dev/zero").error, LoadError::NotAFile);
    EXPECT_EQ(loadPicture(path("none.jpg")).error, LoadError::NotFound);
    EXPECT_EQ(loadPicture(write("empty.jpg", {})).error, LoadError::Unsupported);
}

TEST_F(Loading, ACutOffBitmapIsNotLoaded) {
    const QImage image = randomImage(40, 30, QImage::Format_RGB888, 4);
    image.save(path("whole.bmp"), "bmp");
    const QByteArray bytes = test::readFile(path("whole.bmp"));
    EXPECT_TRUE(loadPictureFromBytes(bytes).ok());
    EXPECT_EQ(loadPictureFromBytes(bytes.left(bytes.size() - 100)).error, LoadError::Corrupt);
    // A header claiming a width and height whose row sizes overflow 64 bits when multiplied.
    QByteArray absurd = bytes;
    for (int i = 18; i < 26; ++i) {
        absurd[i] = char(0x7F);
    }
    EXPECT_FALSE(loadPictureFromBytes(absurd).ok());
    // A top-down bitmap (negative height) claiming 7 x 16777211 pixels in 73 bytes, which Qt
    // reads as a "successful" picture of 470 MB when its size goes unchecked.
    const QByteArray tall = QByteArray::fromHex(
        "424dae00000000000000360000002800000007000000050000ff010018000000000078000000c4cf0e00"
        "00c40e0000000000000000000063e47cff90db90a0504b12f2df60b79ea58d");
    EXPECT_EQ(loadPictureFromBytes(tall).error, LoadError::TooBig);
}

}  // namespace
}  // namespace zentavo
