// The executable of the Debian package named by NOMVERA_PACKAGE, unpacked
// with dpkg-deb into a temporary folder (never installed), started offscreen
// over a sandbox system root in the environment pkexec gives it: no
// XDG_STATE_HOME, so as root the log goes to root's state folder (the
// root's /root/.local/state). The GUI driver of the end-to-end tests is
// preloaded to see the window and play the steps.
#include "platform/posix/kernel/module_path.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"
#include "tests/common/test_environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace nomvera::test {
namespace {

using namespace std::chrono_literals;

constexpr char kPrivateFolder[] = "usr/lib/x86_64-linux-gnu/nomvera";

struct TOutcome {
    bool shown = false;
    bool exited = false;
    int exitCode = -1;
};

class UnpackedProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* package = std::getenv("NOMVERA_PACKAGE");
        ASSERT_TRUE(package != nullptr && package[0] == '/')
            << "NOMVERA_PACKAGE must name the .deb by its full path";
        const TChildResult unpack =
            RunProgram({"/usr/bin/dpkg-deb", "-x", package, unpacked_.Path()}, true);
        ASSERT_EQ(unpack.exitCode, 0) << unpack.output;
        program_ = unpacked_ / (std::string(kPrivateFolder) + "/nomvera");
        chmod(base_.Path().c_str(), 0755);
        for (const char* folder : {"home", "runtime", "tmp", "driver"}) {
            ASSERT_EQ(mkdir((base_ / folder).c_str(), 0700), 0) << folder;
        }
        report_ = base_ / "driver/report";
    }

    // Where the log of this run goes: root's state folder in the root, and
    // for any other user (not in the root's user database) its private
    // folder in the temporary folder.
    std::string LogPath() const {
        if (RunningAsRoot()) {
            return root_ / "root/.local/state/kelRostery.utf8.log";
        }
        return base_ /
               ("tmp/nomvera-" + std::to_string(geteuid()) + "/kelNonAdminRostery.utf8.log");
    }

    TOutcome Run(const std::string& steps, int signalWhenShown) {
        std::vector<std::string> variables = {
            "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
            "LANG=C.UTF-8",
            "QT_QPA_PLATFORM=offscreen",
            "NOMVERA_SYSROOT=" + root_.Path(),
            "HOME=" + base_ / "home",
            "XDG_RUNTIME_DIR=" + base_ / "runtime",
            "XDG_CACHE_HOME=" + base_ / "home",
            "XDG_CONFIG_HOME=" + base_ / "home",
            "TMPDIR=" + base_ / "tmp",
            "LD_PRELOAD=" + posix::ExecutableFolder() + "/libnomvera_gui_driver.so",
            "NOMVERA_DRIVER_REPORT=" + report_,
            "NOMVERA_DRIVER_STEPS=" + steps,
        };
        std::vector<char*> envp = NullTerminated(variables);
        char* argv[] = {program_.data(), nullptr};

        TOutcome outcome;
        pid_t child = 0;
        if (posix_spawn(&child, program_.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            ADD_FAILURE() << "cannot start " << program_;
            return outcome;
        }
        struct stat info {};
        int status = 0;
        bool signalled = false;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (waitpid(child, &status, WNOHANG) != child) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "the program did not end within 60 s";
                return outcome;
            }
            outcome.shown = outcome.shown || stat(report_.c_str(), &info) == 0;
            if (outcome.shown && signalWhenShown != 0 && !signalled) {
                kill(child, signalWhenShown);
                signalled = true;
            }
            std::this_thread::sleep_for(10ms);
        }
        outcome.shown = outcome.shown || stat(report_.c_str(), &info) == 0;
        outcome.exited = WIFEXITED(status);
        outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
        return outcome;
    }

    SandboxRoot root_;
    TempFolder unpacked_{"nomvera-unpacked"};
    TempFolder base_{"nomvera-package"};
    std::string program_, report_;
};

