// Facts about the running system: version, processors, 64-bit emulation,
// session. The 64-bit emulation and session entry points are bound by name
// from "kernel32.dll" (the stand-in library exports them under these names).
//
// On POSIX the version is reported as 10.0 (build 0, VER_PLATFORM_WIN32_NT,
// a workstation), so the tool behaves as on a current Windows; there is no
// 64-bit emulation; the session id is the audit login session of the process.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
inline constexpr BYTE VER_NT_WORKSTATION = 1;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// The record's dwOSVersionInfoSize must be 148 (OSVERSIONINFOA) or 156
// (OSVERSIONINFOEXA, the extended fields filled too); any other size fails
// with ERROR_INSUFFICIENT_BUFFER and leaves the record as it was.
BOOL GetVersionExA(OSVERSIONINFOA* versionInfo);

inline constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr WORD PROCESSOR_ARCHITECTURE_ARM = 5;
inline constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
inline constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

void GetSystemInfo(LPSYSTEM_INFO systemInfo);

inline constexpr DWORD THREAD_QUERY_INFORMATION = 0x0040;

#endif

// The kernel32 entry points bound by name. On POSIX: IsWow64Process answers
// FALSE; ProcessIdToSessionId gives /proc/self/sessionid (0 when unset);
// OpenThread opens a thread of this process by id (a handle of the handle
// table); the two redirection calls succeed and do nothing.
extern "C" {
using IsWow64ProcessFn = BOOL (*)(HANDLE process, BOOL* wow64Process);
using ProcessIdToSessionIdFn = BOOL (*)(DWORD processId, DWORD* sessionId);
using OpenThreadFn = HANDLE (*)(DWORD desiredAccess, BOOL inheritHandle, DWORD threadId);
using Wow64DisableWow64FsRedirectionFn = BOOL (*)(PVOID* oldValue);
using Wow64RevertWow64FsRedirectionFn = BOOL (*)(PVOID oldValue);
using ChangeWindowMessageFilterFn = BOOL (*)(UINT message, DWORD flag);
using ChangeWindowMessageFilterExFn = BOOL (*)(HWND window, UINT message, DWORD action,
                                               LPVOID changeFilterStruct);
using RegDeleteTreeWFn = LONG (*)(HKEY key, LPCWSTR subKey);
using RegDeleteKeyExWFn = LONG (*)(HKEY key, LPCWSTR subKey, REGSAM samDesired, DWORD reserved);
using RegDeleteTreeAFn = LONG (*)(HKEY key, LPCSTR subKey);
using RegDeleteKeyExAFn = LONG (*)(HKEY key, LPCSTR subKey, REGSAM samDesired, DWORD reserved);
}
