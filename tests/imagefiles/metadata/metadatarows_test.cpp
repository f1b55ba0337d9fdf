// What a file holds besides its pixels, through zentavo-batch as a user runs it: nothing leaks
// through --strip on any road, and nothing is bent on the way. One row a fault, each with inputs
// made here, checked with exiftool and with walks of the output's own bytes.
#include "imagefiles/savewithencoder.h"
#include "tests/hostile/batchprocess.h"
#include "tests/imagefiles/colour/pressprofile.h"
#include "tests/imagefiles/metadata/metadatafixtures.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace zentavo::test {
namespace {

const QStringList Lossless = {QStringLiteral("--quality"), QStringLiteral("lossless")};
const QStringList Reencoded = {QStringLiteral("--quality"), QStringLiteral("90")};
const QStringList Strip = {QStringLiteral("--strip")};
const QStringList Turn90 = {QStringLiteral("--rotate"), QStringLiteral("90")};
const QStringList Turn180 = {QStringLiteral("--rotate"), QStringLiteral("180")};
const QStringList FlipHorizontal = {QStringLiteral("--flip"), QStringLiteral("horizontal")};

// Runs zentavo-batch with options on input, writing into outputFolder (made if missing).
BatchProcess runOn(const QString& input, const QString& outputFolder, const QStringList& options) {
    QDir().mkpath(outputFolder);
    return runBatch(options + QStringList{QStringLiteral("-q"), QStringLiteral("-j1"),
                                          QStringLiteral("-o"), outputFolder, input});
}

// The one file in folder, or an empty path when there is not exactly one.
QString onlyFile(const QString& folder) {
    const QStringList files = QDir(folder).entryList(QDir::Files);
    return files.size() == 1 ? QDir(folder).filePath(files.first()) : QString();
}

// What an output may hold after --strip: the file's structure, its profile and its resolution.
// Every other tag exiftool reads in it is a leak.
void expectOnlyStructure(const QString& path) {
    static const std::set<QString> wholeGroups = {
        QStringLiteral("ExifTool"),  QStringLiteral("System"), QStringLiteral("File"),
        QStringLiteral("Composite"), QStringLiteral("JFIF"),   QStringLiteral("PNG-pHYs")};
    static const std::set<QString> structure = {
        // JPEG's Adobe segment
        QStringLiteral("APP14:DCTEncodeVersion"), QStringLiteral("APP14:APP14Flags0"),
        QStringLiteral("APP14:APP14Flags1"), QStringLiteral("APP14:ColorTransform"),
        // PNG
        QStringLiteral("PNG:ImageWidth"), QStringLiteral("PNG:ImageHeight"),
        QStringLiteral("PNG:BitDepth"), QStringLiteral("PNG:ColorType"),
        QStringLiteral("PNG:Compression"), QStringLiteral("PNG:Filter"),
        QStringLiteral("PNG:Interlace"), QStringLiteral("PNG:SRGBRendering"),
        QStringLiteral("PNG:Gamma"), QStringLiteral("PNG:ProfileName"),
        // TIFF
        QStringLiteral("IFD0:ImageWidth"), QStringLiteral("IFD0:ImageHeight"),
        QStringLiteral("IFD0:BitsPerSample"), QStringLiteral("IFD0:Compression"),
        QStringLiteral("IFD0:PhotometricInterpretation"), QStringLiteral("IFD0:StripOffsets"),
        QStringLiteral("IFD0:Orientation"), QStringLiteral("IFD0:SamplesPerPixel"),
        QStringLiteral("IFD0:RowsPerStrip"), QStringLiteral("IFD0:StripByteCounts"),
        QStringLiteral("IFD0:XResolution"), QStringLiteral("IFD0:YResolution"),
        QStringLiteral("IFD0:ResolutionUnit"), QStringLiteral("IFD0:PlanarConfiguration"),
        QStringLiteral("IFD0:Predictor"), QStringLiteral("IFD0:ExtraSamples"),
        QStringLiteral("IFD0:SampleFormat"),
        // GIF
        QStringLiteral("GIF:GIFVersion"), QStringLiteral("GIF:ImageWidth"),
        QStringLiteral("GIF:ImageHeight"), QStringLiteral("GIF:HasColorMap"),
        QStringLiteral("GIF:ColorResolutionDepth"), QStringLiteral("GIF:BitsPerPixel"),
        QStringLiteral("GIF:BackgroundColor"), QStringLiteral("GIF:AnimationIterations"),
        QStringLiteral("GIF:FrameCount"), QStringLiteral("GIF:Duration")};
    const QJsonObject tags = exiftoolTags(path);
    ASSERT_FALSE(tags.isEmpty()) << "exiftool read nothing of " << path.toStdString();
    for (const QString& key : tags.keys()) {
        const QString group = key.section(QLatin1Char(':'), 0, 0);
        const bool allowed = key == QLatin1String("SourceFile") || wholeGroups.count(group) ||
                             group.startsWith(QLatin1String("ICC")) || structure.count(key);
        EXPECT_TRUE(allowed) << key.toStdString() << " left in " << path.toStdString();
    }
}

// A JPEG with every kind of private segment a camera or an editor writes: EXIF with GPS, XMP
// with extended XMP, Photoshop resources (a URL with a position, IPTC, a thumbnail), a Meta
// segment with an owner, a GoPro and a FLIR serial number, Canon CIFF dates, a comment and a
// colour profile.
QByteArray privateJpeg() {
    const QByteArray profile = QColorSpace(QColorSpace::SRgb).iccProfile();
    const QByteArray guid = "0123456789ABCDEF0123456789ABCDEF";
    const QByteArray extended(80 * 1024, 'e');
    QByteArray segments;
    segments += jpegSegment(0xE1, QByteArray("Exif\0\0", 6) + exifBlock(1, 3, 300));
    segments += jpegSegment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) +
                                      xmpPacket(QStringLiteral("harbour"), guid));
    for (int part = 0; part < 2; ++part) {
        // Signature, GUID, the whole length and this part's offset, then the part.
        const qsizetype offset = part * 40 * 1024;
        char numbers[8];
        qToBigEndian<quint32>(quint32(extended.size()), numbers);
        qToBigEndian<quint32>(quint32(offset), numbers + 4);
        segments += jpegSegment(0xE1, QByteArray("http://ns.adobe.com/xmp/extension/", 35) + guid +
                                          QByteArray(numbers, 8) + extended.mid(offset, 40 * 1024));
    }
    segments += jpegSegment(0xE2, QByteArray("ICC_PROFILE", 12) + char(1) + char(1) + profile);
    segments += jpegSegment(0xE3, QByteArray("Meta\0\0", 6) + "owner Ines Quarry");
    segments += jpegSegment(0xE6, QByteArray("GoPro\0", 6) + "serial C3141592653");
    segments += jpegSegment(0xE1, QByteArray("FLIR\0", 5) + "serial F27182818");
    segments += jpegSegment(0xE0, QByteArray("II\x1a\0\0\0HEAPCCDR", 14) + "2021:05:06");
    segments += jpegSegment(
        0xED, QByteArray("Photoshop 3.0", 14) +
                  photoshopResources("boats", {{0x040B, "https://maps?ll=48.2085,16.3721"},
                                               {0x040C, plainJpeg(quadrants(16, 16))}}));
    segments += jpegSegment(0xFE, "taken by Ines Quarry");
    return withSegments(plainJpeg(quadrants(64, 48)), segments);
}

