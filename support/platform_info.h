// Platform facts gathered once at start, before the main window exists, and
// read-only afterwards.
#pragma once

#include <cstdint>

namespace nomvera::support {

struct PlatformInfo {
    std::int32_t WindowsMajorVersion = 0;
    std::int32_t WindowsMinorVersion = 0;
    bool IsWow64 = false;
    std::int32_t RegistryViewFlag = 0;
    std::uint32_t SessionId = 0;
    std::uint32_t MainThreadId = 0;
};

// Gathers the facts (the account-service binding must be loaded first, for
// the workstation version) / releases what gathering bound.
void GatherPlatformInfo();
void ReleasePlatformInfo();
const PlatformInfo& Platform();

} // namespace nomvera::support
