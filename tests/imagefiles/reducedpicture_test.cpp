// Pictures reduced for the screen: the JPEG decoder's scale, the orientation, and failures that
// read as the whole decode's.
#include "imagefiles/reducedpicture.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/loadpicfile.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zentavo {
namespace {

// Quadrants: A top-left, B top-right, C bottom-left, D bottom-right, as stored.
const QRgb A = qRgb(230, 20, 20);
const QRgb B = qRgb(20, 200, 20);
const QRgb C = qRgb(20, 20, 230);
const QRgb D = qRgb(240, 240, 240);

QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y,
                           y < height / 2 ? (x < width / 2 ? A : B) : (x < width / 2 ? C : D));
        }
    }
    return image;
}

int distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

// The colours near the four corners: top-left, top-right, bottom-left, bottom-right.
std::array<QRgb, 4> corners(const QImage& image) {
    const int r = image.width() - 3;
    const int b = image.height() - 3;
    return {image.pixel(2, 2), image.pixel(r, 2), image.pixel(2, b), image.pixel(r, b)};
}

struct ScaleCase {
    int longSide;
    QSize decoded;  // 640 x 480 at TurboJPEG's smallest scale that keeps longSide
};

TEST(ReducedJpeg, DecodesAtTheSmallestScaleThatKeepsTheLongSide) {
    const QByteArray jpeg = test::encodeJpeg(quadrants(640, 480));
    const ScaleCase cases[] = {
        {80, {80, 60}},     // 1/8 exactly
        {81, {160, 120}},   // 1/8 falls short by a pixel: 1/4
        {100, {160, 120}},  // 1/4, not 3/8 (240) nor the whole picture
        {161, {240, 180}},  // 3/8
        {320, {320, 240}},  // 1/2
        {641, {640, 480}},  // never enlarged
        {5000, {640, 480}},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.longSide);
        const LoadResult result = decoders::decodeJpegReduced(jpeg, c.longSide);
        ASSERT_TRUE(result.ok()) << result.reason.toStdString();
        EXPECT_EQ(result.picture.image.size(), c.decoded);
    }
}

struct OrientationCase {
    const char* format;
    int orientation;
    std::array<QRgb, 4> shown;  // what a viewer shows at the corners
    QSize fullSize;
};

QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

TEST(ReducedPicture, IsUprightWithinTheLongSideAndKnowsTheWholeSize) {
    const QImage stored = quadrants(640, 480);
    const QByteArray jpeg = test::encodeJpeg(stored);
    const OrientationCase cases[] = {
        {"JPEG", 1, {A, B, C, D}, {640, 480}},
        {"JPEG", 6, {C, A, D, B}, {480, 640}},  // turned a quarter clockwise
        {"JPEG", 8, {B, D, A, C}, {480, 640}},  // the other way
        {"JPEG", 3, {D, C, B, A}, {640, 480}},
        {"PNG", 1, {A, B, C, D}, {640, 480}},
    };
    QTemporaryDir dir;
    for (const OrientationCase& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.orientation));
        const QString path = dir.filePath(QStringLiteral("picture"));
        test::writeFile(path, QByteArray(c.format) == "PNG"
                                  ? pngOf(stored)
                                  : test::withExifOrientation(jpeg, c.orientation));
        const ReducedPicture reduced = loadReducedPicture(path, 100);
        ASSERT_TRUE(reduced.loaded.ok()) << reduced.loaded.reason.toStdString();
        const QImage& image = reduced.loaded.picture.image;
        EXPECT_EQ(reduced.fullSize, c.fullSize);
        EXPECT_EQ(image.size(), c.fullSize.scaled(100, 100, Qt::KeepAspectRatio));
        EXPECT_EQ(reduced.loaded.picture.orientation, c.orientation);
        EXPECT_FALSE(reduced.loaded.picture.gif);
        const std::array<QRgb, 4> seen = corners(image);
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(distance(seen[i], c.shown[i]), 60) << "corner " << i;
        }
    }
}

TEST(ReducedPicture, AFileThatCannotBeLoadedFailsAsTheWholeLoadFails) {
    QTemporaryDir dir;
    const QByteArray jpeg = test::encodeJpeg(test::randomImage(320, 240, QImage::Format_RGB888, 7));
    const std::pair<const char*, QByteArray> files[] = {
        {"cut.jpg", jpeg.left(jpeg.size() / 2)},
        {"text.jpg", QByteArray("not a picture at all")},
        {"empty.png", QByteArray()},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1String(name));
        test::writeFile(path, bytes);
        const LoadResult whole = loadPicture(path);
        const ReducedPicture reduced = loadReducedPicture(path, 64);
        ASSERT_FALSE(whole.ok());
        EXPECT_EQ(reduced.loaded.error, whole.error);
        EXPECT_EQ(reduced.loaded.reason, whole.reason);
    }
    const ReducedPicture missing = loadReducedPicture(dir.filePath(QStringLiteral("gone.jpg")), 64);
    EXPECT_EQ(missing.loaded.error, LoadError::NotFound);
}

}  // namespace
}  // namespace zentavo
