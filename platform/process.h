// Process, thread and timing basics.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start (the monotonic clock).
ULONGLONG GetTickCount64();

#endif
