// The system the account service acts on, and reading its group file.
#include "tests/accounts/account_test_support.h"

#include "platform/errors.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/services/shadow_tools.h"
#include "platform/posix/services/sysroot.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

using posix::SystemRootKind;
using Words = std::vector<std::string>;

// NOMVERA_SYSROOT while it lives; the previous value comes back after.
class TScopedRoot {
public:
    explicit TScopedRoot(const std::string& value) {
        if (const char* old = std::getenv("NOMVERA_SYSROOT")) {
            previous_ = old;
        }
        setenv("NOMVERA_SYSROOT", value.c_str(), 1);
    }
    ~TScopedRoot() {
        previous_ ? setenv("NOMVERA_SYSROOT", previous_->c_str(), 1) : unsetenv("NOMVERA_SYSROOT");
    }
    TScopedRoot(const TScopedRoot&) = delete;
    TScopedRoot& operator=(const TScopedRoot&) = delete;

private:
    std::optional<std::string> previous_;
};

// "The machine itself" is decided by the folder's identity: however "/" is
// spelled, the hash never goes on a command line and no --prefix is given.
// Nothing is run: only the decision and the argument vector are looked at.
TEST(SystemRoot, EverySpellingOfSlashIsTheMachineItself) {
    TempFolder temp("nomvera-root-spelling");
    const std::string link = temp / "to-slash";
    ASSERT_EQ(symlink("/", link.c_str()), 0);
    const Words hashOnCommandLine = {"-c", "x", "-p", "$y$hash", "--", "test001"};
    for (const std::string& spelling :
         Words{"", "/", "/.", "//", "/usr/..", "/./", "/usr/../.", link, link + "/"}) {
        auto decision = posix::SystemRootOf(spelling.c_str());
        EXPECT_EQ(decision.kind, SystemRootKind::Machine) << spelling;
        EXPECT_EQ(decision.prefix, "") << spelling;
        TScopedRoot root(spelling);
        EXPECT_TRUE(posix::IsRealSystemRoot()) << spelling;
        EXPECT_EQ(posix::InSystemRoot("/etc/group"), "/etc/group") << spelling;
        EXPECT_EQ(posix::ShadowToolArguments("usermod", hashOnCommandLine), std::nullopt)
            << spelling;
        EXPECT_EQ(posix::ShadowToolArguments("useradd", {"-c", "-p", "--", "test001"}),
                  (Words{"useradd", "-c", "-p", "--", "test001"}))
            << spelling;
    }
    EXPECT_EQ(posix::SystemRootOf(nullptr).kind, SystemRootKind::Machine);
}

TEST(SystemRoot, OtherFoldersAreSandboxesAndTheRestIsRefused) {
    TempFolder temp("nomvera-root-kinds");
    WriteTextFile(temp / "file", "");
    ASSERT_EQ(mkdir((temp / "sandbox").c_str(), 0755), 0);
    struct Case {
        std::string value;
        SystemRootKind kind;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {temp / "sandbox", SystemRootKind::Sandbox, temp / "sandbox"},
        {temp / "sandbox//", SystemRootKind::Sandbox, temp / "sandbox"},
        {"/usr", SystemRootKind::Sandbox, "/usr"},
        {temp / "missing", SystemRootKind::Unusable, temp / "missing"},
        {temp / "file", SystemRootKind::Unusable, temp / "file"},
        {"relative/root", SystemRootKind::Unusable, "/dev/null"},
        {".", SystemRootKind::Unusable, "/dev/null"},
    };
    for (const Case& c : cases) {
        auto decision = posix::SystemRootOf(c.value.c_str());
        EXPECT_EQ(decision.kind, c.kind) << c.value;
        EXPECT_EQ(decision.prefix, c.prefix) << c.value;
        TScopedRoot root(c.value);
        EXPECT_FALSE(posix::IsRealSystemRoot()) << c.value;
        auto argv = posix::ShadowToolArguments("usermod", {"-p", "$y$hash", "--", "test001"});
        if (c.kind == SystemRootKind::Sandbox) {
            EXPECT_EQ(argv,
                      (Words{"usermod", "--prefix", c.prefix, "-p", "$y$hash", "--", "test001"}));
            EXPECT_EQ(posix::ShadowToolArguments("chpasswd", {"-e"}),
                      (Words{"chpasswd", "--root", c.prefix, "-e"}));
        } else {
            EXPECT_EQ(argv, std::nullopt) << c.value;
            EXPECT_EQ(posix::ShadowToolArguments("groupadd", {"--", "g"}), std::nullopt);
        }
    }
}

using UnusableRoot = SandboxAccounts;

