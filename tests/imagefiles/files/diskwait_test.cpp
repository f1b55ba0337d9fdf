#include "imagefiles/files/diskwait.h"

#include <QSemaphore>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace zentavo {
namespace {

// With one worker, a task queued behind a task that waits for the disk runs during that wait
// only when the wait lends the worker's place; afterwards the pool is back to one worker.
TEST(DiskWait, AWaitLendsItsPlaceInThePoolToTheNextTaskAndTakesItBack) {
    for (const bool lending : {true, false}) {
        SCOPED_TRACE(lending ? "lending" : "not lending");
        QThreadPool pool;
        pool.setMaxThreadCount(1);
        QSemaphore secondRan;
        bool ranDuringTheWait = false;
        pool.start([&] {
            const DiskWaitScope scope(lending ? &pool : nullptr);
            const DiskWait wait;
            // Waiting long for what should happen, briefly for what should not.
            ranDuringTheWait = secondRan.tryAcquire(1, lending ? 5000 : 200);
        });
        pool.start([&] { secondRan.release(); });
        pool.waitForDone();
        EXPECT_EQ(ranDuringTheWait, lending);
        EXPECT_EQ(pool.maxThreadCount(), 1);
        EXPECT_EQ(pool.activeThreadCount(), 0);
    }
}

}  // namespace
}  // namespace zentavo
