// A lock over one critical section (recursive: the owning thread may take it
// again).
#pragma once

#include <mutex>

namespace nomvera::log {

class TCriticalSectionLock {
public:
    TCriticalSectionLock() = default;
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

    void Acquire() { section_.lock(); }
    void Release() { section_.unlock(); }
    // True when the lock was taken without waiting.
    bool TryAcquire() { return section_.try_lock(); }

private:
    std::recursive_mutex section_;
};

// Holds a TCriticalSectionLock for the lifetime of the object, also when an
// exception passes.
class TLockHold {
public:
    explicit TLockHold(TCriticalSectionLock& lock) : lock_(lock) { lock_.Acquire(); }
    ~TLockHold() { lock_.Release(); }
    TLockHold(const TLockHold&) = delete;
    TLockHold& operator=(const TLockHold&) = delete;

private:
    TCriticalSectionLock& lock_;
};

} // namespace nomvera::log
