// Files that hold secrets (the diagnostic log holds every password the tool
// makes), opened so that no other account can lead the opening elsewhere.
// Windows has no such calls; these are the project's own, on both platforms.
#pragma once

#include "platform/windows_types.h"

namespace nomvera::platform {

enum class TPrivateFileRefusal : DWORD {
    None = 0,
    Link,             // the name is a symbolic link (on Windows any reparse point)
    NotRegularFile,   // a folder, a FIFO, a device, a socket
    OtherOwner,       // owned by another account
    OtherNames,       // more than one name: a hard link
    OpenToOthers,     // other accounts have access to it
    FolderNotPrivate, // the private temporary folder is not private
};

// Opens fileName for reading and writing with shareMode (as CreateFileW).
// creationDisposition: OPEN_EXISTING, or CREATE_NEW, which makes the file
// for its owner only and never opens an existing one. The folder is not
// created here. The name is never followed when it is a link, the handle is
// not inherited by started programs, and nothing but a regular file is ever
// opened. Otherwise: INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, and *refusal
// (when not null) says why; the file is left as it was. *refusal is None for
// every other outcome.
//
// On POSIX a new file has mode 0600. An existing file is used only when it is
// a regular file with one name, owned by the effective user, without group
// or other permission bits; a file in the private temporary folder
// (GetPrivateTempPath) only while that folder is a real folder, not a link,
// owned by the effective user, without group or other permission bits.
// statusDetail (when not null) receives the owner's uid for OtherOwner, the
// permission bits for OpenToOthers and FolderNotPrivate.
//
// On Windows a new file gets a protected access list that admits only the
// user of the process's token. An existing file is used only when it is a
// file on a disk with one name, not a reparse point, owned by the token's
// user or its default owner (the Administrators group of an elevated
// token), whose access list admits no other account than those two, Local
// System and Administrators. statusDetail receives the last part (the
// relative id) of the owner for OtherOwner, the access mask that another
// account is given for OpenToOthers.
HANDLE CreatePrivateFile(LPCWSTR fileName, DWORD shareMode, DWORD creationDisposition,
                         TPrivateFileRefusal* refusal, DWORD* statusDetail);

// The effective user's own temporary folder, always ending in the path
// delimiter: GetTempPathW's folder + "nomvera-" + on POSIX the effective uid
// in decimal, on Windows the token user's SID in its text form. It is made,
// for the user only (mode 0700 on POSIX), when missing; an existing entry of
// that name is left as it is (CreatePrivateFile checks it on POSIX). On
// POSIX, when that name is taken by anything but the user's own private
// folder (a link, a file, another account's folder, a folder open to
// others), a fresh folder of that name + "-" and six random characters is
// made instead (mkdtemp) and given for the rest of the process.
// Windows rules for the result: the length without the NUL, or the size
// needed including the NUL when size (characters) is too small. Never 0.
DWORD GetPrivateTempPath(DWORD size, LPWSTR buffer);

// Makes every missing folder of path, from the top down, for the user only
// (mode 0700 on POSIX; on Windows the folders inherit their parent's access
// list); folders that exist are left as they are. On POSIX: TRUE when path is
// a folder afterwards (a link to a folder counts) that no other account can
// change, nor any folder above it (a sticky folder such as /tmp may be open
// to all); else FALSE and the code of the first failure, 5 when such a
// folder is in the way (nothing is made inside it). On Windows: TRUE when
// path is a folder afterwards.
BOOL CreatePrivateFolderTree(LPCWSTR path);

} // namespace nomvera::platform
