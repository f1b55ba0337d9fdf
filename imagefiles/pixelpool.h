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

// Frees every buffer the pool holds. Thread-safe.
void releasePooledBuffers();

}  // namespace zentavo
