// The profile-service wrappers over the entry points bound by name from
// "userenv.dll" at program start.
#pragma once

#include "platform/userenv.h"

#include <string>

namespace nomvera::accounts {

// Binds both entry points (a missing library or entry point leaves it absent;
// nothing is reported) / clears them and releases the library.
void BindProfileService(const char* libraryName = "userenv.dll");
void ReleaseProfileService();
// Both entry points are bound; the Profile box is shown only then.
bool ProfileServiceComplete();

// 1 when the entry point is absent or the call raises; else its result.
HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD capacity);
// false when the entry point is absent or the call raises; else its result.
bool DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName);

} // namespace nomvera::accounts
