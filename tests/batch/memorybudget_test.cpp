#include "batch/memorybudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace zentavo;

TEST(MemoryBudget, WorkersNeverHoldMoreThanTheBudgetTogether) {
    MemoryBudget budget(1000);
    std::atomic<qint64> held{0};
    std::atomic<qint64> mostSeen{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 6; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 200; ++i) {
                const qint64 want = 100 + (w * 137 + i * 61) % 700;
                BudgetReservation room(&budget, want);
                const qint64 now = held += want;
                qint64 seen = mostSeen.load();
                while (now > seen && !mostSeen.compare_exchange_weak(seen, now)) {
                }
                held -= want;
            }
        });
    }
    for (std::thread& t : workers) {
        t.join();
    }
    EXPECT_LE(mostSeen.load(), 1000);
    EXPECT_LE(budget.peak(), 1000);
    EXPECT_GT(budget.peak(), 0);
}

TEST(MemoryBudget, APictureLargerThanTheBudgetRunsAlone) {
    MemoryBudget budget(1000);
    const qint64 taken = budget.acquire(5000);
    EXPECT_EQ(taken, 1000);
    std::atomic_bool second{false};
    std::thread other([&] {
        BudgetReservation room(&budget, 1);
        second = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second.load());  // waits while the large one holds everything
    budget.release(taken);
    other.join();
    EXPECT_TRUE(second.load());
}
