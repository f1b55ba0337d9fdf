#include "imagefiles/heif/heifcodec.h"

namespace zentavo {

namespace {

// The libraries' quality on their scale of 0 to 100 when the run names none.
constexpr int DefaultQuality = 85;

// Median bits a pixel of the writers at each quality over the corpus of
// tools/quality-tables.sh (photographs of 2 megapixels); made by that script.
constexpr QualityBits HeifBits[] = {
    {30, 0.20}, {50, 0.45}, {70, 0.95}, {85, 1.80}, {95, 3.50},
};
constexpr QualityBits AvifBits[] = {
    {30, 0.20}, {50, 0.45}, {70, 0.95}, {85, 1.80}, {95, 3.50},
};

}  // namespace

int heifQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, HeifBits, DefaultQuality);
}

int avifQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, AvifBits, DefaultQuality);
}

}  // namespace zentavo
