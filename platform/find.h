// Folder searches, and the folder-relative operations that a tree walk uses
// to change entries of a folder it holds open.
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
// Names that are not valid UTF-8 are shown with U+FFFD; the folder-relative
// operations still reach such an entry while it is the current entry of a
// search of that folder.
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/windows_types.h"

#include <string>

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

// fileName: a folder, "/", then a pattern for the last part: "*" and "*.*"
// match every entry, "?" one character, "*" any run. No entry gives
// INVALID_HANDLE_VALUE and ERROR_FILE_NOT_FOUND (2); a missing folder
// ERROR_PATH_NOT_FOUND (3). The end of the listing is ERROR_NO_MORE_FILES (18).
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData);
BOOL FindClose(HANDLE findFile);

// --- Folder-relative forms -------------------------------------------------
//
// A folder handle is an open folder (closed with CloseHandle). Every
// operation below acts on one entry of it by name and never follows a
// symbolic link, so a folder that is swapped for a link while a walk runs is
// not entered and the link's target is never touched.

// Opens the folder name of parent, or, with parent null, the folder at the
// path name (the folders on the way are followed, the last part is not).
// Fails with ERROR_DIRECTORY (267) for a symbolic link or a file, with
// ERROR_ACCESS_DENIED for the system's root folder "/" (a walk never enters
// it), and, when parent is given, with ERROR_NOT_SAME_DEVICE (17) for a
// folder that lies on another mount than parent (another file system or a
// bind mount).
HANDLE OpenFolderW(HANDLE parent, LPCWSTR name);

// Lists every entry of an open folder, as FindFirstFileW with "*.*" does.
// The search holds its own reference to the folder and reads through the
// folder's descriptor: one search at a time per folder handle (a new one
// starts again from the first entry).
HANDLE FindFirstFileW(HANDLE folder, LPWIN32_FIND_DATAW findData);

// FILE_ATTRIBUTE_READONLY set clears every write bit; clear, it gives the
// owner the write bit back, and a folder also read and search, so that its
// entries can be removed. Other attributes are ignored; a symbolic link is
// left alone, and an entry that is a mount point is refused with
// ERROR_NOT_SAME_DEVICE (its permissions belong to the file system there).
BOOL SetFileAttributesW(HANDLE folder, LPCWSTR name, DWORD attributes);
// Removes a file or a symbolic link (never its target); a folder gives
// ERROR_ACCESS_DENIED, a missing entry ERROR_FILE_NOT_FOUND.
BOOL DeleteFileW(HANDLE folder, LPCWSTR name);
// Removes an empty folder; a link or a file gives ERROR_DIRECTORY, a folder
// with entries ERROR_DIR_NOT_EMPTY, a mount point ERROR_SHARING_VIOLATION
// (32), a missing entry ERROR_FILE_NOT_FOUND.
BOOL RemoveDirectoryW(HANDLE folder, LPCWSTR name);

// True when path names the system's root folder "/", by identity: "//",
// "/." and a symbolic link to "/" count as well. False for a path that
// cannot be examined.
BOOL IsFileSystemRootW(LPCWSTR path);

// The process's current folder (Windows rules for the result: the length
// without the NUL, or the size needed when the buffer is too small, 0 on
// failure) and its change.
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR pathName);
BOOL SetCurrentDirectoryW(LPCWSTR pathName);

namespace nomvera::platform {

// Test seam over the folder-relative changes. While a seam is set, every
// OpenFolderW, SetFileAttributesW, DeleteFileW and RemoveDirectoryW of the
// folder-relative family first asks it; an answer other than 0 fails the
// call with that code and the system is never reached. Tests use it to prove
// that a walk refuses something before it acts; the tool never sets it.
class TFolderChangeSeam {
public:
    virtual ~TFolderChangeSeam() = default;
    // operation: "OpenFolderW", "SetFileAttributesW", "DeleteFileW" or
    // "RemoveDirectoryW"; name: the entry (or path) as given.
    virtual DWORD Intercept(const char* operation, const std::u16string& name) = 0;
};
void SetFolderChangeSeam(TFolderChangeSeam* seam);

} // namespace nomvera::platform
