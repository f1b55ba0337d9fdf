#include "imagefiles/libraries/codecthreads.h"

#include <algorithm>
#include <atomic>

namespace zentavo {

namespace {

std::atomic<int> threadsPerCodec{1};

}  // namespace

void setCodecThreads(int threads) {
    threadsPerCodec.store(std::clamp(threads, 1, 64), std::memory_order_relaxed);
}

int codecThreads() {
    return threadsPerCodec.load(std::memory_order_relaxed);
}

}  // namespace zentavo
