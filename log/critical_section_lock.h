// A lock over one critical section (recursive: the owning thread may take it
// again).
#pragma once

#include "platform/sync.h"

namespace nomvera::log {

class TCriticalSectionLock {
public:
    TCriticalSectionLock() { InitializeCriticalSection(&section_); }
    ~TCriticalSectionLock() { DeleteCriticalSection(&section_); }
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

    void Acquire() { EnterCriticalSection(&section_); }
    void Release() { LeaveCriticalSection(&section_); }
    // True when the lock was taken without waiting.
    bool TryAcquire() { return TryEnterCriticalSection(&section_) != FALSE; }

private:
    CRITICAL_SECTION section_;
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
