#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/png/pngcodec.h"
#include "tests/imagefiles/png/pngsamples.h"

#include <gtest/gtest.h>

namespace zentavo {
namespace {

int wrongPixels(const QImage& image, const test::MadePng& png, bool mirrored) {
    int wrong = 0;
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            const int sourceX = mirrored ? png.width - 1 - x : x;
            const QRgba64 want = png.expected[y * png.width + sourceX];
            const QRgba64 got = image.pixelColor(x, y).rgba64();
            // A transparent pixel has no colour to compare.
            wrong += want.alpha() == 0 ? got.alpha() != 0 : got != want;
        }
    }
    return wrong;
}

// Each file is read twice, with other files read in between, so pixels left over from an
// earlier picture would show as a difference.
TEST(PngReading, EveryColourTypeDepthAndInterlacingReadsExactlyTwiceFlipsAndWritesBack) {
    for (const test::PngKind& kind : test::everyPngKind()) {
        SCOPED_TRACE(kind.name().toStdString());
        const test::MadePng png = test::makePng(kind);
        LoadResult first = loadPictureFromBytes(png.file);
        ASSERT_TRUE(first.ok()) << first.reason.toStdString();
        const QImage& image = first.picture.image;
        EXPECT_EQ(image.size(), QSize(png.width, png.height));
        EXPECT_EQ(wrongPixels(image, png, false), 0);
        const bool alpha = kind.transparency || kind.colourType == 4 || kind.colourType == 6;
        EXPECT_EQ(image.hasAlphaChannel(), alpha);
        if (kind.depth == 16) {
            EXPECT_GE(image.depth() / (alpha || kind.colourType == 2 ? 4 : 1), 16)
                << "16-bit samples narrowed";
        }
        const LoadResult second = loadPictureFromBytes(png.file);
        ASSERT_TRUE(second.ok());
        EXPECT_EQ(second.picture.image, image) << "two reads of one file differ";

        // Our writer keeps the kind: colour type, depth, palette and transparency.
        const LoadResult again = loadPictureFromBytes(encodePng(second.picture));
        ASSERT_TRUE(again.ok()) << again.reason.toStdString();
        EXPECT_EQ(again.picture.image.format(), image.format());
        EXPECT_EQ(wrongPixels(again.picture.image, png, false), 0) << "written and read again";

        mirrorPicture(first.picture, Mirror::Horizontal);
        EXPECT_EQ(wrongPixels(first.picture.image, png, true), 0) << "after a flip";
    }
}

TEST(PngReading, DamagedImageDataIsRefusedWithTheLibrarysReason) {
    const test::MadePng png = test::makePng({2, 8, true, false});
    QByteArray badChecksum = png.file;
    const qsizetype data = badChecksum.indexOf("IDAT") + 8;
    badChecksum[data] = char(badChecksum[data] ^ 0x55);
    for (const QByteArray& file : {badChecksum, png.file.left(png.file.size() - 30)}) {
        const LoadResult result = loadPictureFromBytes(file);
        EXPECT_EQ(result.error, LoadError::Corrupt);
        EXPECT_TRUE(result.picture.isEmpty());
        EXPECT_TRUE(result.reason.startsWith(QLatin1String("The PNG data is damaged")))
            << result.reason.toStdString();
    }
}

}  // namespace
}  // namespace zentavo
