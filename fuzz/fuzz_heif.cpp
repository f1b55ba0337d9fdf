// Fuzz target: a HEIF or AVIF file through libheif, the box reader's size probe beside it.

#include "fuzz/fuzz_newformats.h"
#include "imagefiles/heif/heifcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return zentavo::fuzz::checkDecoder(data, size, zentavo::decoders::decodeHeif,
                                       zentavo::decoders::heifHeaderSize);
}
