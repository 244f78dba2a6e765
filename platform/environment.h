// The process's environment and the names of the machine and of the
// signed-in user.
#pragma once

#include "platform/windows_types.h"

#if defined(_WIN32)
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <secext.h>
#else

inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;

// Windows rules: the length without the NUL; when size (characters including
// the NUL) is too small, the size needed including the NUL and the buffer
// untouched; 0 and ERROR_ENVVAR_NOT_FOUND for a variable that is not set (0
// and ERROR_SUCCESS for one set to an empty value).
// On POSIX the name "APPDATA" (any case) reads $XDG_STATE_HOME, and only an
// absolute path there (a relative one counts as not set); other names are
// looked up as they are. Values are read as UTF-8 (invalid bytes become
// U+FFFD).
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);

enum EXTENDED_NAME_FORMAT : DWORD {
    NameUnknown = 0,
    NameFullyQualifiedDN = 1,
    NameSamCompatible = 2,
    NameDisplay = 3,
};

// Only NameSamCompatible is offered: machine name + "\" + the effective
// user's login name from the system root's user database. size is in
// characters: on success it receives the length without the NUL; when too
// small, FALSE, ERROR_MORE_DATA and size := the characters needed including
// the NUL. Another format gives ERROR_NOT_SUPPORTED; an effective user
// without an entry ERROR_NONE_MAPPED.
BOOL GetUserNameExW(EXTENDED_NAME_FORMAT format, LPWSTR nameBuffer, PULONG size);

inline constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
// The machine name: the short host name (up to the first "."), upper case,
// from etc/hostname inside the system root, else the kernel's host name. It
// is not cut to 15 characters as a NetBIOS name would be. size: characters;
// on success the length without the NUL; when too small, FALSE,
// ERROR_BUFFER_OVERFLOW and size := the characters needed including the NUL.
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);

#endif
