// The system's message text of a status code.
//
// On POSIX the message table holds a short English text of this project's own
// wording, ending in ".\r\n" as Windows messages do, for the status codes that
// the stand-ins return (the error and status codes of the platform headers:
// windows_types.h, lmaccess.h, security_types.h, files.h, file_io.h,
// environment.h, shell.h, sync.h, strings.h, version_info.h). Any other code
// has no message: 0 characters and ERROR_MR_MID_NOT_FOUND. As on Windows, a
// code wrapped as an HRESULT of facility 7 (0x8007xxxx) has the message of
// the code xxxx.
#pragma once

#include "platform/windows_types.h"

#include <cstdarg>

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

// Only FORMAT_MESSAGE_FROM_SYSTEM into a caller's buffer is offered: the
// messages have no inserts, so the argument flags and arguments change
// nothing. Another source, FORMAT_MESSAGE_ALLOCATE_BUFFER or a width limit
// fails with ERROR_NOT_SUPPORTED. languageId 0, a neutral or an English
// language gives the English text; another language fails with
// ERROR_RESOURCE_LANG_NOT_FOUND. size counts characters including the NUL;
// a message that does not fit gives 0 and ERROR_INSUFFICIENT_BUFFER, with the
// buffer left untouched. The result is the number of characters written,
// without the NUL.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);

#endif
