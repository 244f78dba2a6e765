// The administrator check and the well-known names, as root and, through a
// probe program, as an account that is not root; on Windows for the
// account that runs the test.
#include "accounts/admin_check.h"
#include "accounts/netapi.h"
#include "platform/libloader.h"
#include "platform/test_doubles.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "tests/accounts/account_test_support.h"
#include "tests/common/child_process.h"
#include "tests/common/programs_for_nobody.h"

#include <sys/wait.h>
#include <unistd.h>
#endif

namespace nomvera::test {
namespace {

#if defined(_WIN32)
// Wine runs every program as an administrator with a full token; the
// well-known accounts and groups carry the names Windows gives them.
class AdminCheckOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        accounts::LoadAccountService("netapi32.dll");
        accounts::LoadSecurityLibrary("advapi32.dll");
    }
    void TearDown() override {
        accounts::UnloadSecurityLibrary();
        accounts::UnloadAccountService();
    }
};

TEST_F(AdminCheckOnWindows, TheAccountIsAnAdministratorWithAFullToken) {
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(10));
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(5));
    EXPECT_EQ(accounts::GetTokenElevationType(), 2);
}

TEST_F(AdminCheckOnWindows, WellKnownNamesAreTheLocalNames) {
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("Administrator"));
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE("Remote Desktop Users"));
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE("Users"));
}

TEST_F(AdminCheckOnWindows, MissingSecurityLibraryMeansNoAdministratorAndNoGroupNames) {
    accounts::UnloadSecurityLibrary();
    accounts::LoadSecurityLibrary("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::IsAdministratorOnVersion(10));
    EXPECT_EQ(accounts::GetTokenElevationType(), -2);
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE(""));
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE(""));
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("Administrator"))
        << "comes through the account service";
}
#else

class AdminCheck : public SandboxAccounts {
protected:
    void SetUp() override {
        SandboxAccounts::SetUp();
        accounts::LoadSecurityLibrary("advapi32.dll");
    }
    void TearDown() override {
        accounts::UnloadSecurityLibrary();
        SandboxAccounts::TearDown();
    }

    // The probe's output when run as nobody (uid 65534) without groups.
    std::string ProbeAsNobody(const ProgramsForNobody& copies) {
        const std::string probe = copies.Path("accounts_admin_probe");
        const TChildResult run = RunProgram(
            {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", probe});
        EXPECT_EQ(run.exitCode, 0);
        return run.output;
    }
};

TEST_F(AdminCheck, RootIsAnAdministratorWithAFullToken) {
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(10));
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(5));
    EXPECT_EQ(accounts::GetTokenElevationType(), 2);
}

TEST_F(AdminCheck, WellKnownNamesAreTheLocalNames) {
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("root"));
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE("tsusers"));
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE("users"));
}

TEST_F(AdminCheck, AdministratorNameFollowsARenamedAccount) {
    ReplaceLine("etc/passwd", "root:", "Administrateur:x:0:0:root:/root:/bin/bash");
    ReplaceLine("etc/shadow", "root:", "Administrateur:*:19000:0:99999:7:::");
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("Administrateur"));
}

TEST_F(AdminCheck, NamesAreLookedUpOnceAndAgainAfterAFailure) {
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE("users"));
    std::string group = ReadTextFile(Root() / "etc/group");
    ReplaceLine("etc/group", "users:", "renamed:x:100:");
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE("users")) << "cached";
    WriteTextFile(Root() / "etc/group", group);

    ReplaceLine("etc/group", "tsusers:", "other:x:990:");
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE(""));
    WriteTextFile(Root() / "etc/group", group);
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE("tsusers"))
        << "a failed look-up is tried again";
}

TEST_F(AdminCheck, MissingSecurityLibraryMeansNoAdministratorAndNoGroupNames) {
    accounts::UnloadSecurityLibrary();
    accounts::LoadSecurityLibrary("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::IsAdministratorOnVersion(10));
    EXPECT_EQ(accounts::GetTokenElevationType(), -2);
    EXPECT_EQ(accounts::GetUsersGroupName(), WIDE(""));
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), WIDE(""));
    EXPECT_EQ(accounts::GetAdministratorAccountName(), WIDE("root"))
        << "comes through the account service";
}

