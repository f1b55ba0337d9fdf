#pragma once

#include <atomic>

namespace zentavo {

// Long work on one picture (quantising a GIF, for one) asks workCancelled() at its checks and
// gives up early once the work is no longer wanted: it then fails like any failed write, and the
// writers leave no file. The flag is set per thread for the life of a scope.
class CancellationScope {
public:
    explicit CancellationScope(const std::atomic_bool* flag);
    ~CancellationScope();
    CancellationScope(const CancellationScope&) = delete;
    CancellationScope& operator=(const CancellationScope&) = delete;

private:
    const std::atomic_bool* m_previous;
};

// True when the flag of this thread's innermost scope is set; false outside any scope.
bool workCancelled();

}  // namespace zentavo
