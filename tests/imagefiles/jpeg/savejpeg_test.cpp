#include "imagefiles/jpeg/detectjpegquality.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "report/zentavoerror.h"
#include "tests/imagefiles/writefixtures.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace zentavo {
namespace {

using test::readFile;

Picture pictureOf(const QImage& image, int subsampling = -1) {
    Picture picture;
    picture.image = image;
    picture.format = PictureFormat::Jpeg;
    picture.jpegSubsampling = subsampling;
    return picture;
}

int subsamplingOf(const QByteArray& jpeg) {
    tjhandle handle = tjInitDecompress();
    int width = 0;
    int height = 0;
    int subsampling = -1;
    int colorspace = 0;
    const int result =
        tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                            jpeg.size(), &width, &height, &subsampling, &colorspace);
    tjDestroy(handle);
    return result == 0 ? subsampling : -100;
}

// The description SaveJpeg raised, or "no error".
QString saveJpegError(const Picture& picture, const QString& path, int quality = 80) {
    try {
        SaveJpeg(picture, path, quality);
    } catch (const ZentavoError& error) {
        return QString::number(int(error.number())) + QLatin1Char(' ') + error.description();
    }
    return QStringLiteral("no error");
}

TEST(SaveJpeg, QualityOneAndHundredReachTheQuantisationTables) {
    QTemporaryDir dir;
    const Picture picture = pictureOf(test::photoLike(96, 64));
    const QString low = dir.filePath(QStringLiteral("q1.jpg"));
    const QString high = dir.filePath(QStringLiteral("q100.jpg"));
    SaveJpeg(picture, low, 1);
    SaveJpeg(picture, high, 100);
    // Baseline tables: quality 100 divides by 1 everywhere, quality 1 by the largest step, 255.
    EXPECT_EQ(test::firstQuantTable(readFile(high)), std::vector<int>(64, 1));
    EXPECT_EQ(test::firstQuantTable(readFile(low)), std::vector<int>(64, 255));
    EXPECT_LT(QFileInfo(low).size(), QFileInfo(high).size());
}

TEST(SaveJpeg, KeepsTheInputSubsamplingAndUses420Otherwise) {
    const QImage photo = test::photoLike(48, 32);
    EXPECT_EQ(subsamplingOf(encodeJpeg(pictureOf(photo, TJSAMP_444), 90)), TJSAMP_444);
    EXPECT_EQ(subsamplingOf(encodeJpeg(pictureOf(photo, TJSAMP_422), 90)), TJSAMP_422);
    EXPECT_EQ(subsamplingOf(encodeJpeg(pictureOf(photo, -1), 90)), TJSAMP_420);
    const QImage grey = photo.convertToFormat(QImage::Format_Grayscale16);
    EXPECT_EQ(subsamplingOf(encodeJpeg(pictureOf(grey, -1), 90)), TJSAMP_GRAY);
}

TEST(SaveJpeg, AlphaIsComposedOntoWhite) {
    QImage clear(16, 16, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const QByteArray jpeg = encodeJpeg(pictureOf(clear), 100);
    const QImage back = QImage::fromData(jpeg, "JPEG");
    ASSERT_FALSE(back.isNull());
    EXPECT_GE(qRed(back.pixel(8, 8)), 250);
    EXPECT_GE(qBlue(back.pixel(8, 8)), 250);
}

TEST(SaveJpeg, OverwritesAnEarlierFileOfTheSameName) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("same.jpg"));
    SaveJpeg(pictureOf(test::photoLike(64, 64, 1)), path, 95);
    const Picture second = pictureOf(test::photoLike(32, 16, 2));
    SaveJpeg(second, path, 40);
    EXPECT_EQ(readFile(path), encodeJpeg(second, 40));
    EXPECT_EQ(test::folderEntries(dir.path()), QStringList{QStringLiteral("same.jpg")});
}

TEST(SaveJpeg, MissingFolderRaisesStatus7) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/out.jpg"));
    EXPECT_EQ(saveJpegError(pictureOf(test::photoLike(8, 8)), path),
              QStringLiteral("5 Cannot save the image. GDI+ Error:7"));
}

TEST(SaveJpeg, BadQualityOrEmptyPictureRaisesStatus2AndWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.jpg"));
    EXPECT_EQ(saveJpegError(pictureOf(test::photoLike(8, 8)), path, 0),
              QStringLiteral("5 Cannot save the image. GDI+ Error:2"));
    EXPECT_EQ(saveJpegError(Picture(), path),
              QStringLiteral("5 Cannot save the image. GDI+ Error:2"));
    EXPECT_TRUE(test::folderEntries(dir.path()).isEmpty());
}

