#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

namespace zentavo {

// The memory the workers of a run may hold in decoded pictures at once. A worker asks for the
// room its picture needs before decoding and waits while the others hold too much, so several
// large pictures in flight never add up past the budget. A picture larger than the whole budget
// waits until it can run alone. Thread-safe.
class MemoryBudget {
public:
    // The budget of a run unless told otherwise: 1 GiB, enough for two 12000 x 9000 flips at
    // once, or one turn of that size.
    static constexpr qint64 DefaultBytes = qint64(1) << 30;

    explicit MemoryBudget(qint64 bytes = DefaultBytes);

    // Blocks until bytes (clamped to the whole budget) are free, then takes them.
    // Returns what was taken, to give back with release().
    qint64 acquire(qint64 bytes);
    void release(qint64 bytes);

    qint64 total() const { return m_total; }
    // The most ever held at once, for tests and benchmarks.
    qint64 peak() const;

private:
    const qint64 m_total;
    qint64 m_used = 0;
    qint64 m_peak = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
};

// Takes room from a budget for the life of a scope.
class BudgetReservation {
public:
    BudgetReservation(MemoryBudget* budget, qint64 bytes)
        : m_budget(budget), m_bytes(budget ? budget->acquire(bytes) : 0) {}
    ~BudgetReservation() {
        if (m_budget) {
            m_budget->release(m_bytes);
        }
    }
    BudgetReservation(const BudgetReservation&) = delete;
    BudgetReservation& operator=(const BudgetReservation&) = delete;

private:
    MemoryBudget* m_budget;
    qint64 m_bytes;
};

}  // namespace zentavo
