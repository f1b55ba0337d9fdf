// What a photograph carries besides its pixels survives a flip or a turn, checked with exiftool
// (an independent reader) on real files: values kept, orientation 1, thumbnail redrawn,
// resolution following a quarter turn, and the picture as a viewer showed it, turned.
#include "batch/joboptions.h"
#include "batch/naming.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/savewithencoder.h"
#include "tests/batch/runfixture.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace zentavo::test {
namespace {

// Corner colours of the stored picture: top-left, top-right, bottom-left, bottom-right.
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

// Corners as a viewer shows them: {top-left, top-right, bottom-left, bottom-right}.
using Corners = std::array<QRgb, 4>;

Corners cornersOf(const QImage& image) {
    const int w = image.width() - 3;
    const int h = image.height() - 3;
    return {image.pixel(2, 2), image.pixel(w, 2), image.pixel(2, h), image.pixel(w, h)};
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 50 && std::abs(qGreen(a) - qGreen(b)) < 50 &&
           std::abs(qBlue(a) - qBlue(b)) < 50;
}

QJsonObject exiftool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("exiftool"), arguments);
    process.waitForFinished(60000);
    const QJsonArray array = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    return array.isEmpty() ? QJsonObject() : array.first().toObject();
}

void tag(const QString& path, const QStringList& assignments) {
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  QStringList{QStringLiteral("-q"), QStringLiteral("-n"),
                              QStringLiteral("-overwrite_original")} +
                      assignments + QStringList{path});
    process.waitForFinished(60000);
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

QSize thumbnailSize(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  {QStringLiteral("-b"), QStringLiteral("-ThumbnailImage"), path});
    process.waitForFinished(60000);
    return QImage::fromData(process.readAllStandardOutput()).size();
}

struct Case {
    const char* name;
    Operation operation;
    FlipDirection direction;
    const char* degrees;
    bool strip;
    bool lossless = false;
};

// Orientation 6 shows the stored corners {R, G, B, W} as {B, R, W, G}; each operation then
// moves the shown corners.
Corners expectedCorners(const Case& c) {
    const Corners shown = {Blue, Red, White, Green};
    if (c.operation == Operation::Flip) {
        return c.direction == FlipDirection::Horizontal
                   ? Corners{shown[1], shown[0], shown[3], shown[2]}
                   : Corners{shown[2], shown[3], shown[0], shown[1]};
    }
    const QString degrees = QString::fromLatin1(c.degrees);
    if (degrees == QLatin1String("-90")) {
        return {shown[2], shown[0], shown[3], shown[1]};
    }
    if (degrees == QLatin1String("-180")) {
        return {shown[3], shown[2], shown[1], shown[0]};
    }
    return {shown[1], shown[3], shown[0], shown[2]};
}

const Case Cases[] = {
    {"flip horizontal", Operation::Flip, FlipDirection::Horizontal, "", false},
    {"flip vertical", Operation::Flip, FlipDirection::Vertical, "", false},
    {"rotate 90", Operation::Rotate, FlipDirection::None, "-90", false},
    {"rotate 180", Operation::Rotate, FlipDirection::None, "-180", false},
    {"rotate 270", Operation::Rotate, FlipDirection::None, "-270", false},
    {"flip, stripped", Operation::Flip, FlipDirection::Horizontal, "", true},
    {"rotate 90, lossless", Operation::Rotate, FlipDirection::None, "-90", false, true},
    {"flip, lossless and stripped", Operation::Flip, FlipDirection::Vertical, "", true, true},
};

class KeepMetadata : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()) {
            GTEST_SKIP() << "exiftool is not installed (setup.sh installs it)";
        }
    }

    // Runs the operation of the case over input, as a run of the engine, and returns the
    // output's path.
    QString run(const QString& input, const QString& extension) {
        const Case& c = GetParam();
        FixedJobOptions options;
        options.op = c.operation;
        options.direction = c.direction;
        options.rotation = QString::fromLatin1(c.degrees);
        options.quality = c.lossless ? QualityMode::Lossless : QualityMode::Fixed;
        options.slider = 95;
        options.strip = c.strip;
        options.folder = dir.filePath(QStringLiteral("out-") + extension);
        QDir().mkpath(options.folder);
        RecordingFrontEnd frontEnd;
        const RunSummary summary = runBatch(options, frontEnd, {input}, 1);
        EXPECT_EQ(summary.written, 1) << summary.closingMessage.toStdString();
        const QStringList outputs = QDir(options.folder).entryList(QDir::Files);
        return outputs.size() == 1 ? QDir(options.folder).filePath(outputs.first()) : QString();
    }

    void expectPicture(const QString& output) {
        const QImage image(output);
        ASSERT_FALSE(image.isNull());
        const bool turned = GetParam().operation == Operation::Rotate &&
                            QString::fromLatin1(GetParam().degrees) != QLatin1String("-180");
        // Stored 64 x 48, shown 48 x 64 under orientation 6.
        EXPECT_EQ(image.size(), turned ? QSize(64, 48) : QSize(48, 64));
        const Corners expected = expectedCorners(GetParam());
        const Corners actual = cornersOf(image);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(near(actual[i], expected[i]))
                << "corner " << i << ": " << std::hex << actual[i] << " not " << expected[i];
        }
    }

    bool quarterTurn() const {
        const QString degrees = QString::fromLatin1(GetParam().degrees);
        return degrees == QLatin1String("-90") || degrees == QLatin1String("-270");
    }

    QTemporaryDir dir;
};

