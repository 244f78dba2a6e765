// The real bin/nomvera on a virtual X display of its own, read the way a
// screen reader reads it: over the real AT-SPI accessibility bus of a private
// session bus, by a small pyatspi client (a11y_log_reader.py). The program
// acts on a sandbox system root with a temporary home; the display takes
// only clients that hold the cookie in this test's own folder.
#include "platform/posix/kernel/module_path.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"
#include "tests/common/test_environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace nomvera::test {
namespace {

using namespace std::chrono_literals;

constexpr char kXvfb[] = "/usr/bin/Xvfb";
constexpr char kDbusRunSession[] = "/usr/bin/dbus-run-session";
constexpr char kPython[] = "/usr/bin/python3";

// Waits for the child until the deadline; nullopt when it is still running.
std::optional<int> WaitFor(pid_t child, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return status;
        }
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

// Waits until the child has ended, without reaping it.
bool WaitForExit(pid_t child, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == child) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// An authority file with one cookie for any display: the X server admits
// only clients that present it, so no other account can reach the window.
void WriteAuthorityFile(const std::string& path) {
    std::string record;
    const auto field = [&record](const std::string& bytes) {
        record += static_cast<char>(bytes.size() >> 8);
        record += static_cast<char>(bytes.size() & 0xff);
        record += bytes;
    };
    record += "\xff\xff"; // any address family
    field("");            // any address
    field("");            // any display
    field("MIT-MAGIC-COOKIE-1");
    std::random_device random;
    std::string cookie;
    for (int i = 0; i < 16; ++i) {
        cookie += static_cast<char>(random() & 0xff);
    }
    field(cookie);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, record.data(), record.size()), static_cast<ssize_t>(record.size()));
    close(fd);
}

class AccessibilityBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        authority_ = base_ / "xauthority";
        WriteAuthorityFile(authority_);
    }

    void TearDown() override {
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            if (!WaitFor(xvfb_, 10s)) {
                kill(xvfb_, SIGKILL);
                waitpid(xvfb_, nullptr, 0);
            }
        }
    }

    // Starts Xvfb on a display it picks itself; returns ":N", or "" after a
    // failure that says why.
    std::string StartDisplay() {
        if (access(kXvfb, X_OK) != 0) {
            ADD_FAILURE() << kXvfb << " is missing; scripts/setup installs it (package xvfb)";
            return {};
        }
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return {};
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
        const std::string errors = base_ / "xvfb.err";
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> arguments = {kXvfb,      "-displayfd", "3",          "-auth",
                                              authority_, "-noreset",   "-nolisten",  "tcp",
                                              "-screen",  "0",          "1024x768x24"};
        std::vector<std::string> variables = {"PATH=/usr/bin:/bin"};
        const int started =
            posix_spawn(&xvfb_, kXvfb, &actions, nullptr, NullTerminated(arguments).data(),
                        NullTerminated(variables).data());
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        if (started != 0) {
            close(ready[0]);
            xvfb_ = 0;
            ADD_FAILURE() << "cannot start " << kXvfb;
            return {};
        }
        // Xvfb writes its display number once it takes connections.
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c = 0;
        while (poll(&wait, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        if (number.empty()) {
            ADD_FAILURE() << "Xvfb did not start within 20 s: " << ReadTextFile(errors);
            return {};
        }
        return ":" + number;
    }

    struct TReading {
        int status = -1;
        std::string output;
        std::string errors;
    };

    // Runs the reader in a private session bus; it starts the program, with
    // the GUI driver playing steps in it while the reader listens.
    TReading ReadLogOverTheBus(const std::string& display, const std::string& ending,
                               const std::string& steps, const std::string& awaited) {
        TReading reading;
        for (const char* tool : {kDbusRunSession, kPython}) {
            if (access(tool, X_OK) != 0) {
                ADD_FAILURE() << tool << " is missing; scripts/setup installs it";
                return reading;
            }
        }
        const std::string output = base_ / "reader.out";
        const std::string errors = base_ / "reader.err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        // Its own process group, so that nothing the session started outlives it.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);

        const std::string bin = posix::ExecutableFolder();
        std::vector<std::string> arguments = {
            kDbusRunSession, "--", kPython, NOMVERA_A11Y_READER, bin + "/nomvera", ending, awaited};
        std::vector<std::string> variables = {
            "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
            "LANG=C.UTF-8",
            "DISPLAY=" + display,
            "XAUTHORITY=" + authority_,
            "QT_QPA_PLATFORM=xcb",
            "NOMVERA_SYSROOT=" + root_.Path(),
            "NOMVERA_READER_PRELOAD=" + bin + "/libnomvera_gui_driver.so",
            "NOMVERA_DRIVER_STEPS=" + steps,
            "NOMVERA_READER_READY=" + ReadyFile(),
        };
        const std::vector<std::string> folders = folders_.Variables();
        variables.insert(variables.end(), folders.begin(), folders.end());
        // The driver is preloaded ahead of the sanitizer runtime of a
        // sanitizer build; that order is fine here.
        const char* asan = std::getenv("ASAN_OPTIONS");
        variables.push_back(std::string("ASAN_OPTIONS=verify_asan_link_order=0") +
                            (asan != nullptr ? std::string(":") + asan : std::string()));
        for (const char* name : {"UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name)) {
                variables.push_back(std::string(name) + "=" + value);
            }
        }
        pid_t session = 0;
        const int started =
            posix_spawn(&session, kDbusRunSession, &actions, &attributes,
                        NullTerminated(arguments).data(), NullTerminated(variables).data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (started != 0) {
            ADD_FAILURE() << "cannot start " << kDbusRunSession;
            return reading;
        }
        // The session's leader is reaped only after its group was told to go,
        // so the group id cannot have passed to another process meanwhile.
        const bool ended = WaitForExit(session, 120s);
        // The bus launcher and registry normally leave with the session bus.
        kill(-session, ended ? SIGTERM : SIGKILL);
        int status = 0;
        waitpid(session, &status, 0);
        if (!ended) {
            ADD_FAILURE() << "the reader did not finish within 120 s";
        } else {
            reading.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        reading.output = ReadTextFile(output);
        reading.errors = ReadTextFile(errors);
        return reading;
    }

    // Made by the reader once it listens to the list.
    std::string ReadyFile() const { return base_ / "reader.listening"; }

    // The activity lines of the newest run of the log file: from the line
    // after its start line up to the writer's own closing lines.
    std::vector<std::string> ActivityLines() const {
        std::string path = folders_.state + "/kelRostery.utf8.log";
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            path = folders_.state + "/kelNonAdminRostery.utf8.log";
        }
        std::vector<std::string> lines;
        for (const std::string& line : LogFileLines(path)) {
            if (line.find(" Log Started[") != std::string::npos) {
                lines.clear();
            } else if (line.find("|I|Wait(mSec): ") != std::string::npos) {
                break;
            } else {
                lines.push_back(line);
            }
        }
        return lines;
    }

    SandboxRoot root_;
    TempFolder base_{"nomvera-a11y"};
    TProgramFolders folders_{base_};
    std::string authority_;
    pid_t xvfb_ = 0;
};

std::vector<std::string> Values(const std::string& output, const std::string& key) {
    std::vector<std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(key + " ")) {
            values.push_back(line.substr(key.size() + 1));
        }
    }
    return values;
}

