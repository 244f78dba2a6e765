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

HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
// The handle of a library this process already loaded, without loading it.
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

namespace nomvera::platform::test_double {
// Test seam: lets LoadLibraryA also take the test double library of this
// plain name ("netapi32_counting") from the executable's folder, under the
// same ownership rule as the shipped ones. Only tests call it.
void AcceptTestDoubleLibrary(const char* plainName);
} // namespace nomvera::platform::test_double
