#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/libloader.h"
#include "platform/posix/kernel/kernel32_posix.h"
#include "platform/process.h"
#include "platform/sysinfo.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(GetVersionExA, ExtendedRecordReportsTenZero) {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0xCC, sizeof version);
    version.dwOSVersionInfoSize = 156;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
    EXPECT_EQ(version.dwMajorVersion, 10u);
    EXPECT_EQ(version.dwMinorVersion, 0u);
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(version.szCSDVersion[0], '\0');
    EXPECT_EQ(version.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(version.wServicePackMajor, 0);
}

TEST(GetVersionExA, PlainRecordLeavesWhatFollowsIt) {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0xCC, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
    EXPECT_EQ(version.dwMajorVersion, 10u);
    EXPECT_EQ(version.wServicePackMajor, 0xCCCC);
}

TEST(GetVersionExA, OtherSizesAreRefusedUntouched) {
    for (DWORD size : {0u, 155u, 157u, 148u + 4u}) {
        OSVERSIONINFOEXA version;
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = size;
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) << size;
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(version.dwMajorVersion, 0u);
    }
}

TEST(GetSystemInfo, ReportsProcessorsAndPages) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_GE(info.dwPageSize, 4096u);
    EXPECT_NE(info.dwActiveProcessorMask, 0u);
}

struct SessionCase {
    const char* text;
    DWORD session;
};

class SessionIdText : public testing::TestWithParam<SessionCase> {};

TEST_P(SessionIdText, UnsetOrGarbageIsZero) {
    EXPECT_EQ(nomvera::posix::ParseSessionId(GetParam().text), GetParam().session);
}

INSTANTIATE_TEST_SUITE_P(Texts, SessionIdText,
                         testing::Values(SessionCase{"4294967295", 0}, SessionCase{"", 0},
                                         SessionCase{"17", 17}, SessionCase{"17\n", 17},
                                         SessionCase{"4294967294", 4294967294u},
                                         SessionCase{"99999999999", 0}, SessionCase{"-3", 0},
                                         SessionCase{"12abc", 0}));

class Kernel32StandIn : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA("kernel32.dll");
        ASSERT_NE(module_, nullptr) << "bin/libkernel32.so is missing";
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    template <class Function> Function Bind(const char* name) {
        auto function = reinterpret_cast<Function>(GetProcAddress(module_, name));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }
    HMODULE module_ = nullptr;
};

TEST_F(Kernel32StandIn, NoEmulationOnLinux) {
    auto isWow64 = Bind<IsWow64ProcessFn>("IsWow64Process");
    ASSERT_NE(isWow64, nullptr);
    BOOL answer = TRUE;
    EXPECT_TRUE(isWow64(reinterpret_cast<HANDLE>(-1), &answer));
    EXPECT_FALSE(answer);

    auto disable = Bind<Wow64DisableWow64FsRedirectionFn>("Wow64DisableWow64FsRedirection");
    auto revert = Bind<Wow64RevertWow64FsRedirectionFn>("Wow64RevertWow64FsRedirection");
    ASSERT_NE(disable, nullptr);
    ASSERT_NE(revert, nullptr);
    PVOID old = reinterpret_cast<PVOID>(1);
    EXPECT_TRUE(disable(&old));
    EXPECT_TRUE(revert(old));
}

TEST_F(Kernel32StandIn, SessionIdOfThisProcess) {
    auto sessionOf = Bind<ProcessIdToSessionIdFn>("ProcessIdToSessionId");
    ASSERT_NE(sessionOf, nullptr);
    DWORD session = 12345;
    EXPECT_TRUE(sessionOf(GetCurrentProcessId(), &session));
    DWORD direct = 0;
    EXPECT_TRUE(nomvera::posix::ProcessIdToSessionId(GetCurrentProcessId(), &direct));
    EXPECT_EQ(session, direct);
    EXPECT_NE(session, 4294967295u);
    EXPECT_FALSE(sessionOf(0x7FFFFFF0, &session));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Kernel32StandIn, OpenThreadNamesLiveThreadsOnly) {
    auto openThread = Bind<OpenThreadFn>("OpenThread");
    ASSERT_NE(openThread, nullptr);
    HANDLE self = openThread(THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId());
    ASSERT_NE(self, nullptr);
    EXPECT_TRUE(CloseHandle(self));
    EXPECT_FALSE(CloseHandle(self));

    DWORD otherId = 0;
    std::thread other([&otherId] { otherId = GetCurrentThreadId(); });
    other.join();
    EXPECT_EQ(openThread(THREAD_QUERY_INFORMATION, FALSE, otherId), nullptr);
    EXPECT_EQ(openThread(THREAD_QUERY_INFORMATION, FALSE, 0), nullptr);
}

} // namespace
