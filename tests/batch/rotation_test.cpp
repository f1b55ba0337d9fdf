#include "batch/rotation.h"

#include <gtest/gtest.h>

using namespace zentavo;

namespace {

struct TurnCase {
    const char* degrees;
    int width, height;
    int canvasWidth, canvasHeight;
    QPoint p0, p1, p2;
};

// Right-angle turns are exact: the turned picture fills the canvas from (0,0).
const TurnCase Turns[] = {
    {"-90", 640, 480, 480, 640, {480, 0}, {480, 640}, {0, 0}},
    {"-180", 640, 480, 640, 480, {640, 480}, {0, 480}, {640, 0}},
    {"-270", 640, 480, 480, 640, {0, 640}, {0, 0}, {480, 640}},
    {"-90", 4000, 3000, 3000, 4000, {3000, 0}, {3000, 4000}, {0, 0}},
    {"-180", 4000, 3000, 4000, 3000, {4000, 3000}, {0, 3000}, {4000, 0}},
    {"-270", 4000, 3000, 3000, 4000, {0, 4000}, {0, 0}, {3000, 4000}},
    {"0", 640, 480, 640, 480, {0, 0}, {640, 0}, {0, 480}},
    {"no number", 640, 480, 640, 480, {0, 0}, {640, 0}, {0, 480}},
    {"90", 640, 480, 480, 640, {0, 640}, {0, 0}, {480, 640}},
    {"-450", 3, 2, 2, 3, {2, 0}, {2, 3}, {0, 0}},
    {"-90", 1, 1, 1, 1, {1, 0}, {1, 1}, {0, 0}},
};

}  // namespace

class ExactTurn : public ::testing::TestWithParam<TurnCase> {};

TEST_P(ExactTurn, GivesTheTurnedCanvasAndCorners) {
    const TurnCase& c = GetParam();
    const RotationGeometry g = CalcRotation(QString::fromUtf8(c.degrees), c.width, c.height);
    EXPECT_EQ(g.canvas, QSize(c.canvasWidth, c.canvasHeight));
    EXPECT_EQ(g.points[0], c.p0);
    EXPECT_EQ(g.points[1], c.p1);
    EXPECT_EQ(g.points[2], c.p2);
}

INSTANTIATE_TEST_SUITE_P(Table, ExactTurn, ::testing::ValuesIn(Turns));

TEST(ExactTurn, NinetyClockwisePutsTheUpperLeftCornerTopRight) {
    // Independent of the table: with y pointing down, the upper-left corner of a clockwise
    // quarter turn lands at the right end of the top edge, the lower-left at the origin.
    const RotationGeometry g = CalcRotation("-90", 7, 3);
    EXPECT_EQ(g.points[0], QPoint(g.canvas.width(), 0));
    EXPECT_EQ(g.points[2], QPoint(0, 0));
    EXPECT_EQ(g.points[1], QPoint(g.canvas.width(), g.canvas.height()));
}

TEST(OtherAngles, KeepTheClassicGeometry) {
    // -45 degrees with the classic constant: s = -0.70699..., c = 0.70721...
    const RotationGeometry g = CalcRotation("-45", 100, 100);
    EXPECT_NEAR(g.canvasWidth, 141.42, 0.05);
    EXPECT_NEAR(g.canvasHeight, 141.42, 0.05);
    EXPECT_EQ(g.canvas, QSize(141, 141));
    // Sign of s negative, c positive: offset x = round(|s| * H), offset y = 0.
    EXPECT_EQ(g.points[0], QPoint(71, 0));
    EXPECT_EQ(g.points[1], QPoint(142, 71));
    EXPECT_EQ(g.points[2], QPoint(0, 71));
}

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfTheText) {
    EXPECT_EQ(leadingNumber("-90"), -90);
    EXPECT_EQ(leadingNumber("  -180"), -180);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("1.5"), 1.5);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("-"), 0);
}
