#include "imagefiles/tiff/memorytiff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

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

tmsize_t streamRead(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<MemoryTiffFile*>(handle);
    const qint64 available = qMax<qint64>(0, s->bytes.size() - s->position);
    const qint64 count = qMin<qint64>(available, size);
    std::memcpy(data, s->bytes.constData() + s->position, size_t(count));
    s->position += count;
    return tmsize_t(count);
}

tmsize_t streamWrite(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<MemoryTiffFile*>(handle);
    try {
        if (s->position + size > s->bytes.size()) {
            s->bytes.resize(s->position + size);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(s->bytes.data() + s->position, data, size_t(size));
    s->position += size;
    return size;
}

toff_t streamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<MemoryTiffFile*>(handle);
    qint64 base = 0;
    if (whence == SEEK_CUR) {
        base = s->position;
    } else if (whence == SEEK_END) {
        base = s->bytes.size();
    }
    s->position = base + qint64(offset);
    return toff_t(s->position);
}

int streamClose(thandle_t) {
    return 0;
}

toff_t streamSize(thandle_t handle) {
    return toff_t(static_cast<MemoryTiffFile*>(handle)->bytes.size());
}

int recordError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    auto* s = static_cast<MemoryTiffFile*>(user);
    if (s->error.isEmpty()) {
        s->error = QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") +
                   QString::fromLocal8Bit(text);
    }
    return 1;
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

}  // namespace

TIFF* openMemoryTiffFile(MemoryTiffFile& file, const char* mode) {
    std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), recordError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreWarning, nullptr);
    return TIFFClientOpenExt("output", mode, &file, streamRead, streamWrite, streamSeek,
                             streamClose, streamSize, nullptr, nullptr, options.get());
}

TIFF* openMemoryTiff(MemoryTiffSource& source, TIFFOpenOptions* options) {
    return TIFFClientOpenExt("memory", "rm", &source, readMemory, writeNothing, seekMemory,
                             closeNothing, sizeOfMemory, nullptr, nullptr, options);
}

}  // namespace zentavo
