// The user-profile service. The profiles folder and a user's profile folder
// are called directly; CreateProfile and DeleteProfileW are bound by name from
// "userenv.dll" at start (the stand-in library exports them under these names).
#pragma once

#include "platform/windows_types.h"

#if defined(_WIN32)
#include <userenv.h>
#else

BOOL GetProfilesDirectoryW(LPWSTR profileDir, LPDWORD size);
BOOL GetUserProfileDirectoryW(HANDLE token, LPWSTR profileDir, LPDWORD size);

#endif

extern "C" {
using CreateProfileFn = HRESULT (*)(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath,
                                    DWORD pathCapacity);
using DeleteProfileWFn = BOOL (*)(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName);
}
