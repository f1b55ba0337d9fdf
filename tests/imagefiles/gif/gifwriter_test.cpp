#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "tests/imagefiles/writefixtures.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <functional>
#include <memory>

namespace zentavo {
namespace {

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

GifFile slurp(const QString& path) {
    int error = 0;
    GifFile gif(DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (!gif || DGifSlurp(gif.get()) != GIF_OK) {
        return nullptr;
    }
    return gif;
}

QList<QRgb> palette(int count, int seed) {
    QList<QRgb> colors;
    for (int i = 0; i < count; ++i) {
        colors << qRgb((i * 70 + seed) % 256, (i * 30 + seed * 3) % 256, (i * 110) % 256);
    }
    return colors;
}

GifFrame frame(int left, int top, int width, int height, const QList<QRgb>& colors,
               const std::function<int(int, int)>& index) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.indices = QImage(width, height, QImage::Format_Indexed8);
    f.indices.setColorTable(colors);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            f.indices.setPixel(x, y, uint(index(x, y)));
        }
    }
    return f;
}

// Three frames on a 10 x 9 screen: a full one with a transparent index, a small one with its own
// palette at an offset, and an interlaced one; looping forever.
Picture animation() {
    auto gif = std::make_shared<GifAnimation>();
    gif->screenWidth = 10;
    gif->screenHeight = 9;
    gif->globalPalette = palette(4, 1);
    gif->backgroundIndex = 2;
    gif->loopCount = 0;
    GifFrame full =
        frame(0, 0, 10, 9, gif->globalPalette, [](int x, int y) { return (x + 2 * y) % 4; });
    full.transparentIndex = 3;
    full.delayCentiseconds = 10;
    full.disposal = 1;
    GifFrame small = frame(5, 2, 4, 3, palette(8, 9), [](int x, int y) { return (x * 3 + y) % 8; });
    small.localPalette = true;
    small.transparentIndex = 0;
    small.delayCentiseconds = 25;
    small.disposal = 2;
    small.userInput = true;
    GifFrame interlaced =
        frame(1, 3, 7, 6, gif->globalPalette, [](int x, int y) { return (x * x + 3 * y) % 4; });
    interlaced.interlaced = true;
    interlaced.disposal = 3;
    gif->frames = {full, small, interlaced};
    Picture picture;
    picture.format = PictureFormat::Gif;
    picture.image = full.indices.convertToFormat(QImage::Format_ARGB32);
    picture.gif = gif;
    return picture;
}

// Where a frame of the original lands, computed here from the geometry alone: frame pixel (x, y)
// of a w x h frame at (left, top) on a W x H screen.
struct Placement {
    int left, top, width, height;
    std::function<QPoint(int, int)> source;  // new frame pixel -> original frame pixel
};

Placement mirrored(const GifFrame& f, int screenWidth) {
    const int w = f.indices.width();
    return {screenWidth - f.left - w, f.top, w, f.indices.height(),
            [w](int x, int y) { return QPoint(w - 1 - x, y); }};
}

Placement turned(const GifFrame& f, int screenHeight) {
    // Clockwise: original (x, y) goes to (h - 1 - y, x) inside the frame.
    const int h = f.indices.height();
    return {screenHeight - f.top - h, f.left, h, f.indices.width(),
            [h](int x, int y) { return QPoint(y, h - 1 - x); }};
}

void expectFramesExactly(const QString& path, const Picture& original,
                         const std::function<Placement(const GifFrame&)>& place, int screenWidth,
                         int screenHeight) {
    const GifFile gif = slurp(path);
    ASSERT_TRUE(gif);
    const GifAnimation& source = *original.gif;
    EXPECT_EQ(gif->SWidth, screenWidth);
    EXPECT_EQ(gif->SHeight, screenHeight);
    EXPECT_EQ(gif->SBackGroundColor, 2);
    ASSERT_TRUE(gif->SColorMap);
    for (int i = 0; i < 4; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        EXPECT_EQ(qRgb(c.Red, c.Green, c.Blue), source.globalPalette[i]);
    }
    ASSERT_EQ(gif->ImageCount, 3);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        const GifFrame& f = source.frames[size_t(n)];
        const SavedImage& saved = gif->SavedImages[n];
        const Placement p = place(f);
        EXPECT_EQ(saved.ImageDesc.Left, p.left);
        EXPECT_EQ(saved.ImageDesc.Top, p.top);
        ASSERT_EQ(saved.ImageDesc.Width, p.width);
        ASSERT_EQ(saved.ImageDesc.Height, p.height);
        EXPECT_EQ(bool(saved.ImageDesc.Interlace), f.interlaced);
        EXPECT_EQ(saved.ImageDesc.ColorMap != nullptr, f.localPalette);
        if (saved.ImageDesc.ColorMap) {
            for (int i = 0; i < f.indices.colorCount(); ++i) {
                const GifColorType c = saved.ImageDesc.ColorMap->Colors[i];
                EXPECT_EQ(qRgb(c.Red, c.Green, c.Blue), f.indices.color(i));
            }
        }
        int wrong = 0;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const QPoint from = p.source(x, y);
                wrong +=
                    saved.RasterBits[y * p.width + x] != f.indices.pixelIndex(from.x(), from.y());
            }
        }
        EXPECT_EQ(wrong, 0);
        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), n, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, f.delayCentiseconds);
        EXPECT_EQ(gcb.DisposalMode, f.disposal);
        EXPECT_EQ(bool(gcb.UserInputFlag), f.userInput);
        EXPECT_EQ(gcb.TransparentColor, f.transparentIndex);
    }
    // The NETSCAPE2.0 block comes before the first frame: loop count 0, forever.
    const SavedImage& first = gif->SavedImages[0];
    bool looping = false;
    for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i) {
        const ExtensionBlock& b = first.ExtensionBlocks[i];
        if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
            std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0) {
            const ExtensionBlock& data = first.ExtensionBlocks[i + 1];
            looping = data.ByteCount == 3 && data.Bytes[0] == 1 && data.Bytes[1] == 0 &&
                      data.Bytes[2] == 0;
        }
    }
    EXPECT_TRUE(looping);
}

