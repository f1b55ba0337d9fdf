// Fuzz target: a WebP file (still, animated, lossy or lossless) through libwebp.

#include "fuzz/fuzz_newformats.h"
#include "imagefiles/webp/webpcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return zentavo::fuzz::checkDecoder(data, size, zentavo::decoders::decodeWebp,
                                       zentavo::decoders::webpHeaderSize);
}
