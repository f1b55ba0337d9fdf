#include "imagefiles/tiff/memorytiff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zentavo {

namespace {

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    auto* source = static_cast<MemoryTiffSource*>(handle);
    const auto total = toff_t(source->bytes->size());
    if (source->position >= total || size <= 0) {
        return 0;
    }
    const tmsize_t count = tmsize_t(std::min<toff_t>(toff_t(size), total - source->position));
    std::memcpy(buffer, source->bytes->constData() + source->position, size_t(count));
    source->position += toff_t(count);
    return count;
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<MemoryTiffSource*>(handle);
    const auto total = toff_t(source->bytes->size());
    const toff_t base = whence == SEEK_CUR ? source->position : whence == SEEK_END ? total : 0;
    source->position = base + offset;
    return source->position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t sizeOfMemory(thandle_t handle) {
    return toff_t(static_cast<MemoryTiffSource*>(handle)->bytes->size());
}

}  // namespace

TIFF* openMemoryTiff(MemoryTiffSource& source, TIFFOpenOptions* options) {
    return TIFFClientOpenExt("memory", "rm", &source, readMemory, writeNothing, seekMemory,
                             closeNothing, sizeOfMemory, nullptr, nullptr, options);
}

}  // namespace zentavo
