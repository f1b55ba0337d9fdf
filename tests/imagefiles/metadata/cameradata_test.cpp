// Metadata as cameras and editors write it, through zentavo-batch as a user runs it: maker notes
// kept byte for byte, every XMP packet, Photoshop resources, the user's own segments and trailer,
// no preview of the old picture, GIF extensions, and no exiftool -validate warning an input did
// not have.
#include "imagefiles/savewithencoder.h"
#include "tests/hostile/batchprocess.h"
#include "tests/imagefiles/metadata/metadatafixtures.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <exiv2/exiv2.hpp>

#include <set>

namespace zentavo::test {
namespace {

const QStringList Roads[] = {
    {QStringLiteral("--flip"), QStringLiteral("horizontal"), QStringLiteral("--quality"),
     QStringLiteral("90")},
    {QStringLiteral("--rotate"), QStringLiteral("90"), QStringLiteral("--quality"),
     QStringLiteral("90")},
    {QStringLiteral("--rotate"), QStringLiteral("270"), QStringLiteral("--quality"),
     QStringLiteral("lossless")},
};

// The output of one run of the program over input with options, in a folder of its own.
QString runAndTake(const QDir& dir, const QString& input, const QStringList& options,
                   const QString& folderName) {
    const QString folder = dir.filePath(folderName);
    QDir().mkpath(folder);
    const BatchProcess run =
        runBatch(options + QStringList{QStringLiteral("-q"), QStringLiteral("-o"), folder, input});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList files = QDir(folder).entryList(QDir::Files);
    return files.size() == 1 ? QDir(folder).filePath(files.first()) : QString();
}

// exiftool's -validate warnings of a file, each once.
std::set<QString> validationWarnings(const QString& path) {
    QProcess process;
    process.start(
        QStringLiteral("exiftool"),
        {QStringLiteral("-validate"), QStringLiteral("-warning"), QStringLiteral("-a"), path});
    process.waitForFinished(60000);
    std::set<QString> warnings;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        if (line.startsWith(QLatin1String("Warning"))) {
            warnings.insert(line.section(QLatin1Char(':'), 1).trimmed());
        }
    }
    return warnings;
}

// No -validate warning in output that input did not have.
void expectNoNewWarnings(const QString& input, const QString& output) {
    const std::set<QString> before = validationWarnings(input);
    for (const QString& warning : validationWarnings(output)) {
        EXPECT_TRUE(before.count(warning))
            << warning.toStdString() << " in " << output.toStdString();
    }
}

// The raw maker note of a file, as exiftool extracts it.
QByteArray makerNoteOf(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  {QStringLiteral("-b"), QStringLiteral("-MakerNotes"), path});
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

// Every value exiftool reads in the maker note's group.
QJsonObject makerNoteValues(const QString& path, const QString& group) {
    QJsonObject values;
    const QJsonObject tags = exiftoolTags(path);
    for (const QString& key : tags.keys()) {
        if (key.startsWith(group + QLatin1Char(':'))) {
            values.insert(key, tags.value(key));
        }
    }
    return values;
}

struct Maker {
    const char* make;
    const char* group;  // exiftool's name for its maker note
    std::vector<std::pair<const char*, const char*>> tags;
};

// Maker notes exiv2 writes, each with values stored away from their entries, where a note that
// addresses its data from the start of the EXIF block (Canon, Panasonic, Sigma, Pentax) would
// read the wrong bytes after a move.
const Maker Makers[] = {
    {"Canon",
     "Canon",
     {{"Exif.Canon.OwnerName", "Ines Quarry"}, {"Exif.Canon.FirmwareVersion", "Firmware 1.04"}}},
    {"NIKON CORPORATION", "Nikon", {{"Exif.Nikon3.SerialNumber", "N2718281"}}},
    {"OLYMPUS IMAGING CORP.", "Olympus", {{"Exif.Olympus.CameraID", "OLYMPUS DIGITAL CAMERA"}}},
    {"Panasonic", "Panasonic", {{"Exif.Panasonic.InternalSerialNumber", "F5412345678901"}}},
    {"SIGMA",
     "Sigma",
     {{"Exif.Sigma.SerialNumber", "SG31415926"}, {"Exif.Sigma.Firmware", "1.04 build 7"}}},
    {"PENTAX Corporation",
     "Pentax",
     {{"Exif.Pentax.Quality", "2"}, {"Exif.Pentax.Date", "2021:05:06"}}},
};

// A camera's JPEG: orientation 6, a thumbnail, resolution, date, GPS and the maker's note,
// written by exiv2 as the camera's own software would lay it out.
QString cameraJpeg(const QDir& dir, const Maker& maker) {
    const QString path = dir.filePath(QStringLiteral("camera.jpg"));
    writeBytes(path, plainJpeg(quadrants(64, 48)));
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = maker.make;
    exif["Exif.Image.Model"] = "Model 7";
    exif["Exif.Image.Orientation"] = uint16_t(6);
    exif["Exif.Image.ImageWidth"] = uint16_t(64);  // some cameras state the size here too
    exif["Exif.Image.ImageLength"] = uint16_t(48);
    exif["Exif.Image.XResolution"] = Exiv2::URational(300, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(200, 1);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    exif["Exif.Image.YCbCrPositioning"] = uint16_t(1);
    exif["Exif.Photo.ExifVersion"] = "48 50 51 50";
    exif["Exif.Photo.ComponentsConfiguration"] = "1 2 3 0";
    exif["Exif.Photo.FlashpixVersion"] = "48 49 48 48";
    exif["Exif.Photo.ColorSpace"] = uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = uint16_t(64);
    exif["Exif.Photo.PixelYDimension"] = uint16_t(48);
    exif["Exif.Photo.DateTimeOriginal"] = "2021:05:06 07:08:09";
    exif["Exif.GPSInfo.GPSVersionID"] = "2 3 0 0";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 12/1 30/1";
    for (const auto& [key, value] : maker.tags) {
        exif[key] = value;
    }
    const QByteArray thumbnail = plainJpeg(quadrants(40, 30));
    Exiv2::ExifThumb(exif).setJpegThumbnail(
        reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()), long(thumbnail.size()),
        Exiv2::URational(72, 1), Exiv2::URational(72, 1), 2);
    exif["Exif.Thumbnail.Orientation"] = uint16_t(6);
    image->writeMetadata();
    return path;
}

class MakerNotes : public ::testing::TestWithParam<Maker> {
protected:
    void SetUp() override {
        if (!haveExiftool()) {
            GTEST_SKIP() << "exiftool is not installed (setup.sh installs it)";
        }
    }
};

TEST_P(MakerNotes, KeepEveryValueAndTheirBytesOnEveryRoad) {
    QTemporaryDir temporary;
    const QDir dir(temporary.path());
    const Maker& maker = GetParam();
    const QString input = cameraJpeg(dir, maker);
    const QString group = QString::fromLatin1(maker.group);
    const QJsonObject values = makerNoteValues(input, group);
    ASSERT_FALSE(values.isEmpty()) << "exiftool reads no " << maker.group << " note";
    const QByteArray note = makerNoteOf(input);
    int road = 0;
    for (const QStringList& options : Roads) {
        SCOPED_TRACE(options.join(' ').toStdString());
        const QString output = runAndTake(dir, input, options, QStringLiteral("out%1").arg(road++));
        EXPECT_EQ(makerNoteValues(output, group), values);
        EXPECT_EQ(makerNoteOf(output), note);
        const QJsonObject tags = exiftoolTags(output);
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Orientation")).toInt(), 1);
        const QImage picture(output);
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:ImageWidth")).toInt(), picture.width());
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:ImageHeight")).toInt(), picture.height());
        EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:ExifImageWidth")).toInt(), picture.width());
        // The thumbnail's own directory keeps its tags, made true of the redrawn thumbnail.
        EXPECT_EQ(tags.value(QStringLiteral("IFD1:XResolution")).toInt(), 72);
        EXPECT_EQ(tags.value(QStringLiteral("IFD1:ResolutionUnit")).toInt(), 2);
        EXPECT_EQ(tags.value(QStringLiteral("IFD1:Orientation")).toInt(), 1);
        expectNoNewWarnings(input, output);
    }
}

TEST_P(MakerNotes, KeepEveryValueFromTiffToTiff) {
    // The camera's JPEG made a TIFF by a run, then that TIFF turned: the TIFF's EXIF directory
    // is written anew around the maker note, whose values must still read the same.
    QTemporaryDir temporary;
    const QDir dir(temporary.path());
    const Maker& maker = GetParam();
    const QString camera = cameraJpeg(dir, maker);
    const QString asTiff = dir.filePath(QStringLiteral("camera-as.tif"));
    ASSERT_TRUE(QFile::copy(camera, asTiff));
    const QString tiff = runAndTake(dir, asTiff, Roads[0], QStringLiteral("tiff"));
    const QString group = QString::fromLatin1(maker.group);
    const QJsonObject values = makerNoteValues(tiff, group);
    ASSERT_FALSE(values.isEmpty()) << "no " << maker.group << " note reached the TIFF";
    EXPECT_EQ(values, makerNoteValues(camera, group));
    const QString output = runAndTake(dir, tiff, Roads[1], QStringLiteral("turned"));
    EXPECT_EQ(makerNoteValues(output, group), values);
    EXPECT_EQ(makerNoteOf(output), makerNoteOf(tiff));
    expectNoNewWarnings(tiff, output);
}

INSTANTIATE_TEST_SUITE_P(Cameras, MakerNotes, ::testing::ValuesIn(Makers),
                         [](const auto& info) { return std::string(info.param.group); });

class CameraData : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveExiftool()) {
            GTEST_SKIP() << "exiftool is not installed (setup.sh installs it)";
        }
        ASSERT_TRUE(temporary.isValid());
        dir = QDir(temporary.path());
    }
    QString input(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeBytes(path, bytes));
        return path;
    }
    QTemporaryDir temporary;
    QDir dir;
};

