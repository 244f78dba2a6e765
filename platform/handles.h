// Kernel-object handles and their closing.
//
// On POSIX a HANDLE names an object in a process-wide table of the stand-ins
// (platform/posix/kernel/handle_table.h); closing it destroys the object. A
// handle that is not in the table (never made, already closed, null or
// INVALID_HANDLE_VALUE) fails with ERROR_INVALID_HANDLE instead of touching
// memory.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

BOOL CloseHandle(HANDLE handle);

#endif
