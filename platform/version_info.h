// File version information of a program file.
//
// On POSIX the version lives in an ELF section named ".nomvera.fileversion"
// of the program file: a VS_FIXEDFILEINFO record as Windows has it in its
// version resource. GetFileVersionInfoSizeW gives the section's size (0 and
// ERROR_RESOURCE_TYPE_NOT_FOUND for a file without it),
// GetFileVersionInfoW copies it, and VerQueryValueW with the sub-block "\"
// points at the record when its signature is 0xFEEF04BD.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;
inline constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000;
inline constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length);

#endif