TEST_F(UnpackedProgramTest, ShowsItsWindowAndEndsOnSigtermWithItsStartLineLogged) {
    const TOutcome outcome = Run("", SIGTERM);
    ASSERT_TRUE(outcome.shown) << "no window shown";
    ASSERT_TRUE(outcome.exited) << "ended by signal " << -outcome.exitCode;
    EXPECT_EQ(outcome.exitCode, 0);

    const std::vector<std::string> lines = LogFileLines(LogPath());
    ASSERT_GE(lines.size(), 4u) << "no log at " << LogPath();
    EXPECT_NE(lines[0].find(" Log Started[" + LogPath() + "]"), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("|I|Begin: Create")) << lines[1];
    // The file version comes from the stripped executable's own section.
    EXPECT_TRUE(lines[2].ends_with(
        "|I|." + ShownMessage(program_ + " [2.2.205.1][ Build: 01-Jan-2023][unlimited users]")))
        << lines[2];
    EXPECT_TRUE(HasLineEndingWith(lines, "|I|End: Create"));
    EXPECT_TRUE(lines.back().ends_with(" Log stopped")) << lines.back();
}

// Every stand-in library is bound from the unpacked folder: the account
// service creates the account, the security library names its SID, the
// profile service (whose absence hides the profile box) makes its profile,
// and a Control Panel button writes its policy into the root's skeleton.
// The close waits: a step after a batch's click runs inside the batch's
// first message processing, and a close there would skip its one account.
TEST_F(UnpackedProgramTest, BindsItsLibrariesFromItsOwnFolderForAccountsProfilesAndShortcuts) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const TOutcome outcome =
        Run("page:Control Panel;click:No OOBE/Privacy Questions;page:Create/Delete;"
            "click:Create;click:Users;type:Name=pkgu;type:Password:=pkgw;type:Number:=1;"
            "click:Create Users;wait:500;close",
            0);
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 0);

    const std::vector<std::string> lines = LogFileLines(LogPath());
    std::string log;
    for (const std::string& line : lines) {
        log += line + "\n";
    }
    for (const std::string& expected : std::vector<std::string>{
             "|I|DisablePrivacyExperience: OK", "|I|.Created User[pkgu001] Password[pkgw001]",
             "|I|.User[pkgu001] SID[S-1-5-21-", "|I|.User[pkgu001] is a member of [tsusers]",
             "|I|.[" + root_.Path() + "/home/pkgu001]"}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected << " not in the log:\n" << log;
    }
    EXPECT_NE(ReadTextFile(root_ / "etc/passwd").find("\npkgu001:"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat((root_ / "home/pkgu001").c_str(), &info), 0) << "no profile folder";
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(ReadTextFile(root_ / "etc/skel/.config/gnome-initial-setup-done"), "yes");
}

// The command line works from the package as from the build folder: the
// version, and a batch over the sandbox root with its lines on standard
// output and its exit status.
TEST_F(UnpackedProgramTest, RunsTheCommandLineWithoutADisplay) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string temporary = "TMPDIR=" + base_ / "tmp";
    auto command = [&](std::vector<std::string> arguments) {
        std::vector<std::string> argv = {"/usr/bin/env",   "-u", "DISPLAY",         "-u",
                                         "XDG_STATE_HOME", "-u", "QT_QPA_PLATFORM", temporary,
                                         program_};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProgram(argv);
    };
    const TChildResult version = command({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "2.2.205.1\n");

    const TChildResult groups =
        command({"create-local-groups", "--prefix", "pkgg", "--count", "2"});
    EXPECT_EQ(groups.exitCode, 0) << groups.output;
    EXPECT_NE(groups.output.find("|I|.Created Local group[pkgg002]"), std::string::npos)
        << groups.output;
    EXPECT_NE(ReadTextFile(root_ / "etc/group").find("\npkgg002:"), std::string::npos);
    EXPECT_TRUE(HasLineEndingWith(LogFileLines(LogPath()), "End: Create Local Groups"));
}

} // namespace
} // namespace nomvera::test
