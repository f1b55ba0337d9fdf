// Each of the eight orientations a file can state, in JPEG (EXIF), TIFF (tag 274) and PNG
// (eXIf), is checked by content against a table of where the stored corners are shown.
#include "imagefiles/loadpicfile.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <array>

namespace zentavo {
namespace {

// Stored corners: A top-left, B top-right, C bottom-left, D bottom-right.
const QRgb A = qRgb(230, 20, 20);
const QRgb B = qRgb(20, 200, 20);
const QRgb C = qRgb(20, 20, 230);
const QRgb D = qRgb(240, 240, 240);

QImage storedPicture() {
    QImage image(32, 16, QImage::Format_RGB888);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            image.setPixel(x, y, y < 8 ? (x < 16 ? A : B) : (x < 16 ? C : D));
        }
    }
    return image;
}

// What a viewer shows for each orientation: {top-left, top-right, bottom-left, bottom-right},
// from where the stored first row and first column are meant to appear.
const std::array<std::array<QRgb, 4>, 9> Shown = {{
    {},
    {A, B, C, D},  // 1: as stored
    {B, A, D, C},  // 2: first column on the right
    {D, C, B, A},  // 3: first row at the bottom, first column on the right
    {C, D, A, B},  // 4: first row at the bottom
    {A, C, B, D},  // 5: first row on the left, first column at the top
    {C, A, D, B},  // 6: first row on the right, first column at the top
    {D, B, C, A},  // 7: first row on the right, first column at the bottom
    {B, D, A, C},  // 8: first row on the left, first column at the bottom
}};

QByteArray exifBlock(int orientation) {
    // The TIFF structure of an APP1 Exif segment, without its "Exif\0\0" header.
    return test::withExifOrientation(QByteArray("\xFF\xD8", 2), orientation).mid(12);
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += type + data;
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 4; i < chunk.size(); ++i) {
        crc ^= uchar(chunk[i]);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    QByteArray tail(4, '\0');
    qToBigEndian<quint32>(crc ^ 0xFFFFFFFFu, tail.data());
    return chunk + tail;
}

QByteArray pngWithOrientation(int orientation) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    storedPicture().save(&buffer, "PNG");
    // After the signature (8 bytes) and IHDR (25 bytes).
    return png.left(33) + pngChunk("eXIf", exifBlock(orientation)) + png.mid(33);
}

QByteArray tiffWithOrientation(int orientation) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("o.tif"));
    const QImage image = storedPicture();
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(orientation));
    for (int y = 0; y < image.height(); ++y) {
        TIFFWriteScanline(tiff, const_cast<uchar*>(image.constScanLine(y)), uint32_t(y), 0);
    }
    TIFFClose(tiff);
    return test::readFile(path);
}

TEST(Orientation, EveryStatedOrientationShowsThePictureAsViewersDo) {
    const QByteArray jpeg = test::encodeJpeg(storedPicture(), 95);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::pair<const char*, QByteArray> files[] = {
            {"JPEG", test::withExifOrientation(jpeg, orientation)},
            {"TIFF", tiffWithOrientation(orientation)},
            {"PNG", pngWithOrientation(orientation)},
        };
        for (const auto& [format, bytes] : files) {
            SCOPED_TRACE(std::string(format) + " orientation " + std::to_string(orientation));
            const LoadResult result = loadPictureFromBytes(bytes);
            ASSERT_TRUE(result.ok()) << result.reason.toStdString();
            const QImage& image = result.picture.image;
            EXPECT_EQ(result.picture.orientation, orientation);
            EXPECT_EQ(image.size(), orientation >= 5 ? QSize(16, 32) : QSize(32, 16));
            const int r = image.width() - 2;
            const int b = image.height() - 2;
            const std::array<QRgb, 4> corners = {image.pixel(1, 1), image.pixel(r, 1),
                                                 image.pixel(1, b), image.pixel(r, b)};
            for (int i = 0; i < 4; ++i) {
                const QRgb want = Shown[orientation][i];
                EXPECT_LT(std::abs(qRed(corners[i]) - qRed(want)) +
                              std::abs(qGreen(corners[i]) - qGreen(want)) +
                              std::abs(qBlue(corners[i]) - qBlue(want)),
                          60)
                    << "corner " << i;
            }
        }
    }
}

}  // namespace
}  // namespace zentavo
