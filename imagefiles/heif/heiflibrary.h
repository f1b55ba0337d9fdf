#pragma once

#include "imagefiles/picture/limits.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <new>

namespace zentavo {

// Owners of libheif's objects, so that every path out of a decoder or writer releases them.

// A context with the program's ceilings as libheif's own security limit (no side longer than
// limits::MaxSide) and no decoding threads of libheif's own: the engine runs one file a core.
// Throws std::bad_alloc when libheif cannot make one. Any thread, one context per file.
class HeifContext {
public:
    HeifContext() {
        static std::once_flag started;
        std::call_once(started, [] { heif_init(nullptr); });
        m_context = heif_context_alloc();
        if (!m_context) {
            throw std::bad_alloc();
        }
        heif_context_set_maximum_image_size_limit(m_context, limits::MaxSide);
        heif_context_set_max_decoding_threads(m_context, 0);
    }
    ~HeifContext() { heif_context_free(m_context); }
    HeifContext(const HeifContext&) = delete;
    HeifContext& operator=(const HeifContext&) = delete;
    heif_context* get() const { return m_context; }

private:
    heif_context* m_context;
};

struct HeifHandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct HeifEncoderRelease {
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
using HeifHandle = std::unique_ptr<heif_image_handle, HeifHandleRelease>;
using HeifImage = std::unique_ptr<heif_image, HeifImageRelease>;
using HeifEncoder = std::unique_ptr<heif_encoder, HeifEncoderRelease>;

}  // namespace zentavo