QByteArray xmpSegment(const QByteArray& packet) {
    return jpegSegment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) + packet);
}

// The APP1 XMP packets of a JPEG, in order.
QList<QByteArray> xmpPacketsOf(const QString& path) {
    QList<QByteArray> packets;
    const QByteArray signature("http://ns.adobe.com/xap/1.0/", 29);
    for (const auto& [marker, payload] : segmentsOf(readBytes(path))) {
        if (marker == 0xE1 && payload.startsWith(signature)) {
            packets << payload.mid(signature.size());
        }
    }
    return packets;
}

TEST_F(CameraData, EveryXmpPacketSurvivesAndTheFirstIsMadeTrue) {
    const QByteArray facts =
        "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
        " <rdf:Description rdf:about='uuid:faf5bdd5-ba3d-11da-ad31-d33d75182f1b'\n"
        "  xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/'\n"
        "  tiff:Orientation='1' tiff:ImageWidth='64' exif:PixelYDimension='48'\n"
        "  exif:GPSTimeStamp='14:58:24Z'>\n"
        "  <tiff:ImageLength>48</tiff:ImageLength>\n"
        "  <exif:PixelXDimension>64</exif:PixelXDimension>\n"
        " </rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
    const QByteArray second = xmpPacket(QStringLiteral("second packet"));
    const QByteArray unparsable = "<x:xmpmeta><rdf:RDF><dc:title>not closed</rdf:RDF>";
    const QString path = input("packets.jpg", withSegments(plainJpeg(quadrants(64, 48)),
                                                           xmpSegment(facts) + xmpSegment(second) +
                                                               xmpSegment(unparsable)));
    const QString output = runAndTake(dir, path, Roads[1], QStringLiteral("out"));
    const QList<QByteArray> packets = xmpPacketsOf(output);
    ASSERT_EQ(packets.size(), 3);
    QByteArray turned = facts;
    turned.replace("tiff:ImageWidth='64'", "tiff:ImageWidth='48'");
    turned.replace("exif:PixelYDimension='48'", "exif:PixelYDimension='64'");
    turned.replace("<tiff:ImageLength>48<", "<tiff:ImageLength>64<");
    turned.replace("<exif:PixelXDimension>64<", "<exif:PixelXDimension>48<");
    EXPECT_EQ(packets[0], turned)
        << "only the facts of the turn change, rdf:about and the time stay";
    EXPECT_EQ(packets[1], second);
    EXPECT_EQ(packets[2], unparsable);
}

