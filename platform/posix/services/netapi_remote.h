// The account service of another machine: every entry point of the stand-in
// netapi32 that names a server other than this machine comes here, and goes
// on to Samba's libnetapi (loaded by name at run time) over RPC to that
// server, typically an Active Directory domain controller. Records, codes
// and flags are translated both ways so that callers see what the Windows
// calls give. Not part of the surface.
#pragma once

#include "platform/lmaccess.h"
#include "platform/posix/services/sids.h"

#include <optional>
#include <string>
#include <utility>

namespace nomvera::posix::remote {

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr);
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf);
// Level 1 as two calls the server takes: the password (1003), then the
// comment (1007). The flags of the record are not changed.
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
NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf);

// The SID of a user account or global group of the server's domain
// (LookupAccountNameW with a system name), with the domain's name and the
// kind of account; else the code why not.
struct AccountLookup {
    std::optional<std::pair<SidValue, AccountOfSidResult>> found;
    DWORD code = 0;
};
AccountLookup SidOfAccount(LPCWSTR server, LPCWSTR accountName);
// The name of a built-in alias (S-1-5-32-…) on the server (LookupAccountSidW
// with a system name): the name the domain gives it, when the server has
// that group; ERROR_NONE_MAPPED for any other SID.
AccountLookup NameOfBuiltinAlias(LPCWSTR server, const SidValue& sid);

// The message of a code that only the server's library gives (1003 "Failed
// to connect to IPC$ share", say), as it worded it at its last answer on
// this thread; null for every other code.
const char* LastRemoteMessage(DWORD code);
// For 5, when the last call to a server on this thread was refused because
// its credentials file was: that refusal with its reason; null otherwise.
const char* CredentialsRefusalMessage(DWORD code);

// A library of the system's library folders, by file name, that root may
// load: the first folder that holds it decides, and the file and its folders
// must be unchangeable by other accounts. An override (a test's) is the one
// file looked at. status is 0, ERROR_MOD_NOT_FOUND, or ERROR_ACCESS_DENIED
// when another account could change what would be loaded.
std::string FindSystemLibrary(const std::string& name, const std::string& override, DWORD& status);

// UF_ account flags as the SAMR account-control bits the server stores.
DWORD AccountControlOfFlags(DWORD userFlags);

} // namespace nomvera::posix::remote
