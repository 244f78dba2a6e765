#include "shortcuts/com_once.h"

#include "platform/errors.h"
#include "platform/shell.h"

namespace nomvera::shortcuts {
namespace {
bool comTried = false;
bool comInitialised = false;
} // namespace

DWORD InitComOnce() {
    if (comTried) {
        return kComAlreadyTried;
    }
    comTried = true;
    try {
        // A stale code from an earlier call must not turn "already
        // initialised" into a failure.
        SetLastError(0);
        auto result = static_cast<DWORD>(CoInitialize(nullptr));
        comInitialised =
            result == static_cast<DWORD>(S_OK) || result == static_cast<DWORD>(S_FALSE);
        if (result == static_cast<DWORD>(S_FALSE) && GetLastError() != 0) {
            result = GetLastError();
        }
        return result;
    } catch (...) {
        return kComInitFailed;
    }
}

bool ComUsable(DWORD code) {
    return code == 0 || code == 1 || code == kComAlreadyTried;
}

void ReleaseComOnce() {
    if (comInitialised) {
        CoUninitialize();
        comInitialised = false;
    }
}

} // namespace nomvera::shortcuts
