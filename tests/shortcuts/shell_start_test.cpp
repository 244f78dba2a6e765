#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/posix/services/shell_targets.h"
#include "platform/shell.h"
#include "support/text.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/shortcuts/shortcut_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

using Words = std::vector<std::string>;

TEST(SystemPrograms, AreKnownOnlyInTheSystemFolders) {
    using posix::SystemProgram;
    EXPECT_EQ(posix::SystemProgramOf("/usr/bin/rundll32.exe"), SystemProgram::Rundll32);
    EXPECT_EQ(posix::SystemProgramOf("/usr/EXPLORER.EXE"), SystemProgram::Explorer);
    EXPECT_EQ(posix::SystemProgramOf("control.exe"), SystemProgram::Control);
    EXPECT_EQ(posix::SystemProgramOf("/tmp/explorer.exe"), SystemProgram::None);
    EXPECT_EQ(posix::SystemProgramOf("/usr/bin/explorer"), SystemProgram::None);
}

class ShellStartTest : public ::testing::Test {
protected:
    // Writes the shell script name (body: its lines after "#!/bin/sh"; "OUT"
    // stands for its output file), starts commandLine through CreateProcessA
    // and gives what the script wrote (empty after 10 s without output).
    std::string StartScript(const std::string& name, const std::string& body,
                            std::string commandLine, char* environment = nullptr,
                            const char* folder = nullptr) {
        const std::string out = programs_.Folder() + "/" + name + ".out";
        std::string text = body;
        for (auto at = text.find("OUT"); at != std::string::npos; at = text.find("OUT", at)) {
            text.replace(at, 3, "'" + out + "'");
        }
        const std::string script = programs_.Folder() + "/" + name;
        WriteTextFile(script, "#!/bin/sh\n" + text + "\n");
        chmod(script.c_str(), 0755);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, environment,
                            folder, &startup, &process)) {
            ADD_FAILURE() << "CreateProcessA failed: " << GetLastError();
            return {};
        }
        EXPECT_NE(process.dwProcessId, 0u);
        EXPECT_TRUE(CloseHandle(process.hProcess));
        EXPECT_TRUE(CloseHandle(process.hThread));
        for (int i = 0; i < 1000 && ReadTextFile(out).empty(); ++i) {
            usleep(10000);
        }
        return ReadTextFile(out);
    }

    TSettingsProgramDouble programs_;
    TProgramFolders path_{programs_.Folder()};
};

