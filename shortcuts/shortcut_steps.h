// The shortcut handlers with the platform facts they act on passed in, so
// that the behaviour for every Windows version can be exercised; the buttons
// of ShortcutButtons() call them with the facts gathered at start.
#pragma once

#include "shortcuts/shortcuts.h"

#include "platform/windows_types.h"

#include <string>

namespace nomvera::shortcuts {

struct TShellFacts {
    int WindowsMajorVersion = 0;
    bool IsWow64 = false;
    DWORD RegistryViewFlag = 0;
};

TShellFacts CurrentShellFacts();

inline constexpr char kShortcutFolderName[] = "wcpl";
inline constexpr char kControlPanelFolderName[] =
    "Control Panel .{ED7BA470-8E54-465E-825C-99712043E01C}";

// The temporary folder + "wcpl", with the separator added as needed.
std::string ShortcutFolderA();

void ControlPanelClick(TShortcutHost& host, const TShellFacts& facts);
void DesktopIconSettingsClick(TShortcutHost& host, const TShellFacts& facts);
void TaskbarSettingsClick(TShortcutHost& host, const TShellFacts& facts);
void ScreenSaverClick(TShortcutHost& host, const TShellFacts& facts);
void PersonalizationClick(TShortcutHost& host, const TShellFacts& facts);
void PersonalizationColorClick(TShortcutHost& host, const TShellFacts& facts);
void PersonalizationWallPaperClick(TShortcutHost& host, const TShellFacts& facts);
void NoPrivacyQuestionsClick(TShortcutHost& host, const TShellFacts& facts);

// Starts the taskbar's notification-area page and logs "Shell 4: ..."; true
// when the page was started.
bool OpenTaskbarSettings(TShortcutHost& host, const TShellFacts& facts);

} // namespace nomvera::shortcuts