TEST_F(CameraData, PhotoshopResourcesSurviveTheReencodingRoadWithTheirIptcBytes) {
    // IPTC with a time of day without a zone, as some cameras write it, in the second of two
    // APP13 segments, beside the resolution resource (300 x 200 dpi) and a caption.
    QByteArray resolution(16, '\0');
    qToBigEndian<quint32>(300u << 16, resolution.data());
    qToBigEndian<quint16>(1, resolution.data() + 4);
    qToBigEndian<quint32>(200u << 16, resolution.data() + 8);
    qToBigEndian<quint16>(1, resolution.data() + 12);
    const QByteArray time = QByteArray("\x1C\x02\x3C\x00\x06", 5) + "095434";
    const QByteArray first = QByteArray("Photoshop 3.0", 14) + photoshopResources("boats", {});
    const QByteArray second =
        QByteArray("Photoshop 3.0", 14) +
        photoshopResources("harbour", {{0x03ED, resolution}, {0x03F0, "A caption"}}, time);
    const QString path =
        input("photoshop.jpg", withSegments(plainJpeg(quadrants(64, 48)),
                                            jpegSegment(0xED, first) + jpegSegment(0xED, second)));
    const QString output = runAndTake(dir, path, Roads[1], QStringLiteral("out"));
    QList<QByteArray> kept;
    for (const auto& [marker, payload] : segmentsOf(readBytes(output))) {
        if (marker == 0xED) {
            kept << payload;
        }
    }
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[0], first);
    // A quarter turn swaps the resolution resource's sides; nothing else changes.
    QByteArray swapped = second;
    const qsizetype at = swapped.indexOf(resolution);
    ASSERT_GT(at, 0);
    swapped.replace(at, 16, resolution.mid(8, 8) + resolution.left(8));
    EXPECT_EQ(kept[1], swapped) << "the IPTC records as they were, the time without a zone";
}

