// Libraries bound by name at run time.
//
// On POSIX a Windows library name maps to a shared library of this project in
// the executable's folder: "netapi32.dll" is <exe folder>/libnetapi32.so (the
// name lower-cased, a trailing ".dll" dropped, "lib" put in front). A name
// that is not found there fails with ERROR_MOD_NOT_FOUND (126).
#pragma once

#include "platform/windows_types.h"

HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
// The handle of a library this process already loaded, without loading it.
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