TEST_F(AccessibilityBusTest, AScreenReaderReadsTheLogAsShownAndHearsEachNewLine) {
    const std::string display = StartDisplay();
    ASSERT_FALSE(display.empty());
    // Create + Users has the window fill its group list, which logs a block;
    // the driver clicks once the reader listens.
    const TReading reading =
        ReadLogOverTheBus(display, "|I|Begin: Create",
                          "until:" + ReadyFile() + ";click:Create;click:Users", "End: Fill Groups");
    ASSERT_EQ(reading.status, 0) << "reader output:\n"
                                 << reading.output << "reader errors:\n"
                                 << reading.errors;
    EXPECT_EQ(Values(reading.output, "exit"), std::vector<std::string>{"0"})
        << "SIGTERM must close the program with exit code 0";

    // What the bus gives is the line as the window shows it, stamp and tag
    // included, one item per line; the newest line is the selected one. The
    // window's End line keeps the indent of its block, the file's does not.
    const std::vector<std::string> lines = ActivityLines();
    std::size_t startLines = 0;
    while (startLines < lines.size() && !lines[startLines].ends_with("|I|End: Create")) {
        ++startLines;
    }
    ASSERT_LT(startLines, lines.size());
    ASSERT_GE(++startLines, 3u);
    EXPECT_EQ(Values(reading.output, "found"), std::vector<std::string>{lines.front()});
    EXPECT_EQ(Values(reading.output, "rows"), std::vector<std::string>{std::to_string(startLines)});
    const std::string& end = lines[startLines - 1];
    const std::string stamp = end.substr(0, end.size() - std::string("End: Create").size());
    EXPECT_EQ(Values(reading.output, "selected"), std::vector<std::string>{stamp + ".End: Create"});

    // Each line logged later was announced as added, in order, and the
    // newest was announced as selected and is the selected item.
    const std::vector<std::string> added = Values(reading.output, "added");
    ASSERT_GE(added.size(), 2u) << reading.output << reading.errors;
    EXPECT_TRUE(added.front().ends_with("|I|Begin: Fill Groups")) << added.front();
    EXPECT_NE(added.back().find("|I|.End: Fill Groups"), std::string::npos) << added.back();
    ASSERT_EQ(lines.size(), startLines + added.size()) << reading.output;
    for (std::size_t i = 0; i < added.size(); ++i) {
        EXPECT_EQ(added[i].substr(0, 23), lines[startLines + i].substr(0, 23));
    }
    EXPECT_EQ(Values(reading.output, "newest"), std::vector<std::string>{added.back()});
    EXPECT_EQ(Values(reading.output, "newest-selected"), std::vector<std::string>{"1"});
    const std::vector<std::string> selectedEvents = Values(reading.output, "selected-event");
    ASSERT_FALSE(selectedEvents.empty());
    EXPECT_EQ(selectedEvents.back(), added.back());
}

} // namespace
} // namespace nomvera::test