TEST_F(CameraData, SegmentsTheProgramDoesNotKnowSurviveButPreviewsOfTheOldPictureDoNot) {
    const QByteArray flir = QByteArray("FLIR\0\x01\x00\x00", 8) + QByteArray(300, 'f');
    const QByteArray gopro = QByteArray("GoPro\0", 6) + "HERO9 serial C3141592653";
    const QByteArray ducky = QByteArray("Ducky\0\x01\0\x04\0\0\0\x3C", 13);
    const QByteArray own = QByteArray("Zentavo test\0", 13) + QByteArray(100, 'z');
    const QByteArray preview = plainJpeg(quadrants(16, 12));
    // An MPF index and its second image after the end of the first, and a FlashPix screen nail.
    const QByteArray mpf = QByteArray("MPF\0MM\0*\0\0\0\x08", 12) + QByteArray(40, '\0');
    const QByteArray fpxr = QByteArray("FPXR\0\0\x02", 7) + preview;
    const QByteArray segments = jpegSegment(0xE1, flir) + jpegSegment(0xE6, gopro) +
                                jpegSegment(0xEC, ducky) + jpegSegment(0xE9, own) +
                                jpegSegment(0xE2, mpf) + jpegSegment(0xE2, fpxr);
    const QString path =
        input("segments.jpg", withSegments(plainJpeg(quadrants(64, 48)), segments) + preview);
    for (const QStringList& road : {Roads[1], Roads[2]}) {
        SCOPED_TRACE(road.join(' ').toStdString());
        const QString output =
            runAndTake(dir, path, road, QStringLiteral("out-") + road.join(QString()));
        std::vector<std::pair<int, QByteArray>> expected = {
            {0xE1, flir}, {0xE6, gopro}, {0xEC, ducky}, {0xE9, own}};
        std::vector<std::pair<int, QByteArray>> kept;
        for (const auto& segment : segmentsOf(readBytes(output))) {
            if (segment.first != 0xE0) {
                kept.push_back(segment);
            }
        }
        EXPECT_EQ(kept, expected);
        EXPECT_TRUE(readBytes(output).endsWith("\xFF\xD9")) << "the MPF image went with its index";
    }
}

TEST_F(CameraData, AFileTrailerOfTheUsersOwnIsKept) {
    const QByteArray trailer = QByteArray("MotionPhoto_Data") + QByteArray(500, 'v');
    const QString path = input("trailer.jpg", plainJpeg(quadrants(64, 48)) + trailer);
    for (const QStringList& road : {Roads[0], Roads[2]}) {
        SCOPED_TRACE(road.join(' ').toStdString());
        const QString output =
            runAndTake(dir, path, road, QStringLiteral("out-") + road.join(QString()));
        EXPECT_TRUE(readBytes(output).endsWith(trailer));
    }
}

