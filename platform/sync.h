// Codes of the security descriptions that the system messages know. The
// POSIX build has no events, waits or critical sections of its own: the log
// uses the C++ standard library's (log/log_os.h).
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD ERROR_INVALID_ACL = 1336;
inline constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

#endif
