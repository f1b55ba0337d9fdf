#include "imagefiles/files/cancellation.h"

namespace zentavo {

namespace {
thread_local const std::atomic_bool* currentFlag = nullptr;
}

CancellationScope::CancellationScope(const std::atomic_bool* flag) : m_previous(currentFlag) {
    currentFlag = flag;
}

CancellationScope::~CancellationScope() {
    currentFlag = m_previous;
}

bool workCancelled() {
    return currentFlag && currentFlag->load(std::memory_order_relaxed);
}

}  // namespace zentavo
