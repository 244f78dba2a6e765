// Types and constants of the security service, apart from its functions so
// that a library exporting those functions under C names can use them.
#pragma once

#include "platform/lmaccess.h"
#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

// The SDK's form: the initialiser of a SID_IDENTIFIER_AUTHORITY.
#define SECURITY_NT_AUTHORITY                                                                      \
    { 0, 0, 0, 0, 0, 5 }
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

inline constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
inline constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
inline constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
inline constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;
inline constexpr DWORD LOGON32_LOGON_INTERACTIVE = 2;
inline constexpr DWORD LOGON32_LOGON_NETWORK_CLEARTEXT = 8;

// Further codes of the security service.
inline constexpr DWORD ERROR_NO_TOKEN = 1008;
inline constexpr DWORD ERROR_PASSWORD_EXPIRED = 1330;
inline constexpr DWORD ERROR_ACCOUNT_DISABLED = 1331;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_ACCOUNT_EXPIRED = 1793;
inline constexpr DWORD ERROR_PASSWORD_MUST_CHANGE = 1907;

#endif
