// The Windows status code for a failed POSIX call. Not part of the surface.
#pragma once

#include "platform/windows_types.h"

#include <string>

namespace nomvera::posix {

// The general mapping (EACCES -> 5, EEXIST -> 183, ENOTEMPTY -> 145, ...).
// ENOENT maps to ERROR_FILE_NOT_FOUND; use PathErrorCode where 2 and 3
// must be told apart.
DWORD WindowsCodeFromErrno(int error);

// For a call on path that failed with error: ENOENT gives 2 when the path's
// folder exists and 3 when it does not; ENOTDIR, ELOOP and ENAMETOOLONG give 3.
DWORD PathErrorCode(const std::string& path, int error);

} // namespace nomvera::posix
