#include "imagefiles/picture/pixelpool.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>

#include <sys/mman.h>
#include <vector>

namespace zentavo {

namespace {

// Pictures smaller than this come from the ordinary allocator: their pages are few. The chroma
// planes of a 12-megapixel JPEG (3 MB each) are above it.
constexpr qsizetype PoolFrom = qsizetype(1) << 20;
// Idle buffers kept: always the two latest (a picture and its turned copy); up to six (the
// three colour planes of a JPEG and their turned copies) while they add up to no more than
// SmallIdleBytes, so that idle memory never outgrows two of the largest pictures or 64 MB.
constexpr size_t KeptIdleBuffers = 2;
constexpr size_t MaxIdleBuffers = 6;
constexpr qsizetype SmallIdleBytes = qsizetype(64) << 20;
constexpr size_t HugePage = size_t(2) << 20;

struct Buffer {
    void* data = nullptr;
    qsizetype size = 0;
};

struct Pool {
    std::mutex mutex;
    std::vector<Buffer> idle;
};

Pool& pool() {
    // Never destroyed: a picture released during the program's exit still finds its pool, and
    // the idle buffers stay reachable to the end instead of being lost with a destroyed list.
    static Pool* const instance = new Pool;
    return *instance;
}

Buffer take(qsizetype size) {
    {
        std::lock_guard lock(pool().mutex);
        auto& idle = pool().idle;
        auto best = idle.end();
        for (auto it = idle.begin(); it != idle.end(); ++it) {
            if (it->size >= size && it->size <= size * 2 &&
                (best == idle.end() || it->size < best->size)) {
                best = it;
            }
        }
        if (best != idle.end()) {
            const Buffer found = *best;
            idle.erase(best);
            return found;
        }
    }
    // Huge pages: a quarter turn writes each tile across dozens of rows, and with 4 KiB pages
    // every row is a translation-buffer miss of its own.
    void* data = nullptr;
    if (::posix_memalign(&data, HugePage, size_t(size)) != 0) {
        return {};
    }
    ::madvise(data, size_t(size), MADV_HUGEPAGE);
    return {data, size};
}

bool tooManyIdle(const std::vector<Buffer>& idle) {
    if (idle.size() <= KeptIdleBuffers) {
        return false;
    }
    qsizetype bytes = 0;
    for (const Buffer& buffer : idle) {
        bytes += buffer.size;
    }
    return idle.size() > MaxIdleBuffers || bytes > SmallIdleBytes;
}

void giveBack(void* info) {
    Buffer* buffer = static_cast<Buffer*>(info);
    std::vector<Buffer> evicted;
    {
        std::lock_guard lock(pool().mutex);
        auto& idle = pool().idle;
        idle.push_back(*buffer);
        while (tooManyIdle(idle)) {
            // The oldest buffer goes: sizes in a batch tend to follow the latest pictures.
            evicted.push_back(idle.front());
            idle.erase(idle.begin());
        }
    }
    for (const Buffer& old : evicted) {
        std::free(old.data);
    }
    delete buffer;
}

}  // namespace

QImage pooledImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = ((qsizetype(width) * depth + 31) / 32) * 4;
    const qsizetype size = bytesPerLine * height;
    if (size < PoolFrom) {
        return QImage(width, height, format);
    }
    const Buffer buffer = take(size);
    if (!buffer.data) {
        return {};
    }
    QImage image(static_cast<uchar*>(buffer.data), width, height, bytesPerLine, format, &giveBack,
                 new Buffer(buffer));
    return image;
}

PooledBuffer::PooledBuffer(qsizetype size) {
    const Buffer buffer = size < PoolFrom
                              ? Buffer{std::malloc(size_t(std::max<qsizetype>(size, 1))), size}
                              : take(size);
    data_ = buffer.data;
    size_ = buffer.data ? buffer.size : 0;
}

PooledBuffer::~PooledBuffer() {
    if (!data_) {
        return;
    }
    if (size_ < PoolFrom) {
        std::free(data_);
    } else {
        giveBack(new Buffer{data_, size_});
    }
}

PooledBuffer::PooledBuffer(PooledBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PooledBuffer& PooledBuffer::operator=(PooledBuffer&& other) noexcept {
    if (this != &other) {
        PooledBuffer gone(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void releasePooledBuffers() {
    std::vector<Buffer> idle;
    {
        std::lock_guard lock(pool().mutex);
        idle.swap(pool().idle);
    }
    for (const Buffer& buffer : idle) {
        std::free(buffer.data);
    }
}

}  // namespace zentavo
