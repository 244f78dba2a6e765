// The real bin/nomvera, started offscreen over a sandbox system root with a
// temporary home, driven through its accessible controls by the preloaded GUI
// driver, and judged by its exit code and its log file.
#include "accounts/admin_check.h"
#include "accounts/netapi.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/wide_text.h"
#include "tests/common/child_process.h"
#include "tests/common/programs_for_nobody.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"
#include "tests/common/test_environment.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace nomvera::test {
namespace {

using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

struct TRun {
    std::string steps;
    // Started as nobody from these copies of the program and its libraries.
    const ProgramsForNobody* asNobody = nullptr;
    // Sent once the window has been shown; 0 for none.
    int signalWhenShown = 0;
    // More environment variables, NAME=VALUE.
    std::vector<std::string> variables = {};
};

struct TOutcome {
    bool exited = false;
    int exitCode = -1;
    bool shown = false;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { report_ = folders_.state + "/driver.report"; }

    // Lets nobody write where the program writes, and only there: the home
    // folder stays the root's and read-only for nobody.
    void HandOverToNobody() {
        for (const std::string& folder : {folders_.state, folders_.runtime, folders_.temp}) {
            ASSERT_EQ(chown(folder.c_str(), kNobody, kNogroup), 0) << folder;
            chmod(folder.c_str(), 0700);
        }
    }

    TOutcome Run(const TRun& run) {
        const std::string bin =
            run.asNobody != nullptr ? run.asNobody->Folder() : posix::ExecutableFolder();
        const std::string program = bin + "/nomvera";
        std::vector<std::string> arguments;
        if (run.asNobody != nullptr) {
            arguments = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                         program};
        } else {
            arguments = {program};
        }
        std::vector<std::string> variables = {
            "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
            "LANG=C.UTF-8",
            "QT_QPA_PLATFORM=offscreen",
            "NOMVERA_SYSROOT=" + root_.Path(),
            "LD_PRELOAD=" + bin + "/libnomvera_gui_driver.so",
            "NOMVERA_DRIVER_REPORT=" + report_,
            "NOMVERA_DRIVER_STEPS=" + run.steps,
        };
        const std::vector<std::string> folders = folders_.Variables();
        variables.insert(variables.end(), folders.begin(), folders.end());
        variables.insert(variables.end(), run.variables.begin(), run.variables.end());
        // The driver is preloaded ahead of the sanitizer runtime of a
        // sanitizer build; that order is fine here.
        const char* asan = std::getenv("ASAN_OPTIONS");
        variables.push_back(std::string("ASAN_OPTIONS=verify_asan_link_order=0") +
                            (asan != nullptr ? std::string(":") + asan : std::string()));
        if (const char* ubsan = std::getenv("UBSAN_OPTIONS")) {
            variables.push_back(std::string("UBSAN_OPTIONS=") + ubsan);
        }

        std::vector<char*> argv = NullTerminated(arguments);
        std::vector<char*> envp = NullTerminated(variables);

