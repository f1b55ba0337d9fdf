#include "imagefiles/heif/heifcodec.h"

#include <algorithm>

namespace zentavo {

namespace {

// The quality the run's JPEG setting stands for when it names none.
constexpr int DefaultJpegQuality = 85;

// Median bits a pixel of the writers at each quality of their own scale, over the corpus of
// tools/quality-tables.sh (four photographs of 960 x 720); made by that script.
constexpr QualityBits HeifBits[] = {
    {20, 0.049}, {30, 0.081}, {35, 0.120}, {40, 0.237}, {42, 0.438}, {44, 0.684}, {46, 0.931},
    {48, 1.154}, {50, 1.376}, {53, 1.869}, {56, 2.182}, {60, 2.815}, {70, 4.263},
};
constexpr QualityBits AvifBits[] = {
    {20, 0.040}, {30, 0.055}, {40, 0.075}, {50, 0.110}, {60, 0.309}, {70, 0.850}, {75, 1.149},
    {80, 1.515}, {85, 2.202}, {90, 2.978}, {95, 4.055},
};
// The JPEG writer's own bits over the same corpus at the same qualities.
constexpr QualityBits JpegBits[] = {
    {20, 0.235}, {30, 0.296}, {40, 0.369}, {50, 0.460}, {60, 0.575}, {70, 0.762}, {75, 0.876},
    {80, 1.064}, {85, 1.364}, {90, 1.977}, {95, 3.287},
};

// libheif's scale is x265's rate factor, not libjpeg's: at 60 it already spends twice the bits
// of a JPEG at 85. HEVC shows what a JPEG shows with about 60 % of its bits, so a fixed
// quality N is the libheif quality that spends that share of the JPEG writer's bits at N.
constexpr double HevcShareOfJpegBits = 0.6;

// The bits of table at quality, by straight lines between its rows.
double bitsAt(std::span<const QualityBits> table, int quality) {
    if (quality <= table.front().quality) {
        return table.front().bitsPerPixel;
    }
    for (size_t i = 1; i < table.size(); ++i) {
        if (quality <= table[i].quality) {
            const QualityBits& low = table[i - 1];
            const QualityBits& high = table[i];
            const double share = double(quality - low.quality) / (high.quality - low.quality);
            return low.bitsPerPixel + share * (high.bitsPerPixel - low.bitsPerPixel);
        }
    }
    return table.back().bitsPerPixel;
}

}  // namespace

int heifQualityFor(const EncoderQuality& quality) {
    if (quality.mode == EncoderQuality::Mode::KeepBitsPerPixel ||
        quality.mode == EncoderQuality::Mode::Native) {
        return chooseQuality(quality, HeifBits, 50);
    }
    const int jpeg = quality.mode == EncoderQuality::Mode::Fixed
                         ? std::clamp(quality.jpegQuality, 1, 100)
                         : DefaultJpegQuality;
    return chooseQuality(
        EncoderQuality::keepingBitsPerPixel(bitsAt(JpegBits, jpeg) * HevcShareOfJpegBits),
        HeifBits, 50);
}

// libavif's quality follows libjpeg's scale (its quantizer is set from it as libavif 1.0 does):
// a fixed quality carries over as it is.
int avifQualityFor(const EncoderQuality& quality) {
    return chooseQuality(quality, AvifBits, DefaultJpegQuality);
}

}  // namespace zentavo