TEST(GifWriter, FlippedAnimationKeepsEveryFrameExactly) {
    QTemporaryDir dir;
    const Picture original = animation();
    Picture picture = original;
    picture.gif = std::make_shared<GifAnimation>(*original.gif);
    mirrorPicture(picture, Mirror::Horizontal);
    const QString path = dir.filePath(QStringLiteral("flipped.gif"));
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    expectFramesExactly(
        path, original, [](const GifFrame& f) { return mirrored(f, 10); }, 10, 9);
}

TEST(GifWriter, TurnedAnimationKeepsEveryFrameExactly) {
    QTemporaryDir dir;
    const Picture original = animation();
    Picture picture = original;
    picture.gif = std::make_shared<GifAnimation>(*original.gif);
    turnPicture(picture, 1);
    const QString path = dir.filePath(QStringLiteral("turned.gif"));
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    expectFramesExactly(
        path, original, [](const GifFrame& f) { return turned(f, 9); }, 9, 10);
}

TEST(GifWriter, CommentsComeBackThroughAFlip) {
    QTemporaryDir dir;
    Picture picture = animation();
    picture.gif = std::make_shared<GifAnimation>(*picture.gif);
    // One comment longer than a sub-block, to be cut and joined again.
    const QList<QByteArray> comments = {"Harbour, June", QByteArray(300, 'x') + "end"};
    picture.gif->comments = comments;
    mirrorPicture(picture, Mirror::Horizontal);
    const QString path = dir.filePath(QStringLiteral("comments.gif"));
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    const LoadResult loaded = loadPicture(path);
    ASSERT_TRUE(loaded.ok() && loaded.picture.gif);
    EXPECT_EQ(loaded.picture.gif->comments, comments);
}

QImage composedFrame(const GifFileType* gif) {
    const SavedImage& saved = gif->SavedImages[0];
    const ColorMapObject* map =
        saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
    QImage image(saved.ImageDesc.Width, saved.ImageDesc.Height, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const GifColorType c = map->Colors[saved.RasterBits[y * image.width() + x]];
            image.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
        }
    }
    return image;
}

// A photograph through libimagequant with dithering: measured 38.3 dB for this picture.
TEST(GifWriter, PhotographIsQuantisedCloseToTheOriginal) {
    QTemporaryDir dir;
    const QImage photo = test::photoLike(256, 192);
    Picture picture;
    picture.image = photo;
    const QString path = dir.filePath(QStringLiteral("photo.gif"));
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    const GifFile gif = slurp(path);
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 1);
    const double quality = test::psnr(photo, composedFrame(gif.get()));
    RecordProperty("psnr", QByteArray::number(quality, 'f', 1).toStdString());
    EXPECT_GE(quality, 33.0);
}

TEST(GifWriter, FullTransparencyBecomesTheTransparentColour) {
    QTemporaryDir dir;
    QImage image = test::photoLike(40, 20).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 15; ++x) {
            image.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    Picture picture;
    picture.image = image;
    const QString path = dir.filePath(QStringLiteral("clear.gif"));
    ASSERT_TRUE(SaveWithEncoder(picture, path, QStringLiteral("image/gif")));
    const GifFile gif = slurp(path);
    ASSERT_TRUE(gif);
    GraphicsControlBlock gcb;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), 0, &gcb), GIF_OK);
    ASSERT_GE(gcb.TransparentColor, 0);
    int misplaced = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool clear = gif->SavedImages[0].RasterBits[y * 40 + x] == gcb.TransparentColor;
            misplaced += clear != (x < 15);
        }
    }
    EXPECT_EQ(misplaced, 0);
}

}  // namespace
}  // namespace zentavo