// A root that is missing or is a file: no tool runs, each change fails, and
// nothing is read from the machine's own account database in its place.
TEST_F(UnusableRoot, ChangesFailAndNothingIsFound) {
    WriteTextFile(Root() / "a-file", "");
    for (const std::string& value : {Root() / "missing", Root() / "a-file"}) {
        TScopedRoot root(value);
        EXPECT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), ERROR_PATH_NOT_FOUND) << value;
        EXPECT_EQ(AddLocalGroup(WIDE("group001")), ERROR_PATH_NOT_FOUND) << value;
        EXPECT_EQ(posix::FindUserByName("root"), std::nullopt) << value;
        EXPECT_EQ(posix::FindGroupByGid(0), std::nullopt) << value;
        EXPECT_TRUE(LocalGroups().empty()) << value;
    }
    EXPECT_FALSE(Exists(Root() / "missing"));
}

using UnsafeRoot = SandboxAccounts;

// A sandbox root is trusted as the machine's own folders are: chpasswd,
// chrooted into it, starts its usr/sbin/nscd as root, and shadow-utils
// takes its login.defs. When another account could change the root, such a
// folder or such a file, nothing runs there, nothing is read, and each change
// says what was refused.
TEST_F(UnsafeRoot, NothingRunsFromWhatAnotherAccountCouldChange) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const auto plant = [](const SandboxRoot& root) {
        std::filesystem::create_directories(root / "usr/sbin");
        std::filesystem::copy_file(posix::ExecutableFolder() + "/planted_program",
                                   root / "usr/sbin/nscd");
        std::ofstream(root / "etc/passwd", std::ios::app) << "test001:x:1001:100::/:/bin/sh\n";
        std::ofstream(root / "etc/shadow", std::ios::app) << "test001:*:19000:0:99999:7:::\n";
    };
    {
        SandboxRoot own; // root's own program in root's own sandbox runs
        plant(own);
        EXPECT_EQ(SetPassword(WIDE("test001"), WIDE("Thr0w-away!pass#20ch")), NERR_Success);
        EXPECT_TRUE(Exists(own / "planted-ran"));
    }
    for (const std::string changeable : {"", "usr/sbin", "etc/login.defs"}) {
        SandboxRoot root;
        plant(root);
        const std::string path = changeable.empty() ? root.Path() : root / changeable;
        ASSERT_EQ(changeable.empty() ? chmod(path.c_str(), 0777) : chown(path.c_str(), 65534, 0),
                  0);
        const std::string files = root.AccountFiles();
        EXPECT_EQ(SetPassword(WIDE("test001"), WIDE("Thr0w-away!pass#20ch")), ERROR_ACCESS_DENIED)
            << path;
        EXPECT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), ERROR_ACCESS_DENIED) << path;
        EXPECT_FALSE(posix::FindUserByName("root")) << path;
        EXPECT_FALSE(Exists(root / "planted-ran")) << path;
        EXPECT_EQ(root.AccountFiles(), files);
        EXPECT_EQ(support::SystemMessageText(ERROR_ACCESS_DENIED),
                  "Access was refused: " + path +
                      ", which shadow-utils would trust as root, may be changed by other accounts "
                      "[5]");
    }
}

using LongGroupLine = SandboxAccounts;

// One group line longer than any fixed buffer (a member list of 100 KiB)
// neither ends the reading of the file nor hides the groups after it, so
// their names stay taken.
TEST_F(LongGroupLine, HidesNoGroupAfterIt) {
    ASSERT_EQ(AddLocalGroup(WIDE("big")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("after1")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("after2")), NERR_Success);
    auto big = posix::FindGroupByName("big");
    ASSERT_TRUE(big);
    std::string members;
    while (members.size() < 100 * 1024) {
        members +=
            (members.empty() ? "" : ",") + std::string("member") + std::to_string(members.size());
    }
    const std::string shortLine = "big:x:" + std::to_string(big->gid) + ":";
    ReplaceLine("etc/group", "big:", shortLine + members);

    std::vector<WideString> groups = LocalGroups();
    ASSERT_GE(groups.size(), 3u);
    EXPECT_EQ(std::vector<WideString>(groups.end() - 3, groups.end()),
              (std::vector<WideString>{WIDE("big"), WIDE("after1"), WIDE("after2")}));
    auto found = posix::FindGroupByName("big");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->members.size(),
              static_cast<std::size_t>(std::count(members.begin(), members.end(), ',')) + 1);
    EXPECT_TRUE(posix::FindGroupByName("after2"));

    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddLocalGroup(WIDE("after1")), ERROR_ALIAS_EXISTS);
    EXPECT_EQ(AddUser(WIDE("after2"), WIDE("pass001")), NERR_GroupExists);
    EXPECT_EQ(Root().AccountFiles(), before);
    ReplaceLine("etc/group", "big:", shortLine);
}

} // namespace
} // namespace nomvera::test
