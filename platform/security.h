// The security service: SIDs, account look-ups, tokens and network logon.
// On POSIX see shared decisions in docs (SIDs from the machine id, RIDs from
// uids and gids, built-in aliases, elevation from the effective uid).
#pragma once

#include "platform/lmaccess.h"
#include "platform/windows_types.h"

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

inline constexpr BYTE SECURITY_NT_AUTHORITY_VALUE = 5;
inline constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;
inline constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;
inline constexpr DWORD DOMAIN_ALIAS_RID_REMOTE_DESKTOP_USERS = 555;
inline constexpr DWORD DOMAIN_USER_RID_ADMIN = 500;

enum SID_NAME_USE : DWORD {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
};
using PSID_NAME_USE = SID_NAME_USE*;

struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};

struct TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[1]; // GroupCount entries follow
};

enum TOKEN_INFORMATION_CLASS : DWORD {
    TokenUser = 1,
    TokenGroups = 2,
    TokenElevationType = 18,
};

enum TOKEN_ELEVATION_TYPE : DWORD {
    TokenElevationTypeDefault = 1,
    TokenElevationTypeFull = 2,
    TokenElevationTypeLimited = 3,
};

inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD LOGON32_LOGON_NETWORK = 3;
inline constexpr DWORD LOGON32_PROVIDER_DEFAULT = 0;
inline constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

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

// The two entry points that the administrator check binds by name from
// "advapi32.dll" (the stand-in library exports them under these names).
extern "C" {
using ConvertStringSidToSidAFn = BOOL (*)(LPCSTR stringSid, PSID* sid);
using GetTokenInformationFn = BOOL (*)(HANDLE token, TOKEN_INFORMATION_CLASS infoClass,
                                       LPVOID info, DWORD infoLength, PDWORD returnLength);
}
