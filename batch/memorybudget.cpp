#include "batch/memorybudget.h"

#include <algorithm>

namespace zentavo {

MemoryBudget::MemoryBudget(qint64 bytes) : m_total(std::max<qint64>(bytes, 1)) {}

qint64 MemoryBudget::acquire(qint64 bytes) {
    const qint64 wanted = std::clamp<qint64>(bytes, 0, m_total);
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [&] { return m_used + wanted <= m_total; });
    m_used += wanted;
    m_peak = std::max(m_peak, m_used);
    return wanted;
}

void MemoryBudget::release(qint64 bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
    }
    m_freed.notify_all();
}

qint64 MemoryBudget::peak() const {
    std::lock_guard lock(m_mutex);
    return m_peak;
}

}  // namespace zentavo
