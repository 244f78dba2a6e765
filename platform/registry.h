// The registry.
//
// On POSIX the registry is a stand-in: a few keys and values are mapped to
// their Linux meaning (platform/posix/kernel/registry_map.h), each in one place, and
// nothing else exists. Opening a key that has no mapped value under it fails
// with ERROR_FILE_NOT_FOUND; creating such a key with ERROR_ACCESS_DENIED. An
// opened key is a handle of the handle table, closed by RegCloseKey.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

// The predefined keys; they need no opening and are never closed.
inline HKEY const HKEY_CLASSES_ROOT =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000));
inline HKEY const HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001));
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002));
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000003));

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Every call returns its status (ERROR_SUCCESS or a Windows code) and leaves
// the thread's last-error code alone, as on Windows. The view flags
// KEY_WOW64_64KEY / KEY_WOW64_32KEY are accepted and change nothing: there is
// one view. A key opened without KEY_QUERY_VALUE refuses reads, one without
// KEY_SET_VALUE refuses writes, with ERROR_ACCESS_DENIED.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM desired, LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                     LPDWORD disposition);
// Windows rules: with data null and dataLength given, dataLength receives the
// size; when the value does not fit, ERROR_MORE_DATA and dataLength := the
// size needed. REG_SZ sizes are in bytes and count the closing NUL; the text
// of the A variant is UTF-8. A missing value gives ERROR_FILE_NOT_FOUND.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength);
// A value can be written only where a mapping accepts it; elsewhere
// ERROR_ACCESS_DENIED. A REG_DWORD needs 4 bytes, else ERROR_INVALID_PARAMETER.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataLength);
LONG RegCloseKey(HKEY key);

#endif