TEST_F(CameraData, AGifKeepsItsColourProfileAndXmp) {
    const QString path = dir.filePath(QStringLiteral("extensions.gif"));
    Picture picture;
    picture.image = quadrants(32, 16);
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    const QString profile = dir.filePath(QStringLiteral("p3.icc"));
    ASSERT_TRUE(writeBytes(profile, QColorSpace(QColorSpace::DisplayP3).iccProfile()));
    ASSERT_TRUE(exiftoolWrite(path, {QStringLiteral("-XMP-dc:Subject=harbour"),
                                     QStringLiteral("-ICC_Profile<=") + profile}));
    const QString output = runAndTake(dir, path, Roads[1], QStringLiteral("out"));
    const QJsonObject before = exiftoolTags(path);
    const QJsonObject after = exiftoolTags(output);
    ASSERT_FALSE(before.value(QStringLiteral("ICC_Profile:ProfileDescription")).isUndefined());
    EXPECT_EQ(after.value(QStringLiteral("XMP-dc:Subject")).toString(), QStringLiteral("harbour"));
    EXPECT_EQ(after.value(QStringLiteral("ICC_Profile:ProfileDescription")),
              before.value(QStringLiteral("ICC_Profile:ProfileDescription")));
    expectNoNewWarnings(path, output);
}

TEST_F(CameraData, ATiffKeepsItsXmpPacketAndIptcRecordsAsTheyWere) {
    const QByteArray packet = xmpPacket(QStringLiteral("harbour"));
    // A keyword and a time of day without a zone, padded to whole words as TIFF stores them.
    const QByteArray iptc = QByteArray("\x1C\x02\x19\x00\x05", 5) + "boats" +
                            QByteArray("\x1C\x02\x3C\x00\x06", 5) + "095434";
    const QString path = input("described.tif", plainTiff(quadrants(64, 48), 300, packet, iptc));
    const QString output = runAndTake(dir, path, Roads[1], QStringLiteral("out"));
    QProcess process;
    process.start(QStringLiteral("exiftool"),
                  {QStringLiteral("-b"), QStringLiteral("-XMP"), output});
    process.waitForFinished(60000);
    EXPECT_EQ(process.readAllStandardOutput(), packet) << "rdf:about and the layout as they were";
    QProcess records;
    records.start(QStringLiteral("exiftool"),
                  {QStringLiteral("-b"), QStringLiteral("-IPTC-NAA"), output});
    records.waitForFinished(60000);
    EXPECT_TRUE(records.readAllStandardOutput().startsWith(iptc)) << "the time without a zone";
    expectNoNewWarnings(path, output);
}

TEST_F(CameraData, OtherFormatsGainNoValidationWarning) {
    // A camera's JPEG into a PNG and a TIFF, and a TIFF with EXIF into a JPEG.
    const QString camera = cameraJpeg(dir, Makers[0]);
    const QString asPng = dir.filePath(QStringLiteral("camera-as.png"));
    ASSERT_TRUE(QFile::copy(camera, asPng));
    const QString tiff = input("scan.tif", plainTiff(quadrants(64, 48), 300));
    ASSERT_TRUE(exiftoolWrite(
        tiff, {QStringLiteral("-Artist=Ines"), QStringLiteral("-ExifVersion=0232"),
               QStringLiteral("-FlashpixVersion=0100"), QStringLiteral("-ColorSpace=1"),
               QStringLiteral("-DateTimeOriginal=2021:05:06 07:08:09")}));
    const QString tiffAsJpeg = dir.filePath(QStringLiteral("scan-as.jpg"));
    ASSERT_TRUE(QFile::copy(tiff, tiffAsJpeg));
    int run = 0;
    for (const QString& path : {asPng, tiff, tiffAsJpeg}) {
        const QString output = runAndTake(dir, path, Roads[1], QStringLiteral("o%1").arg(run++));
        expectNoNewWarnings(path, output);
    }
}

TEST_F(CameraData, AJpegWithoutAPictureIsReportedAsSuch) {
    // SOI, a quantisation table and EOI: tables only.
    QByteArray table = QByteArray(1, '\0') + QByteArray(64, '\x10');
    const QString path = input("tables.jpg", QByteArray("\xFF\xD8", 2) + jpegSegment(0xDB, table) +
                                                 QByteArray("\xFF\xD9", 2));
    const QString folder = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);
    const BatchProcess run = runBatch({QStringLiteral("-o"), folder, path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("holds no picture")) << run.err.toStdString();
}

}  // namespace
}  // namespace zentavo::test