void expectNothingPrivate(const QString& output) {
    const QByteArray bytes = readBytes(output);
    for (const char* secret : {"Ines", "C3141592653", "F27182818", "48.2085", "HEAPCCDR", "harbour",
                               "boats", "eeeeeeee"}) {
        EXPECT_FALSE(bytes.contains(secret)) << secret;
    }
    for (const auto& [marker, payload] : segmentsOf(bytes)) {
        const bool structure = (marker == 0xE0 && payload.startsWith("JFIF")) ||
                               (marker == 0xE2 && payload.startsWith("ICC_PROFILE")) ||
                               (marker == 0xEE && payload.startsWith("Adobe"));
        EXPECT_TRUE(structure) << "segment " << std::hex << marker << ": "
                               << payload.left(12).toStdString();
    }
    EXPECT_TRUE(exiftoolTags(output).contains(QStringLiteral("ICC_Profile:ProfileDescription")));
    expectOnlyStructure(output);
}

// One row of the table: the fault it holds (numbered as the report that found it) and what it
// does in a fresh folder: make the input, run the program, check the output.
struct Row {
    const char* name;
    std::function<void(const QDir& dir)> check;
};

QString inFolder(const QDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(writeBytes(path, bytes));
    return path;
}

// Runs the program on input and returns its one output; the run must succeed.
QString outputOf(const QDir& dir, const QString& input, const QStringList& options) {
    const QString folder = dir.filePath(QStringLiteral("out"));
    const BatchProcess run = runOn(input, folder, options);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return onlyFile(folder);
}

