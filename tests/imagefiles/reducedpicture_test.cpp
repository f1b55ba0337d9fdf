// Pictures reduced for the screen: the JPEG decoder's scale, the orientation, and failures that
// read as the whole decode's.
#include "imagefiles/reducedpicture.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/losslessjpeg.h"
#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/webp/webpcodec.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <cstring>

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <turbojpeg.h>

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

TEST(ReducedJpeg, AStreamTurboJpegCannotNameDecodesReducedThroughLibjpeg) {
    // A 4:1:1 picture turned a quarter without loss has 1 x 4 luma sampling, which TurboJPEG's
    // header reader refuses: the reduced decode must fall back as the whole one does, at the
    // same scale.
    const QImage stored = quadrants(256, 128);
    const LosslessJpeg turned =
        turnJpegLosslessly(test::encodeJpeg(stored, 95, TJSAMP_411), RightAngleTransform::Turn90);
    ASSERT_EQ(turned.outcome, LosslessOutcome::Turned) << turned.reason.toStdString();
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, sampling = 0, space = 0;
    EXPECT_NE(tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(turned.jpeg.data()),
                                  static_cast<unsigned long>(turned.jpeg.size()), &width, &height,
                                  &sampling, &space),
              0);
    tjDestroy(tj);

    const ScaleCase cases[] = {{32, {16, 32}}, {64, {32, 64}}, {100, {64, 128}}, {300, {128, 256}}};
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.longSide);
        const LoadResult result = decoders::decodeJpegReduced(turned.jpeg, c.longSide);
        ASSERT_TRUE(result.ok()) << result.reason.toStdString();
        EXPECT_EQ(result.picture.image.size(), c.decoded);
        // Turned clockwise: C A over D B.
        const std::array<QRgb, 4> seen = corners(result.picture.image);
        const std::array<QRgb, 4> shown = {C, A, D, B};
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(distance(seen[i], shown[i]), 60) << "corner " << i;
        }
    }
    const QByteArray cut = turned.jpeg.left(turned.jpeg.size() * 2 / 3);
    const LoadResult damaged = decoders::decodeJpegReduced(cut, 32);
    EXPECT_EQ(damaged.error, decoders::decodeJpeg(cut).error);
    EXPECT_FALSE(damaged.ok());
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

TEST(ReducedPicture, NewerFormatsComeThroughTheSameLoaderUprightAndReduced) {
    Picture picture;
    picture.image = quadrants(640, 480);
    const QByteArray heic = encodeHeif(picture, EncoderQuality::fixed(90));
    const LosslessHeif turnedHeic = turnHeifLosslessly(heic, PixelMove::turn(1));
    ASSERT_FALSE(turnedHeic.bytes.isEmpty()) << turnedHeic.refusal.toStdString();
    const struct {
        const char* name;
        QByteArray bytes;
        std::array<QRgb, 4> shown;
        QSize fullSize;
    } files[] = {
        {"webp", encodeWebp(picture, EncoderQuality::fixed(90)), {A, B, C, D}, {640, 480}},
        {"heic", heic, {A, B, C, D}, {640, 480}},
        {"heic turned by its irot", turnedHeic.bytes, {C, A, D, B}, {480, 640}},
        {"avif", encodeAvif(picture, EncoderQuality::fixed(90)), {A, B, C, D}, {640, 480}},
        {"jxl", encodeJxl(picture, EncoderQuality::fixed(90)), {A, B, C, D}, {640, 480}},
    };
    QTemporaryDir dir;
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const QString path = dir.filePath(QStringLiteral("picture"));
        test::writeFile(path, file.bytes);
        const ReducedPicture reduced = loadReducedPicture(path, 100);
        ASSERT_TRUE(reduced.loaded.ok()) << reduced.loaded.reason.toStdString();
        const QImage& image = reduced.loaded.picture.image;
        EXPECT_EQ(reduced.fullSize, file.fullSize);
        EXPECT_EQ(image.size(), file.fullSize.scaled(100, 100, Qt::KeepAspectRatio));
        const std::array<QRgb, 4> seen = corners(image);
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(distance(seen[i], file.shown[i]), 60) << "corner " << i;
        }
    }
}

// A HEVC picture in libheif's terms, filled from an RGB image.
heif_image* heifImageOf(const QImage& rgb) {
    heif_image* image = nullptr;
    heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                      &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    }
    return image;
}

// A HEIC file of primary with a thumbnail made from another picture, at most side pixels long.
QByteArray heicWithThumbnail(const QImage& primary, const QImage& thumbnail, int side) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = heifImageOf(primary);
    heif_image* small = heifImageOf(thumbnail);
    heif_image_handle* handle = nullptr;
    heif_image_handle* thumbHandle = nullptr;
    EXPECT_EQ(heif_context_encode_image(context, image, encoder, nullptr, &handle).code,
              heif_error_Ok);
    EXPECT_EQ(
        heif_context_encode_thumbnail(context, small, handle, encoder, nullptr, side, &thumbHandle)
            .code,
        heif_error_Ok);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("thumbnailed.heic"));
    heif_context_write_to_file(context, path.toUtf8().constData());
    heif_image_handle_release(thumbHandle);
    heif_image_handle_release(handle);
    heif_image_release(small);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return test::readFile(path);
}

TEST(ReducedPicture, AHeifsOwnThumbnailStandsInOnlyWhenWelcomeLongEnoughAndOfItsProportions) {
    // The thumbnail is told apart from the picture by its colour.
    const QImage primary = quadrants(640, 480);
    const QRgb purple = qRgb(150, 40, 160);
    QImage wide(320, 240, QImage::Format_RGB888);
    wide.fill(purple);
    QImage tall(240, 320, QImage::Format_RGB888);
    tall.fill(purple);
    const QByteArray thumbnailed = heicWithThumbnail(primary, wide, 160);
    const QByteArray misshapen = heicWithThumbnail(primary, tall, 160);
    const struct {
        const char* name;
        const QByteArray* file;
        int longSide;
        EmbeddedThumbnail embedded;
        bool thumbnailShown;
    } cases[] = {
        {"welcome", &thumbnailed, 100, EmbeddedThumbnail::Welcome, true},
        {"exactly long enough", &thumbnailed, 160, EmbeddedThumbnail::Welcome, true},
        {"refused", &thumbnailed, 100, EmbeddedThumbnail::Refused, false},
        {"too short", &thumbnailed, 161, EmbeddedThumbnail::Welcome, false},
        {"other proportions", &misshapen, 100, EmbeddedThumbnail::Welcome, false},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.heic"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(path, *c.file);
        const ReducedPicture reduced = loadReducedPicture(path, c.longSide, c.embedded);
        ASSERT_TRUE(reduced.loaded.ok()) << reduced.loaded.reason.toStdString();
        const QImage& image = reduced.loaded.picture.image;
        EXPECT_EQ(reduced.fullSize, QSize(640, 480));
        EXPECT_EQ(image.size(),
                  QSize(640, 480)
                      .scaled(c.longSide, c.longSide, Qt::KeepAspectRatio)
                      .boundedTo(c.thumbnailShown ? QSize(160, 120) : QSize(640, 480)));
        const std::array<QRgb, 4> seen = corners(image);
        const std::array<QRgb, 4> shown = c.thumbnailShown
                                              ? std::array<QRgb, 4>{purple, purple, purple, purple}
                                              : std::array<QRgb, 4>{A, B, C, D};
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(distance(seen[i], shown[i]), 60) << "corner " << i;
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
