// Process, thread and timing basics.
#pragma once

#include "platform/windows_types.h"

DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start (the monotonic clock).
DWORD GetTickCount();
ULONGLONG GetTickCount64();
