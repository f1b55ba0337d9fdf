#include "imagefiles/jpeg/jpegplanes.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/pixelmove.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/imagefiles/writefixtures.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>

namespace zentavo {
namespace {

std::vector<PixelMove> allMoves() {
    std::vector<PixelMove> moves;
    for (int turns = 0; turns < 4; ++turns) {
        moves.push_back({turns, false});
        moves.push_back({turns, true});
    }
    return moves;
}

QImage moved(QImage image, PixelMove move) {
    moveImage(image, move);
    return image;
}

// Where the grey value of the source pixel (x, y) of a W-wide grid sits in result.
QPoint landing(const QImage& result, int x, int y, int width) {
    const uchar value = uchar(y * width + x);
    for (int row = 0; row < result.height(); ++row) {
        for (int col = 0; col < result.width(); ++col) {
            if (result.constScanLine(row)[col] == value) {
                return {col, row};
            }
        }
    }
    return {-1, -1};
}

TEST(PixelMoves, MatchTheOrientationsComposeAndKnowWhichEdgesTheyReverse) {
    QImage grid(7, 5, QImage::Format_Grayscale8);
    for (int y = 0; y < grid.height(); ++y) {
        for (int x = 0; x < grid.width(); ++x) {
            grid.scanLine(y)[x] = uchar(y * grid.width() + x);
        }
    }
    for (int orientation = 1; orientation <= 8; ++orientation) {
        Picture picture;
        picture.image = grid;
        applyOrientation(picture, orientation);
        EXPECT_EQ(moved(grid, PixelMove::forOrientation(orientation)), picture.image)
            << "orientation " << orientation;
    }
    for (const PixelMove first : allMoves()) {
        const QImage once = moved(grid, first);
        // One column to the right in the source is this step in the result.
        const QPoint origin = landing(once, 0, 0, grid.width());
        const QPoint column = landing(once, 1, 0, grid.width()) - origin;
        const QPoint row = landing(once, 0, 1, grid.width()) - origin;
        EXPECT_EQ(first.reversesColumns(), column.x() < 0 || column.y() < 0);
        EXPECT_EQ(first.reversesRows(), row.x() < 0 || row.y() < 0);
        for (const PixelMove second : allMoves()) {
            EXPECT_EQ(moved(once, second), moved(grid, first.then(second)))
                << first.quarterTurns << first.mirrored << " then " << second.quarterTurns
                << second.mirrored;
        }
    }
}

TEST(PixelMoves, BandByBandEndAsTheWholeMove) {
    // Sides and bands that leave partial 16 x 16 blocks at the right, the bottom and in the
    // last band, next to whole ones.
    for (const QSize size : {QSize(53, 37), QSize(64, 48)}) {
        const QImage picture =
            test::randomImage(size.width(), size.height(), QImage::Format_Grayscale8, 11);
        for (const PixelMove move : allMoves()) {
            SCOPED_TRACE(::testing::Message()
                         << size.width() << "x" << size.height() << " turns " << move.quarterTurns
                         << " mirrored " << move.mirrored);
            const QImage expected = moved(picture, move);
            QImage target(expected.size(), QImage::Format_Grayscale8);
            for (int y = 0; y < picture.height(); y += 20) {
                const QImage band = picture.copy(0, y, picture.width(), 20);
                moveBandOfBytes(band.copy(0, 0, band.width(), std::min(20, picture.height() - y)),
                                y, picture.height(), move, target);
            }
            EXPECT_EQ(target, expected);
        }
    }
}

TEST(JpegPlanes, MoveOnlyWhereTheChromaSamplesFollowThePicture) {
    const PixelMove flipH = PixelMove::mirror(Mirror::Horizontal);
    const PixelMove flipV = PixelMove::mirror(Mirror::Vertical);
    const PixelMove clockwise = PixelMove::turn(1);
    const PixelMove anticlockwise = PixelMove::turn(3);
    const struct {
        int width, height, subsampling;
        PixelMove move;
        bool exact;
        int after;
    } cases[] = {
        {64, 48, TJSAMP_420, PixelMove::turn(2), true, TJSAMP_420},
        {63, 48, TJSAMP_420, flipH, false, TJSAMP_420},
        {63, 48, TJSAMP_420, flipV, true, TJSAMP_420},
        {64, 47, TJSAMP_420, flipV, false, TJSAMP_420},
        {63, 48, TJSAMP_420, clockwise, true, TJSAMP_420},  // the odd side stays at the bottom
        {64, 47, TJSAMP_420, clockwise, false, TJSAMP_420},
        {63, 48, TJSAMP_420, anticlockwise, false, TJSAMP_420},
        {63, 47, TJSAMP_422, flipV, true, TJSAMP_422},
        {63, 47, TJSAMP_422, flipH, false, TJSAMP_422},
        {64, 47, TJSAMP_422, clockwise, true, TJSAMP_440},
        {63, 48, TJSAMP_440, clockwise, true, TJSAMP_422},
        {66, 48, TJSAMP_411, flipH, false, TJSAMP_411},
        {68, 48, TJSAMP_411, flipH, true, TJSAMP_411},
        {64, 48, TJSAMP_411, clockwise, false, -1},
        {63, 47, TJSAMP_444, PixelMove::forOrientation(7), true, TJSAMP_444},
        {63, 47, TJSAMP_GRAY, PixelMove::forOrientation(5), true, TJSAMP_GRAY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << " sampling " << c.subsampling << " turns "
                     << c.move.quarterTurns << " mirrored " << c.move.mirrored);
        EXPECT_EQ(planesMoveExactly(c.width, c.height, c.subsampling, c.move), c.exact);
        EXPECT_EQ(subsamplingAfter(c.subsampling, c.move), c.after);
    }
}

int subsamplingOf(const QByteArray& jpeg) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = -1, colorspace = 0;
    tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                        jpeg.size(), &width, &height, &subsampling, &colorspace);
    tjDestroy(handle);
    return subsampling;
}

