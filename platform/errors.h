// The thread's last-error code.
#pragma once

#include "platform/windows_types.h"

void SetLastError(DWORD code);
DWORD GetLastError();