QStringList photoTags() {
    return {QStringLiteral("-Orientation=6"), QStringLiteral("-Make=Corvus"),
            QStringLiteral("-Model=K7"), QStringLiteral("-DateTimeOriginal=2021:05:06 07:08:09"),
            QStringLiteral("-GPSLatitude=48.5"), QStringLiteral("-GPSLatitudeRef=N"),
            QStringLiteral("-XMP-dc:Subject=harbour"), QStringLiteral("-XResolution=300"),
            QStringLiteral("-YResolution=200"), QStringLiteral("-ResolutionUnit=2")};
}

TEST_P(KeepMetadata, JpegKeepsItsMetadataWithOrientationOne) {
    const QString input = dir.filePath(QStringLiteral("in.jpg"));
    const QString thumbnail = dir.filePath(QStringLiteral("thumb.jpg"));
    const QString profile = dir.filePath(QStringLiteral("srgb.icc"));
    writeJpeg(input, quadrants(64, 48), 95);
    writeJpeg(thumbnail, quadrants(40, 30), 90);
    writeFile(profile, QColorSpace(QColorSpace::SRgb).iccProfile());
    tag(input, photoTags() + QStringList{QStringLiteral("-IPTC:Keywords=boats"),
                                         QStringLiteral("-Comment=our comment"),
                                         QStringLiteral("-ThumbnailImage<=") + thumbnail,
                                         QStringLiteral("-ICC_Profile<=") + profile});
    const QString output = run(input, QStringLiteral("jpg"));
    expectPicture(output);
    const QJsonObject tags =
        exiftool({QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1"), output});
    EXPECT_TRUE(tags.contains(QStringLiteral("ICC_Profile:ProfileDescription")));
    if (GetParam().strip) {
        for (const QString& key : tags.keys()) {
            EXPECT_FALSE(key.startsWith(QLatin1String("IFD")) ||
                         key.startsWith(QLatin1String("ExifIFD")) ||
                         key.startsWith(QLatin1String("GPS")) ||
                         key.startsWith(QLatin1String("XMP")) ||
                         key.startsWith(QLatin1String("IPTC")) ||
                         key == QLatin1String("File:Comment"))
                << key.toStdString();
        }
        // Shown under orientation 6, the stored 300 x 200 dpi are 200 x 300.
        EXPECT_EQ(tags.value(QStringLiteral("JFIF:XResolution")).toInt(), 200);
        return;
    }
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Orientation")).toInt(), 1);
    EXPECT_EQ(tags.value(QStringLiteral("XMP-tiff:Orientation")).toInt(), 1);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Corvus"));
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Model")).toString(), QStringLiteral("K7"));
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(),
              QStringLiteral("2021:05:06 07:08:09"));
    EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 48.5);
    EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Subject")).toString(), QStringLiteral("harbour"));
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:Keywords")).toString(), QStringLiteral("boats"));
    EXPECT_EQ(tags.value(QStringLiteral("File:Comment")).toString(),
              QStringLiteral("our comment"));
    const QImage picture(output);
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:ExifImageWidth")).toInt(), picture.width());
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:ExifImageHeight")).toInt(), picture.height());
    // Stored 300 x 200 dpi; shown under orientation 6 the axes are swapped once already.
    const bool swapped = !quarterTurn();
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:XResolution")).toInt(), swapped ? 200 : 300);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:YResolution")).toInt(), swapped ? 300 : 200);
    EXPECT_EQ(tags.value(QStringLiteral("JFIF:XResolution")).toInt(), swapped ? 200 : 300);
    const QSize thumb = thumbnailSize(output);
    ASSERT_TRUE(thumb.isValid());
    EXPECT_EQ(std::max(thumb.width(), thumb.height()), 40);
    EXPECT_EQ(thumb.width() > thumb.height(), picture.width() > picture.height());
}

