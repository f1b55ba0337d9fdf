#pragma once

#include <algorithm>
#include <span>

namespace zentavo {

// How a lossy encoder of the newer formats (WebP, HEIF, AVIF, JPEG XL) chooses its quality for
// one output. The run's JPEG quality setting reaches them in this form; each format maps it to
// its own scale. A picture that was coded without loss is written without loss whatever this
// says.
struct EncoderQuality {
    enum class Mode {
        Default,           // the format's own default
        Fixed,             // jpegQuality, on the JPEG scale of 1 to 100
        KeepBitsPerPixel,  // Smart-Detect: about as many bits a pixel as the input had
        Native,            // jpegQuality taken as it is on the format's own scale (0 to 100)
    };
    Mode mode = Mode::Default;
    int jpegQuality = 85;
    double inputBitsPerPixel = 0;  // the input file's bits over its pixels (all frames)

    static EncoderQuality fixed(int quality) { return {Mode::Fixed, quality, 0}; }
    static EncoderQuality keepingBitsPerPixel(double bits) {
        return {Mode::KeepBitsPerPixel, 85, bits};
    }
    static EncoderQuality native(int quality) { return {Mode::Native, quality, 0}; }
};

// One row of a format's Smart-Detect table: the median bits a pixel its encoder spent at a
// quality over a corpus of photographs (tools/quality-tables.sh measures them).
struct QualityBits {
    int quality;
    double bitsPerPixel;
};

// The quality a format is written at for quality, given its table (rows by rising quality and
// rising bits) and its default: Fixed takes jpegQuality within 1 to 100 and Native within 0 to
// 100, KeepBitsPerPixel the lowest quality of the table whose bits reach the input's (the
// highest row when none does).
// Any thread.
inline int chooseQuality(const EncoderQuality& quality, std::span<const QualityBits> table,
                         int defaultQuality) {
    switch (quality.mode) {
        case EncoderQuality::Mode::Default:
            return defaultQuality;
        case EncoderQuality::Mode::Fixed:
            return std::clamp(quality.jpegQuality, 1, 100);
        case EncoderQuality::Mode::Native:
            return std::clamp(quality.jpegQuality, 0, 100);
        case EncoderQuality::Mode::KeepBitsPerPixel:
            break;
    }
    if (table.empty() || !(quality.inputBitsPerPixel > 0)) {
        return defaultQuality;
    }
    for (const QualityBits& row : table) {
        if (row.bitsPerPixel >= quality.inputBitsPerPixel) {
            return row.quality;
        }
    }
    return table.back().quality;
}

}  // namespace zentavo