// Mean difference of the RGB samples of two pictures of the same size; 255 when they differ in
// size.
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return 255;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double total = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int i = 0; i < x.width() * 3; ++i) {
            total += std::abs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
        }
    }
    return total / (double(x.width()) * x.height() * 3);
}

// The picture of a CMYK TIFF in layout as the program writes it to PNG.
QImage cmykAsPng(const QDir& dir, InkLayout layout, const char* name) {
    const QString input =
        inFolder(dir, name, cmykTiff(64, 48, layout, 8, pressProfile()));  // a TIFF named .png
    const QString folder = dir.filePath(QStringLiteral("out-") + QString::fromLatin1(name));
    const BatchProcess run = runOn(input, folder, FlipHorizontal);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString output = onlyFile(folder);
    const QJsonObject tags = exiftoolTags(output);
    EXPECT_EQ(tags.value(QStringLiteral("File:FileType")).toString(), QStringLiteral("PNG"));
    EXPECT_NE(tags.value(QStringLiteral("ICC-header:ColorSpaceData")).toString().trimmed(),
              QStringLiteral("CMYK"))
        << "a CMYK profile on RGB pixels";
    return QImage(output);
}

// A TIFF at dpi comes out at dpi, in inches, through a flip.
void expectDpiKept(const QDir& dir, double dpi) {
    const QString name = QStringLiteral("at%1.tif").arg(dpi);
    const QString input = dir.filePath(name);
    ASSERT_TRUE(writeBytes(input, plainTiff(quadrants(64, 48), dpi)));
    const QString folder = dir.filePath(QStringLiteral("out%1").arg(dpi));
    ASSERT_EQ(runOn(input, folder, FlipHorizontal).exitCode, 0);
    const QJsonObject tags = exiftoolTags(onlyFile(folder));
    EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("IFD0:XResolution")).toDouble(), dpi);
    EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("IFD0:YResolution")).toDouble(), dpi);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:ResolutionUnit")).toInt(), 2) << "inches";
}

// The comment segments of a JPEG, in order.
QList<QByteArray> commentsOf(const QString& path) {
    QList<QByteArray> comments;
    for (const auto& [marker, payload] : segmentsOf(readBytes(path))) {
        if (marker == 0xFE) {
            comments << payload;
        }
    }
    return comments;
}

QByteArray twoComments() {
    return withSegments(
        plainJpeg(quadrants(64, 48)),
        jpegSegment(0xFE, "first, from the camera") + jpegSegment(0xFE, "second, from the editor"));
}

// The segments of a JPEG that start with signature.
QList<QByteArray> segmentsStartingWith(const QString& path, int marker,
                                       const QByteArray& signature) {
    QList<QByteArray> found;
    for (const auto& [m, payload] : segmentsOf(readBytes(path))) {
        if (m == marker && payload.startsWith(signature)) {
            found << payload;
        }
    }
    return found;
}

// The corners of a picture: top-left, top-right, bottom-left, bottom-right.
std::array<QRgb, 4> cornersOf(const QImage& image) {
    const int w = image.width() - 3;
    const int h = image.height() - 3;
    return {image.pixel(2, 2), image.pixel(w, 2), image.pixel(2, h), image.pixel(w, h)};
}

