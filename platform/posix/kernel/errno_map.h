// The Windows status code for a failed POSIX call: one table for the whole
// layer. Not part of the surface.
#pragma once

#include "platform/windows_types.h"

#include <string>

namespace nomvera::posix {

// Where an errno means something else than it does for other calls. Every
// context differs from the general table in the rows named below only.
enum class TErrnoContext {
    General,
    // Making a file that must be new: Windows' CreateFile says the file
    // exists (80), not "already exists" (183). EEXIST only.
    NewFile,
    // Removing a folder: POSIX lets rmdir say EEXIST for a folder that is
    // not empty. EEXIST only.
    FolderRemoval,
    // Starting a program: ENOEXEC is a file that is no program (193), EAGAIN
    // no room for another process (8), E2BIG an argument list too long (87).
    ProgramStart,
};

// The code for errno `error` (0 gives ERROR_SUCCESS; an errno the table
// does not know gives ERROR_GEN_FAILURE). ENOENT gives ERROR_FILE_NOT_FOUND;
// use PathErrorCode where 2 and 3 must be told apart.
DWORD WindowsCodeFromErrno(int error, TErrnoContext context = TErrnoContext::General);

// For a call on path that failed with error: ENOENT gives 2 when the path's
// folder exists and 3 when it does not; ENOTDIR, ELOOP and ENAMETOOLONG give
// 3; any other errno as WindowsCodeFromErrno in that context.
DWORD PathErrorCode(const std::string& path, int error,
                    TErrnoContext context = TErrnoContext::General);

} // namespace nomvera::posix
