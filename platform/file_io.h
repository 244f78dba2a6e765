// File input and output on kernel-object handles.
//
// On POSIX a share mode is kept as a set of advisory open-file-description
// locks on the file, so that it binds every opening of the file through this
// layer, in this process or another: a second opening whose access or share
// mode clashes with an existing one fails with ERROR_SHARING_VIOLATION, as on
// Windows. Openings by programs that do not use this layer are not affected.
// The locks go away with the last handle to the opening, also when the
// process dies.
#pragma once

#include "platform/clock.h" // LARGE_INTEGER
#include "platform/files.h"
#include "platform/windows_types.h"

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;

inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_WRITE_FAULT = 29;
inline constexpr DWORD ERROR_READ_FAULT = 30;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
inline constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
inline constexpr DWORD ERROR_IO_DEVICE = 1117;

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// desiredAccess: GENERIC_READ and/or GENERIC_WRITE. securityAttributes,
// flagsAndAttributes and templateFile are accepted; a new file gets the
// process's default permissions. OPEN_ALWAYS and CREATE_ALWAYS report
// ERROR_ALREADY_EXISTS through the last-error code when the file was there.
// A clash with the share mode of an existing opening leaves the file as it
// was (CREATE_ALWAYS does not truncate it).
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Synchronous only: overlapped must be null. Reading at the end of the file
// succeeds with 0 bytes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod);
// Gives the low half of the new position, INVALID_SET_FILE_POINTER on failure
// (with the last-error code set; 0 when the low half really is all ones).
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
// Cuts (or extends) the file at the current position.
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL FlushFileBuffers(HANDLE file);

// Files that hold secrets (the diagnostic log holds every password the tool
// makes), opened so that no other account can lead the opening elsewhere.
enum class TPrivateFileRefusal : DWORD {
    None = 0,
    Link,             // the name is a symbolic link
    NotRegularFile,   // a folder, a FIFO, a device, a socket
    OtherOwner,       // owned by another account
    OtherNames,       // more than one name: a hard link
    OpenToOthers,     // group or other accounts have permission bits on it
    FolderNotPrivate, // the private temporary folder is not private
};

// Opens fileName for reading and writing with shareMode (as CreateFileW).
// creationDisposition: OPEN_EXISTING, or CREATE_NEW, which makes the file
// with mode 0600 (owner only) and never opens an existing one. The folder is
// not created here. The name is never followed when it is a symbolic link,
// the handle is not inherited by started programs, and nothing but a regular
// file is ever opened. An existing file is used only when it is a regular
// file with one name, owned by the effective user, without group or other
// permission bits; a file in the private temporary folder
// (GetPrivateTempPathW) only while that folder is a real folder, not a link,
// owned by the effective user, without group or other permission bits.
// Otherwise: INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, and *refusal (when
// not null) says why; the file is left as it was. *refusal is None for every
// other outcome. statusDetail (when not null) receives the owner's uid for
// OtherOwner, the permission bits for OpenToOthers and FolderNotPrivate.
HANDLE CreatePrivateFileW(LPCWSTR fileName, DWORD shareMode, DWORD creationDisposition,
                          TPrivateFileRefusal* refusal, DWORD* statusDetail);

// The effective user's own temporary folder, always ending in "/":
// GetTempPathW's folder + "nomvera-" + the effective uid in decimal. It is
// made with mode 0700 when missing; an existing entry of that name is left
// as it is (CreatePrivateFileW checks it). Windows rules for the result: the
// length without the NUL, or the size needed including the NUL when size
// (characters) is too small. Never 0.
DWORD GetPrivateTempPathW(DWORD size, LPWSTR buffer);

// Makes every missing folder of path, from the top down, with mode 0700
// (owner only); folders that exist are left as they are. TRUE when path is a
// folder afterwards (a link to a folder counts) that no other account can
// change, nor any folder above it (a sticky folder such as /tmp may be
// open to all); else FALSE and the code of the first failure, 5 when such a
// folder is in the way (nothing is made inside it).
BOOL CreatePrivateFolderTreeW(LPCWSTR path);

namespace nomvera::platform::test_double {
// Test double for a slow disk, which cannot be had here on purpose: every
// WriteFile first sleeps this many milliseconds. 0 turns it off.
void DelayFileWrites(DWORD milliseconds);
} // namespace nomvera::platform::test_double
