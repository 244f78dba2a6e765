// Test double of the kernel32 redirection entry points: counts the calls,
// keeps what they were given and the last-error code they found, and fails
// on request. Loaded by name like the kernel32 stand-in.
#include "platform/errors.h"
#include "platform/windows_types.h"

namespace {
int disableCalls = 0;
int revertCalls = 0;
DWORD errorSeenByDisable = 0xFFFFFFFF;
PVOID revertedWith = nullptr;
BOOL nextResult = TRUE;
int token = 0;
} // namespace

extern "C" {

[[gnu::visibility("default")]] BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    ++disableCalls;
    errorSeenByDisable = GetLastError();
    *oldValue = &token;
    if (!nextResult) {
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return nextResult;
}

[[gnu::visibility("default")]] BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    ++revertCalls;
    revertedWith = oldValue;
    return nextResult;
}

[[gnu::visibility("default")]] void FsDoubleReset(BOOL result) {
    disableCalls = 0;
    revertCalls = 0;
    errorSeenByDisable = 0xFFFFFFFF;
    revertedWith = nullptr;
    nextResult = result;
}

[[gnu::visibility("default")]] int FsDoubleDisableCalls() {
    return disableCalls;
}

[[gnu::visibility("default")]] int FsDoubleRevertCalls() {
    return revertCalls;
}

[[gnu::visibility("default")]] DWORD FsDoubleErrorSeenByDisable() {
    return errorSeenByDisable;
}

[[gnu::visibility("default")]] bool FsDoubleRevertedWithToken() {
    return revertedWith == &token;
}
}
