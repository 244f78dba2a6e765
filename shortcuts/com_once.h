// COM for the shell calls, initialised at most once per process.
#pragma once

#include "platform/windows_types.h"

namespace nomvera::shortcuts {

inline constexpr DWORD kComAlreadyTried = 85;
inline constexpr DWORD kComInitFailed = 124;

// The first call initialises COM on the calling thread and gives
// CoInitialize's result (1, "already initialised", is replaced by the
// thread's last error when that is not 0), or 124 when the call failed
// inside; every later call gives 85 and calls nothing.
DWORD InitComOnce();
// 0, 1 and 85: COM can be used.
bool ComUsable(DWORD code);
// At exit, on the thread that called InitComOnce: balances a successful
// initialisation.
void ReleaseComOnce();

} // namespace nomvera::shortcuts
