#pragma once

class QThreadPool;

namespace zentavo {

// A worker of a pool that waits for the disk (the sync before an output's rename) lends its place
// in the pool meanwhile, so the next file is decoded while the disk catches up instead of after
// it. The engine names the pool per thread for the life of a scope; outside any scope a wait
// lends nothing.
class DiskWaitScope {
public:
    explicit DiskWaitScope(QThreadPool* pool);
    ~DiskWaitScope();
    DiskWaitScope(const DiskWaitScope&) = delete;
    DiskWaitScope& operator=(const DiskWaitScope&) = delete;

private:
    QThreadPool* m_previous;
};

// One wait for the disk on this thread: the pool of the innermost scope may start another task
// until the wait ends, after which this thread counts against the pool again.
class DiskWait {
public:
    DiskWait();
    ~DiskWait();
    DiskWait(const DiskWait&) = delete;
    DiskWait& operator=(const DiskWait&) = delete;

private:
    QThreadPool* m_pool;
};

}  // namespace zentavo