TEST_F(AdminCheck, OtherAccountIsNotAnAdministratorAndIsRefusedEveryChange) {
    const ProgramsForNobody copies({"accounts_admin_probe"});
    NOMVERA_SKIP_UNLESS_NOBODY_CAN_RUN(copies);
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(copies),
              "administrator=0\nadministrator-on-5=0\nelevation=1\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(AdminCheck, AdministratorsMemberWithoutRootHasALimitedToken) {
    const ProgramsForNobody copies({"accounts_admin_probe"});
    NOMVERA_SKIP_UNLESS_NOBODY_CAN_RUN(copies);
    ReplaceLine("etc/group", "sudo:", "sudo:x:27:nobody");
    ReplaceLine("etc/gshadow", "sudo:", "sudo:*::nobody");
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(copies),
              "administrator=0\nadministrator-on-5=1\nelevation=3\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

// The check against token answers that no real token here gives, through the
// test double library; no account is touched, so no sandbox root is needed.
class AdminCheckWithTokenDouble : public ::testing::Test {
protected:
    using SetToken = void (*)(DWORD groupsSize, BOOL elevationQueryAnswers, DWORD type);
    using Counter = DWORD (*)();

    void SetUp() override {
        platform::test_double::AcceptTestDoubleLibrary("advapi32_token_double");
        library_ = LoadLibraryA("advapi32_token_double.dll");
        ASSERT_NE(library_, nullptr);
        setToken_ = reinterpret_cast<SetToken>(GetProcAddress(library_, "TestDoubleSetToken"));
        calls_ = reinterpret_cast<Counter>(GetProcAddress(library_, "TestDoubleGroupsCalls"));
        first_ = reinterpret_cast<Counter>(GetProcAddress(library_, "TestDoubleFirstGroupsLength"));
        last_ = reinterpret_cast<Counter>(GetProcAddress(library_, "TestDoubleLastGroupsLength"));
        ASSERT_TRUE(setToken_ && calls_ && first_ && last_);
        accounts::LoadSecurityLibrary("advapi32_token_double.dll");
    }
    void TearDown() override {
        accounts::UnloadSecurityLibrary();
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
    }

    HMODULE library_ = nullptr;
    SetToken setToken_ = nullptr;
    Counter calls_ = nullptr;
    Counter first_ = nullptr;
    Counter last_ = nullptr;
};

TEST_F(AdminCheckWithTokenDouble, GroupListIsReadAgainWithTheReportedSizeAndSpareUpToTheLimit) {
    setToken_(10240000, TRUE, 1);
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(5));
    EXPECT_EQ(calls_(), 2u);
    EXPECT_EQ(first_(), 10u) << "the first buffer holds 10 bytes";
    EXPECT_EQ(last_(), 10240000u + 1024u);

    setToken_(100, TRUE, 1);
    EXPECT_TRUE(accounts::IsAdministratorOnVersion(5));
    EXPECT_EQ(last_(), 1124u);
}

TEST_F(AdminCheckWithTokenDouble, SizeAboveTheLimitOrNoSizeIsNotRetried) {
    for (DWORD reported : {10240001u, 0xFFFFFFFFu, 1u, 0u}) {
        setToken_(reported, TRUE, 1);
        EXPECT_FALSE(accounts::IsAdministratorOnVersion(5)) << reported;
        EXPECT_EQ(calls_(), 1u) << reported;
    }
}

TEST_F(AdminCheckWithTokenDouble, FromVersion6OnlyAnUnsplitOrFullTokenCounts) {
    struct Case {
        BOOL answers;
        DWORD type;
        bool administrator;
        std::int32_t elevation;
    };
    for (Case c : {Case{TRUE, 1, true, 1}, Case{TRUE, 2, true, 2}, Case{TRUE, 3, false, 3},
                   Case{TRUE, 0, false, 0}, Case{FALSE, 2, false, -2}}) {
        setToken_(100, c.answers, c.type);
        EXPECT_EQ(accounts::IsAdministratorOnVersion(6), c.administrator) << c.type;
        EXPECT_EQ(accounts::IsAdministratorOnVersion(10), c.administrator) << c.type;
        EXPECT_TRUE(accounts::IsAdministratorOnVersion(5)) << "membership alone decides";
        EXPECT_EQ(accounts::GetTokenElevationType(), c.elevation);
    }
}
#endif

} // namespace
} // namespace nomvera::test
