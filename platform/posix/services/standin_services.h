// The services behind the stand-in libraries netapi32 and userenv. The
// libraries only export these under the Windows names; the code lives in
// the platform library, so a test can call it directly too. Not part of the
// surface.
#pragma once

#include "platform/lmaccess.h"
#include "platform/userenv.h"

#include <string>

namespace nomvera::posix {

#define NOMVERA_STANDIN_SERVICE(ret, name, parameters, arguments) ret name parameters;
NOMVERA_ACCOUNT_SERVICE_ENTRY_POINTS(NOMVERA_STANDIN_SERVICE)
#undef NOMVERA_STANDIN_SERVICE

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD pathCapacity);
BOOL DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName);

// platform::WalkStartRefusal for an open folder: 0, ERROR_ACCESS_DENIED (the
// folder is, holds or lies inside an account's home) or ERROR_BUSY (a
// process works in it or below it).
DWORD WalkStartRefusalOf(int folder);

// The account and group names the stand-ins accept: 1 to 20 (users) or 32
// (groups) characters of ASCII letters, digits, ".", "_" and "-", not
// starting with "-" and not "." or "..". Anything else is refused with
// NERR_BadUsername before a tool runs.
bool IsAcceptableAccountName(const std::u16string& name, std::size_t maxLength);

} // namespace nomvera::posix
