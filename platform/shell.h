// Starting programs and shell pages: the shell, process creation, window
// messages, COM initialisation and the system's own folders.
//
// On POSIX there is no Windows shell. The stand-in gives the Windows system
// programs that open settings pages ("control.exe", "rundll32.exe",
// "explorer.exe" in the system or Windows folder) the meaning of the nearest
// page of the desktop's own settings program found on PATH (GNOME Settings,
// then KDE System Settings, then Xfce's settings manager and its helpers);
// docs/shortcuts.md has the table. Every program is started without a shell,
// from an argument vector, and is not waited for: it runs detached, and the
// tool never collects it, so no finished child is left behind.
#pragma once

#include "platform/windows_types.h"

#if defined(_WIN32)
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#else

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr INT SW_HIDE = 0;
inline constexpr INT SW_SHOWNORMAL = 1;
inline constexpr UINT WM_COMMAND = 0x0111;

// ShellExecuteA results of 32 or less are failures (the values Windows gives).
inline constexpr std::uintptr_t SE_ERR_FNF = 2;
inline constexpr std::uintptr_t SE_ERR_PNF = 3;
inline constexpr std::uintptr_t SE_ERR_ACCESSDENIED = 5;
inline constexpr std::uintptr_t SE_ERR_OOM = 8;
inline constexpr std::uintptr_t SE_ERR_NOASSOC = 31;

inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_NO_ASSOCIATION = 1155;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

// The folder of the system programs / the system's own folder. On POSIX:
// "/usr/bin" and "/usr". Windows rules: the length without the NUL; when the
// buffer (size in characters including the NUL) is too small, the size needed
// including the NUL, with the buffer left untouched.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

// Whether a file or folder exists. On POSIX a system program of the table
// above exists when a desktop settings program is installed.
BOOL PathFileExistsA(LPCSTR path);

// Opens a target with a verb (null or "open"; any other verb has no
// association). On POSIX the targets that open something are: the system
// programs above with the arguments the tool passes them, a folder named
// "<anything>.{ED7BA470-8E54-465E-825C-99712043E01C}" (the Control Panel's
// namespace folder) and an executable file that no other account can change
// (the file and every folder above it belong to root or to the tool's user
// and are not writable by others, a sticky folder such as /tmp excepted;
// else SE_ERR_ACCESSDENIED). The result is above 32 on success; otherwise
// one of the SE_ERR_ values, with the last-error code set.
HINSTANCE ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showCommand);

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// The command line is split by the Windows rules (blanks separate, double
// quotes group, backslashes before a quote escape it). Without an
// application name its first word is the program: a system program of the
// table above, a path, or a name searched on the absolute folders of PATH.
// On POSIX the security attributes and creation flags are accepted and
// ignored; the new program inherits the standard input, output and error and
// no other descriptor (the tool makes no handle inheritable). environment is
// a Windows block ("A=1\0B=2\0\0") or null for the tool's own. Both returned
// handles must be closed; they cannot be waited on.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);

// On POSIX there are no other top-level windows to find: null, and
// ERROR_FILE_NOT_FOUND. Sending to a window that is not there gives 0 and
// ERROR_INVALID_HANDLE.
HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// COM on the calling thread: S_OK on the first call, S_FALSE on every further
// one until as many CoUninitialize calls have balanced them.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

#endif
