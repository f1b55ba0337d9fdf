// Fuzz target: DetectJpegQuality's arithmetic over every pixel size and file length.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/jpeg/detectjpegquality.h"
#include "report/zentavoerror.h"

#include <cmath>
#include <cstdint>
#include <cstring>

using namespace zentavo;

namespace {

// The quality, or -1 for the overflow error.
int quality(double width, double height, qint64 length) {
    try {
        const int q = DetectJpegQuality(width, height, length);
        fuzz::check(q >= 1 && q <= 100, "a quality is 1 to 100");
        return q;
    } catch (const ZentavoError& error) {
        fuzz::check(error.number() == ErrorNumber::Overflow, "the only error is an overflow");
        return -1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) {
        return 0;
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    qint64 length = 0;
    std::memcpy(&width, data, 4);
    std::memcpy(&height, data + 4, 4);
    std::memcpy(&length, data + 8, 8);
    // Pixel sizes as headers give them (up to 65535 a side); lengths as files have them.
    width %= 65536;
    height %= 65536;
    length = length < 0 ? -(length + 1) : length;
    const int q = quality(width, height, length);
    const double ratio = double(width) * height * 3.0 / double(length);
    if (length > 0 && ratio <= 32000.0) {
        fuzz::check(q != -1, "an ordinary ratio never overflows");
    }
    if (length > 0 && length < std::numeric_limits<qint64>::max()) {
        const int larger = quality(width, height, length + 1);
        fuzz::check(q == -1 || larger >= q, "a larger file never suggests a lower quality");
    }
    return 0;
}
