#include "imagefiles/metadata/resolution.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace zentavo {

namespace {

// numerator / (denominator x 100), reduced so that it fits 32 bits; exact unless it cannot fit.
void hundredth(std::uint32_t& numerator, std::uint32_t& denominator) {
    std::uint64_t n = numerator;
    std::uint64_t d = std::uint64_t(denominator) * 100;
    const std::uint64_t common = std::gcd(n, d);
    if (common > 1) {
        n /= common;
        d /= common;
    }
    while (d > std::numeric_limits<std::uint32_t>::max()) {
        n = (n + 1) / 2;
        d = (d + 1) / 2;
    }
    numerator = std::uint32_t(n);
    denominator = std::uint32_t(d);
}

std::uint32_t rounded(double value) {
    if (!(value > 0)) {
        return 0;
    }
    return std::uint32_t(
        std::min(std::round(value), double(std::numeric_limits<std::uint32_t>::max())));
}

}  // namespace

Resolution Resolution::inInchesOrCentimetres() const {
    if (unit != Unit::Metre) {
        return *this;
    }
    Resolution converted = *this;
    converted.unit = Unit::Centimetre;
    hundredth(converted.xNumerator, converted.xDenominator);
    hundredth(converted.yNumerator, converted.yDenominator);
    return converted;
}

std::uint32_t Resolution::wholeDotsPerMetreX() const {
    return valid() ? rounded(dotsPerMetreX()) : 0;
}

std::uint32_t Resolution::wholeDotsPerMetreY() const {
    return valid() ? rounded(dotsPerMetreY()) : 0;
}

}  // namespace zentavo
