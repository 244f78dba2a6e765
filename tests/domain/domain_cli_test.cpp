// The command line against the fixture's domain controller: --server and
// --server-credentials, by password and by Kerberos.
#include "platform/posix/kernel/module_path.h"
#include "tests/common/child_process.h"
#include "tests/domain/domain_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

namespace nomvera::test {
namespace {

class DomainCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        auto domain = FixtureDomain(why);
        if (!domain) {
            GTEST_SKIP() << why;
        }
        domain_ = *domain;
        WriteOwnerOnlyFile(folder_ / "password", "Pw\n");
    }
    TChildResult Nomvera(const std::vector<std::string>& arguments, const std::string& server,
                         const std::string& credentials, std::vector<std::string> argv = {}) {
        argv.push_back(posix::ExecutableFolder() + "/nomvera");
        for (const std::string& argument : arguments) {
            argv.push_back(argument);
        }
        for (const std::string& argument :
             {std::string("--server"), server, std::string("--server-credentials"), credentials}) {
            argv.push_back(argument);
        }
        return RunProgram(argv, true);
    }
    // A line of the output, after its time stamp, level and indent.
    static bool HasLine(const TChildResult& run, const std::string& line) {
        const auto lines = TextLines(run.output);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& shown) { return shown.ends_with("." + line); });
    }

    SandboxRoot root_; // nothing of the machine's own accounts, whatever goes wrong
    TempFolder folder_{"nomvera-domain-cli"};
    TestDomain domain_;
};

TEST_F(DomainCommandLine, UsersJoinTheDomainsGroupsAndGoAgain) {
    const std::string auth = domain_.CredentialsFile();
    TChildResult run =
        Nomvera({"create-local-groups", "--prefix", "dclg", "--count", "1"}, "127.0.0.1", auth);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(HasLine(run, "Account service: LAB (127.0.0.1)")) << run.output;
    EXPECT_TRUE(HasLine(run, "Account service sign-in: password as LAB\\Administrator"));

    // Fill Groups reads the controller's groups: Users and Remote Desktop
    // Users by their well-known SIDs, and the group just made.
    run = Nomvera({"create-users", "--prefix", "dclu", "--count", "2", "--password-file",
                   folder_ / "password", "--group", "dclg001"},
                  "127.0.0.1", auth);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    auto groups = StoredAttribute(domain_, "dclu002", "memberOf");
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(groups, (std::vector<std::string>{"CN=Remote Desktop Users,CN=Builtin,DC=lab,DC=test",
                                                "CN=Users,CN=Builtin,DC=lab,DC=test",
                                                "CN=dclg001,CN=Users,DC=lab,DC=test"}));
    EXPECT_TRUE(SignInSucceeds(domain_, "dclu001", "Pw001"));

    run = Nomvera({"delete-users", "--prefix", "dclu", "--count", "2"}, "127.0.0.1", auth);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    run = Nomvera({"delete-local-groups", "--prefix", "dclg", "--count", "1"}, "127.0.0.1", auth);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(StoredAttribute(domain_, "dclu001", "objectClass").empty());
    EXPECT_TRUE(StoredAttribute(domain_, "dclg001", "objectClass").empty());
}

TEST_F(DomainCommandLine, ARealmUserSignsInWithKerberosAtTheServersName) {
    WriteOwnerOnlyFile(folder_ / "kerberos", "username = Administrator@" + domain_.realm +
                                                 "\npassword = " + domain_.password + "\n");
    // LeakSanitizer's own tracer fails at the exit of a process that used
    // Samba's Kerberos client (sanitizer builds): no leak check for these runs.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string previous = asan != nullptr ? asan : "";
    setenv("ASAN_OPTIONS", (previous + (previous.empty() ? "" : ":") + "detect_leaks=0").c_str(),
           1);
    // The controller writes every sign-in to samba.out: this run's are
    // Kerberos sign-ins of the realm user, never an NTLM one.
    const std::string controllerLog = domain_.dir + "/log/samba.out";
    const std::size_t before = ReadTextFile(controllerLog).size();
    TChildResult run = Nomvera({"create-global-groups", "--prefix", "dckg", "--count", "1"},
                               domain_.host, folder_ / "kerberos");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const std::string signIns = ReadTextFile(controllerLog).substr(before);
    EXPECT_NE(signIns.find("Auth: [Kerberos KDC,ENC-TS Pre-authentication] user "
                           "[(null)]\\[Administrator@LAB.TEST]"),
              std::string::npos)
        << signIns;
    EXPECT_EQ(signIns.find("NTLM"), std::string::npos) << signIns;
    EXPECT_TRUE(HasLine(run, "Account service sign-in: Kerberos as Administrator@LAB.TEST"))
        << run.output;
    run = Nomvera({"delete-global-groups", "--prefix", "dckg", "--count", "1"}, domain_.host,
                  folder_ / "kerberos");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    if (asan != nullptr) {
        setenv("ASAN_OPTIONS", previous.c_str(), 1);
    } else {
        unsetenv("ASAN_OPTIONS");
    }
}

TEST_F(DomainCommandLine, ACredentialsFileOthersCanReadIsRefusedBeforeAnything) {
    WriteOwnerOnlyFile(folder_ / "open", "username = Administrator\npassword = x\n");
    ASSERT_EQ(chmod((folder_ / "open").c_str(), 0644), 0);
    TChildResult run = Nomvera({"create-global-groups", "--prefix", "dcog", "--count", "1"},
                               "127.0.0.1", folder_ / "open");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("--server-credentials: " + folder_ / "open" +
                              " may be read or changed by other accounts"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(StoredAttribute(domain_, "dcog001", "objectClass").empty());
}

// A host outside the domain (no winbind answers: the tool runs with an empty
// /run/samba of its own): the profile step fails with its line, the account
// is made and removed on the controller, and nothing local stands in.
TEST_F(DomainCommandLine, OutsideTheDomainTheProfileStepFailsWithItsLine) {
    const std::vector<std::string> noWinbind{
        "/usr/bin/unshare",
        "-m",
        "--propagation",
        "private",
        "/bin/sh",
        "-c",
        "mount -t tmpfs tmpfs /run/samba && exec \"$0\" \"$@\""};
    const std::string accountFiles = root_.AccountFiles();
    TChildResult run = Nomvera({"create-users", "--prefix", "dcnp", "--count", "1",
                                "--password-file", folder_ / "password", "--profile"},
                               "127.0.0.1", domain_.CredentialsFile(), noWinbind);
    EXPECT_TRUE(HasLine(run, "Create Profile:" + Message(0x80070534))) << run.output;
    EXPECT_FALSE(StoredAttribute(domain_, "dcnp001", "objectClass").empty());
    run = Nomvera({"delete-users", "--prefix", "dcnp", "--count", "1", "--profile"}, "127.0.0.1",
                  domain_.CredentialsFile(), noWinbind);
    EXPECT_TRUE(HasLine(run, "Deleted User[dcnp001]")) << run.output;
    EXPECT_TRUE(StoredAttribute(domain_, "dcnp001", "objectClass").empty());
    EXPECT_EQ(root_.AccountFiles(), accountFiles);
    struct stat folder {};
    EXPECT_NE(lstat((root_ / "home/dcnp001").c_str(), &folder), 0);
}

} // namespace
} // namespace nomvera::test