// The output name may be a link to a file the user cares about (even an input): the link is
// replaced by the new file, the file it pointed to stays as it was.
TEST(SaveJpeg, OutputNameThatIsALinkIsReplacedAndItsTargetKept) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("input.jpg"));
    const QString link = dir.filePath(QStringLiteral("out.jpg"));
    test::writeFile(target, "the input");
    ASSERT_TRUE(QFile::link(target, link));
    const Picture picture = pictureOf(test::photoLike(16, 16));
    SaveJpeg(picture, link, 80);
    EXPECT_EQ(readFile(target), QByteArray("the input"));
    struct stat info;
    ASSERT_EQ(lstat(QFile::encodeName(link).constData(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(readFile(link), encodeJpeg(picture, 80));
}

TEST(SaveJpeg, OutputNameOf255BytesWorks) {
    QTemporaryDir dir;
    const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".jpg");
    ASSERT_EQ(QFile::encodeName(name).size(), 255);
    SaveJpeg(pictureOf(test::photoLike(8, 8)), dir.filePath(name), 80);
    EXPECT_EQ(test::folderEntries(dir.path()), QStringList{name});
    const QString png = QString(251, QLatin1Char('p')) + QStringLiteral(".png");
    EXPECT_TRUE(SaveWithEncoder(pictureOf(test::photoLike(8, 8)), dir.filePath(png),
                                QStringLiteral("image/png")));
    EXPECT_TRUE(QFileInfo(dir.filePath(png)).size() > 0);
}

// A profile larger than one marker is split over several APP2 markers and joins up again.
TEST(SaveJpeg, IccProfileSurvivesATurnAndIsSplitIntoMarkers) {
    Picture picture = pictureOf(test::photoLike(24, 16));
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    ASSERT_FALSE(adobe.isEmpty());
    picture.iccProfile = adobe;
    picture.image.setColorSpace(QColorSpace::fromIccProfile(adobe));
    turnPicture(picture, 1);
    EXPECT_EQ(test::jpegIccProfile(encodeJpeg(picture, 80)), adobe);

    QByteArray large(140000, Qt::Uninitialized);
    for (int i = 0; i < large.size(); ++i) {
        large[i] = char(i * 7 + i / 300);
    }
    picture.iccProfile = large;
    const QByteArray jpeg = encodeJpeg(picture, 80);
    EXPECT_EQ(test::jpegIccProfile(jpeg), large);
    EXPECT_EQ(jpeg.count(QByteArray("ICC_PROFILE", 12)), 3);
    EXPECT_FALSE(QImage::fromData(jpeg, "JPEG").isNull());
}

struct QualityCase {
    double width;
    double height;
    qint64 length;
    int quality;
};

// Ratios against 24-bit colour: 10, 30, 100, 100.6, 102.4, below 1; v = 90.5 and 91.5.
TEST(DetectJpegQuality, MapsTheCompressionRatioToAQuality) {
    const QualityCase cases[] = {
        {640, 480, 92160, 91},   {640, 480, 30720, 71},
        {640, 480, 9216, 1},     {503, 2, 30, 1},
        {640, 480, 9000, 1},     {640, 480, 1000000, 100},
        {640, 480, 921600, 100}, {7, 1, 2, 90},
        {19, 1, 6, 92},          {639.987, 479.99, 92160, 91},
    };
    for (const QualityCase& c : cases) {
        EXPECT_EQ(DetectJpegQuality(c.width, c.height, c.length), c.quality)
            << c.width << " x " << c.height << ", " << c.length << " bytes";
    }
}

TEST(DetectJpegQuality, RatiosBeyond16BitsAndEmptyFilesOverflow) {
    for (const qint64 length : {qint64(1), qint64(0)}) {
        try {
            DetectJpegQuality(65535, 1, length);
            ADD_FAILURE() << "no overflow for " << length << " bytes";
        } catch (const ZentavoError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::Overflow);
        }
    }
    // v = 101 - ratio: a ratio of 32,869 gives -32,768, the last value that fits; one more
    // does not.
    EXPECT_EQ(DetectJpegQuality(32869, 1, 3), 1);
    EXPECT_THROW(DetectJpegQuality(32870, 1, 3), ZentavoError);
}

TEST(DetectJpegQuality, ReadsOnlyTheLengthOfTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.jpg"));
    // Not a JPEG at all: the estimate must not decode it.
    test::writeFile(path, QByteArray(30720, 'x'));
    Picture picture = pictureOf(QImage(640, 480, QImage::Format_RGB32));
    EXPECT_EQ(DetectJpegQuality(picture, path), 71);
    EXPECT_THROW(DetectJpegQuality(picture, dir.filePath(QStringLiteral("gone.jpg"))),
                 ZentavoError);
}

}  // namespace
}  // namespace zentavo
