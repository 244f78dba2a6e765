// System calls on POSIX, through one door: a call that a signal interrupted
// (EINTR) is made again, and a test can make a chosen call fail, or be slow,
// as a full disk or a starved system would. Tests arm the seam through
// test_seam below; nothing else does.
#pragma once

#if !defined(_WIN32)

#include <cerrno>

namespace nomvera::platform::sys {

// The calls a test can pick. WakeEvent is the log's in-process event, which
// takes memory rather than a system call.
enum class TCall : unsigned {
    Open,
    Read,
    Write,
    Truncate,
    Status,
    Lock,
    MakeFolder,
    RemoveFolder,
    RemoveFile,
    Rename,
    ChangeOwner,
    ChangeMode,
    Spawn,
    WakeEvent,
    kCount
};

// True, with errno set, when a test asked this call to fail now. Also waits
// the delay a test set for the call.
bool Injected(TCall call);

// Runs f (a call that returns -1 and sets errno on failure) until it is not
// interrupted by a signal; gives its result, or -1 for an injected failure
// (an injected EINTR is retried like a real one).
template <class F> auto Call(TCall call, F&& f) -> decltype(f()) {
    for (;;) {
        const auto result = Injected(call) ? static_cast<decltype(f())>(-1) : f();
        if (result == -1 && errno == EINTR) {
            continue;
        }
        return result;
    }
}

namespace test_seam {
// The next `count` calls of `call` fail with errno `error`; 0 turns it off.
void FailNext(TCall call, int count, int error);
// Every call of `call` first waits this many milliseconds; 0 turns it off.
void Delay(TCall call, unsigned milliseconds);
// Everything off again.
void Reset();
} // namespace test_seam

} // namespace nomvera::platform::sys

#endif
