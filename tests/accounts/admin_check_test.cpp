// The administrator check and the well-known names, as root and, through a
// probe program, as an account that is not root.
#include "accounts/admin_check.h"
#include "platform/posix/module_path.h"
#include "tests/accounts/account_test_support.h"
#include "tests/common/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

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
    std::string ProbeAsNobody() {
        const std::string probe = posix::ExecutableFolder() + "/accounts_admin_probe";
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
    EXPECT_EQ(accounts::GetAdministratorAccountName(), u"root");
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"tsusers");
    EXPECT_EQ(accounts::GetUsersGroupName(), u"users");
}

TEST_F(AdminCheck, AdministratorNameFollowsARenamedAccount) {
    ReplaceLine("etc/passwd", "root:", "Administrateur:x:0:0:root:/root:/bin/bash");
    ReplaceLine("etc/shadow", "root:", "Administrateur:*:19000:0:99999:7:::");
    EXPECT_EQ(accounts::GetAdministratorAccountName(), u"Administrateur");
}

TEST_F(AdminCheck, NamesAreLookedUpOnceAndAgainAfterAFailure) {
    EXPECT_EQ(accounts::GetUsersGroupName(), u"users");
    std::string group = ReadTextFile(Root() / "etc/group");
    ReplaceLine("etc/group", "users:", "renamed:x:100:");
    EXPECT_EQ(accounts::GetUsersGroupName(), u"users") << "cached";
    WriteTextFile(Root() / "etc/group", group);

    ReplaceLine("etc/group", "tsusers:", "other:x:990:");
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"");
    WriteTextFile(Root() / "etc/group", group);
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"tsusers")
        << "a failed look-up is tried again";
}

TEST_F(AdminCheck, MissingSecurityLibraryMeansNoAdministratorAndNoGroupNames) {
    accounts::UnloadSecurityLibrary();
    accounts::LoadSecurityLibrary("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::IsAdministratorOnVersion(10));
    EXPECT_EQ(accounts::GetTokenElevationType(), -2);
    EXPECT_EQ(accounts::GetUsersGroupName(), u"");
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"");
    EXPECT_EQ(accounts::GetAdministratorAccountName(), u"root")
        << "comes through the account service";
}

TEST_F(AdminCheck, OtherAccountIsNotAnAdministratorAndIsRefusedEveryChange) {
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(),
              "administrator=0\nadministrator-on-5=0\nelevation=1\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(AdminCheck, AdministratorsMemberWithoutRootHasALimitedToken) {
    ReplaceLine("etc/group", "sudo:", "sudo:x:27:nobody");
    ReplaceLine("etc/gshadow", "sudo:", "sudo:*::nobody");
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(),
              "administrator=0\nadministrator-on-5=1\nelevation=3\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

} // namespace
} // namespace nomvera::test
