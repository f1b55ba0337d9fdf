// The preview's after picture: the run's moves, checked by where one known pixel lands.
#include "batch/preview.h"
#include "report/zentavoerror.h"

#include <gtest/gtest.h>

namespace zentavo {
namespace {

struct MoveCase {
    Operation operation;
    FlipDirection direction;
    const char* degrees;
    QSize size;  // of the after picture of a 4 x 2 picture
    QPoint red;  // where its upper-left (red) pixel lands
};

TEST(PreviewAfter, MovesThePictureAsTheRunWould) {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    Picture before;
    before.image = image;
    const MoveCase cases[] = {
        {Operation::Flip, FlipDirection::Horizontal, "-90", {4, 2}, {3, 0}},
        {Operation::Flip, FlipDirection::Vertical, "-90", {4, 2}, {0, 1}},
        {Operation::Rotate, FlipDirection::Horizontal, "-90", {2, 4}, {1, 0}},
        {Operation::Rotate, FlipDirection::Horizontal, "-180", {4, 2}, {3, 1}},
        {Operation::Rotate, FlipDirection::Horizontal, "-270", {2, 4}, {0, 3}},
        {Operation::None, FlipDirection::Horizontal, "-90", {4, 2}, {0, 0}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.operation)) + " " + std::to_string(int(c.direction)) +
                     " " + c.degrees);
        FixedJobOptions options;
        options.op = c.operation;
        options.direction = c.direction;
        options.rotation = QString::fromLatin1(c.degrees);
        const Picture after = previewAfter(before, options);
        ASSERT_EQ(after.image.size(), c.size);
        for (int y = 0; y < c.size.height(); ++y) {
            for (int x = 0; x < c.size.width(); ++x) {
                EXPECT_EQ(
                    qRed(after.image.pixel(x, y)) == 255 && qGreen(after.image.pixel(x, y)) == 0,
                    QPoint(x, y) == c.red)
                    << x << "," << y;
            }
        }
    }
    // The picture it was made from is left as it was.
    EXPECT_EQ(before.image.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(PreviewAfter, AnAngleOffTheRightAnglesIsDrawnOnTheRunsCanvas) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    Picture before;
    before.image = image;
    FixedJobOptions options;
    options.op = Operation::Rotate;
    options.rotation = QStringLiteral("-45");
    const Picture after = previewAfter(before, options);
    // The canvas holds the whole turned picture, with the canvas's white where it does not reach.
    EXPECT_GT(after.image.width(), 40);
    EXPECT_GT(after.image.height(), 20);
    EXPECT_EQ(after.image.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(qRed(after.image.pixel(after.image.width() / 2, after.image.height() / 2)), 0);
}

}  // namespace
}  // namespace zentavo
