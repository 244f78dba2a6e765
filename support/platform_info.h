// Platform facts gathered once at start, before the main window exists, and
// read-only afterwards.
#pragma once

#include "platform/lmaccess.h"

#include <cstdint>
#include <string>

namespace nomvera::support {

struct PlatformInfo {
    std::int32_t WindowsMajorVersion = 0;
    std::int32_t WindowsMinorVersion = 0;
    bool IsWow64 = false;
    std::int32_t RegistryViewFlag = 0;
    std::uint32_t SessionId = 0;
    std::uint32_t MainThreadId = 0;

    // Gathered as well; no operation of the tool reads them.
    std::uint32_t BuildNumber = 0;
    std::uint32_t PlatformId = 0;
    std::string ServicePackText;
    std::uint16_t ServicePackMajor = 0;
    std::uint16_t ServicePackMinor = 0;
    std::uint16_t SuiteMask = 0;
    std::uint8_t ProductType = 0;
    std::uint32_t ProcessorCount = 0;
    std::uint32_t WorkstationMajorVersion = 0;
    std::uint32_t WorkstationMinorVersion = 0;
};

// The account-service binding's workstation query and record release. support
// does not depend on accounts/, so the caller hands them in; either may be
// null (the workstation step is then skipped or the record not released).
using WorkstationGetInfoFunction = NET_API_STATUS (*)(LPCWSTR server, DWORD level, LPBYTE* buf);
using WorkstationBufferFreeFunction = NET_API_STATUS (*)(LPVOID buffer);
struct WorkstationQuery {
    WorkstationGetInfoFunction NetWkstaGetInfo = nullptr;
    WorkstationBufferFreeFunction NetApiBufferFree = nullptr;
};

// Gathers the facts (the account-service binding must be loaded first, for
// the workstation version) / frees the libraries that gathering bound. A
// second gathering starts over from the defaults.
void GatherPlatformInfo(const WorkstationQuery& query);
void ReleasePlatformInfo();
const PlatformInfo& Platform();

// Whether gathering found the optional entry points (none of them is used by
// the tool's operations; kept for diagnosis and tests).
struct PlatformBindings {
    bool User32Loaded = false;
    bool Kernel32Loaded = false;
    bool Advapi32Loaded = false;
    bool IsWow64ProcessBound = false;
    bool OpenThreadBound = false;
    bool ProcessIdToSessionIdBound = false;
    bool FsRedirectionBound = false; // both Wow64 redirection entry points
    int RegistryDeleteBound = 0;     // how many of the four RegDelete… names
};
PlatformBindings BoundEntryPoints();

} // namespace nomvera::support
