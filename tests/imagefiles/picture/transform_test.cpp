#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "tests/imagefiles/readfixtures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <cstring>

namespace zentavo {
namespace {

using test::pixelBytes;
using test::randomImage;

enum class Op { MirrorHorizontal, MirrorVertical, Turn90, Turn180, Turn270 };

// Where the source pixel (x, y) of a w x h picture lands, written out per operation.
QPoint reference(Op op, int x, int y, int w, int h) {
    switch (op) {
        case Op::MirrorHorizontal:
            return {w - 1 - x, y};
        case Op::MirrorVertical:
            return {x, h - 1 - y};
        case Op::Turn90:
            return {h - 1 - y, x};
        case Op::Turn180:
            return {w - 1 - x, h - 1 - y};
        case Op::Turn270:
            return {y, w - 1 - x};
    }
    return {};
}

QImage apply(Op op, const QImage& image) {
    QImage result = image;
    switch (op) {
        case Op::MirrorHorizontal:
            mirrorImage(result, Mirror::Horizontal);
            return result;
        case Op::MirrorVertical:
            mirrorImage(result, Mirror::Vertical);
            return result;
        case Op::Turn90:
            return turnImage(image, 1);
        case Op::Turn180:
            return turnImage(image, 2);
        case Op::Turn270:
            return turnImage(image, -1);
    }
    return {};
}

struct FormatCase {
    QImage::Format format;
    const char* container;
};

class TransformsOfLoadedPictures : public ::testing::TestWithParam<FormatCase> {};

QByteArray encode(const QImage& image, const char* container) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, container);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

TEST_P(TransformsOfLoadedPictures, MoveEveryPixelExactlyOnOddSizes) {
    const auto [format, container] = GetParam();
    const QSize sizes[] = {{1, 1}, {1, 7}, {7, 1}, {641, 479}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(::testing::Message() << container << " " << size.width() << "x"
                                          << size.height() << " format " << int(format));
        QImage original = randomImage(size.width(), size.height(), format, 7);
        const bool keepsSpace =
            std::string_view(container) != "bmp" && format != QImage::Format_Grayscale8;
        if (keepsSpace) {
            original.setColorSpace(QColorSpace::SRgb);
        }
        const LoadResult loaded = loadPictureFromBytes(encode(original, container));
        ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
        const QImage& image = loaded.picture.image;
        EXPECT_EQ(image.colorSpace(), original.colorSpace());
        ASSERT_EQ(image.convertToFormat(QImage::Format_RGBA64),
                  original.convertToFormat(QImage::Format_RGBA64));

        for (Op op :
             {Op::MirrorHorizontal, Op::MirrorVertical, Op::Turn90, Op::Turn180, Op::Turn270}) {
            SCOPED_TRACE(int(op));
            const QImage result = apply(op, image);
            const bool quarter = op == Op::Turn90 || op == Op::Turn270;
            ASSERT_EQ(result.size(), quarter ? size.transposed() : size);
            EXPECT_EQ(result.format(), image.format());
            EXPECT_EQ(result.colorTable(), image.colorTable());
            EXPECT_EQ(result.colorSpace(), image.colorSpace());
            const int w = image.width();
            const int h = image.height();
            // The top-left pixel, checked by hand for the 1 x 7 case: a clockwise turn puts it
            // at the top right.
            if (size == QSize(1, 7) && op == Op::Turn90) {
                EXPECT_EQ(pixelBytes(result, 6, 0), pixelBytes(image, 0, 0));
            }
            bool same = true;
            for (int y = 0; y < h && same; ++y) {
                for (int x = 0; x < w && same; ++x) {
                    const QPoint to = reference(op, x, y, w, h);
                    same = pixelBytes(result, to.x(), to.y()) == pixelBytes(image, x, y);
                    EXPECT_TRUE(same) << "source pixel " << x << "," << y;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndContainers, TransformsOfLoadedPictures,
    ::testing::Values(
        FormatCase{QImage::Format_RGB888, "bmp"}, FormatCase{QImage::Format_RGB888, "png"},
        FormatCase{QImage::Format_RGB888, "tiff"}, FormatCase{QImage::Format_ARGB32, "png"},
        FormatCase{QImage::Format_ARGB32, "tiff"}, FormatCase{QImage::Format_RGBA64, "png"},
        FormatCase{QImage::Format_RGBA64, "tiff"}, FormatCase{QImage::Format_Grayscale8, "png"},
        FormatCase{QImage::Format_Grayscale8, "tiff"}, FormatCase{QImage::Format_Indexed8, "bmp"},
        FormatCase{QImage::Format_Indexed8, "png"}, FormatCase{QImage::Format_Indexed8, "tiff"}));

// Every pixel of result sits where op puts it; the first misplaced one is reported.
void expectEveryPixelMoved(Op op, const QImage& image, const QImage& result) {
    const bool quarter = op == Op::Turn90 || op == Op::Turn270;
    ASSERT_EQ(result.size(), quarter ? image.size().transposed() : image.size());
    ASSERT_EQ(result.format(), image.format());
    const int bytes = image.depth() / 8;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPoint to = reference(op, x, y, image.width(), image.height());
            ASSERT_EQ(std::memcmp(result.constScanLine(to.y()) + to.x() * bytes,
                                  image.constScanLine(y) + x * bytes, bytes),
                      0)
                << "source pixel " << x << "," << y;
        }
    }
}

// The fast paths work on blocks of 16 pixels (mirrors) and of 4 x 4 pixels, or 8 x 8 single
// bytes, inside 64 x 64 tiles (turns); these sizes end a row or a column just before, on and
// just past a block or tile edge, and reach a second and third row of tiles.
TEST(TransformBlockEdges, EveryPixelMovesExactlyAroundBlockEdges) {
    const int widths[] = {1, 2, 3, 4, 5, 15, 16, 17, 31, 32, 33, 47, 48, 49, 63, 64, 65, 641};
    const int heights[] = {1, 3, 4, 7, 66, 133};
    for (QImage::Format format :
         {QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_ARGB32,
          QImage::Format_RGBA8888, QImage::Format_Grayscale8, QImage::Format_RGB16}) {
        for (const int w : widths) {
            for (const int h : heights) {
                SCOPED_TRACE(::testing::Message()
                             << "format " << int(format) << " " << w << "x" << h);
                const QImage image = randomImage(w, h, format, unsigned(w * 131 + h));
                for (Op op : {Op::MirrorHorizontal, Op::Turn90, Op::Turn180, Op::Turn270}) {
                    SCOPED_TRACE(int(op));
                    expectEveryPixelMoved(op, image, apply(op, image));
                }
            }
        }
    }
}

TEST(TransformBlockEdges, RowPaddingAndTheSourceStayUntouched) {
    // 5 pixels of 3 bytes leave one byte of padding in each 16-byte row.
    QImage image = randomImage(5, 9, QImage::Format_RGB888, 5);
    for (int y = 0; y < image.height(); ++y) {
        image.scanLine(y)[15] = 0xA5;
    }
    const QImage original = image.copy();
    const QImage turned = turnImage(image, 1);
    EXPECT_EQ(image, original);
    mirrorImage(image, Mirror::Horizontal);
    for (int y = 0; y < image.height(); ++y) {
        EXPECT_EQ(image.scanLine(y)[15], 0xA5);
    }
    expectEveryPixelMoved(Op::Turn90, original, turned);
}

TEST(TransformFormats, EveryPixelWidthMovesWhole) {
    // 2, 6 (none in Qt: covered by 3 and 12 neighbours), 8 and 16 bytes a pixel.
    for (QImage::Format format : {QImage::Format_RGB16, QImage::Format_RGBA64,
                                  QImage::Format_RGBA32FPx4, QImage::Format_Grayscale16}) {
        const QImage image = randomImage(5, 3, format, 3);
        const QImage turned = turnImage(image, 1);
        QImage mirrored = image;
        mirrorImage(mirrored, Mirror::Horizontal);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(pixelBytes(turned, 2 - y, x), pixelBytes(image, x, y));
                EXPECT_EQ(pixelBytes(mirrored, 4 - x, y), pixelBytes(image, x, y));
            }
        }
    }
}

TEST(TransformFormats, OneBitPicturesBecomeIndexedWithTheSameColours) {
    QImage mono(9, 2, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(0, 0, 1);
    const QImage turned = turnImage(mono, 1);
    EXPECT_EQ(turned.format(), QImage::Format_Indexed8);
    EXPECT_EQ(turned.pixelColor(1, 0), QColor(Qt::white));
    EXPECT_EQ(turned.pixelColor(0, 0), QColor(Qt::black));
}

TEST(GifTransforms, TurnMovesEveryFrameAndItsOffset) {
    GifAnimation gif;
    gif.screenWidth = 10;
    gif.screenHeight = 6;
    for (int i = 0; i < 3; ++i) {
        GifFrame frame;
        frame.indices = randomImage(3 + i, 2 + i, QImage::Format_Indexed8, unsigned(i));
        frame.left = i;
        frame.top = 2 * i;
        gif.frames.push_back(frame);
    }
    const GifAnimation before = gif;
    turnGif(gif, 1);
    EXPECT_EQ(gif.screenWidth, 6);
    EXPECT_EQ(gif.screenHeight, 10);
    for (size_t i = 0; i < gif.frames.size(); ++i) {
        const GifFrame& was = before.frames[i];
        const GifFrame& now = gif.frames[i];
        const int w = was.indices.width();
        const int h = was.indices.height();
        EXPECT_EQ(now.left, 6 - was.top - h);
        EXPECT_EQ(now.top, was.left);
        ASSERT_EQ(now.indices.size(), QSize(h, w));
        // Every index lands where the screen turn puts it.
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QPoint screen(was.left + x, was.top + y);
                const QPoint turned(6 - 1 - screen.y(), screen.x());
                EXPECT_EQ(now.indices.pixelIndex(turned.x() - now.left, turned.y() - now.top),
                          was.indices.pixelIndex(x, y));
            }
        }
    }
    turnGif(gif, 3);
    for (size_t i = 0; i < gif.frames.size(); ++i) {
        EXPECT_EQ(gif.frames[i].left, before.frames[i].left);
        EXPECT_EQ(gif.frames[i].top, before.frames[i].top);
        EXPECT_EQ(gif.frames[i].indices, before.frames[i].indices);
    }
}

