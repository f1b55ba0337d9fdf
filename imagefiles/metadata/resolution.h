#pragma once

#include <cstdint>

namespace zentavo {

// A resolution as a file states it: dots per unit along the file's own axes, each side a fraction
// (300/1, 5906/100), so that a value read from a file goes into the next one unchanged wherever
// the format holds it. Reentrant value type.
struct Resolution {
    enum class Unit { None, Inch, Centimetre, Metre };

    std::uint32_t xNumerator = 0;
    std::uint32_t xDenominator = 1;
    std::uint32_t yNumerator = 0;
    std::uint32_t yDenominator = 1;
    Unit unit = Unit::None;  // None: the file states no resolution

    // Whole dots per unit.
    static Resolution whole(std::uint32_t x, std::uint32_t y, Unit unit) {
        return {x, 1, y, 1, unit};
    }

    bool valid() const {
        return unit != Unit::None && xNumerator > 0 && yNumerator > 0 && xDenominator > 0 &&
               yDenominator > 0;
    }
    double x() const { return xDenominator ? double(xNumerator) / xDenominator : 0; }
    double y() const { return yDenominator ? double(yNumerator) / yDenominator : 0; }
    double dotsPerMetreX() const { return x() * unitsPerMetre(); }
    double dotsPerMetreY() const { return y() * unitsPerMetre(); }

    // The same resolution along swapped axes, for a picture turned by a quarter.
    Resolution swapped() const {
        return {yNumerator, yDenominator, xNumerator, xDenominator, unit};
    }

    // In inches or centimetres, as TIFF, EXIF and JFIF state it: dots per metre become dots per
    // centimetre exactly (the denominator grows by 100).
    Resolution inInchesOrCentimetres() const;

    // Whole dots per metre, rounded, as PNG and BMP state it.
    std::uint32_t wholeDotsPerMetreX() const;
    std::uint32_t wholeDotsPerMetreY() const;

    bool operator==(const Resolution&) const = default;

private:
    double unitsPerMetre() const {
        return unit == Unit::Inch ? 100 / 2.54 : unit == Unit::Centimetre ? 100 : 1;
    }
};

}  // namespace zentavo
