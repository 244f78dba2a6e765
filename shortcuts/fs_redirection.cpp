#include "shortcuts/fs_redirection.h"

#include "platform/errors.h"
#include "platform/libloader.h"
#include "platform/sysinfo.h"

namespace nomvera::shortcuts {
namespace {

// Process-wide, as the entry points are; used on the window's thread only.
HMODULE kernel32 = nullptr;
Wow64DisableWow64FsRedirectionFn disableRedirection = nullptr;
Wow64RevertWow64FsRedirectionFn revertRedirection = nullptr;
PVOID oldValue = nullptr;
bool switchedOff = false;

} // namespace

void BindFsRedirection(LPCSTR libraryName) {
    ReleaseFsRedirection();
    kernel32 = LoadLibraryA(libraryName);
    if (kernel32 == nullptr) {
        return;
    }
    disableRedirection = platform::EntryPointAs<Wow64DisableWow64FsRedirectionFn>(
        GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
    revertRedirection = platform::EntryPointAs<Wow64RevertWow64FsRedirectionFn>(
        GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection"));
}

void ReleaseFsRedirection() {
    disableRedirection = nullptr;
    revertRedirection = nullptr;
    oldValue = nullptr;
    switchedOff = false;
    if (kernel32 != nullptr) {
        FreeLibrary(kernel32);
        kernel32 = nullptr;
    }
}

bool FsRedirectionBound() {
    return disableRedirection != nullptr && revertRedirection != nullptr;
}

BOOL DisableFsRedirection() {
    BOOL result = 0;
    try {
        if (disableRedirection != nullptr) {
            if (!switchedOff) {
                SetLastError(0);
                result = disableRedirection(&oldValue);
            }
            switchedOff = true;
        }
    } catch (...) {
    }
    return result;
}

BOOL RevertFsRedirection() {
    BOOL result = 0;
    try {
        if (revertRedirection != nullptr) {
            if (switchedOff) {
                SetLastError(0);
                result = revertRedirection(oldValue);
            }
            switchedOff = false;
        }
    } catch (...) {
    }
    return result;
}

bool FsRedirectionSwitchedOff() {
    return switchedOff;
}

TFsRedirectionOff::TFsRedirectionOff(bool wow64) : wow64_(wow64) {
    if (wow64_) {
        DisableFsRedirection();
    }
}

TFsRedirectionOff::~TFsRedirectionOff() {
    if (wow64_) {
        RevertFsRedirection();
    }
}

} // namespace nomvera::shortcuts