TEST(GifTransforms, MirrorsMoveOffsetsToTheOtherSide) {
    GifAnimation gif;
    gif.screenWidth = 10;
    gif.screenHeight = 6;
    GifFrame frame;
    frame.indices = randomImage(3, 2, QImage::Format_Indexed8, 1);
    frame.left = 1;
    frame.top = 1;
    gif.frames.push_back(frame);
    mirrorGif(gif, Mirror::Horizontal);
    EXPECT_EQ(gif.frames[0].left, 6);
    mirrorGif(gif, Mirror::Vertical);
    EXPECT_EQ(gif.frames[0].top, 3);
    EXPECT_EQ(gif.frames[0].indices.pixelIndex(2, 1), frame.indices.pixelIndex(0, 0));
}

TEST(PictureTransforms, ACopyKeepsItsOwnAnimation) {
    Picture picture;
    picture.image = randomImage(4, 2, QImage::Format_ARGB32, 1);
    picture.gif = std::make_shared<GifAnimation>();
    picture.gif->screenWidth = 4;
    picture.gif->screenHeight = 2;
    picture.gif->frames.push_back({randomImage(4, 2, QImage::Format_Indexed8, 2)});
    const Picture copy = picture;
    turnPicture(picture, 1);
    EXPECT_EQ(picture.gif->screenWidth, 2);
    EXPECT_EQ(copy.gif->screenWidth, 4);
    EXPECT_EQ(copy.image.width(), 4);
}

}  // namespace
}  // namespace zentavo
