#include "imagefiles/jxl/jxlcodec.h"

#include <algorithm>
#include <cmath>

namespace zentavo {

namespace {

// cjxl's quality when the run names none.
constexpr int DefaultQuality = 85;

// Median bits a pixel of the writer at each quality over the corpus of
// tools/quality-tables.sh (four photographs of 960 x 720); made by that script.
constexpr QualityBits JxlBits[] = {
    {20, 0.111}, {30, 0.125}, {40, 0.137}, {50, 0.162}, {60, 0.215}, {70, 0.304}, {75, 0.404},
    {80, 0.529}, {85, 0.867}, {90, 1.514}, {95, 2.522},
};

}  // namespace

int jxlQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, JxlBits, DefaultQuality);
}

// cjxl's own mapping of its quality onto the distance (butteraugli units): quality 90 is
// distance 1, visually lossless; the scale was made to follow libjpeg's.
float jxlDistanceFor(int quality) {
    const double q = std::clamp(quality, 0, 100);
    const double distance =
        q >= 30 ? 0.1 + (100 - q) * 0.09 : 6.4 + std::pow(2.5, (30 - q) / 5.0) / 6.25;
    return float(std::min(distance, 25.0));
}

}  // namespace zentavo
