// Libraries bound by name at run time.
//
// On POSIX a Windows library name maps to a shared library of this project in
// the executable's folder: "netapi32.dll" is <exe folder>/libnetapi32.so (the
// name lower-cased, a trailing ".dll" dropped, "lib" put in front). Only the
// libraries the project ships are looked for (kernel32, netapi32, userenv,
// advapi32): any other name fails with ERROR_MOD_NOT_FOUND (126) without a
// look at the disk. A shipped library that another account could change (the
// file or a folder above it is not root's or the tool's user's, or others may
// write it) is never loaded: ERROR_ACCESS_DENIED (5). One that is missing
// gives 126.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

#endif

namespace nomvera::platform {
// GetProcAddress's result as the entry point's own function type. FARPROC
// is a function of another type (on Windows one returning INT_PTR), so the
// cast goes through the generic void (*)(), as compilers expect for it.
template <class Function> Function EntryPointAs(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}
} // namespace nomvera::platform
