#include "imagefiles/imaging.h"
#include "imagefiles/picture/transform.h"
#include "report/zentavoerror.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/testsupport.h"

#include <QColorSpace>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zentavo {
namespace {

using test::pixelBytes;

TEST(ImagingStartup, StartsWhenEveryCodecIsPresent) {
    ImagingStartup startup;
    EXPECT_TRUE(startup.start());
    EXPECT_TRUE(startup.started());
    startup.end();
    EXPECT_FALSE(startup.started());
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        QImage source = test::randomImage(640, 480, QImage::Format_RGBA64, 9);
        source.setColorSpace(QColorSpace::DisplayP3);
        source.save(m_dir.filePath("source.png"));
        m_image.load(m_dir.filePath("source.png"));
    }
    Picture draw(QSize canvas, QPoint p0, QPoint p1, QPoint p2) {
        Picture surface;
        prepareCanvas(surface, canvas);
        GraphicsObject graphics;
        graphics.Bind(surface);
        graphics.SetRenderingModes(4, 2);
        const QPoint points[3] = {p0, p1, p2};
        graphics.DrawImagePoints(m_image, points);
        graphics.Release();
        return surface;
    }
    QTemporaryDir m_dir;
    ImageObject m_image;
};

// The three turns with the canvases and points of the exact rotation geometry.
TEST_F(Drawing, RightAngleTurnsMovePixelsExactlyAndKeepDepthAndProfile) {
    struct Case {
        QSize canvas;
        QPoint p0, p1, p2;
        int quarterTurns;
        QPoint topLeftLandsAt;
    };
    const Case cases[] = {
        {{480, 640}, {480, 0}, {480, 640}, {0, 0}, 1, {479, 0}},
        {{640, 480}, {640, 480}, {0, 480}, {640, 0}, 2, {639, 479}},
        {{480, 640}, {0, 640}, {0, 0}, {480, 640}, 3, {0, 639}},
    };
    ASSERT_EQ(m_image.Width(), 640);
    ASSERT_EQ(m_image.Height(), 480);
    const QImage& source = m_image.picture().image;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quarterTurns);
        const Picture surface = draw(c.canvas, c.p0, c.p1, c.p2);
        EXPECT_EQ(surface.image.size(), c.canvas);
        EXPECT_EQ(surface.image.format(), source.format());
        EXPECT_EQ(surface.image.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        EXPECT_EQ(surface.format, PictureFormat::Png);
        EXPECT_EQ(pixelBytes(surface.image, c.topLeftLandsAt.x(), c.topLeftLandsAt.y()),
                  pixelBytes(source, 0, 0));
        EXPECT_EQ(surface.image, turnImage(source, c.quarterTurns));
    }
}

TEST_F(Drawing, MirrorPointsMirrorExactly) {
    const QImage& source = m_image.picture().image;
    QImage expected = source;
    mirrorImage(expected, Mirror::Horizontal);
    EXPECT_EQ(draw({640, 480}, {640, 0}, {0, 0}, {640, 480}).image, expected);
}

TEST_F(Drawing, OtherAnglesResampleOverAWhiteBackground) {
    // 45 degrees clockwise about the top-left corner, moved right so it stays on the canvas.
    const Picture surface = draw({1000, 800}, {340, 0}, {792, 452}, {0, 339});
    EXPECT_EQ(surface.image.size(), QSize(1000, 800));
    EXPECT_EQ(surface.image.pixelColor(0, 799), QColor(Qt::white));
    EXPECT_EQ(surface.image.pixelColor(999, 0), QColor(Qt::white));
    EXPECT_NE(surface.image.pixelColor(400, 300), QColor(Qt::white));
    EXPECT_FALSE(surface.image.hasAlphaChannel());
}

TEST_F(Drawing, AGifTurnedExactlyKeepsItsFramesAndOneDrawnAtAnAngleIsFlattened) {
    std::vector<test::GifFrameInput> frames(2);
    for (auto& frame : frames) {
        frame.indices = QImage(6, 4, QImage::Format_Indexed8);
        frame.indices.fill(2);
    }
    frames[1].left = 2;
    test::writeFile(m_dir.filePath("a.gif"), test::writeGif(8, 4, frames, 0));
    m_image.load(m_dir.filePath("a.gif"));
    const Picture turned = draw({4, 8}, {4, 0}, {4, 8}, {0, 0});
    ASSERT_TRUE(turned.gif);
    EXPECT_EQ(turned.gif->frames.size(), 2u);
    EXPECT_EQ(turned.gif->screenWidth, 4);
    EXPECT_EQ(turned.gif->frames[1].top, 2);
    const Picture tilted = draw({12, 12}, {4, 0}, {10, 6}, {0, 4});
    EXPECT_FALSE(tilted.gif);
}

TEST_F(Drawing, NothingToDrawOnOrNothingLoadedIsAnError) {
    GraphicsObject graphics;
    const QPoint points[3] = {{0, 0}, {640, 0}, {0, 480}};
    EXPECT_THROW(graphics.DrawImagePoints(m_image, points), ZentavoError);
    Picture surface;
    prepareCanvas(surface, {640, 480});
    graphics.Bind(surface);
    ImageObject empty;
    EXPECT_THROW(graphics.DrawImagePoints(empty, points), ZentavoError);
    EXPECT_THROW(prepareCanvas(surface, {70000, 10}), ZentavoError);
}

TEST(ImageObject, AFileThatCannotBeLoadedThrowsWithTheReasonAndEmptiesTheObject) {
    QTemporaryDir dir;
    test::writeFile(dir.filePath("text.png"), "not a picture");
    ImageObject image;
    test::randomImage(3, 2, QImage::Format_RGB888, 1).save(dir.filePath("ok.bmp"));
    image.load(dir.filePath("ok.bmp"));
    EXPECT_EQ(image.Width(), 3);
    try {
        image.load(dir.filePath("text.png"));
        FAIL() << "no error";
    } catch (const ZentavoError& error) {
        EXPECT_TRUE(error.description().contains("text.png"));
        EXPECT_EQ(error.number(), ErrorNumber::Generic);
    }
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
}

}  // namespace
}  // namespace zentavo
