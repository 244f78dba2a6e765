// What the Windows shell targets mean on a Linux desktop: the settings page a
// system program's arguments name, and the command of the desktop's settings
// program that opens the nearest page. Not part of the surface.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nomvera::posix {

inline constexpr char kSystemFolder[] = "/usr/bin";
inline constexpr char kWindowsFolder[] = "/usr";
// The Control Panel's shell namespace folder ends in this (compared without
// regard to case).
inline constexpr char kControlPanelFolderSuffix[] = ".{ED7BA470-8E54-465E-825C-99712043E01C}";

enum class SettingsPage {
    Overview,
    DesktopIcons,
    NotificationArea,
    ScreenLock,
    Appearance,
    Colours,
    Background,
};

enum class SystemProgram { None, Control, Rundll32, Explorer };

// "control.exe", "rundll32.exe" or "explorer.exe" (any case), bare or in the
// system or Windows folder; anything else is None.
SystemProgram SystemProgramOf(const std::string& path);

// The page named by rundll32's parameters ("shell32.dll,Control_RunDLL
// desk.cpl,,0"), by explorer's words after the program, or by control.exe's.
std::optional<SettingsPage> PageOfRundllParameters(const std::string& parameters);
std::optional<SettingsPage> PageOfExplorerArguments(const std::vector<std::string>& arguments);
std::optional<SettingsPage> PageOfControlArguments(const std::vector<std::string>& arguments);
bool IsControlPanelFolderName(const std::string& path);

struct ProgramCommand {
    std::string path;                   // the program file found
    std::vector<std::string> arguments; // argv, argv[0] included
};

// The first candidate for the page whose program is found (FindProgram), in
// the order GNOME, KDE, Xfce; nothing when none of them is installed.
std::optional<ProgramCommand> FindSettingsCommand(SettingsPage page);
// Whether any desktop settings program is installed.
bool SettingsProgramInstalled();

// Where programs are searched as root (or set-id): a fixed list, since the
// inherited PATH may hold another account's folder after su or sudo -E.
inline constexpr char kTrustedProgramFolders[] =
    "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// Whether the process is root or runs set-id, and so searches only the
// trusted folders.
bool SearchesTrustedFoldersOnly();
// The folders searched for a program, separated by ":": the trusted list as
// root, else PATH.
std::string ProgramSearchFolders();

// The real path of an executable regular file named name in the first
// absolute folder of ProgramSearchFolders() that has one no other account
// can change (UnchangeableByOthers); relative and empty entries are skipped.
// A name holding "/" is that file, under the same rule.
std::optional<std::string> FindProgram(const std::string& name);

namespace test_double {
// Test seam: the folders (":"-separated) searched in place of
// kTrustedProgramFolders while set; nullopt restores the fixed list. Only
// tests call it, so that a root test can offer settings programs of its own.
void SetTrustedProgramFolders(std::optional<std::string> folders);
} // namespace test_double

// Splits a Windows command line into words: blanks and tabs separate, double
// quotes group, 2n backslashes before a quote give n and the quote groups,
// 2n+1 give n and a literal quote; the first word ends at its closing quote
// or the first blank, with no backslash rules.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

} // namespace nomvera::posix