        TOutcome outcome;
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return outcome;
        }
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        int status = 0;
        bool ended = false;
        bool signalled = false;
        while (std::chrono::steady_clock::now() < deadline) {
            const pid_t done = waitpid(child, &status, WNOHANG);
            if (done == child) {
                ended = true;
                break;
            }
            struct stat info {};
            outcome.shown = outcome.shown || stat(report_.c_str(), &info) == 0;
            if (outcome.shown && run.signalWhenShown != 0 && !signalled) {
                kill(child, run.signalWhenShown);
                signalled = true;
            }
            std::this_thread::sleep_for(10ms);
        }
        if (!ended) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "the program did not end within 60 s";
            return outcome;
        }
        struct stat info {};
        outcome.shown = outcome.shown || stat(report_.c_str(), &info) == 0;
        outcome.exited = WIFEXITED(status);
        outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
        return outcome;
    }

    // The caption of the page that was active when the window was first shown.
    std::string ShownPage() const {
        const std::string report = ReadTextFile(report_);
        const std::size_t at = report.find("\npage ");
        if (at == std::string::npos) {
            return {};
        }
        const std::size_t start = at + 6;
        return report.substr(start, report.find('\n', start) - start);
    }

    std::string LogPath(bool administrator) const {
        return folders_.state +
               (administrator ? "/kelRostery.utf8.log" : "/kelNonAdminRostery.utf8.log");
    }

    // The lines of the newest run: from its start line to the end.
    std::vector<std::string> RunLines(const std::string& path) const {
        const std::vector<std::string> all = LogFileLines(path);
        std::size_t start = 0;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].find(" Log Started[") != std::string::npos) {
                start = i;
            }
        }
        return {all.begin() + static_cast<std::ptrdiff_t>(start), all.end()};
    }

    // The newest activity line: an info, warning or error line of the tool,
    // not one of the queued writer's own closing lines.
    static std::string LastActivityLine(const std::vector<std::string>& lines) {
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            const bool level = line->find("|I|") != std::string::npos ||
                               line->find("|W|") != std::string::npos ||
                               line->find("|E|") != std::string::npos;
            const bool closing = line->find("|I|Wait(mSec): ") != std::string::npos ||
                                 line->find("|I|CNTin1GO: ") != std::string::npos;
            if (level && !closing) {
                return *line;
            }
        }
        return {};
    }

    SandboxRoot root_;
    TempFolder base_{"nomvera-e2e"};
    TProgramFolders folders_{base_};
    std::string report_;
};

TEST_F(ProgramTest, PressingOneEndsWithExitCodeOneAfterItsLogLine) {
    const TOutcome outcome = Run({.steps = "page:ExitCode;click:1"});
    ASSERT_TRUE(outcome.shown);
    EXPECT_EQ(ShownPage(), "Create/Delete");
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 1);

    const auto lines = RunLines(LogPath(RunningAsRoot()));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().ends_with(" Log stopped")) << lines.back();
    EXPECT_TRUE(LastActivityLine(lines).ends_with("|I|ExitCode: 1")) << LastActivityLine(lines);
    EXPECT_TRUE(HasLineEndingWith(lines, "|I|End: Create"));
    // The start: the log's start line, then Begin, then the banner with the
    // program's own file version.
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[0].find(" Log Started[" + LogPath(RunningAsRoot()) + "]"), std::string::npos);
    EXPECT_TRUE(lines[1].ends_with("|I|Begin: Create")) << lines[1];
    EXPECT_TRUE(lines[2].ends_with(
        "|I|." + ShownMessage(posix::ExecutableFolder() +
                              "/nomvera [2.2.205.1][ Build: 01-Jan-2023][unlimited users]")))
        << lines[2];
}

TEST_F(ProgramTest, ClosingTheWindowEndsWithExitCodeZero) {
    const TOutcome outcome = Run({.steps = "close"});
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 0);
    const auto lines = RunLines(LogPath(RunningAsRoot()));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().ends_with(" Log stopped"));
}

// Another account plants a style plugin and names it in the variables that
// su and sudo -E carry over to root: root's window never loads it.
TEST_F(ProgramTest, RootsWindowLoadsNoPluginTheEnvironmentNames) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string plugins = base_ / "nobodys-plugins";
    for (const std::string& folder : {plugins, plugins + "/styles"}) {
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(chown(folder.c_str(), kNobody, kNogroup), 0);
    }
    const std::string plugin = plugins + "/styles/libplanted.so";
    std::filesystem::copy_file(posix::ExecutableFolder() + "/libtest_double_planted_style.so",
                               plugin);
    ASSERT_EQ(chown(plugin.c_str(), kNobody, kNogroup), 0);
    const std::string record = base_ / "planted.record";

    const TOutcome outcome =
        Run({.steps = "close",
             .variables = {"QT_PLUGIN_PATH=" + plugins, "QT_STYLE_OVERRIDE=planted",
                           "NOMVERA_PLANTED_RECORD=" + record}});
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(ReadTextFile(record), "");
}

class ProgramSignalTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgramSignalTest, ASignalClosesTheProgramWithItsLogClosed) {
    const TOutcome outcome = Run({.steps = "", .signalWhenShown = GetParam()});
    ASSERT_TRUE(outcome.shown);
    ASSERT_TRUE(outcome.exited) << "ended by signal " << -outcome.exitCode;
    EXPECT_EQ(outcome.exitCode, 0);
    const auto lines = RunLines(LogPath(RunningAsRoot()));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().ends_with(" Log stopped")) << lines.back();
    EXPECT_TRUE(HasLineEndingWith(lines, "|I|End: Create"));
}

INSTANTIATE_TEST_SUITE_P(CloseSignals, ProgramSignalTest,
                         ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& signal) {
                             return std::string(signal.param == SIGTERM  ? "SIGTERM"
                                                : signal.param == SIGINT ? "SIGINT"
                                                                         : "SIGHUP");
                         });

TEST_F(ProgramTest, AUserWithoutRightsGetsTheOtherLogFileAndAnErrorLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const ProgramsForNobody copies({"nomvera"});
    NOMVERA_SKIP_UNLESS_NOBODY_CAN_RUN(copies);
    HandOverToNobody();
    const TOutcome outcome = Run({.steps = "", .asNobody = &copies, .signalWhenShown = SIGTERM});
    ASSERT_TRUE(outcome.shown);
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 0);

    struct stat info {};
    EXPECT_NE(stat(LogPath(true).c_str(), &info), 0) << "administrator log written";
    const auto lines = RunLines(LogPath(false));
    ASSERT_FALSE(lines.empty()) << "no kelNonAdminRostery.utf8.log";
    accounts::LoadAccountService();
    accounts::LoadSecurityLibrary();
    const WideString admin = accounts::GetAdministratorAccountName();
    accounts::UnloadSecurityLibrary();
    accounts::UnloadAccountService();
    ASSERT_FALSE(admin.empty());
    std::string adminName(admin.begin(), admin.end());
    // Start line, Begin, banner, account service, then the error line
    // inside the start block.
    ASSERT_GE(lines.size(), 6u);
    EXPECT_TRUE(lines[1].ends_with("|I|Begin: Create")) << lines[1];
    EXPECT_NE(lines[2].find("/nomvera [2.2.205.1][ Build: 01-Jan-2023]"), std::string::npos)
        << lines[2];
    EXPECT_TRUE(lines[3].ends_with(" (local)")) << lines[3];
    EXPECT_TRUE(lines[4].ends_with("|E|.not an " + adminName)) << lines[4];
    EXPECT_TRUE(lines[5].ends_with("|I|End: Create")) << lines[5];
    EXPECT_TRUE(lines.back().ends_with(" Log stopped"));
    // The error line brought the Logging page up for a moment only.
    EXPECT_EQ(ShownPage(), "Create/Delete");
}

TEST_F(ProgramTest, PressingTwoDuringABatchStopsItBeforeTheNextGroup) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const TOutcome outcome =
        Run({.steps = "click:Create;click:Groups;type:Name=e2eg;type:Number:=40;"
                      "click:Create Local Groups;wait:400;page:ExitCode;click:2"});
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 2);

    const auto lines = RunLines(LogPath(true));
    std::size_t exitLine = 0;
    std::size_t endLine = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].ends_with("ExitCode: 2")) {
            exitLine = i;
        }
        if (lines[i].ends_with("End: Create Local Groups")) {
            endLine = i;
        }
    }
    ASSERT_GT(exitLine, 0u);
    EXPECT_GT(endLine, exitLine) << "the batch ends after the close request";
    const std::string groups = ReadTextFile(root_ / "etc/group");
    int created = 0;
    for (std::size_t at = groups.find("\ne2eg"); at != std::string::npos;
         at = groups.find("\ne2eg", at + 1)) {
        ++created;
    }
    EXPECT_GE(created, 1);
    EXPECT_LT(created, 40);
}

} // namespace
} // namespace nomvera::test
