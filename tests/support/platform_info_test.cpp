#include "support/platform_info.h"

#include "platform/process.h"

#if !defined(_WIN32)
#include "platform/posix/kernel/kernel32_posix.h"
#endif

#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace nomvera::support {
namespace {

// Test doubles for the account-service binding's workstation query.
WKSTA_INFO_100 workstationRecord{};
int freedRecords = 0;
LPVOID lastFreed = nullptr;

NET_API_STATUS ReportsVersion61(LPCWSTR, DWORD level, LPBYTE* buf) {
    if (level != 100) {
        return ERROR_INVALID_LEVEL;
    }
    workstationRecord.wki100_ver_major = 6;
    workstationRecord.wki100_ver_minor = 1;
    *buf = reinterpret_cast<LPBYTE>(&workstationRecord);
    return NERR_Success;
}

NET_API_STATUS FailsWithRecord(LPCWSTR, DWORD, LPBYTE* buf) {
    workstationRecord.wki100_ver_major = 5;
    *buf = reinterpret_cast<LPBYTE>(&workstationRecord);
    return ERROR_ACCESS_DENIED;
}

NET_API_STATUS Throws(LPCWSTR, DWORD, LPBYTE*) {
    throw std::runtime_error("workstation service gone");
}

NET_API_STATUS CountFree(LPVOID buffer) {
    ++freedRecords;
    lastFreed = buffer;
    return NERR_Success;
}

// The system's own major version: 10 from the POSIX stand-in; on Windows
// what GetVersionExA tells this program (6 to one without a manifest that
// names Windows 10, as every test program is).
std::int32_t SystemMajorVersion() {
#if defined(_WIN32)
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_TRUE(GetVersionExA(&version));
    return static_cast<std::int32_t>(version.dwMajorVersion);
#else
    return 10;
#endif
}

class PlatformInfoTest : public testing::Test {
protected:
    void SetUp() override {
        freedRecords = 0;
        lastFreed = nullptr;
    }
    void TearDown() override { ReleasePlatformInfo(); }
};

// The facts the POSIX stand-ins give (their kernel32 and the session id of
// /proc).
#if !defined(_WIN32)
TEST_F(PlatformInfoTest, PosixFactsWithoutWorkstationService) {
    GatherPlatformInfo(WorkstationQuery{});
    const PlatformInfo& info = Platform();
    EXPECT_EQ(info.WindowsMajorVersion, 10);
    EXPECT_EQ(info.WindowsMinorVersion, 0);
    EXPECT_FALSE(info.IsWow64);
    EXPECT_EQ(info.RegistryViewFlag, 0);
    EXPECT_EQ(info.MainThreadId, GetCurrentThreadId());
    EXPECT_GE(info.ProcessorCount, 1u);

    std::ifstream file("/proc/self/sessionid");
    std::string text;
    std::getline(file, text);
    EXPECT_EQ(info.SessionId, posix::ParseSessionId(text));

    PlatformBindings bound = BoundEntryPoints();
    EXPECT_FALSE(bound.User32Loaded); // no stand-in: its items keep their defaults
    EXPECT_TRUE(bound.Kernel32Loaded);
    EXPECT_TRUE(bound.IsWow64ProcessBound);
    EXPECT_TRUE(bound.OpenThreadBound);
    EXPECT_TRUE(bound.ProcessIdToSessionIdBound);
    EXPECT_TRUE(bound.FsRedirectionBound);
}
#endif

TEST_F(PlatformInfoTest, WorkstationVersionReplacesTheSystemVersionAndIsReleased) {
    GatherPlatformInfo(WorkstationQuery{ReportsVersion61, CountFree});
    EXPECT_EQ(Platform().WindowsMajorVersion, 6);
    EXPECT_EQ(Platform().WindowsMinorVersion, 1);
    EXPECT_EQ(freedRecords, 1);
    EXPECT_EQ(lastFreed, &workstationRecord);
}

TEST_F(PlatformInfoTest, FailedWorkstationQueryKeepsTheSystemVersionButFreesItsRecord) {
    GatherPlatformInfo(WorkstationQuery{FailsWithRecord, CountFree});
    EXPECT_EQ(Platform().WindowsMajorVersion, SystemMajorVersion());
    EXPECT_EQ(Platform().WorkstationMajorVersion, 0u);
    EXPECT_EQ(freedRecords, 1);
}

TEST_F(PlatformInfoTest, ThrowingWorkstationQueryIsIgnored) {
    EXPECT_NO_THROW(GatherPlatformInfo(WorkstationQuery{Throws, CountFree}));
    EXPECT_EQ(Platform().WindowsMajorVersion, SystemMajorVersion());
    EXPECT_EQ(freedRecords, 0);
}

TEST_F(PlatformInfoTest, ReleaseClearsTheBindingsAndGatheringAgainStartsOver) {
    GatherPlatformInfo(WorkstationQuery{ReportsVersion61, CountFree});
    ReleasePlatformInfo();
    PlatformBindings bound = BoundEntryPoints();
    EXPECT_FALSE(bound.Kernel32Loaded);
    EXPECT_FALSE(bound.IsWow64ProcessBound);
    EXPECT_EQ(bound.RegistryDeleteBound, 0);
    GatherPlatformInfo(WorkstationQuery{});
    EXPECT_EQ(Platform().WindowsMajorVersion, SystemMajorVersion());
    // The entry points are looked up afresh in the library loaded again.
    EXPECT_TRUE(BoundEntryPoints().IsWow64ProcessBound);
}

} // namespace
} // namespace nomvera::support
