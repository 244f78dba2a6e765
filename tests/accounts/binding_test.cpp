// The account-service and profile-service bindings with their library
// missing, complete, or lacking one entry point.
#include "accounts/admin_check.h"
#include "accounts/netapi.h"
#include "accounts/profile_service.h"
#include "platform/libloader.h"
#include "platform/test_doubles.h"
#include "platform/wide_text.h"
#include "support/platform_info.h"

#if defined(_WIN32)
#include <gtest/gtest.h>
#include <vector>
#else
#include "tests/accounts/account_test_support.h"
#endif

namespace nomvera::test {
namespace {

// The local machine as the server argument. (On Windows a bare nullptr would
// also fit the SDK's own NetWkstaGetInfo, whose server is not const.)
constexpr LPCWSTR kLocal = nullptr;

// Every one of the thirteen operations, with the arguments the tool passes.
std::vector<NET_API_STATUS> CallEveryOperation() {
    USER_INFO_1 user{};
    LOCALGROUP_INFO_1 local{};
    GROUP_INFO_1 global{};
    LOCALGROUP_MEMBERS_INFO_0 member{};
    LPBYTE record = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    DWORD field = 0;
    std::vector<NET_API_STATUS> statuses{
        NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&user), nullptr),
        NetUserGetInfo(nullptr, WIDE("x"), 1, &record),
        NetUserSetInfo(nullptr, WIDE("x"), 1, reinterpret_cast<LPBYTE>(&user), nullptr),
        NetUserDel(nullptr, WIDE("x")),
        NetUserModalsGet(nullptr, 2, &record),
        NetGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&global), &field),
        NetGroupDel(nullptr, WIDE("x")),
        NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&local), &field),
        NetLocalGroupEnum(nullptr, 0, &record, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
        NetLocalGroupDel(nullptr, WIDE("x")),
        NetLocalGroupAddMembers(nullptr, WIDE("x"), 0, reinterpret_cast<LPBYTE>(&member), 1),
        NetApiBufferFree(nullptr),
        NetWkstaGetInfo(kLocal, 100, &record),
    };
    EXPECT_EQ(record, nullptr);
    return statuses;
}

