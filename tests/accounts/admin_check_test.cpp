// The administrator check and the well-known names, as root and, through a
// probe program, as an account that is not root.
#include "accounts/admin_check.h"
#include "platform/posix/module_path.h"
#include "tests/accounts/account_test_support.h"

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
        std::string probe = posix::ExecutableFolder() + "/accounts_admin_probe";
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        pid_t child = fork();
        if (child == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", probe.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string text;
        char buffer[1024];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        return text;
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
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"tsusers") << "a failed look-up is tried again";
}

TEST_F(AdminCheck, MissingSecurityLibraryMeansNoAdministratorAndNoGroupNames) {
    accounts::UnloadSecurityLibrary();
    accounts::LoadSecurityLibrary("nosuchlibrary.dll");
    EXPECT_FALSE(accounts::IsAdministratorOnVersion(10));
    EXPECT_EQ(accounts::GetTokenElevationType(), -2);
    EXPECT_EQ(accounts::GetUsersGroupName(), u"");
    EXPECT_EQ(accounts::GetRemoteDesktopUsersGroupName(), u"");
    EXPECT_EQ(accounts::GetAdministratorAccountName(), u"root") << "comes through the account service";
}

TEST_F(AdminCheck, OtherAccountIsNotAnAdministratorAndIsRefusedEveryChange) {
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(), "administrator=0\nadministrator-on-5=0\nelevation=1\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(AdminCheck, AdministratorsMemberWithoutRootHasALimitedToken) {
    ReplaceLine("etc/group", "sudo:", "sudo:x:27:nobody");
    ReplaceLine("etc/gshadow", "sudo:", "sudo:*::nobody");
    std::string before = Root().AccountFiles();
    EXPECT_EQ(ProbeAsNobody(), "administrator=0\nadministrator-on-5=1\nelevation=3\nadd=5\ndelete=5\ngroup=5\n");
    EXPECT_EQ(Root().AccountFiles(), before);
}

} // namespace
} // namespace nomvera::test
