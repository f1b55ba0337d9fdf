// Fuzz target: a JPEG XL file through libjxl.

#include "fuzz/fuzz_newformats.h"
#include "imagefiles/jxl/jxlcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return zentavo::fuzz::checkDecoder(data, size, zentavo::decoders::decodeJxl,
                                       zentavo::decoders::jxlHeaderSize);
}
