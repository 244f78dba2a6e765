#include "shortcuts/fs_redirection.h"

#include "platform/errors.h"
#include "platform/sysinfo.h"
#include "support/bound_library.h"

namespace nomvera::shortcuts {
namespace {

// Process-wide, as the entry points are; used on the window's thread only.
// Both entry points are looked up when bound, never on a call.
support::TBoundLibrary kernel32;
support::TEntryPoint<Wow64DisableWow64FsRedirectionFn> disableRedirection{
    kernel32, "Wow64DisableWow64FsRedirection"};
support::TEntryPoint<Wow64RevertWow64FsRedirectionFn> revertRedirection{
    kernel32, "Wow64RevertWow64FsRedirection"};
PVOID oldValue = nullptr;
bool switchedOff = false;

} // namespace

void BindFsRedirection(LPCSTR libraryName) {
    ReleaseFsRedirection();
    kernel32.Load(libraryName);
    disableRedirection.Get();
    revertRedirection.Get();
}

void ReleaseFsRedirection() {
    oldValue = nullptr;
    switchedOff = false;
    kernel32.Release();
}

bool FsRedirectionBound() {
    return disableRedirection.Found() && revertRedirection.Found();
}

BOOL DisableFsRedirection() {
    BOOL result = 0;
    try {
        if (disableRedirection.Found()) {
            if (!switchedOff) {
                SetLastError(0);
                result = disableRedirection.Get()(&oldValue);
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
        if (revertRedirection.Found()) {
            if (switchedOff) {
                SetLastError(0);
                result = revertRedirection.Get()(oldValue);
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
