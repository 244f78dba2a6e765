// The security service: SIDs, account look-ups, tokens and network logon.
// On POSIX see shared decisions in docs (SIDs from the machine id, RIDs from
// uids and gids, built-in aliases, elevation from the effective uid).
#pragma once

#include "platform/lmaccess.h"
#include "platform/security_types.h"
#include "platform/wide_text.h"
#include "platform/windows_types.h"

#include <vector>

#if defined(_WIN32)
#include <sddl.h>
#else

HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();

BOOL LookupAccountNameW(LPCWSTR systemName, LPCWSTR accountName, PSID sid, LPDWORD sidSize,
                        LPWSTR domainName, LPDWORD domainSize, PSID_NAME_USE use);
BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, LPDWORD nameSize,
                       LPWSTR domainName, LPDWORD domainSize, PSID_NAME_USE use);
BOOL ConvertSidToStringSidA(PSID sid, LPSTR* stringSid);
BOOL ConvertStringSidToSidA(LPCSTR stringSid, PSID* sid);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount);
PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid);
PDWORD GetSidSubAuthority(PSID sid, DWORD index);
BYTE* GetSidSubAuthorityCount(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL IsValidSid(PSID sid);
BOOL EqualSid(PSID a, PSID b);
PVOID FreeSid(PSID sid);
HANDLE LocalFree(HANDLE memory);

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token);
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                         DWORD infoLength, PDWORD returnLength);
BOOL LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType,
                DWORD logonProvider, PHANDLE token);

#endif

namespace nomvera::platform {

// A password that the account service will soon be asked to set (the next
// account's, while the batch works on this one). Where setting a password
// means hashing it on this machine, the hash is made now on a thread of its
// own, beside the batch; otherwise nothing happens. The project's own call,
// on both systems.
void PreparePassword(LPCWSTR password);

// The same for a random password that is set only to be used once and
// thrown away with its account (Delete Users' logon): long and random
// enough that a costly hash adds nothing to it, so where this machine
// hashes it, the hash takes the system's method at its lowest cost.
void PrepareThrowAwayPassword(LPCWSTR password);

// The local groups the account service is about to be asked to add an
// account to, right after it creates that account (Create Users' ticked
// groups). Where creating an account can take memberships in the same
// change of the account files, the next creation of exactly this account
// makes the memberships it can (groups that exist and are not its primary
// group), and the first request for each of them afterwards is answered as
// done without changing the files again. Every other request, and every
// membership that could not be taken along, runs and fails as usual.
// Windows makes each membership on its own: nothing happens there.
void PrepareMemberships(LPCWSTR account, const std::vector<WideString>& groups);

} // namespace nomvera::platform

// The two entry points that the administrator check binds by name from
// "advapi32.dll" (the stand-in library exports them under these names).
extern "C" {
using ConvertStringSidToSidAFn = BOOL (*)(LPCSTR stringSid, PSID* sid);
using GetTokenInformationFn = BOOL (*)(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                       DWORD infoLength, PDWORD returnLength);
}
