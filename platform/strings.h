// Text conversions of the system: code pages and Unicode upper-casing.
//
// On POSIX the system's 8-bit code page (CP_ACP) is UTF-8 (65001).
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// Upper-cases length UTF-16 units in place by the Unicode simple case mapping
// (one unit to one unit, the same in every locale). Characters outside the
// Basic Multilingual Plane (surrogate pairs) and lone surrogates pass
// unchanged. Returns the number of units processed.
DWORD CharUpperBuffW(LPWSTR text, DWORD length);

// Windows rules: byteCount / charCount -1 means NUL-terminated (the NUL is
// converted and counted); an output size of 0 asks for the size needed; a
// result that does not fit gives 0 and ERROR_INSUFFICIENT_BUFFER. Invalid
// input becomes U+FFFD ("?" going to 8-bit text is not used: UTF-8 can carry
// U+FFFD), or, with MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS, fails with
// ERROR_NO_UNICODE_TRANSLATION. Only CP_ACP and CP_UTF8 are known; any other
// code page gives ERROR_INVALID_PARAMETER. defaultChar and usedDefaultChar
// must be null for UTF-8, as on Windows.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int byteCount, LPWSTR wide,
                        int charCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int charCount, LPSTR multiByte,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar);

#endif
