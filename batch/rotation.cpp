#include "batch/rotation.h"

#include "report/zentavoerror.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace zentavo {

namespace {

// Round to nearest, ties to even, into 32 bits; overflow is an error as in the classic code.
qint32 roundToInt32(long double value) {
    const long double rounded = std::nearbyint(value);
    if (!std::isfinite(static_cast<double>(rounded)) ||
        rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max()) {
        throw ZentavoError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    }
    return static_cast<qint32>(rounded);
}

qint32 addChecked(qint32 a, qint32 b) {
    qint32 sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        throw ZentavoError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    }
    return sum;
}

int sign(float value) {
    return value > 0 ? 1 : (value < 0 ? -1 : 0);
}

RotationGeometry exactTurn(int quarterTurnsClockwise, int width, int height) {
    // Clockwise quarter turns of the mapping (x, y) -> (s*y + c*x, -s*x + c*y) with exact s, c;
    // the offset moves the smallest corner coordinate to 0 so the picture fills the canvas.
    static constexpr int sines[4] = {0, -1, 0, 1};
    static constexpr int cosines[4] = {1, 0, -1, 0};
    const int s = sines[quarterTurnsClockwise];
    const int c = cosines[quarterTurnsClockwise];
    const bool sideways = (quarterTurnsClockwise % 2) == 1;

    RotationGeometry geometry;
    geometry.canvas = sideways ? QSize(height, width) : QSize(width, height);
    geometry.canvasWidth = geometry.canvas.width();
    geometry.canvasHeight = geometry.canvas.height();

    const qint64 corners[4][2] = {{0, 0}, {width, 0}, {0, height}, {0, 0}};
    qint64 turned[4][2];
    qint64 minX = 0;
    qint64 minY = 0;
    for (int i = 0; i < 3; ++i) {
        const qint64 x = corners[i][0];
        const qint64 y = corners[i][1];
        turned[i][0] = s * y + c * x;
        turned[i][1] = -s * x + c * y;
        minX = std::min(minX, turned[i][0]);
        minY = std::min(minY, turned[i][1]);
    }
    // The fourth corner completes the parallelogram and may hold the minimum.
    minX = std::min(minX, turned[1][0] + turned[2][0] - turned[0][0]);
    minY = std::min(minY, turned[1][1] + turned[2][1] - turned[0][1]);
    turned[3][0] = turned[0][0];
    turned[3][1] = turned[0][1];
    for (int i = 0; i < 4; ++i) {
        geometry.points[i] =
            QPoint(roundToInt32(turned[i][0] - minX), roundToInt32(turned[i][1] - minY));
    }
    return geometry;
}

RotationGeometry classicTurn(double degrees, int width, int height) {
    const double angle = degrees * 0.01745;
    const float s = static_cast<float>(std::sin(angle));
    const float c = static_cast<float>(std::cos(angle));
    const long double w = width;
    const long double h = height;
    const long double absS = std::fabs(s);
    const long double absC = std::fabs(c);

    RotationGeometry geometry;
    geometry.canvasWidth = static_cast<float>(absC * w + absS * h);
    geometry.canvasHeight = static_cast<float>(absC * h + absS * w);
    geometry.canvas = QSize(static_cast<int>(std::lround(geometry.canvasWidth)),
                            static_cast<int>(std::lround(geometry.canvasHeight)));

    qint32 offX = 0;
    qint32 offY = 0;
    const int signS = sign(s);
    const int signC = sign(c);
    if (signS > 0 && signC > 0) {
        offY = roundToInt32(absS * w);
    } else if (signS < 0 && signC > 0) {
        offX = roundToInt32(absS * h);
    } else if (signS > 0 && signC < 0) {
        offX = roundToInt32(absC * w);
        offY = roundToInt32(absC * h + absS * w);
    } else if (signS < 0 && signC < 0) {
        offX = roundToInt32(absC * w + absS * h);
        offY = roundToInt32(absC * h);
    }

    const long double corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        const long double x = corners[i][0];
        const long double y = corners[i][1];
        const float t = static_cast<float>(s * y + c * x);
        const qint32 turnedY = roundToInt32(-s * x + c * y);
        const qint32 turnedX = roundToInt32(t);
        geometry.points[i] = QPoint(addChecked(turnedX, offX), addChecked(turnedY, offY));
    }
    return geometry;
}

}  // namespace

double leadingNumber(const QString& text) {
    // Leading blanks are skipped; the number ends at the first character that cannot continue
    // it, as the classic Val does.
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    if (end < trimmed.size() &&
        (trimmed[end] == QLatin1Char('-') || trimmed[end] == QLatin1Char('+'))) {
        ++end;
    }
    bool digits = false;
    bool dot = false;
    while (end < trimmed.size()) {
        const QChar ch = trimmed[end];
        if (ch.isDigit() && ch.unicode() < 128) {
            digits = true;
        } else if (ch == QLatin1Char('.') && !dot) {
            dot = true;
        } else {
            break;
        }
        ++end;
    }
    if (!digits) {
        return 0;
    }
    return trimmed.left(end).toDouble();
}

std::optional<int> clockwiseQuarterTurns(const QString& degrees) {
    const double quarters = leadingNumber(degrees) / 90.0;
    if (!std::isfinite(quarters) || quarters != std::floor(quarters)) {
        return std::nullopt;
    }
    // -90 is one quarter turn clockwise; reduce to 0..3 clockwise quarter turns.
    const long long q = static_cast<long long>(std::fmod(-quarters, 4.0));
    return static_cast<int>(((q % 4) + 4) % 4);
}

RotationGeometry CalcRotation(const QString& degrees, int width, int height) {
    if (const std::optional<int> clockwise = clockwiseQuarterTurns(degrees)) {
        return exactTurn(*clockwise, width, height);
    }
    return classicTurn(leadingNumber(degrees), width, height);
}

}  // namespace zentavo
