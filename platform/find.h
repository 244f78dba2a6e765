// Folder searches. (The walk of a folder held open, with its changes of the
// folder's entries, is the project's own: platform/folder_walk.h.)
//
// On POSIX a search lists the entries of one folder in the order the file
// system returns them, "." and ".." included. Each entry's attributes come
// from its own status, never from the target of a symbolic link:
//   FILE_ATTRIBUTE_DIRECTORY      a folder (a symbolic link never is one here)
//   FILE_ATTRIBUTE_READONLY       a file whose owner has no write bit, or a
//                                 folder whose owner lacks any of read, write
//                                 and search (its entries cannot be changed)
//   FILE_ATTRIBUTE_REPARSE_POINT  a symbolic link
//   FILE_ATTRIBUTE_NORMAL         none of the above
// Names that are not valid UTF-8 are shown with U+FFFD; the walk's changes
// still reach such an entry while it is the current entry of a walk's search
// of that folder.
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/windows_types.h"

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

inline constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;

// The process's current folder (Windows rules for the result: the length
// without the NUL, or the size needed when the buffer is too small, 0 on
// failure) and its change.
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR pathName);
BOOL SetCurrentDirectoryW(LPCWSTR pathName);

#endif
