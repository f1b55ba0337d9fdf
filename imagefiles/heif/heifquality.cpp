#include "imagefiles/heif/heifcodec.h"

#include <algorithm>

namespace zentavo {

namespace {

// The quality the run's JPEG setting stands for when it names none.
constexpr int DefaultJpegQuality = 85;

// Median bits a pixel of the writers at each quality of their own scale, over the corpus of
// tools/quality-tables.sh (six photographs of 1200 x 900); made by that script.
constexpr QualityBits HeifBits[] = {
    {20, 0.046}, {30, 0.074}, {40, 0.252}, {50, 1.362}, {60, 2.771}, {70, 4.240},
};
constexpr QualityBits AvifBits[] = {
    {30, 0.20}, {50, 0.45}, {70, 0.95}, {85, 1.80}, {95, 3.50},
};
// The JPEG writer's own bits over the same corpus at the same qualities.
constexpr QualityBits JpegBits[] = {
    {20, 0.2}, {50, 0.43}, {75, 0.90}, {85, 1.35}, {95, 3.3},
};

// libheif's scale is x265's rate factor, not libjpeg's: its 85 spends about three times the
// bits of a JPEG at 85. HEVC shows what a JPEG shows with about 60 % of its bits, so a fixed
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