QImage decoded(const QByteArray& jpeg) {
    const LoadResult result = loadPictureFromBytes(jpeg);
    EXPECT_TRUE(result.ok()) << result.reason.toStdString();
    return result.picture.image;
}

// The planes, moved and encoded again, against the RGB path (decode, move the pixels, encode),
// both measured against the exact move of the decoded input. The planes skip a colour
// conversion and a chroma resampling each way, so they must come out at least as close.
TEST(JpegPlanes, ReencodeAtLeastAsCloseAsTheRgbPathForEverySamplingAndOrientation) {
    const QImage photo = test::photoLike(96, 64, 7).convertToFormat(QImage::Format_RGB888);
    const std::vector<std::pair<const char*, PixelMove>> operations = {
        {"flip horizontally", PixelMove::mirror(Mirror::Horizontal)},
        {"flip vertically", PixelMove::mirror(Mirror::Vertical)},
        {"rotate 90", PixelMove::turn(1)},
        {"rotate 180", PixelMove::turn(2)},
        {"rotate 270", PixelMove::turn(3)},
    };
    for (const int subsampling : {TJSAMP_420, TJSAMP_422, TJSAMP_444, TJSAMP_GRAY}) {
        for (const int orientation : {1, 6, 8}) {
            const QByteArray input =
                test::withExifOrientation(test::encodeJpeg(photo, 95, subsampling), orientation);
            for (const auto& [name, operation] : operations) {
                SCOPED_TRACE(::testing::Message() << "sampling " << subsampling << " orientation "
                                                  << orientation << " " << name);
                LoadResult reference = loadPictureFromBytes(input);
                ASSERT_TRUE(reference.ok());
                moveImage(reference.picture.image, operation);
                const QImage viaRgb = decoded(encodeJpeg(reference.picture, 85));

                const std::optional<PlanarJpeg> planar = decodeMovedJpegPlanes(input, operation);
                ASSERT_TRUE(planar);
                const QByteArray output = encodeJpeg(*planar, 85);
                const QImage viaPlanes = decoded(output);
                ASSERT_EQ(viaPlanes.size(), reference.picture.image.size());
                const PixelMove whole = PixelMove::forOrientation(orientation).then(operation);
                EXPECT_EQ(subsamplingOf(output), subsamplingAfter(subsampling, whole));
                const double planes = test::psnr(reference.picture.image, viaPlanes);
                const double rgb = test::psnr(reference.picture.image, viaRgb);
                EXPECT_GE(planes, rgb - 0.1) << "planes " << planes << " dB, RGB " << rgb;
            }
        }
    }
}

