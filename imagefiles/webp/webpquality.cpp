#include "imagefiles/webp/webpcodec.h"

namespace zentavo {

namespace {

// libwebp's quality when the run names none.
constexpr int DefaultQuality = 85;

// Median bits a pixel of the writer at each quality over the corpus of
// tools/quality-tables.sh (four photographs of 960 x 720); made by that script.
constexpr QualityBits WebpBits[] = {
    {20, 0.111}, {30, 0.135}, {40, 0.164}, {50, 0.215}, {60, 0.293}, {70, 0.419}, {75, 0.496},
    {80, 0.813}, {85, 1.263}, {90, 2.162}, {95, 3.271},
};

}  // namespace

// libwebp's scale follows libjpeg's: a fixed quality carries over as it is.
int webpQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, WebpBits, DefaultQuality);
}

}  // namespace zentavo
