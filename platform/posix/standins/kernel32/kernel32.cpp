// The kernel entry points bound by name from "kernel32.dll", exported under
// their Windows names. There is no 64-bit emulation on Linux: the emulation
// query answers FALSE and the redirection calls succeed without effect.
#include "platform/posix/kernel/kernel32_posix.h"
#include "platform/sysinfo.h"

#include <type_traits>

extern "C" {

[[gnu::visibility("default")]] BOOL IsWow64Process(HANDLE process, BOOL* wow64Process) {
    return nomvera::posix::IsWow64Process(process, wow64Process);
}

[[gnu::visibility("default")]] BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    return nomvera::posix::ProcessIdToSessionId(processId, sessionId);
}

[[gnu::visibility("default")]] HANDLE OpenThread(DWORD desiredAccess, BOOL inheritHandle,
                                                 DWORD threadId) {
    return nomvera::posix::OpenThread(desiredAccess, inheritHandle, threadId);
}

[[gnu::visibility("default")]] BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    return nomvera::posix::Wow64DisableWow64FsRedirection(oldValue);
}

[[gnu::visibility("default")]] BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    return nomvera::posix::Wow64RevertWow64FsRedirection(oldValue);
}
}

// The exported names must keep the types the binding casts them to.
static_assert(std::is_same_v<decltype(&IsWow64Process), IsWow64ProcessFn>);
static_assert(std::is_same_v<decltype(&ProcessIdToSessionId), ProcessIdToSessionIdFn>);
static_assert(std::is_same_v<decltype(&OpenThread), OpenThreadFn>);
static_assert(
    std::is_same_v<decltype(&Wow64DisableWow64FsRedirection), Wow64DisableWow64FsRedirectionFn>);
static_assert(
    std::is_same_v<decltype(&Wow64RevertWow64FsRedirection), Wow64RevertWow64FsRedirectionFn>);