TEST(AccountServiceBinding, MissingLibraryGives127Everywhere) {
    accounts::LoadAccountService("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::AccountServiceLoaded());
    EXPECT_EQ(CallEveryOperation(), std::vector<NET_API_STATUS>(13, ERROR_PROC_NOT_FOUND));
    accounts::UnloadAccountService();
}

// NetUserDel of an account that does not exist, through the complete library.
NET_API_STATUS DeleteOfAnUnknownAccount() {
#if defined(_WIN32)
    return NERR_UserNotFound;
#else
    return RunningAsRoot() ? NERR_UserNotFound : ERROR_ACCESS_DENIED;
#endif
}

TEST(AccountServiceBinding, MissingEntryPointFailsAloneAndIsLookedUpAgain) {
#if !defined(_WIN32)
    SandboxRoot root;
#endif
    platform::test_double::AcceptTestDoubleLibrary("netapi32_without_userdel");
    accounts::LoadAccountService("netapi32_without_userdel.dll");
    ASSERT_TRUE(accounts::AccountServiceLoaded());
    EXPECT_EQ(NetUserDel(nullptr, WIDE("x")), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(NetUserDel(nullptr, WIDE("x")), ERROR_PROC_NOT_FOUND);
    LPBYTE record = nullptr;
    EXPECT_EQ(NetWkstaGetInfo(kLocal, 100, &record), NERR_Success);
    EXPECT_EQ(NetApiBufferFree(record), NERR_Success);
    EXPECT_EQ(NetUserGetInfo(nullptr, WIDE("nosuch"), 1, &record), NERR_UserNotFound)
        << "statuses pass through";
    EXPECT_EQ(NetLocalGroupDel(nullptr, WIDE("x")), ERROR_PROC_NOT_FOUND);
    accounts::UnloadAccountService();

    // The failed look-up left the slot empty, so the complete library binds it.
    accounts::LoadAccountService("netapi32.dll");
    EXPECT_EQ(NetUserDel(nullptr, WIDE("x")), DeleteOfAnUnknownAccount());
    EXPECT_EQ(NetWkstaGetInfo(kLocal, 100, &record), NERR_Success);
    EXPECT_EQ(NetApiBufferFree(record), NERR_Success);
    accounts::UnloadAccountService();
    EXPECT_EQ(NetWkstaGetInfo(kLocal, 100, &record), ERROR_PROC_NOT_FOUND)
        << "nothing is called after unloading";
}

TEST(AccountServiceBinding, LoadsOnlyOnce) {
    accounts::LoadAccountService("netapi32.dll");
    accounts::LoadAccountService("nosuchlibrary.dll");
    EXPECT_TRUE(accounts::AccountServiceLoaded());
    accounts::UnloadAccountService();
    EXPECT_FALSE(accounts::AccountServiceLoaded());
}

#if !defined(_WIN32)
// Records released through the binding, counted by the test double library
// (a stand-in of the POSIX account service).
class RecordRelease : public SandboxAccounts {
protected:
    using Start = void (*)(int failQueriesWithRecord);
    using Counter = int (*)();

    void SetUp() override {
        SandboxAccounts::SetUp();
        if (IsSkipped()) {
            return;
        }
        accounts::UnloadAccountService();
        platform::test_double::AcceptTestDoubleLibrary("netapi32_counting");
        accounts::LoadAccountService("netapi32_counting.dll");
        library_ = LoadLibraryA("netapi32_counting.dll");
        ASSERT_NE(library_, nullptr);
        start_ = reinterpret_cast<Start>(GetProcAddress(library_, "TestDoubleStart"));
        handedOut_ = reinterpret_cast<Counter>(GetProcAddress(library_, "TestDoubleHandedOut"));
        releases_ = reinterpret_cast<Counter>(GetProcAddress(library_, "TestDoubleReleaseCalls"));
        ASSERT_TRUE(start_ && handedOut_ && releases_);
        accounts::LoadSecurityLibrary("advapi32.dll");
    }
    void TearDown() override {
        accounts::UnloadSecurityLibrary();
        support::ReleasePlatformInfo();
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
        SandboxAccounts::TearDown();
    }
    static void Gather() {
        support::WorkstationQuery query;
        query.NetWkstaGetInfo = &NetWkstaGetInfo;
        query.NetApiBufferFree = &NetApiBufferFree;
        support::GatherPlatformInfo(query);
    }

    HMODULE library_ = nullptr;
    Start start_ = nullptr;
    Counter handedOut_ = nullptr;
    Counter releases_ = nullptr;
};

TEST_F(RecordRelease, EveryRecordIsReleasedOnce) {
    start_(0);
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("root"));
    Gather();
    EXPECT_EQ(support::Platform().WorkstationMajorVersion, 10u);
    EXPECT_EQ(handedOut_(), 2);
    EXPECT_EQ(releases_(), 2);
}

TEST_F(RecordRelease, RecordOfAFailedQueryIsReleasedAndNotRead) {
    start_(1);
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE(""));
    Gather();
    EXPECT_EQ(support::Platform().WorkstationMajorVersion, 0u);
    EXPECT_EQ(support::Platform().WindowsMajorVersion, 10) << "the first source's version";
    EXPECT_EQ(handedOut_(), 2);
    EXPECT_EQ(releases_(), 2);
}

#endif

TEST(ProfileServiceBinding, MissingLibraryOrEntryPointLeavesTheServiceIncomplete) {
    accounts::BindProfileService("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::ProfileServiceComplete());
    WCHAR path[260] = {};
    EXPECT_EQ(accounts::CreateProfile(WIDE("S-1-5-32-545"), WIDE("x"), path, 260), 1);
    EXPECT_FALSE(accounts::DeleteProfile(WIDE("S-1-5-32-545"), nullptr, nullptr));
    accounts::ReleaseProfileService();

    platform::test_double::AcceptTestDoubleLibrary("userenv_without_delete");
    accounts::BindProfileService("userenv_without_delete.dll");
    EXPECT_FALSE(accounts::ProfileServiceComplete());
    EXPECT_FALSE(accounts::DeleteProfile(WIDE("S-1-5-32-545"), nullptr, nullptr));
    EXPECT_NE(accounts::CreateProfile(WIDE("S-1-5-32-545"), WIDE("x"), path, 260), 1)
        << "the bound one is called";
    accounts::ReleaseProfileService();
}

TEST(ProfileServiceBinding, TheSystemsLibraryCompletesTheService) {
    accounts::BindProfileService("userenv.dll");
    EXPECT_TRUE(accounts::ProfileServiceComplete());
    accounts::ReleaseProfileService();
    EXPECT_FALSE(accounts::ProfileServiceComplete());
}

} // namespace
} // namespace nomvera::test
