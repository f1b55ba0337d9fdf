#include "imagefiles/webp/webpcodec.h"

namespace zentavo {

namespace {

// libwebp's quality when the run names none.
constexpr int DefaultQuality = 85;

// Median bits a pixel of the writer at each quality over the corpus of
// tools/quality-tables.sh (photographs of 2 megapixels); made by that script.
constexpr QualityBits WebpBits[] = {
    {30, 0.30}, {50, 0.50}, {70, 0.80}, {85, 1.30}, {95, 2.50},
};

}  // namespace

// libwebp's scale follows libjpeg's: a fixed quality carries over as it is.
int webpQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, WebpBits, DefaultQuality);
}

}  // namespace zentavo
