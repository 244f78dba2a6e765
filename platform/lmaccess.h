// Records, levels and status codes of the network-management account
// service, as published. Text fields are NUL-terminated UTF-16.
#pragma once

#include "platform/windows_types.h"

#if defined(_WIN32)
#include <lm.h>
#else

using NET_API_STATUS = DWORD;
using PSID = void*;

inline constexpr NET_API_STATUS NERR_Success = 0;
inline constexpr NET_API_STATUS NERR_BASE = 2100;
inline constexpr NET_API_STATUS NERR_BadUsername = 2202;
inline constexpr NET_API_STATUS NERR_GroupNotFound = 2220;
inline constexpr NET_API_STATUS NERR_UserNotFound = 2221;
inline constexpr NET_API_STATUS NERR_GroupExists = 2223;
inline constexpr NET_API_STATUS NERR_UserExists = 2224;
inline constexpr NET_API_STATUS NERR_NotPrimary = 2226;
inline constexpr NET_API_STATUS NERR_PasswordTooShort = 2245;
inline constexpr NET_API_STATUS NERR_InternalError = 2140;
inline constexpr NET_API_STATUS NERR_SpeGroupOp = 2234;
inline constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFF;

// Further codes the account service gives.
inline constexpr DWORD ERROR_BAD_NETPATH = 53;
inline constexpr DWORD ERROR_BUSY = 170;
inline constexpr DWORD ERROR_SPECIAL_ACCOUNT = 1371;
inline constexpr DWORD ERROR_NO_SUCH_MEMBER = 1387;
inline constexpr DWORD ERROR_INVALID_MEMBER = 1388;

// The field that a refused record names through the error-field index.
inline constexpr DWORD USER_NAME_PARMNUM = 1;
inline constexpr DWORD USER_PASSWORD_PARMNUM = 3;
inline constexpr DWORD USER_PRIV_PARMNUM = 5;
inline constexpr DWORD USER_COMMENT_PARMNUM = 7;
inline constexpr DWORD LOCALGROUP_NAME_PARMNUM = 1;
inline constexpr DWORD LOCALGROUP_COMMENT_PARMNUM = 2;

inline constexpr DWORD PLATFORM_ID_NT = 500;

inline constexpr DWORD USER_PRIV_GUEST = 0;
inline constexpr DWORD USER_PRIV_USER = 1;
inline constexpr DWORD USER_PRIV_ADMIN = 2;
inline constexpr DWORD UF_SCRIPT = 0x0001;
inline constexpr DWORD UF_ACCOUNTDISABLE = 0x0002;
inline constexpr DWORD UF_LOCKOUT = 0x0010;
inline constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
inline constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;

struct USER_INFO_1 {
    LPWSTR usri1_name;
    LPWSTR usri1_password;
    DWORD usri1_password_age;
    DWORD usri1_priv;
    LPWSTR usri1_home_dir;
    LPWSTR usri1_comment;
    DWORD usri1_flags;
    LPWSTR usri1_script_path;
};

struct LOCALGROUP_INFO_0 {
    LPWSTR lgrpi0_name;
};

struct LOCALGROUP_INFO_1 {
    LPWSTR lgrpi1_name;
    LPWSTR lgrpi1_comment;
};

struct GROUP_INFO_1 {
    LPWSTR grpi1_name;
    LPWSTR grpi1_comment;
};

struct LOCALGROUP_MEMBERS_INFO_0 {
    PSID lgrmi0_sid;
};

struct USER_MODALS_INFO_2 {
    LPWSTR usrmod2_domain_name;
    PSID usrmod2_domain_id;
};

struct WKSTA_INFO_100 {
    DWORD wki100_platform_id;
    LPWSTR wki100_computername;
    LPWSTR wki100_langroup;
    DWORD wki100_ver_major;
    DWORD wki100_ver_minor;
};

#endif

// The account service's entry points, one line each: X(return type, name,
// parameters, the parameters passed on). The binding's slots and wrappers
// (accounts/netapi.*), the stand-in library's exports and the services
// behind them (platform/posix) are all made from this one list. Every entry
// point but NetApiBufferFree takes the server first.
// clang-format off
#define NOMVERA_ACCOUNT_SERVICE_SERVER_CALLS(X) \
    X(NET_API_STATUS, NetUserAdd, (LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr), (server, level, buf, parmErr)) \
    X(NET_API_STATUS, NetUserGetInfo, (LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf), (server, user, level, buf)) \
    X(NET_API_STATUS, NetUserSetInfo, (LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf, LPDWORD parmErr), (server, user, level, buf, parmErr)) \
    X(NET_API_STATUS, NetUserDel, (LPCWSTR server, LPCWSTR user), (server, user)) \
    X(NET_API_STATUS, NetUserModalsGet, (LPCWSTR server, DWORD level, LPBYTE* buf), (server, level, buf)) \
    X(NET_API_STATUS, NetGroupAdd, (LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr), (server, level, buf, parmErr)) \
    X(NET_API_STATUS, NetGroupDel, (LPCWSTR server, LPCWSTR group), (server, group)) \
    X(NET_API_STATUS, NetLocalGroupAdd, (LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr), (server, level, buf, parmErr)) \
    X(NET_API_STATUS, NetLocalGroupEnum, (LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen, LPDWORD entriesRead, LPDWORD totalEntries, PDWORD_PTR resumeHandle), (server, level, buf, prefMaxLen, entriesRead, totalEntries, resumeHandle)) \
    X(NET_API_STATUS, NetLocalGroupDel, (LPCWSTR server, LPCWSTR group), (server, group)) \
    X(NET_API_STATUS, NetLocalGroupAddMembers, (LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf, DWORD totalEntries), (server, group, level, buf, totalEntries)) \
    X(NET_API_STATUS, NetWkstaGetInfo, (LPCWSTR server, DWORD level, LPBYTE* buf), (server, level, buf))
#define NOMVERA_ACCOUNT_SERVICE_ENTRY_POINTS(X) \
    NOMVERA_ACCOUNT_SERVICE_SERVER_CALLS(X) \
    X(NET_API_STATUS, NetApiBufferFree, (LPVOID buffer), (buffer))
// clang-format on

// Each entry point's type, name##Fn, as the binding calls it.
#define NOMVERA_ENTRY_POINT_TYPE(ret, name, parameters, arguments)                                 \
    using name##Fn = ret(*) parameters;
extern "C" {
NOMVERA_ACCOUNT_SERVICE_ENTRY_POINTS(NOMVERA_ENTRY_POINT_TYPE)
}
#undef NOMVERA_ENTRY_POINT_TYPE