TEST_P(KeepMetadata, TiffAndPngKeepTheirMetadataWithOrientationOne) {
    QImage stored = quadrants(64, 48);
    const QString tiff = dir.filePath(QStringLiteral("in.tif"));
    const QString png = dir.filePath(QStringLiteral("in.png"));
    Picture picture;
    picture.image = stored;
    ASSERT_TRUE(SaveWithEncoder(picture, tiff, QStringLiteral("image/tiff")));
    ASSERT_TRUE(stored.save(png));
    tag(tiff, photoTags() + QStringList{QStringLiteral("-Artist=Ines")});
    tag(png, photoTags() + QStringList{QStringLiteral("-PNG:Title=quay"),
                                       QStringLiteral("-PixelsPerUnitX=11811"),
                                       QStringLiteral("-PixelsPerUnitY=7874"),
                                       QStringLiteral("-PixelUnits=1")});
    for (const auto& [input, extension] : {std::pair{tiff, QStringLiteral("tif")},
                                           std::pair{png, QStringLiteral("png")}}) {
        SCOPED_TRACE(extension.toStdString());
        const QString output = run(input, extension);
        expectPicture(output);
        const QJsonObject tags =
            exiftool({QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1"), output});
        if (GetParam().strip) {
            EXPECT_FALSE(tags.contains(QStringLiteral("IFD0:Make")));
            EXPECT_FALSE(tags.contains(QStringLiteral("XMP-dc:Subject")));
            EXPECT_FALSE(tags.contains(QStringLiteral("PNG:Title")));
            continue;
        }
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Orientation")).toInt(), 1);
        EXPECT_EQ(tags.value(QStringLiteral("XMP-tiff:Orientation")).toInt(), 1);
        EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(),
                  QStringLiteral("2021:05:06 07:08:09"));
        EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 48.5);
        EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Subject")).toString(),
                  QStringLiteral("harbour"));
        const bool swapped = !quarterTurn();
        if (extension == QLatin1String("tif")) {
            EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Corvus"));
            EXPECT_EQ(tags.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ines"));
            EXPECT_EQ(tags.value(QStringLiteral("IFD0:ResolutionUnit")).toInt(), 2);
            EXPECT_EQ(tags.value(QStringLiteral("IFD0:XResolution")).toInt(), swapped ? 200 : 300);
            EXPECT_EQ(tags.value(QStringLiteral("IFD0:YResolution")).toInt(), swapped ? 300 : 200);
        } else {
            EXPECT_EQ(tags.value(QStringLiteral("PNG:Title")).toString(), QStringLiteral("quay"));
            EXPECT_EQ(tags.value(QStringLiteral("PNG-pHYs:PixelsPerUnitX")).toInt(),
                      swapped ? 7874 : 11811);
            EXPECT_EQ(tags.value(QStringLiteral("PNG-pHYs:PixelsPerUnitY")).toInt(),
                      swapped ? 11811 : 7874);
        }
    }
}

// The newer formats, each written by its own library with the JPEG's metadata (shown upright,
// so the orientation it states is 1), then flipped or turned by a run: exiftool reads the
// values back from WebP's chunks, HEIF's and AVIF's items and JPEG XL's boxes. A lossless run
// turns a HEIF by its boxes: its EXIF and XMP then state the orientation of the new turn.
TEST_P(KeepMetadata, NewerFormatsKeepTheirMetadataThroughTheirOwnLibraries) {
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    writeJpeg(jpeg, quadrants(64, 48), 95);
    tag(jpeg, photoTags());
    LoadResult loaded = loadPicture(jpeg);
    ASSERT_TRUE(loaded.ok());
    const Case& c = GetParam();
    for (const char* extension : {"webp", "heic", "avif", "jxl"}) {
        SCOPED_TRACE(extension);
        const QString input = dir.filePath(QStringLiteral("in.") + QLatin1String(extension));
        ASSERT_TRUE(SaveWithEncoder(loaded.picture, input,
                                    mimeTypeOf(formatClassOf(input)), nullptr,
                                    EncoderQuality::fixed(95)));
        const QString output = run(input, QLatin1String(extension));
        const LoadResult shown = loadPicture(output);
        ASSERT_TRUE(shown.ok()) << shown.reason.toStdString();
        const bool turned = c.operation == Operation::Rotate && quarterTurn();
        EXPECT_EQ(shown.picture.image.size(), turned ? QSize(64, 48) : QSize(48, 64));
        const Corners expected = expectedCorners(c);
        const Corners actual = cornersOf(shown.picture.image.convertToFormat(QImage::Format_RGB32));
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(near(actual[i], expected[i])) << "corner " << i;
        }
        const QJsonObject tags =
            exiftool({QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1"), output});
        if (c.strip) {
            EXPECT_FALSE(tags.contains(QStringLiteral("IFD0:Make")));
            EXPECT_FALSE(tags.contains(QStringLiteral("XMP-dc:Subject")));
            EXPECT_FALSE(tags.contains(QStringLiteral("GPS:GPSLatitude")));
            continue;
        }
        // A lossless turn of a HEIF or AVIF keeps the coded picture: its metadata states the
        // new turn (6 for a quarter turn clockwise); anything re-encoded states 1.
        const bool byBoxes = c.lossless && (QLatin1String(extension) == QLatin1String("heic") ||
                                            QLatin1String(extension) == QLatin1String("avif"));
        const int orientation = byBoxes ? 6 : 1;
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Orientation")).toInt(), orientation);
        EXPECT_EQ(tags.value(QStringLiteral("XMP-tiff:Orientation")).toInt(), orientation);
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Corvus"));
        EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(),
                  QStringLiteral("2021:05:06 07:08:09"));
        EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 48.5);
        EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Subject")).toString(), QStringLiteral("harbour"));
        if (!byBoxes) {
            EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:ExifImageWidth")).toInt(),
                      shown.picture.width());
        }
    }
}