TEST_F(ShellStartTest, SystemProgramExistsOnlyWithASettingsProgram) {
    EXPECT_FALSE(PathFileExistsA("/usr/bin/rundll32.exe"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    programs_.Install("systemsettings");
    EXPECT_TRUE(PathFileExistsA("/usr/bin/rundll32.exe"));
    EXPECT_TRUE(PathFileExistsA("/usr/explorer.exe"));
    EXPECT_TRUE(PathFileExistsA(programs_.Folder().c_str()));
    EXPECT_FALSE(PathFileExistsA((programs_.Folder() + "/missing").c_str()));
}

TEST_F(ShellStartTest, RelativePathEntriesAreNeverSearched) {
    programs_.Install("gnome-control-center");
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(programs_.Folder().c_str()), 0);
    {
        TProgramFolders path(".:bin:");
        EXPECT_FALSE(posix::FindProgram("gnome-control-center"));
        EXPECT_FALSE(PathFileExistsA("/usr/bin/rundll32.exe"));
    }
    ASSERT_EQ(chdir(here), 0);
}

TEST_F(ShellStartTest, CreateProcessStartsFromPathWithItsWordsAndFolder) {
    char block[] = "EXTRA=yes\0\0";
    EXPECT_EQ(StartScript("show-start", "echo \"${0##*/}|$1|$2|$PWD|$EXTRA\" > OUT",
                          "show-start \"a b\" c\\\"d", block, "/"),
              "show-start|a b|c\"d|/|yes\n");
}

TEST_F(ShellStartTest, CreateProcessFailuresGiveTheirCodes) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string missing = "no-such-program x";
    EXPECT_FALSE(CreateProcessA(nullptr, missing.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    programs_.Install("tool");
    std::string tool = "tool";
    EXPECT_FALSE(CreateProcessA(nullptr, tool.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                "/no/such/folder", &startup, &process));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);

    programs_.InstallBroken("broken");
    std::string broken = "broken";
    EXPECT_FALSE(CreateProcessA(nullptr, broken.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    std::string unknownPage = "/usr/explorer.exe shell:::{00000000-0000-0000-0000-000000000000}";
    programs_.Install("gnome-control-center");
    EXPECT_FALSE(CreateProcessA(nullptr, unknownPage.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), ERROR_NO_ASSOCIATION);
    EXPECT_EQ(programs_.Record(), "");
}

// The tool's own files (its log above all) must not stay open in a settings
// program that outlives it.
TEST_F(ShellStartTest, StartedProgramGetsNoDescriptorOfTheTool) {
    int fd = open(programs_.Folder().c_str(), O_RDONLY); // deliberately without close-on-exec
    ASSERT_GE(fd, 3);
    const std::string written = StartScript("probe",
                                            "if [ -e /proc/$$/fd/" + std::to_string(fd) +
                                                " ]; then echo open; else echo closed; fi > OUT",
                                            "probe");
    close(fd);
    EXPECT_EQ(written, "closed\n");
}

TEST_F(ShellStartTest, ShellOpensOnlyWhatItKnows) {
    auto code = [](HINSTANCE result) { return reinterpret_cast<std::uintptr_t>(result); };
    const std::string folder = programs_.Folder();
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", (folder + "/missing").c_str(), nullptr, nullptr,
                                 SW_SHOWNORMAL)),
              SE_ERR_FNF);
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL)),
              SE_ERR_NOASSOC);
    WriteTextFile(folder + "/document.txt", "text");
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", (folder + "/document.txt").c_str(), nullptr,
                                 nullptr, SW_SHOWNORMAL)),
              SE_ERR_NOASSOC);
    EXPECT_EQ(GetLastError(), ERROR_NO_ASSOCIATION);
    EXPECT_EQ(code(ShellExecuteA(nullptr, "print", "/usr/bin/control.exe", nullptr, nullptr,
                                 SW_SHOWNORMAL)),
              SE_ERR_NOASSOC);
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", "/usr/bin/rundll32.exe",
                                 "shell32.dll,Control_RunDLL desk.cpl,,0", nullptr, SW_SHOWNORMAL)),
              SE_ERR_FNF);

    programs_.Install("systemsettings");
    EXPECT_GT(
        code(ShellExecuteA(nullptr, "open", "/usr/bin/rundll32.exe",
                           "shell32.dll,Control_RunDLL desk.cpl,,1", "/usr/bin", SW_SHOWNORMAL)),
        32u);
    EXPECT_EQ(programs_.WaitForRecord(), Words{"systemsettings kcm_screenlocker"});
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", "/usr/bin/rundll32.exe", "other.dll,Entry",
                                 nullptr, SW_SHOWNORMAL)),
              SE_ERR_NOASSOC);
}

// A program is opened only when no other account can change it: neither the
// file nor a folder above it may be writable by others.
TEST_F(ShellStartTest, ShellStartsOnlyProgramsNoOtherAccountCanChange) {
    auto code = [](HINSTANCE result) { return reinterpret_cast<std::uintptr_t>(result); };
    const std::string script = programs_.Folder() + "/opened";
    const std::string out = programs_.Folder() + "/out";
    WriteTextFile(script, "#!/bin/sh\necho \"$1\" > '" + out + "'\n");

    ASSERT_EQ(chmod(script.c_str(), 0775), 0);
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", script.c_str(), "x", nullptr, SW_SHOWNORMAL)),
              SE_ERR_ACCESSDENIED);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    const std::string link = programs_.Folder() + "/link";
    ASSERT_EQ(symlink(script.c_str(), link.c_str()), 0);
    EXPECT_EQ(code(ShellExecuteA(nullptr, "open", link.c_str(), "x", nullptr, SW_SHOWNORMAL)),
              SE_ERR_ACCESSDENIED);

    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    EXPECT_GT(code(ShellExecuteA(nullptr, "open", link.c_str(), "y", nullptr, SW_SHOWNORMAL)), 32u);
    for (int i = 0; i < 1000 && ReadTextFile(out).empty(); ++i) {
        usleep(10000);
    }
    EXPECT_EQ(ReadTextFile(out), "y\n");
}