// A JPEG stored as quadrants whose orientation 6 is a LONG, flipped: shown as Blue, Red / White,
// Green under orientation 6, the flip shows Red, Blue / Green, White.
void expectLongOrientationHonoured(const QDir& dir, const QStringList& road) {
    const QString input =
        inFolder(dir, "long.jpg",
                 withSegments(plainJpeg(quadrants(64, 48)),
                              jpegSegment(0xE1, QByteArray("Exif\0\0", 6) + exifBlock(6, 4))));
    const QString output = outputOf(dir, input, road + FlipHorizontal);
    const QImage image(output);
    ASSERT_EQ(image.size(), QSize(48, 64));
    const std::array<QRgb, 4> expected = {Red, Blue, Green, White};
    const std::array<QRgb, 4> corners = cornersOf(image);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(near(corners[size_t(i)], expected[size_t(i)])) << "corner " << i;
    }
    EXPECT_EQ(exiftoolTags(output).value(QStringLiteral("IFD0:Orientation")).toInt(), 1);
}

float rampSample(int x, int y, int channel) {
    return float(x) / 7.0f + float(y) * 0.001f + float(channel) * 0.25f + 0.123456f;
}

const Row Rows[] = {
    {"1a strip on the lossless road keeps no private segment",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "private.jpg", privateJpeg());
         expectNothingPrivate(outputOf(dir, input, Strip + Lossless + Turn90));
     }},
    {"1b strip on the re-encoding road keeps no private segment",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "private.jpg", privateJpeg());
         expectNothingPrivate(outputOf(dir, input, Strip + Reencoded + Turn90));
     }},
    {"1c strip keeps no GIF comment",
     [](const QDir& dir) {
         const QString input = dir.filePath(QStringLiteral("commented.gif"));
         Picture picture;
         picture.image = quadrants(32, 16);
         ASSERT_TRUE(SaveWithEncoder(picture, input, QStringLiteral("image/gif")));
         ASSERT_TRUE(exiftoolWrite(input, {QStringLiteral("-Comment=taken by Ines")}));
         ASSERT_TRUE(readBytes(input).contains("Ines"));
         const QString output = outputOf(dir, input, Strip + Turn90);
         EXPECT_FALSE(readBytes(output).contains("Ines"));
         expectOnlyStructure(output);
     }},
    {"1d strip keeps no PNG text, EXIF or XMP",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "tagged.png", plainPng(quadrants(32, 16)));
         ASSERT_TRUE(exiftoolWrite(
             input, {QStringLiteral("-PNG:Comment=Ines"), QStringLiteral("-EXIF:Artist=Ines"),
                     QStringLiteral("-XMP-dc:Creator=Ines"), QStringLiteral("-GPSLatitude=48.2"),
                     QStringLiteral("-PixelsPerUnitX=11811"),
                     QStringLiteral("-PixelsPerUnitY=11811"), QStringLiteral("-PixelUnits=1")}));
         const QString output = outputOf(dir, input, Strip + Turn90);
         EXPECT_FALSE(readBytes(output).contains("Ines"));
         EXPECT_EQ(exiftoolTags(output).value(QStringLiteral("PNG-pHYs:PixelsPerUnitX")).toInt(),
                   11811);
         expectOnlyStructure(output);
     }},
    {"1e strip keeps no TIFF tag but the structure and the resolution",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "tagged.tif", plainTiff(quadrants(32, 16), 300));
         ASSERT_TRUE(exiftoolWrite(
             input, {QStringLiteral("-Artist=Ines"), QStringLiteral("-Make=Corvus"),
                     QStringLiteral("-DateTimeOriginal=2021:05:06 07:08:09"),
                     QStringLiteral("-XMP-dc:Creator=Ines"), QStringLiteral("-IPTC:By-line=Ines"),
                     QStringLiteral("-GPSLatitude=48.2")}));
         const QString output = outputOf(dir, input, Strip + Turn90);
         EXPECT_FALSE(readBytes(output).contains("Ines"));
         EXPECT_EQ(exiftoolTags(output).value(QStringLiteral("IFD0:XResolution")).toInt(), 300);
         expectOnlyStructure(output);
     }},
    {"1f strip keeps nothing private in WebP, HEIF, AVIF and JPEG XL outputs",
     [](const QDir& dir) {
         const QString jpeg = inFolder(dir, "private.jpg", privateJpeg());
         ASSERT_TRUE(exiftoolWrite(
             jpeg, {QStringLiteral("-Artist=Ines"), QStringLiteral("-GPSLatitude=48.2085")}));
         for (const char* extension : {"webp", "heic", "avif", "jxl"}) {
             SCOPED_TRACE(extension);
             // A file of the format that carries the JPEG's metadata, made by a run.
             const QString input = dir.filePath(QStringLiteral("private.") + extension);
             ASSERT_TRUE(QFile::copy(jpeg, input));
             const QString carrier = outputOf(dir, input, FlipHorizontal);
             ASSERT_TRUE(readBytes(carrier).contains("Ines")) << "the input carries no EXIF";
             ASSERT_TRUE(readBytes(carrier).contains("harbour")) << "the input carries no XMP";
             const QString tagged = dir.filePath(QStringLiteral("tagged.") + extension);
             ASSERT_TRUE(QFile::rename(carrier, tagged));
             // The lossless road of a HEIF or AVIF edits the file's boxes: stripped, it
             // re-encodes.
             for (const QStringList& road : {Reencoded, Lossless}) {
                 const QString output = outputOf(dir, tagged, Strip + road + Turn90);
                 const QByteArray bytes = readBytes(output);
                 for (const char* secret : {"Ines", "harbour", "48.2085"}) {
                     EXPECT_FALSE(bytes.contains(secret)) << secret;
                 }
                 for (const QString& key : exiftoolTags(output).keys()) {
                     const QString group = key.section(QLatin1Char(':'), 0, 0);
                     const bool described =
                         group.startsWith(QLatin1String("XMP")) || group == u"ExifIFD" ||
                         group == u"GPS" || group == u"IFD1" || group == u"IPTC" ||
                         group == u"Photoshop" ||
                         (group == u"IFD0" && !key.endsWith(QLatin1String("Resolution")) &&
                          !key.endsWith(QLatin1String("ResolutionUnit")) &&
                          !key.endsWith(QLatin1String(":Orientation")));
                     EXPECT_FALSE(described) << key.toStdString() << " left in " << extension;
                 }
                 QFile::remove(output);
             }
             QFile::remove(tagged);
         }
     }},
    {"2a tiled and separate-plane CMYK TIFFs go through their profile as strips do",
     [](const QDir& dir) {
         const QImage strips = cmykAsPng(dir, InkLayout::Strips, "strips.png");
         const QImage tiles = cmykAsPng(dir, InkLayout::Tiles, "tiles.png");
         const QImage planes = cmykAsPng(dir, InkLayout::Planes, "planes.png");
         EXPECT_LT(meanDifference(tiles, strips), 0.5);
         EXPECT_LT(meanDifference(planes, strips), 0.5);
     }},
    {"2b a 16-bit CMYK TIFF loads and stays 16-bit CMYK",
     [](const QDir& dir) {
         const QString input =
             inFolder(dir, "deep.tif", cmykTiff(64, 48, InkLayout::Strips, 16, pressProfile()));
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, Turn90));
         EXPECT_EQ(tags.value(QStringLiteral("IFD0:PhotometricInterpretation")).toInt(), 5);
         EXPECT_EQ(tags.value(QStringLiteral("IFD0:BitsPerSample")).toString(),
                   QStringLiteral("16 16 16 16"));
         EXPECT_EQ(tags.value(QStringLiteral("IFD0:ImageWidth")).toInt(), 48);
     }},
    {"3a a TIFF's resolution keeps its unit and value",
     [](const QDir& dir) {
         for (const double dpi : {150.0, 96.0, 204.0}) {
             SCOPED_TRACE(dpi);
             expectDpiKept(dir, dpi);
         }
     }},
    {"3b a picture without a resolution is given none",
     [](const QDir& dir) {
         const QString png = inFolder(dir, "none.png", plainPng(quadrants(32, 16)));
         const QJsonObject pngTags = exiftoolTags(outputOf(dir, png, FlipHorizontal));
         EXPECT_FALSE(pngTags.contains(QStringLiteral("PNG-pHYs:PixelsPerUnitX")));
         const QString tiff = inFolder(dir, "none.tif", plainTiff(quadrants(32, 16)));
         const QString folder = dir.filePath(QStringLiteral("tiff-out"));
         ASSERT_EQ(runOn(tiff, folder, FlipHorizontal).exitCode, 0);
         EXPECT_FALSE(exiftoolTags(onlyFile(folder)).contains(QStringLiteral("IFD0:XResolution")));
         // Any other name keeps the bitmap: its pixels a metre say nothing either.
         const QString bitmap = inFolder(dir, "none.pic", plainPng(quadrants(32, 16)));
         const QString bitmapFolder = dir.filePath(QStringLiteral("bmp-out"));
         ASSERT_EQ(runOn(bitmap, bitmapFolder, FlipHorizontal).exitCode, 0);
         const QByteArray bmp = readBytes(onlyFile(bitmapFolder));
         ASSERT_GE(bmp.size(), 46);
         EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 38), 0u);
         EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 42), 0u);
     }},
    {"3c a PNG's own pHYs wins over its EXIF resolution",
     [](const QDir& dir) {
         QByteArray phys(9, '\0');
         qToBigEndian<quint32>(11811, phys.data());
         qToBigEndian<quint32>(11811, phys.data() + 4);
         phys[8] = 1;
         const QString input =
             inFolder(dir, "phys.png",
                      plainPng(quadrants(32, 16),
                               pngChunk("pHYs", phys) + pngChunk("eXIf", exifBlock(1, 3, 72))));
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, FlipHorizontal));
         EXPECT_EQ(tags.value(QStringLiteral("PNG-pHYs:PixelsPerUnitX")).toInt(), 11811);
         EXPECT_EQ(tags.value(QStringLiteral("PNG-pHYs:PixelsPerUnitY")).toInt(), 11811);
     }},
    {"3d a resolution of unequal sides follows a quarter turn into another format",
     [](const QDir& dir) {
         // A TIFF at 300 x 200 dpi named as a JPEG and as a WebP: its EXIF, made anew, states
         // the turned picture's sides.
         for (const char* name : {"wide.jpg", "wide.webp"}) {
             SCOPED_TRACE(name);
             const QString tiff = inFolder(dir, "wide.tif", plainTiff(quadrants(64, 48), 300));
             ASSERT_TRUE(exiftoolWrite(
                 tiff, {QStringLiteral("-YResolution=200"), QStringLiteral("-Artist=Ines")}));
             const QString input = dir.filePath(QString::fromLatin1(name));
             ASSERT_TRUE(QFile::rename(tiff, input));
             const QString output = outputOf(dir, input, Turn90);
             const QJsonObject tags = exiftoolTags(output);
             EXPECT_EQ(tags.value(QStringLiteral("IFD0:XResolution")).toInt(), 200);
             EXPECT_EQ(tags.value(QStringLiteral("IFD0:YResolution")).toInt(), 300);
             if (QString::fromLatin1(name).endsWith(QLatin1String(".jpg"))) {
                 EXPECT_EQ(tags.value(QStringLiteral("JFIF:XResolution")).toInt(), 200);
             }
             QFile::remove(output);
         }
     }},
    {"4a the re-encoding road keeps every comment in order, byte for byte",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "comments.jpg", twoComments());
         EXPECT_EQ(commentsOf(outputOf(dir, input, Reencoded + Turn90)),
                   (QList<QByteArray>{"first, from the camera", "second, from the editor"}));
     }},
    {"4b the lossless road keeps the comments in their order",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "comments.jpg", twoComments());
         EXPECT_EQ(commentsOf(outputOf(dir, input, Lossless + Turn90)),
                   (QList<QByteArray>{"first, from the camera", "second, from the editor"}));
     }},
    {"4c a comment beyond Latin-1 reaches a PNG whole",
     [](const QDir& dir) {
         const QString text = QStringLiteral("Zoë in Łódź");
         const QString input =
             inFolder(dir, "zoe.png",  // a JPEG named .png: the output is a PNG
                      withSegments(plainJpeg(quadrants(32, 16)), jpegSegment(0xFE, text.toUtf8())));
         EXPECT_EQ(exiftoolTags(outputOf(dir, input, FlipHorizontal))
                       .value(QStringLiteral("PNG:Comment"))
                       .toString(),
                   text);
     }},
    {"5a extended XMP is kept whole in a JPEG",
     [](const QDir& dir) {
         const QByteArray original = privateJpeg();
         const QString input = inFolder(dir, "extended.jpg", original);
         const QString output = outputOf(dir, input, Reencoded + Turn90);
         const QByteArray signature("http://ns.adobe.com/xmp/extension/", 35);
         const QList<QByteArray> kept = segmentsStartingWith(output, 0xE1, signature);
         ASSERT_EQ(kept.size(), 2);
         EXPECT_EQ(kept, segmentsStartingWith(input, 0xE1, signature));
         EXPECT_TRUE(exiftoolTags(output).contains(QStringLiteral("XMP-xmpNote:HasExtendedXMP")));
     }},
    {"5b the pointer to extended XMP goes where the extended XMP cannot",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "extended.png", privateJpeg());  // JPEG named .png
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, FlipHorizontal));
         EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Subject")).toString(),
                   QStringLiteral("harbour"));
         EXPECT_FALSE(tags.contains(QStringLiteral("XMP-xmpNote:HasExtendedXMP")));
     }},
    {"6 a PNG's IPTC raw profile reaches a PNG output",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "iptc.png", plainPng(quadrants(32, 16)));
         ASSERT_TRUE(exiftoolWrite(input, {QStringLiteral("-IPTC:Keywords=boats")}));
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, FlipHorizontal));
         EXPECT_EQ(tags.value(QStringLiteral("IPTC:Keywords")).toString(), QStringLiteral("boats"));
     }},
    {"7 the lossless road keeps no preview of the old orientation",
     [](const QDir& dir) {
         const QByteArray thumbnail = plainJpeg(quadrants(16, 12));
         QByteArray segments = jpegSegment(0xE0, QByteArray("JFXX\0\x10", 6) + thumbnail);
         segments += jpegSegment(0xE2, QByteArray("FPXR\0\0\x02", 7) + thumbnail);
         segments += jpegSegment(0xED, QByteArray("Photoshop 3.0", 14) +
                                           photoshopResources("boats", {{0x040C, thumbnail}}));
         const QString input =
             inFolder(dir, "previews.jpg", withSegments(plainJpeg(quadrants(64, 48)), segments));
         const QString output = outputOf(dir, input, Lossless + Turn180);
         EXPECT_TRUE(segmentsStartingWith(output, 0xE0, "JFXX").isEmpty());
         EXPECT_TRUE(segmentsStartingWith(output, 0xE2, "FPXR").isEmpty());
         const QJsonObject tags = exiftoolTags(output);
         EXPECT_FALSE(tags.contains(QStringLiteral("Photoshop:PhotoshopThumbnail")));
         EXPECT_EQ(tags.value(QStringLiteral("IPTC:Keywords")).toString(), QStringLiteral("boats"));
     }},
    {"8a an orientation stored as a LONG turns the picture on the re-encoding road",
     [](const QDir& dir) { expectLongOrientationHonoured(dir, Reencoded); }},
    {"8b an orientation stored as a LONG turns the picture on the lossless road",
     [](const QDir& dir) { expectLongOrientationHonoured(dir, Lossless); }},
    {"9a a wrong checksum on the last image chunk refuses the PNG",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "bad.png", plainPng(quadrants(32, 16), {}, {}, true));
         const QString folder = dir.filePath(QStringLiteral("out"));
         const BatchProcess run = runOn(input, folder, FlipHorizontal);
         EXPECT_EQ(run.exitCode, 1);
         EXPECT_TRUE(onlyFile(folder).isEmpty());
     }},
    {"9b a text chunk with a wrong checksum is dropped, not mended",
     [](const QDir& dir) {
         const QString input = inFolder(
             dir, "text.png",
             plainPng(quadrants(32, 16), pngChunk("tEXt", QByteArray("Title\0damaged", 13), true) +
                                             pngChunk("tEXt", QByteArray("Comment\0intact", 14))));
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, FlipHorizontal));
         EXPECT_FALSE(tags.contains(QStringLiteral("PNG:Title")));
         EXPECT_EQ(tags.value(QStringLiteral("PNG:Comment")).toString(), QStringLiteral("intact"));
     }},
    {"9c an eXIf chunk with a wrong checksum does not turn the picture",
     [](const QDir& dir) {
         const QString input = inFolder(
             dir, "exif.png", plainPng(quadrants(64, 48), pngChunk("eXIf", exifBlock(6), true)));
         EXPECT_EQ(QImage(outputOf(dir, input, FlipHorizontal)).size(), QSize(64, 48));
     }},
    {"10a GeoTIFF tags do not survive a turn",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "geo.tif", plainTiff(quadrants(32, 16)));
         ASSERT_TRUE(exiftoolWrite(input, {QStringLiteral("-PixelScale=1 1 0"),
                                           QStringLiteral("-ModelTiePoint=0 0 0 10 20 0"),
                                           QStringLiteral("-Artist=Ines")}));
         const QJsonObject tags = exiftoolTags(outputOf(dir, input, Turn90));
         EXPECT_FALSE(tags.contains(QStringLiteral("IFD0:PixelScale")));
         EXPECT_FALSE(tags.contains(QStringLiteral("IFD0:ModelTiePoint")));
         EXPECT_EQ(tags.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ines"));
     }},
    {"10b HDR chunks of a PNG are kept",
     [](const QDir& dir) {
         const QByteArray cicp("\x09\x10\x00\x01", 4);
         const QByteArray mdcv(24, '\x07');
         const QByteArray clli("\x00\x00\x03\xE8\x00\x00\x01\x90", 8);
         const QString input =
             inFolder(dir, "hdr.png",
                      plainPng(quadrants(32, 16), pngChunk("cICP", cicp) + pngChunk("mDCV", mdcv) +
                                                      pngChunk("cLLI", clli)));
         // They say how the pixels are shown, as a profile does: --strip keeps them too.
         for (const QStringList& options : {FlipHorizontal, Strip + FlipHorizontal}) {
             SCOPED_TRACE(options.join(' ').toStdString());
             const QString folder = dir.filePath(options.join(QString()));
             ASSERT_EQ(runOn(input, folder, options).exitCode, 0);
             std::map<QByteArray, QByteArray> kept;
             for (const auto& [type, data] : chunksOf(readBytes(onlyFile(folder)))) {
                 kept[type] = data;
             }
             EXPECT_EQ(kept["cICP"], cicp);
             EXPECT_EQ(kept["mDCV"], mdcv);
             EXPECT_EQ(kept["cLLI"], clli);
         }
     }},
    {"10c a floating-point TIFF stays floating point",
     [](const QDir& dir) {
         const QString input = inFolder(dir, "float.tif", floatTiff(8, 4, rampSample));
         const std::vector<float> samples =
             floatSamples(readBytes(outputOf(dir, input, FlipHorizontal)));
         ASSERT_EQ(samples.size(), size_t(8 * 4 * 3));
         for (int y = 0; y < 4; ++y) {
             for (int x = 0; x < 8; ++x) {
                 for (int c = 0; c < 3; ++c) {
                     EXPECT_EQ(samples[size_t((y * 8 + x) * 3 + c)], rampSample(7 - x, y, c));
                 }
             }
         }
     }},
};

class MetadataRows : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        if (!haveExiftool()) {
            GTEST_SKIP() << "exiftool is not installed (setup.sh installs it)";
        }
    }
};

TEST_P(MetadataRows, HoldsAfterARunOfTheProgram) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GetParam().check(QDir(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(EveryFault, MetadataRows, ::testing::ValuesIn(Rows), [](const auto& info) {
    QString name = QString::fromLatin1(info.param.name);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QString());
    return name.toStdString();
});

}  // namespace
}  // namespace zentavo::test
