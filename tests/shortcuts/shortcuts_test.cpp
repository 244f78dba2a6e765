#include "platform/wide_text.h"
#include "shortcuts/com_once.h"
#include "shortcuts/shortcut_steps.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/system_folders.h"
#include "support/text.h"
#include "tests/common/sandbox_root.h"
#include "tests/shortcuts/shortcut_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

using shortcuts::TShellFacts;

const TShellFacts kWindows10{10, false, 0};
const TShellFacts kWindowsXp{5, false, 0};
const std::string kPanelFolder = "Control Panel .{ED7BA470-8E54-465E-825C-99712043E01C}";

std::string Message(DWORD code) {
    return support::SystemMessageText(code);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Every test runs with its own temporary folder (so "wcpl" is made inside
// it) and a PATH that holds only the test's settings programs, if any.
class ShortcutsTest : public ::testing::Test {
protected:
    TempFolder temp_{"nomvera-shortcuts"};
    TScopedEnv tmpdir_{"TMPDIR", temp_.Path()};
    TSettingsProgramDouble settings_;
    TProgramFolders path_{settings_.Folder()};
    TRecordingHost host_;

    std::string Wcpl() const { return temp_ / "wcpl"; }
    std::string PanelFolder() const { return Wcpl() + "/" + kPanelFolder; }
};

TEST_F(ShortcutsTest, ButtonsAreTheEightInTheirOrder) {
    std::vector<WideString> captions;
    for (const auto& button : shortcuts::ShortcutButtons()) {
        captions.push_back(button.caption);
        EXPECT_NE(button.handler, nullptr);
    }
    EXPECT_EQ(captions,
              (std::vector<WideString>{
                  WIDE("Control Panel"), WIDE("Desktop Icon Settings"), WIDE("Taskbar Settings"),
                  WIDE("Screen Saver"), WIDE("Personalization"), WIDE("Personalization\\Color"),
                  WIDE("Personalization\\WallPaper"), WIDE("No OOBE/Privacy Questions")}));
}

// No desktop settings program anywhere on PATH: the lines a Windows machine
// without these targets gives.
TEST_F(ShortcutsTest, WithoutSettingsProgramEachButtonLogsItsFailure) {
    const std::string rundll = "/usr/bin/rundll32.exe";
    struct Case {
        int index;
        std::vector<TLoggedLine> lines;
    };
    const std::vector<Case> cases = {
        {0,
         {Info("Begin: Control Panel"), Error("Shell cannot open " + PanelFolder()),
          Info("End: Control Panel")}},
        {1,
         {Info("Begin: Desktop Icon Settings"), Error("Can not find: " + rundll),
          Info("End: Desktop Icon Settings")}},
        {2,
         {Info("Begin: Taskbar Settings"), Error("Shell 4: " + Message(2)),
          Info("End: Taskbar Settings")}},
        {3,
         {Info("Begin: Screen Saver"), Error("Can not find: " + rundll),
          Info("End: Screen Saver")}},
        {4,
         {Info("Begin: Personalization"), Error("Shell 5: " + Message(2)),
          Info("End: Personalization")}},
        {5,
         {Info("Begin: Personalization\\Color"), Error("Shell 6: " + Message(2)),
          Info("End: Personalization\\Color")}},
        {6,
         {Info("Begin: Personalization\\WallPaper"), Error("Shell 7: " + Message(2)),
          Info("End: Personalization\\WallPaper")}},
    };
    for (const auto& c : cases) {
        host_.lines.clear();
        shortcuts::ShortcutButtons()[c.index].handler(host_);
        EXPECT_EQ(host_.lines, c.lines) << Describe(host_.lines);
    }
    EXPECT_NE(Message(2).find(" [2]"), std::string::npos);
    EXPECT_TRUE(IsFolder(PanelFolder()));
}

struct DesktopCase {
    const char* name;
    std::vector<std::string> installed;
    // The record for the buttons 0 to 6 in order.
    std::vector<std::string> record;
};

class ShortcutsDesktopTest : public ShortcutsTest,
                             public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(ShortcutsDesktopTest, EachButtonStartsTheNearestPage) {
    for (const auto& program : GetParam().installed) {
        settings_.Install(program);
    }
    const auto& buttons = shortcuts::ShortcutButtons();
    const std::vector<std::vector<TLoggedLine>> expected = {
        {Info("Begin: Control Panel"), Info("End: Control Panel")},
        {Info("Begin: Desktop Icon Settings"), Info("End: Desktop Icon Settings")},
        {Info("Begin: Taskbar Settings"), Info("Shell 4: OK"), Info("End: Taskbar Settings")},
        {Info("Begin: Screen Saver"), Info("End: Screen Saver")},
        {Info("Begin: Personalization"), Info("Shell 5: OK"), Info("End: Personalization")},
        {Info("Begin: Personalization\\Color"), Info("Shell 6: OK"),
         Info("End: Personalization\\Color")},
        {Info("Begin: Personalization\\WallPaper"), Info("Shell 7: OK"),
         Info("End: Personalization\\WallPaper")},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        host_.lines.clear();
        buttons[i].handler(host_);
        EXPECT_EQ(host_.lines, expected[i]) << Describe(host_.lines);
        // One start per button, recorded before the next one.
        ASSERT_EQ(settings_.WaitForRecord(i + 1).size(), i + 1) << "button " << i;
    }
    EXPECT_EQ(settings_.WaitForRecord(7), GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, ShortcutsDesktopTest,
    ::testing::Values(
        DesktopCase{"Gnome",
                    {"gnome-control-center", "systemsettings", "xfce4-settings-manager"},
                    {"gnome-control-center ", "gnome-control-center background",
                     "gnome-control-center notifications", "gnome-control-center privacy",
                     "gnome-control-center background", "gnome-control-center background",
                     "gnome-control-center background"}},
        DesktopCase{"Kde",
                    {"systemsettings", "xfce4-settings-manager", "xfdesktop-settings"},
                    {"systemsettings ", "systemsettings kcm_icons",
                     "systemsettings kcm_notifications", "systemsettings kcm_screenlocker",
                     "systemsettings kcm_lookandfeel", "systemsettings kcm_colors",
                     "systemsettings kcm_wallpaper"}},
        DesktopCase{"XfceWithHelpers",
                    {"xfce4-settings-manager", "xfdesktop-settings", "xfce4-panel",
                     "xfce4-screensaver-preferences", "xfce4-appearance-settings"},
                    {"xfce4-settings-manager ", "xfdesktop-settings ", "xfce4-panel --preferences",
                     "xfce4-screensaver-preferences ", "xfce4-appearance-settings ",
                     "xfce4-appearance-settings ", "xfdesktop-settings "}},
        DesktopCase{"XfceManagerOnly",
                    {"xfce4-settings-manager"},
                    std::vector<std::string>(7, "xfce4-settings-manager ")}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// No explorer.exe in the system folder (no settings program): the one of the
// Windows folder is started, with the page's words after it.
TEST_F(ShortcutsTest, ExplorerOfTheWindowsFolderGetsThePageWords) {
    TempFolder windows("nomvera-windir");
    const std::string record = windows / "record";
    const std::string explorer = windows / "explorer.exe";
    WriteTextFile(explorer, "#!/bin/sh\nfor a; do echo \"$a\"; done >> '" + record + "'\n");
    ASSERT_EQ(chmod(explorer.c_str(), 0755), 0);
    TScopedEnv windir("WINDIR", windows.Path());
    const std::string personalization = "shell:::{ED834ED6-4B5A-4bfe-8F11-A626DCB6A921}\n";
    struct Case {
        void (*click)(shortcuts::TShortcutHost&, const TShellFacts&);
        std::string caption;
        std::string n;
        std::string words;
    };
    const std::vector<Case> cases = {
        {shortcuts::TaskbarSettingsClick, "Taskbar Settings", "4",
         "shell:::{05d7b0f4-2121-4eff-bf6b-ed3f69b894d9}\n"},
        {shortcuts::PersonalizationClick, "Personalization", "5",
         personalization + "-Microsoft.Personalization\n"},
        {shortcuts::PersonalizationColorClick, "Personalization\\Color", "6",
         personalization + "-Microsoft.Personalization\\pageColorization\n"},
        {shortcuts::PersonalizationWallPaperClick, "Personalization\\WallPaper", "7",
         personalization + "-Microsoft.Personalization\\pageWallpaper\n"},
    };
    for (const auto& c : cases) {
        host_.lines.clear();
        unlink(record.c_str());
        c.click(host_, kWindows10);
        EXPECT_EQ(host_.lines, (std::vector<TLoggedLine>{Info("Begin: " + c.caption),
                                                         Info("Shell " + c.n + ": OK"),
                                                         Info("End: " + c.caption)}))
            << Describe(host_.lines);
        for (int i = 0; i < 1000 && ReadTextFile(record) != c.words; ++i) {
            usleep(10000);
        }
        EXPECT_EQ(ReadTextFile(record), c.words) << c.caption;
    }
}

// The desk.cpl pages run in the system folder; the other starts name no
// folder of their own and run in the tool's.
TEST_F(ShortcutsTest, EachStartRunsInItsWorkingFolder) {
    const std::string record = temp_ / "folders";
    const std::string program = settings_.Folder() + "/gnome-control-center";
    WriteTextFile(program, "#!/bin/sh\npwd >> '" + record + "'\n");
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    char own[4096];
    ASSERT_NE(getcwd(own, sizeof own), nullptr);
    const auto& buttons = shortcuts::ShortcutButtons();
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < 7; ++i) {
        buttons[i].handler(host_);
        expected.push_back(i == 1 || i == 3 ? "/usr/bin" : own);
        std::vector<std::string> folders;
        for (int wait = 0; wait < 1000 && folders.size() < expected.size(); ++wait) {
            folders.clear();
            std::istringstream in(ReadTextFile(record));
            for (std::string line; std::getline(in, line);) {
                folders.push_back(line);
            }
            usleep(10000);
        }
        ASSERT_EQ(folders, expected) << Describe(host_.lines);
    }
}

// Missing folders above the shortcut folder are made as well.
TEST_F(ShortcutsTest, ShortcutFolderIsMadeWithItsParents) {
    TScopedEnv tmpdir("TMPDIR", temp_ / "deep/er");
    settings_.Install("gnome-control-center");
    shortcuts::ControlPanelClick(host_, kWindows10);
    EXPECT_EQ(host_.lines,
              (std::vector<TLoggedLine>{Info("Begin: Control Panel"), Info("End: Control Panel")}))
        << Describe(host_.lines);
    EXPECT_TRUE(IsFolder(temp_ / "deep/er/wcpl/" + kPanelFolder));
    EXPECT_EQ(settings_.WaitForRecord(), std::vector<std::string>{"gnome-control-center "});
    shortcuts::RemoveShortcutFolder();
    EXPECT_FALSE(IsFolder(temp_ / "deep/er/wcpl"));
    EXPECT_TRUE(IsFolder(temp_ / "deep/er"));
}

TEST_F(ShortcutsTest, HandlerReturnsWhileTheStartedProgramStillRuns) {
    settings_.Install("gnome-control-center", true);
    shortcuts::PersonalizationClick(host_, kWindows10);
    EXPECT_EQ(host_.lines.at(1), Info("Shell 5: OK"));
    ASSERT_EQ(settings_.WaitForRecord().size(), 1u);
    // The program is held until released: the handler did not wait for it.
    EXPECT_FALSE(settings_.Done());
    settings_.Release();
    EXPECT_TRUE(settings_.WaitForDone());
    // Nor is it a child of the tool, left to be collected.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShortcutsTest, ControlPanelTwiceLogsNoComError) {
    settings_.Install("gnome-control-center");
    for (int press = 0; press < 2; ++press) {
        host_.lines.clear();
        shortcuts::ControlPanelClick(host_, kWindows10);
        EXPECT_EQ(host_.lines, (std::vector<TLoggedLine>{Info("Begin: Control Panel"),
                                                         Info("End: Control Panel")}))
            << Describe(host_.lines);
    }
    EXPECT_EQ(shortcuts::InitComOnce(), shortcuts::kComAlreadyTried);
    EXPECT_EQ(settings_.WaitForRecord(2).size(), 2u);
}

TEST_F(ShortcutsTest, ControlPanelOnWindows5OpensControlExeAndMakesNoFolder) {
    shortcuts::ControlPanelClick(host_, kWindowsXp);
    EXPECT_EQ(host_.lines,
              (std::vector<TLoggedLine>{Info("Begin: Control Panel"),
                                        Error("Shell cannot open /usr/bin/control.exe"),
                                        Info("End: Control Panel")}))
        << Describe(host_.lines);

    host_.lines.clear();
    settings_.Install("systemsettings");
    shortcuts::ControlPanelClick(host_, kWindowsXp);
    EXPECT_EQ(host_.lines,
              (std::vector<TLoggedLine>{Info("Begin: Control Panel"), Info("End: Control Panel")}))
        << Describe(host_.lines);
    EXPECT_EQ(settings_.WaitForRecord(), std::vector<std::string>{"systemsettings "});
    EXPECT_FALSE(IsFolder(Wcpl()));
}

TEST_F(ShortcutsTest, TaskbarOnWindows5LogsOnlyBeginAndEnd) {
    settings_.Install("gnome-control-center");
    shortcuts::TaskbarSettingsClick(host_, kWindowsXp);
    EXPECT_EQ(host_.lines, (std::vector<TLoggedLine>{Info("Begin: Taskbar Settings"),
                                                     Info("End: Taskbar Settings")}));
}

TEST_F(ShortcutsTest, ShortcutFolderThatCannotBeMadeIsReported) {
    WriteTextFile(temp_ / "file", "not a folder");
    TScopedEnv tmpdir("TMPDIR", temp_ / "file/sub");
    settings_.Install("gnome-control-center");
    shortcuts::ControlPanelClick(host_, kWindows10);
    const std::string target = temp_ / "file/sub/wcpl";
    EXPECT_EQ(host_.lines, (std::vector<TLoggedLine>{
                               Info("Begin: Control Panel"), Error("Shell cannot find: " + target),
                               Error("Shell cannot open " + target), Info("End: Control Panel")}))
        << Describe(host_.lines);
}

// A settings program is installed, but none for the desk.cpl pages: the shell
// refuses, and the four lines name what was tried.
TEST_F(ShortcutsTest, FailedRundllStartLogsFourLines) {
    settings_.Install("xfce4-panel");
    shortcuts::ScreenSaverClick(host_, kWindows10);
    EXPECT_EQ(host_.lines,
              (std::vector<TLoggedLine>{Info("Begin: Screen Saver"), Error("Cannot open:"),
                                        Error("program [/usr/bin/rundll32.exe "),
                                        Error("param   [shell32.dll,Control_RunDLL desk.cpl,,1 "),
                                        Error("path    [/usr/bin "), Info("End: Screen Saver")}))
        << Describe(host_.lines);
}

TEST_F(ShortcutsTest, ProgramThatCannotBeStartedGivesItsCode) {
    settings_.InstallBroken("gnome-control-center");
    shortcuts::PersonalizationWallPaperClick(host_, kWindows10);
    EXPECT_EQ(host_.lines.at(1), Error("Shell 7: " + Message(2))) << Describe(host_.lines);
    host_.lines.clear();
    shortcuts::DesktopIconSettingsClick(host_, kWindows10);
    EXPECT_EQ(host_.lines.size(), 6u) << Describe(host_.lines);
}

// The temporary folder may be shared with other accounts: a program one of
// them put where the shortcut folder belongs is never started by the tool,
// which usually runs as root.
TEST_F(ShortcutsTest, ProgramPlantedForTheShortcutFolderIsNotStarted) {
    NOMVERA_SKIP_UNLESS_ROOT();
    constexpr uid_t kNobody = 65534;
    const std::string ran = temp_ / "ran";
    const std::string script = "#!/bin/sh\n: > '" + ran + "'\n";
    auto plant = [&](const std::string& path, uid_t owner, mode_t mode) {
        WriteTextFile(path, script);
        ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
    struct Case {
        const char* what;
        std::function<void()> set_up;
        std::string target;
    };
    const std::vector<Case> cases = {
        {"a program of another account", [&] { plant(Wcpl(), kNobody, 0755); }, Wcpl()},
        {"a program others may change", [&] { plant(Wcpl(), 0, 0777); }, Wcpl()},
        {"a program in a folder of another account",
         [&] {
             ASSERT_EQ(mkdir(Wcpl().c_str(), 0755), 0);
             ASSERT_EQ(chown(Wcpl().c_str(), kNobody, kNobody), 0);
             plant(PanelFolder(), 0, 0755);
         },
         PanelFolder()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.set_up();
        host_.lines.clear();
        shortcuts::ControlPanelClick(host_, kWindows10);
        EXPECT_EQ(host_.lines, (std::vector<TLoggedLine>{Info("Begin: Control Panel"),
                                                         Error("Shell cannot find: " + c.target),
                                                         Error("Shell cannot open " + c.target),
                                                         Info("End: Control Panel")}))
            << Describe(host_.lines);
        usleep(300000); // time enough for a started script to have run
        EXPECT_NE(access(ran.c_str(), F_OK), 0);
        unlink(c.target.c_str());
        unlink(ran.c_str());
        rmdir(Wcpl().c_str());
    }
}

TEST_F(ShortcutsTest, FolderRemovalAtCloseTakesOnlyEmptyFolders) {
    ASSERT_EQ(mkdir(Wcpl().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(PanelFolder().c_str(), 0755), 0);
    WriteTextFile(PanelFolder() + "/kept", "x");
    shortcuts::RemoveShortcutFolder();
    EXPECT_TRUE(IsFolder(PanelFolder()));
    EXPECT_EQ(ReadTextFile(PanelFolder() + "/kept"), "x");

    ASSERT_EQ(unlink((PanelFolder() + "/kept").c_str()), 0);
    shortcuts::RemoveShortcutFolder();
    EXPECT_FALSE(IsFolder(Wcpl()));
    EXPECT_TRUE(IsFolder(temp_.Path()));
    shortcuts::RemoveShortcutFolder(); // nothing left: silent
}

TEST(SystemFolders, FollowTheirSources) {
    EXPECT_EQ(shortcuts::SystemFolderA(), "/usr/bin");
    EXPECT_EQ(shortcuts::RundllPathA(), "/usr/bin/rundll32.exe");
    {
        TScopedEnv windir("WINDIR", std::nullopt);
        EXPECT_EQ(shortcuts::WindowsFolderA(), "/usr");
    }
    {
        TScopedEnv windir("WINDIR", "/opt/win");
        EXPECT_EQ(shortcuts::WindowsFolderA(), "/opt/win");
    }
    {
        TScopedEnv windir("WINDIR", "/w"); // too short to be a folder
        EXPECT_EQ(shortcuts::WindowsFolderA(), "/usr");
    }
    {
        TScopedEnv windir("WINDIR", "/" + std::string(1100, 'w')); // does not fit
        EXPECT_EQ(shortcuts::WindowsFolderA(), "/usr");
    }
}

} // namespace
} // namespace nomvera::test