// As root, programs come from the trusted folders, and what a started program
// inherits says so too: PATH holds only them.
TEST_F(ShellStartTest, ProgramStartedAsRootInheritsOnlyTheTrustedFolders) {
    NOMVERA_SKIP_UNLESS_ROOT();
    TScopedEnv inherited("PATH", "/nonexistent/their-bin:" + programs_.Folder());
    EXPECT_EQ(StartScript("show-path", "echo \"$PATH\" > OUT", "show-path"),
              programs_.Folder() + "\n");
}

// Root's PATH may hold another account's folder (after su or sudo -E). Its
// settings programs there are never started: the trusted folders are
// searched, and without a settings program in them the button reports that
// none was found.
TEST(ShellStartAsRoot, SettingsProgramsOnAnotherAccountsPathNeverRun) {
    NOMVERA_SKIP_UNLESS_ROOT();
    TempFolder base("nomvera-path-attack");
    ASSERT_EQ(chmod(base.Path().c_str(), 0755), 0);
    const std::string theirs = base / "their-bin";
    const std::string marker = base / "started";
    ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    ASSERT_EQ(RunAsNobody([&] {
                  for (const char* name : {"gnome-control-center", "systemsettings", "xfce4-panel",
                                           "xfce4-settings-manager"}) {
                      const std::string path = theirs + "/" + name;
                      WriteTextFile(path, "#!/bin/sh\necho \"$0\" >> '" + marker + "'\n");
                      if (chmod(path.c_str(), 0755) != 0) {
                          return 1;
                      }
                  }
                  return 0;
              }),
              0);
    const char* inherited = std::getenv("PATH");
    TScopedEnv path("PATH", theirs + ":" + (inherited != nullptr ? inherited : "/usr/bin"));

    auto found = posix::FindSettingsCommand(posix::SettingsPage::NotificationArea);
    if (found) {
        EXPECT_NE(found->path.rfind(theirs, 0), 0u) << found->path;
        GTEST_SKIP() << "a desktop settings program is installed here (" << found->path
                     << "); it is not started by a test";
    }
    TRecordingHost host;
    shortcuts::ShortcutButtons()[2].handler(host);
    EXPECT_EQ(host.lines, (std::vector<TLoggedLine>{
                              Info("Begin: Taskbar Settings"),
                              Error("Shell 4: " + support::SystemMessageText(ERROR_FILE_NOT_FOUND)),
                              Info("End: Taskbar Settings")}))
        << Describe(host.lines);
    usleep(200000);
    EXPECT_EQ(ReadTextFile(marker), "");
}

// Not as root, PATH is searched, under the same rule: a program in a folder
// any account may write is passed over for the next one.
TEST(ShellStartAsUser, PathProgramsOthersCouldChangeArePassedOver) {
    NOMVERA_SKIP_UNLESS_ROOT(); // to set up folders of two owners
    TempFolder base("nomvera-user-path");
    ASSERT_EQ(chmod(base.Path().c_str(), 0755), 0);
    const std::string open = base / "open";
    const std::string own = base / "own";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    for (const std::string& folder : {open, own}) {
        WriteTextFile(folder + "/tool", "#!/bin/sh\n");
        ASSERT_EQ(chmod((folder + "/tool").c_str(), 0755), 0);
    }
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown((own + "/tool").c_str(), 65534, 65534), 0);
    TChildResult run = RunAsNobodyCapturing([&] {
        setenv("PATH", (open + ":" + own).c_str(), 1);
        return posix::FindProgram("tool").value_or("none");
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, own + "/tool");
}

TEST(Com, SecondInitialisationOnAThreadIsSFalse) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(SystemFolderCalls, FollowTheBufferRules) {
    char small[4] = "abc";
    EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), 9u); // "/usr/bin" and its NUL
    EXPECT_STREQ(small, "abc");
    char buffer[16];
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, "/usr/bin");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "/usr");
}

TEST(Windows, NoTrayWindowToFind) {
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr), nullptr);
    EXPECT_EQ(SendMessageA(nullptr, WM_COMMAND, 421, 0), 0);
}

} // namespace
} // namespace nomvera::test