// Content and name disagree: the output takes the name's format and what it can hold of the
// content's metadata, and nothing of the content's own layout (a TIFF's strip offsets).
TEST(KeepMetadataAcrossFormats, WhatTheTargetCanHoldIsCarriedOver) {
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()) {
        GTEST_SKIP() << "exiftool is not installed (setup.sh installs it)";
    }
    QTemporaryDir dir;
    // Tagged under their true names (exiftool refuses a wrong one), then renamed.
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    writeJpeg(jpeg, quadrants(64, 48), 95);
    tag(jpeg, photoTags() + QStringList{QStringLiteral("-Comment=our comment")});
    const QString tiff = dir.filePath(QStringLiteral("scan.tif"));
    Picture picture;
    picture.image = quadrants(64, 48);
    ASSERT_TRUE(SaveWithEncoder(picture, tiff, QStringLiteral("image/tiff")));
    tag(tiff, photoTags() + QStringList{QStringLiteral("-Artist=Ines")});
    const QString jpegAsPng = dir.filePath(QStringLiteral("photo.png"));
    const QString tiffAsJpeg = dir.filePath(QStringLiteral("scan.jpg"));
    ASSERT_TRUE(QFile::rename(jpeg, jpegAsPng) && QFile::rename(tiff, tiffAsJpeg));

    FixedJobOptions options;
    options.folder = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(options.folder);
    RecordingFrontEnd frontEnd;
    ASSERT_EQ(runBatch(options, frontEnd, {jpegAsPng, tiffAsJpeg}, 1).written, 2);

    const QStringList args = {QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1")};
    const QJsonObject png =
        exiftool(args + QStringList{QDir(options.folder).filePath(QStringLiteral("photo_flipped.png"))});
    EXPECT_EQ(png.value(QStringLiteral("File:FileType")).toString(), QStringLiteral("PNG"));
    EXPECT_EQ(png.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Corvus"));
    EXPECT_EQ(png.value(QStringLiteral("IFD0:Orientation")).toInt(), 1);
    EXPECT_EQ(png.value(QStringLiteral("XMP-dc:Subject")).toString(), QStringLiteral("harbour"));
    EXPECT_EQ(png.value(QStringLiteral("PNG:Comment")).toString(), QStringLiteral("our comment"));
    EXPECT_EQ(png.value(QStringLiteral("PNG-pHYs:PixelsPerUnitX")).toInt(), 7874);

    const QJsonObject out =
        exiftool(args + QStringList{QDir(options.folder).filePath(QStringLiteral("scan_flipped.jpg"))});
    EXPECT_EQ(out.value(QStringLiteral("File:FileType")).toString(), QStringLiteral("JPEG"));
    EXPECT_EQ(out.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ines"));
    EXPECT_EQ(out.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(),
              QStringLiteral("2021:05:06 07:08:09"));
    EXPECT_FALSE(out.contains(QStringLiteral("IFD0:StripOffsets")));
    EXPECT_FALSE(out.contains(QStringLiteral("IFD0:Compression")));
    EXPECT_EQ(out.value(QStringLiteral("JFIF:XResolution")).toInt(), 200);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, KeepMetadata, ::testing::ValuesIn(Cases),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param.name);
                             name.remove(QLatin1Char(' ')).remove(QLatin1Char(','));
                             return name.toStdString();
                         });

}  // namespace
}  // namespace zentavo::test
