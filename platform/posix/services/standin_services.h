// The services behind the stand-in libraries netapi32 and userenv. The
// libraries only export these under the Windows names; the code lives in
// the platform library, so a test can call it directly too. Not part of the
// surface.
#pragma once

#include "platform/lmaccess.h"
#include "platform/userenv.h"

#include <string>

namespace nomvera::posix {

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr);
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf);
NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr);
NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user);
NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf);
NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr);
NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group);
NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr);
NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle);
NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group);
NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);
NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf);

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
