// The thread's last-error code.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

void SetLastError(DWORD code);
DWORD GetLastError();

#endif
