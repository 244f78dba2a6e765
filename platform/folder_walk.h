// The folder walk: open a folder and change the entries of a folder that is
// held open, by name, without ever following a link. It is what a tree
// removal uses, so that a folder swapped for a link while the walk runs is
// not entered and the link's target is never touched. Windows has no such
// calls under one name; these are the project's own, on both platforms.
//
// A folder handle is an open folder, closed with CloseHandle. A search of an
// open folder is continued with FindNextWalkEntry and closed with
// CloseWalkSearch. Every name is one entry of the folder: "", ".", ".." and
// names with a path delimiter give ERROR_INVALID_NAME (123).
//
// Links. On POSIX a link is a symbolic link. On Windows it is any reparse
// point: a junction, a symbolic link to a file or a folder, a volume mount
// point. A link is never opened as a folder and never reported as one: a
// search shows it with FILE_ATTRIBUTE_REPARSE_POINT and without
// FILE_ATTRIBUTE_DIRECTORY, so a walk deletes it as a file, and
// DeleteWalkFile removes the link itself.
//
// Volumes. A folder opened through a parent lies on the parent's file system:
// on POSIX the same mount (a bind mount counts as another), on Windows the
// same volume serial number; so every folder of a walk lies on the volume of
// the folder it started from.
#pragma once

#include "platform/find.h"
#include "platform/wide_text.h"
#include "platform/windows_types.h"

namespace nomvera::platform {

// Opens the folder name of parent, or, with parent null, the folder at the
// path name (the folders on the way are followed, the last part is not).
// Fails with ERROR_DIRECTORY (267) for a link or a file, with
// ERROR_ACCESS_DENIED for a file-system root (IsFileSystemRoot: a walk never
// enters one), and, when parent is given, with ERROR_NOT_SAME_DEVICE (17) for
// a folder on another file system than parent. A start folder (parent null)
// that WalkStartRefusal refuses fails with its code.
HANDLE OpenWalkFolder(HANDLE parent, LPCWSTR name);

// Whether a walk may change the folder at path (links followed): 0 when it
// may; ERROR_ACCESS_DENIED when the folder is, holds or lies inside the home
// folder of an account of the system (a home at or above the profiles root,
// such as "/", does not count as holding it; an account file that cannot be
// read refuses every folder); ERROR_BUSY (170) when a process works in the
// folder or in a folder below it. A path that cannot be opened gives 0: the
// walk then reports it as it finds it. On Windows always 0: there the
// profile service and the file system's sharing rules keep such folders.
DWORD WalkStartRefusal(LPCWSTR path);

// Lists every entry of an open folder in the order the file system gives
// them, "." and ".." among them (always on POSIX; on Windows as the file
// system keeps them: NTFS does). Attributes are the entry's own (a link's, never its
// target's); on POSIX as platform/find.h describes, on Windows as the file
// system keeps them, FILE_ATTRIBUTE_DIRECTORY taken off a link. The end of
// the listing is ERROR_NO_MORE_FILES (18). One search at a time per folder
// handle; a new one starts again from the first entry.
HANDLE FindFirstWalkEntry(HANDLE folder, LPWIN32_FIND_DATAW findData);
BOOL FindNextWalkEntry(HANDLE search, LPWIN32_FIND_DATAW findData);
BOOL CloseWalkSearch(HANDLE search);

// Sets the attributes of an entry, as SetFileAttributesW does by path. A link
// is left alone (TRUE). On POSIX only FILE_ATTRIBUTE_READONLY has a meaning:
// set, it clears every write bit; clear, it gives the owner the write bit
// back, and a folder also read and search, so that its entries can be
// removed; a change clears the set-user-id and set-group-id bits; an entry
// that is a mount point is refused with ERROR_NOT_SAME_DEVICE (its
// permissions belong to the file system there), and an entry that is no
// longer the one the latest search listed under that name with
// ERROR_ACCESS_DENIED. The change goes through a descriptor of the entry,
// never through its name again.
// On Windows the settable attributes are set (none of them: NORMAL).
BOOL SetWalkEntryAttributes(HANDLE folder, LPCWSTR name, DWORD attributes);
// Removes a file or a link (never its target); a folder gives
// ERROR_ACCESS_DENIED, a missing entry ERROR_FILE_NOT_FOUND.
BOOL DeleteWalkFile(HANDLE folder, LPCWSTR name);
// Removes an empty folder; a link or a file gives ERROR_DIRECTORY, a folder
// with entries ERROR_DIR_NOT_EMPTY, a mount point on POSIX
// ERROR_SHARING_VIOLATION (32), a missing entry ERROR_FILE_NOT_FOUND.
BOOL RemoveWalkFolder(HANDLE folder, LPCWSTR name);

// True when path names the root of a file system, by identity, links
// followed: on POSIX the system's root "/" ("//", "/." and a symbolic link to
// "/" as well); on Windows the root of a volume ("C:\", a share's root, a
// folder where a volume is mounted, and a link to any of them). False for a
// path that cannot be examined.
BOOL IsFileSystemRoot(LPCWSTR path);

// Failure injection for tests. While a seam is set, every OpenWalkFolder,
// SetWalkEntryAttributes, DeleteWalkFile and RemoveWalkFolder first asks it;
// an answer other than 0 fails the call with that code and the system is
// never reached. Tests use it to prove that a walk refuses something before
// it acts; the tool never sets it.
class TFolderChangeSeam {
public:
    virtual ~TFolderChangeSeam() = default;
    // operation: the function's name; name: the entry (or path) as given.
    virtual DWORD Intercept(const char* operation, const WideString& name) = 0;
};
void SetFolderChangeSeam(TFolderChangeSeam* seam);

} // namespace nomvera::platform
