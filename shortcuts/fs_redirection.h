// The WOW64 file-system redirection switch of the shell shortcuts. The two
// entry points are bound from "kernel32.dll" at start (the window's start-up
// calls BindFsRedirection, its shut-down ReleaseFsRedirection); either may be
// absent, and then its switch does nothing.
#pragma once

#include "platform/windows_types.h"

namespace nomvera::shortcuts {

// libraryName exists for the tests' stand-in library; the tool uses the default.
void BindFsRedirection(LPCSTR libraryName = "kernel32.dll");
void ReleaseFsRedirection();
bool FsRedirectionBound();

// Switches redirection off for the calling thread unless it already is, and
// marks it switched off (also when the call failed). The call's result, or 0
// when nothing was called.
BOOL DisableFsRedirection();
// Switches it back on when it was switched off, and clears the mark. The
// call's result, or 0 when nothing was called.
BOOL RevertFsRedirection();
bool FsRedirectionSwitchedOff();

// Disables redirection while it lives, under WOW64 only; reverts in every case.
class TFsRedirectionOff {
public:
    explicit TFsRedirectionOff(bool wow64);
    ~TFsRedirectionOff();
    TFsRedirectionOff(const TFsRedirectionOff&) = delete;
    TFsRedirectionOff& operator=(const TFsRedirectionOff&) = delete;

private:
    bool wow64_;
};

} // namespace nomvera::shortcuts
