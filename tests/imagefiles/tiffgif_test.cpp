#include "imagefiles/loadpicfile.h"
#include "tests/imagefiles/readfixtures.h"

#include <gtest/gtest.h>

#include <random>

namespace zentavo {
namespace {

struct AlphaCase {
    int bits;
    bool associated;
    QImage::Format expected;
};

class TiffAlpha : public ::testing::TestWithParam<AlphaCase> {};

// Unassociated alpha is kept as stored: a fully transparent pixel keeps its colour, and no
// sample is rounded through premultiplication.
TEST_P(TiffAlpha, SamplesAreReadExactly) {
    const auto [bits, associated, expected] = GetParam();
    const int width = 7;
    const int height = 5;
    std::mt19937 random(11);
    std::vector<quint16> samples(size_t(width) * height * 4);
    const quint16 top = bits == 8 ? 0xFF : 0xFFFF;
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = quint16(random() % (top + 1u));
    }
    if (associated) {  // colour never above alpha
        for (size_t i = 0; i < samples.size(); i += 4) {
            for (int c = 0; c < 3; ++c) {
                samples[i + c] = std::min(samples[i + c], samples[i + 3]);
            }
        }
    } else {
        samples[3] = 0;  // transparent, with a colour that must survive
        samples[0] = top;
    }
    const LoadResult result =
        loadPictureFromBytes(test::writeRgbaTiff(width, height, bits, associated, samples));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    const QImage& image = result.picture.image;
    ASSERT_EQ(image.format(), expected);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const size_t i = (size_t(y) * width + x) * 4 + c;
                const quint16 value =
                    bits == 8 ? image.constScanLine(y)[x * 4 + c]
                              : reinterpret_cast<const quint16*>(image.constScanLine(y))[x * 4 + c];
                ASSERT_EQ(value, samples[i]) << x << "," << y << " sample " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BitsAndAlpha, TiffAlpha,
    ::testing::Values(AlphaCase{8, false, QImage::Format_RGBA8888},
                      AlphaCase{16, false, QImage::Format_RGBA64},
                      AlphaCase{8, true, QImage::Format_RGBA8888_Premultiplied},
                      AlphaCase{16, true, QImage::Format_RGBA64_Premultiplied}));

TEST(TiffPages, PagesAfterTheFirstAreCountedAsDropped) {
    const std::vector<quint16> samples(2 * 2 * 4, 200);
    const LoadResult result = loadPictureFromBytes(test::writeRgbaTiff(2, 2, 8, false, samples, 3));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    EXPECT_EQ(result.picture.droppedPages, 2);
    EXPECT_EQ(
        loadPictureFromBytes(test::writeRgbaTiff(2, 2, 8, false, samples)).picture.droppedPages, 0);
}

TEST(GifLoading, EveryFrameIsKeptWithItsTimingAndTheFirstIsComposed) {
    std::vector<test::GifFrameInput> frames(3);
    for (int i = 0; i < 3; ++i) {
        frames[i].indices = test::randomImage(4 + i, 3, QImage::Format_Indexed8, unsigned(i));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4 + i; ++x) {
                frames[i].indices.setPixel(x, y, frames[i].indices.pixelIndex(x, y) % 4);
            }
        }
        frames[i].left = i;
        frames[i].top = i * 2;
        frames[i].delay = 10 * (i + 1);
    }
    frames[0].transparentIndex = 3;
    frames[1].localPalette = true;
    const LoadResult result = loadPictureFromBytes(test::writeGif(12, 9, frames, 0));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    const Picture& picture = result.picture;
    ASSERT_TRUE(picture.gif);
    const GifAnimation& gif = *picture.gif;
    EXPECT_EQ(picture.format, PictureFormat::Gif);
    EXPECT_EQ(gif.screenWidth, 12);
    EXPECT_EQ(gif.screenHeight, 9);
    EXPECT_EQ(gif.loopCount, 0);
    ASSERT_EQ(gif.frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const GifFrame& frame = gif.frames[size_t(i)];
        EXPECT_EQ(frame.left, i);
        EXPECT_EQ(frame.top, i * 2);
        EXPECT_EQ(frame.delayCentiseconds, 10 * (i + 1));
        EXPECT_EQ(frame.localPalette, i == 1);
        ASSERT_EQ(frame.indices.size(), frames[size_t(i)].indices.size());
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4 + i; ++x) {
                EXPECT_EQ(frame.indices.pixelIndex(x, y),
                          frames[size_t(i)].indices.pixelIndex(x, y));
            }
        }
    }
    EXPECT_EQ(gif.frames[0].transparentIndex, 3);
    EXPECT_EQ(gif.frames[1].indices.colorTable()[1], qRgb(255 ^ 0x55, 0, 0));
    ASSERT_EQ(picture.image.size(), QSize(12, 9));
    EXPECT_EQ(picture.image.pixelColor(11, 8).alpha(), 0);  // beyond the first frame
    const int index = frames[0].indices.pixelIndex(0, 0);
    EXPECT_EQ(picture.image.pixelColor(0, 0).alpha(), index == 3 ? 0 : 255);
}

TEST(GifLoading, FramesPastTheScreenGrowItAndCutOffFramesAreDamage) {
    std::vector<test::GifFrameInput> frames(1);
    frames[0].indices = QImage(5, 5, QImage::Format_Indexed8);
    frames[0].indices.fill(1);
    frames[0].left = 10;
    const QByteArray bytes = test::writeGif(4, 4, frames, -1);
    const LoadResult grown = loadPictureFromBytes(bytes);
    ASSERT_TRUE(grown.ok());
    EXPECT_EQ(grown.picture.image.size(), QSize(15, 5));
    EXPECT_EQ(grown.picture.gif->loopCount, -1);
    EXPECT_EQ(loadPictureFromBytes(bytes.left(bytes.size() - 6)).error, LoadError::Corrupt);
}

}  // namespace
}  // namespace zentavo
