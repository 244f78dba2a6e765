// Files and folders: attributes, creation and removal, the temporary folder
// and the program file's own path.
//
// On POSIX, attributes come from the file's status (lstat, then stat for the
// target of a symbolic link):
//   FILE_ATTRIBUTE_DIRECTORY (0x10)  a folder, or a symbolic link to a folder
//   FILE_ATTRIBUTE_READONLY (0x01)   the owner has no write permission bit
//                                    (not reported for symbolic links)
//   FILE_ATTRIBUTE_REPARSE_POINT     a symbolic link (with DIRECTORY when its
//                          (0x400)   target is a folder, as Windows reports a
//                                    folder link)
//   FILE_ATTRIBUTE_NORMAL (0x80)     none of the above (any other file)
// Failures give INVALID_FILE_ATTRIBUTES and the last-error code: 2 when the
// path's folder exists but the entry does not, 3 when a folder on the way is
// missing or not a folder, 5 when a folder on the way may not be searched.
// As for every POSIX call, a trailing "/" makes the system resolve a final
// symbolic link, so "link/" reports the target folder, not the link.
#pragma once

#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// File-system codes besides those of windows_types.h.
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

DWORD GetFileAttributesA(LPCSTR fileName);
DWORD GetFileAttributesW(LPCWSTR fileName);
// Only FILE_ATTRIBUTE_READONLY has a meaning here: set, it clears every write
// permission bit; clear, it gives the owner the write bit back (group and
// others are never given write permission); a change also clears the
// set-user-id and set-group-id bits. Other attributes are ignored. A
// symbolic link is left alone (it has no permissions of its own) and its
// target is never changed.
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes);

// securityAttributes is accepted and ignored: a new folder gets mode 0777
// less the process's umask. An existing entry of that name gives
// ERROR_ALREADY_EXISTS, a missing parent ERROR_PATH_NOT_FOUND.
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
// Removes an empty folder, never the target of a symbolic link: a link gives
// ERROR_DIRECTORY, as does a file; a folder with entries ERROR_DIR_NOT_EMPTY.
BOOL RemoveDirectoryA(LPCSTR pathName);
BOOL RemoveDirectoryW(LPCWSTR pathName);
// Removes a file or a symbolic link (never its target); a folder gives
// ERROR_ACCESS_DENIED, as on Windows.
BOOL DeleteFileW(LPCWSTR fileName);

// $TMPDIR when set to an absolute path, else /tmp, always ending in "/".
// Returns the length without the NUL, or, when size (characters including the
// NUL) is too small, the size needed including the NUL with the buffer left
// untouched.
DWORD GetTempPathA(DWORD size, LPSTR buffer);
DWORD GetTempPathW(DWORD size, LPWSTR buffer);

// The running executable's full path (module must be null: the program file).
// Windows rules: the length without the NUL; when it does not fit, the text
// is cut to size - 1 characters plus NUL, size is returned and the last error
// is ERROR_INSUFFICIENT_BUFFER. A module handle other than null gives 0 and
// ERROR_INVALID_HANDLE.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

#endif
