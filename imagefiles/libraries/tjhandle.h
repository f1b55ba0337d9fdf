#pragma once

#include <turbojpeg.h>

namespace zentavo {

// A TurboJPEG instance that lives for one scope. handle is null when TurboJPEG could not make
// one (out of memory); the instance is destroyed with the scope, on every way out of it.
template <tjhandle (*Init)()>
struct TjInstance {
    tjhandle handle = Init();

    TjInstance() = default;
    ~TjInstance() {
        if (handle) {
            tjDestroy(handle);
        }
    }
    TjInstance(const TjInstance&) = delete;
    TjInstance& operator=(const TjInstance&) = delete;
};

using TjCompressor = TjInstance<tjInitCompress>;
using TjDecompressor = TjInstance<tjInitDecompress>;

}  // namespace zentavo
