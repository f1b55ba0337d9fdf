#include "imagefiles/files/diskwait.h"

#include <QThreadPool>

namespace zentavo {

namespace {
thread_local QThreadPool* currentPool = nullptr;
}

DiskWaitScope::DiskWaitScope(QThreadPool* pool) : m_previous(currentPool) {
    currentPool = pool;
}

DiskWaitScope::~DiskWaitScope() {
    currentPool = m_previous;
}

DiskWait::DiskWait() : m_pool(currentPool) {
    // Releasing a thread that was never reserved lets the pool run one task more than its
    // maximum until reserveThread() takes the place back.
    if (m_pool) {
        m_pool->releaseThread();
    }
}

DiskWait::~DiskWait() {
    if (m_pool) {
        m_pool->reserveThread();
    }
}

}  // namespace zentavo
