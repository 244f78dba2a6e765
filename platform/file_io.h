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

// On Windows <windows.h> (platform/windows_types.h) declares all of this.
#if !defined(_WIN32)

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

#endif
