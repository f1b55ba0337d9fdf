#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

namespace zentavo {

// The canvas and the three destination points of one turn: the source's upper-left,
// upper-right and lower-left corners land on points[0], points[1] and points[2]. points[3]
// completes the list and is not drawn with.
struct RotationGeometry {
    QSize canvas;            // whole pixels
    double canvasWidth = 0;  // the canvas before rounding to whole pixels
    double canvasHeight = 0;
    std::array<QPoint, 4> points;
};

// The leading number of a text, as the rotation text is read: "-90" gives -90, "12abc" 12,
// text without a number 0.
double leadingNumber(const QString& text);

// The clockwise quarter turns (0 to 3) that the rotation text asks for when it is a multiple of
// 90 degrees ("-90" gives 1, "-270" and "90" give 3); nothing for other angles.
std::optional<int> clockwiseQuarterTurns(const QString& degrees);

// CalcRotation: the canvas and points that turn a width x height picture by the rotation text
// (negative degrees turn clockwise on a screen whose y axis points down).
//
// Multiples of 90 degrees are exact: sine and cosine are exactly 0 or 1, the canvas is the
// turned size and the points put the turned picture at (0,0), so the draw moves pixels without
// resampling: 640 x 480 at "-90" gives a 480 x 640 canvas and (480,0), (480,640), (0,0).
// Other angles keep the program's classic geometry (angle = degrees x 0.01745 in single
// precision), which leaves background where the picture does not reach.
// Throws ZentavoError(Overflow) when a point does not fit 32 bits.
RotationGeometry CalcRotation(const QString& degrees, int width, int height);

}  // namespace zentavo