// The planes are read and written through libjpeg without TurboJPEG's row copies; they must be
// TurboJPEG's own planes and stream, above all where a plane ends inside a block or coding unit.
TEST(JpegPlanes, ReadAndWrittenAsTurboJpegReadsAndWritesThem) {
    const struct {
        int width, height, subsampling;
    } cases[] = {{65, 47, TJSAMP_420}, {33, 17, TJSAMP_422},  {17, 33, TJSAMP_440},
                 {9, 9, TJSAMP_444},   {31, 23, TJSAMP_GRAY}, {70, 13, TJSAMP_411}};
    tjhandle tj = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << " sampling " << c.subsampling);
        const QImage photo =
            test::photoLike(c.width, c.height, 5).convertToFormat(QImage::Format_RGB888);
        const QByteArray input = test::encodeJpeg(photo, 90, c.subsampling);
        const std::optional<PlanarJpeg> planar = decodeMovedJpegPlanes(input, {});
        ASSERT_TRUE(planar);
        std::vector<QByteArray> expected;
        unsigned char* targets[3] = {};
        const unsigned char* sources[3] = {};
        int strides[3] = {};
        for (size_t i = 0; i < planar->planes.size(); ++i) {
            const int w = tjPlaneWidth(int(i), c.width, c.subsampling);
            expected.emplace_back(qsizetype(w) * tjPlaneHeight(int(i), c.height, c.subsampling),
                                  '\0');
            targets[i] = reinterpret_cast<unsigned char*>(expected.back().data());
            strides[i] = w;
        }
        ASSERT_EQ(tjDecompressToYUVPlanes(tj, reinterpret_cast<const uchar*>(input.constData()),
                                          input.size(), targets, c.width, strides, c.height, 0),
                  0);
        for (size_t i = 0; i < planar->planes.size(); ++i) {
            const QImage& plane = planar->planes[i];
            ASSERT_EQ(plane.width(), strides[i]);
            for (int y = 0; y < tjPlaneHeight(int(i), c.height, c.subsampling); ++y) {
                ASSERT_EQ(std::memcmp(plane.constScanLine(y), targets[i] + y * strides[i],
                                      size_t(strides[i])),
                          0)
                    << "plane " << i << " row " << y;
            }
            sources[i] = targets[i];
        }
        unsigned char* stream = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompressFromYUVPlanes(encoder, sources, c.width, strides, c.height,
                                          c.subsampling, &stream, &size, 85, TJFLAG_ACCURATEDCT),
                  0);
        EXPECT_EQ(encodeJpeg(*planar, 85),
                  QByteArray(reinterpret_cast<char*>(stream), qsizetype(size)));
        tjFree(stream);
    }
    tjDestroy(encoder);
    tjDestroy(tj);
}

TEST(JpegPlanes, OddSizesMoveOnlyWhereThePaddingStaysAtTheFarEnd) {
    const QImage photo = test::photoLike(33, 25, 3).convertToFormat(QImage::Format_RGB888);
    const QByteArray odd = test::encodeJpeg(photo, 90, TJSAMP_420);
    // An odd width: mirrored, the padding column would come first.
    EXPECT_FALSE(decodeMovedJpegPlanes(odd, PixelMove::mirror(Mirror::Horizontal)));
    // Orientation 6 turns the stored picture clockwise, bringing its odd bottom edge to the left.
    EXPECT_FALSE(decodeMovedJpegPlanes(test::withExifOrientation(odd, 6), {}));
    EXPECT_FALSE(decodeMovedJpegPlanes(odd.left(odd.size() / 2), {}));  // cut off
    EXPECT_FALSE(decodeMovedJpegPlanes(QByteArray("not a picture"), {}));

    // An odd width turned clockwise: the padding column becomes a padding row at the bottom.
    const QByteArray oddWidth = test::encodeJpeg(photo.copy(0, 0, 33, 24), 90, TJSAMP_420);
    const std::optional<PlanarJpeg> turned = decodeMovedJpegPlanes(oddWidth, PixelMove::turn(1));
    ASSERT_TRUE(turned);
    EXPECT_EQ(QSize(turned->width, turned->height), QSize(24, 33));
    const QImage reference = turnImage(decoded(oddWidth), 1);
    const QImage result = decoded(encodeJpeg(*turned, 95));
    ASSERT_EQ(result.size(), reference.size());
    // Planes shifted by the padding row against each other come out near 35 dB here.
    EXPECT_GT(test::psnr(reference, result), 42);
}

}  // namespace
}  // namespace zentavo
