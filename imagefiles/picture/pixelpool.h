#pragma once

#include <QImage>

namespace zentavo {

// A picture whose pixel memory comes from a small pool of large buffers that earlier pictures
// gave back. A batch decodes one large picture after another; taking the memory the previous
// one left spares the system from zeroing fresh pages for every file. The pool keeps at most a
// few buffers, so it holds little memory beyond what the pictures in flight use.
//
// The picture owns its buffer like any QImage: when the last copy goes, the buffer returns to
// the pool (or is freed when the pool is full). A null image when the memory cannot be had.
// Thread-safe.
QImage pooledImage(int width, int height, QImage::Format format);

// Pool memory for a large working buffer that is not a picture (a JPEG's coefficient blocks). It
// goes back to the pool when destroyed; data() is null when the memory cannot be had.
// Thread-safe.
class PooledBuffer {
public:
    PooledBuffer() = default;
    explicit PooledBuffer(qsizetype size);
    ~PooledBuffer();
    PooledBuffer(PooledBuffer&& other) noexcept;
    PooledBuffer& operator=(PooledBuffer&& other) noexcept;

    void* data() const { return data_; }
    qsizetype size() const { return size_; }  // at least the size asked for

private:
    void* data_ = nullptr;
    qsizetype size_ = 0;
};

// Frees every buffer the pool holds. Thread-safe.
void releasePooledBuffers();

}  // namespace zentavo
