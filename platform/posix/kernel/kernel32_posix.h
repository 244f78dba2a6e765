// What the kernel32 stand-in library exports under the Windows names; kept
// in the platform library so that tests can call it directly too. Not part
// of the surface.
#pragma once

#include "platform/windows_types.h"

#include <optional>
#include <string>

namespace nomvera::posix {

BOOL IsWow64Process(HANDLE process, BOOL* wow64Process);
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
HANDLE OpenThread(DWORD desiredAccess, BOOL inheritHandle, DWORD threadId);
BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue);
BOOL Wow64RevertWow64FsRedirection(PVOID oldValue);

// The audit session of /proc/<pid>/sessionid text: 0 for an unset session
// (4294967295) or a text that is not a number.
DWORD ParseSessionId(const std::string& text);

} // namespace nomvera::posix
