#include "shortcuts/shortcuts.h"

#include "shortcuts/com_once.h"
#include "shortcuts/fs_redirection.h"
#include "shortcuts/privacy_policy.h"
#include "shortcuts/shortcut_steps.h"
#include "shortcuts/system_folders.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/shell.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/owner.h"
#include "support/platform_info.h"
#include "support/text.h"

#include <cstdint>

namespace nomvera::shortcuts {
namespace {

using support::WidenText;

constexpr WCHAR kControlPanel[] = WIDE("Control Panel");
constexpr WCHAR kDesktopIconSettings[] = WIDE("Desktop Icon Settings");
constexpr WCHAR kTaskbarSettings[] = WIDE("Taskbar Settings");
constexpr WCHAR kScreenSaver[] = WIDE("Screen Saver");
constexpr WCHAR kPersonalization[] = WIDE("Personalization");
constexpr WCHAR kPersonalizationColor[] = WIDE("Personalization\\Color");
constexpr WCHAR kPersonalizationWallPaper[] = WIDE("Personalization\\WallPaper");
constexpr WCHAR kNoPrivacyQuestions[] = WIDE("No OOBE/Privacy Questions");

constexpr char kDeskIconsParameters[] = "shell32.dll,Control_RunDLL desk.cpl,,0";
constexpr char kScreenSaverParameters[] = "shell32.dll,Control_RunDLL desk.cpl,,1";
constexpr char kPersonalizationArguments[] =
    " shell:::{ED834ED6-4B5A-4bfe-8F11-A626DCB6A921} -Microsoft.Personalization";
constexpr char kColorArguments[] =
    " shell:::{ED834ED6-4B5A-4bfe-8F11-A626DCB6A921} -Microsoft.Personalization\\pageColorization";
constexpr char kWallPaperArguments[] =
    " shell:::{ED834ED6-4B5A-4bfe-8F11-A626DCB6A921} -Microsoft.Personalization\\pageWallpaper";
constexpr char kNotificationAreaArguments[] = " shell:::{05d7b0f4-2121-4eff-bf6b-ed3f69b894d9}";

constexpr WPARAM kTaskbarPropertiesCommand = 421;

WideString Message(DWORD code) {
    return WidenText(support::SystemMessageText(code));
}

bool ShellFailed(HINSTANCE result) {
    return reinterpret_cast<std::uintptr_t>(result) <= 32;
}

bool MakeFolderTreeA(const std::string& path) {
    return support::MakeFolderTree(WidenText(path));
}

// The Control Panel's namespace folder under the temporary folder, created
// as needed; logs when it cannot be had and gives the path to open anyway.
std::string ControlPanelFolder(TShortcutHost& host) {
    std::string target = ShortcutFolderA();
    if (!support::FolderExistsA(target)) {
        MakeFolderTreeA(target);
    }
    if (support::FolderExistsA(target)) {
        target += support::kPathDelimiter;
        target += kControlPanelFolderName;
    }
    if (!support::FolderExistsA(target)) {
        MakeFolderTreeA(target);
    }
    if (!support::FolderExistsA(target)) {
        host.LogError(WIDE("Shell cannot find: ") + WidenText(target));
    }
    return target;
}

void RundllSteps(TShortcutHost& host, const char* parameters) {
    const std::string folder = SystemFolderA();
    const std::string program = RundllPathA();
    if (!PathFileExistsA(program.c_str())) {
        host.LogError(WIDE("Can not find: ") + WidenText(program));
        return;
    }
    DWORD com = InitComOnce();
    if (!ComUsable(com)) {
        host.LogError(WIDE("CoINIT 20: ") + Message(com));
    }
    HINSTANCE result =
        ShellExecuteA(nullptr, "open", program.c_str(), parameters, folder.c_str(), SW_SHOWNORMAL);
    if (ShellFailed(result)) {
        host.LogError(WIDE("Cannot open:"));
        host.LogError(WIDE("program [") + WidenText(program) + WIDE(" "));
        host.LogError(WIDE("param   [") + WidenText(parameters) + WIDE(" "));
        host.LogError(WIDE("path    [") + WidenText(folder) + WIDE(" "));
    }
}

// Starts explorer with arguments (they begin with a blank) and logs
// "Shell N: OK" or "Shell N: " + the message of the failure.
bool ExplorerSteps(TShortcutHost& host, const TShellFacts& facts, const char* arguments, int n) {
    std::string program = support::AddBackslashA(SystemFolderA()) + "explorer.exe";
    {
        TFsRedirectionOff redirectionOff(facts.IsWow64);
        if (!PathFileExistsA(program.c_str())) {
            program = support::AddBackslashA(WindowsFolderA()) + "explorer.exe";
        }
    }
    std::string commandLine = program + arguments;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    DWORD error = 0;
    {
        TFsRedirectionOff redirectionOff(facts.IsWow64);
        SetLastError(0);
        started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process);
        // Read before the switch back, which clears the code.
        error = GetLastError();
    }
    const WideString prefix = WIDE("Shell ") + WidenText(support::DecimalText(n)) + WIDE(": ");
    if (started) {
        const support::TOwnedHandle processHandle(process.hProcess);
        const support::TOwnedHandle threadHandle(process.hThread);
        host.LogInfo(prefix + WIDE("OK"));
        return true;
    }
    host.LogError(prefix + Message(error));
    return false;
}

// Begin, body, End; a failure inside the body ends the handler silently.
template <class Body> void Guarded(TShortcutHost& host, const WCHAR* caption, Body body) {
    try {
        host.LogInfo(WIDE("Begin: ") + WideString(caption));
        body();
        host.LogInfo(WIDE("End: ") + WideString(caption));
    } catch (...) {
    }
}

} // namespace

TShellFacts CurrentShellFacts() {
    const auto& platform = support::Platform();
    return {platform.WindowsMajorVersion, platform.IsWow64,
            static_cast<DWORD>(platform.RegistryViewFlag)};
}

std::string ShortcutFolderA() {
    return support::AddBackslashA(support::TempFolderA()) + kShortcutFolderName;
}

void ControlPanelClick(TShortcutHost& host, const TShellFacts& facts) {
    Guarded(host, kControlPanel, [&] {
        std::string target = facts.WindowsMajorVersion == 5
                                 ? support::AddBackslashA(SystemFolderA()) + "control.exe"
                                 : ControlPanelFolder(host);
        DWORD com = InitComOnce();
        if (!ComUsable(com)) {
            host.LogError(WIDE("CoINIT 16: ") + Message(com));
        }
        HINSTANCE result =
            ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (ShellFailed(result)) {
            host.LogError(WIDE("Shell cannot open ") + WidenText(target));
        }
    });
}

void DesktopIconSettingsClick(TShortcutHost& host, const TShellFacts&) {
    Guarded(host, kDesktopIconSettings, [&] { RundllSteps(host, kDeskIconsParameters); });
}

bool OpenTaskbarSettings(TShortcutHost& host, const TShellFacts& facts) {
    return ExplorerSteps(host, facts, kNotificationAreaArguments, 4);
}

void TaskbarSettingsClick(TShortcutHost& host, const TShellFacts& facts) {
    Guarded(host, kTaskbarSettings, [&] {
        if (facts.WindowsMajorVersion == 5) {
            HWND tray = FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr);
            if (tray != nullptr) {
                SendMessageA(tray, WM_COMMAND, kTaskbarPropertiesCommand, 0);
            }
        } else {
            OpenTaskbarSettings(host, facts);
        }
    });
}

void ScreenSaverClick(TShortcutHost& host, const TShellFacts&) {
    Guarded(host, kScreenSaver, [&] { RundllSteps(host, kScreenSaverParameters); });
}

void PersonalizationClick(TShortcutHost& host, const TShellFacts& facts) {
    Guarded(host, kPersonalization,
            [&] { ExplorerSteps(host, facts, kPersonalizationArguments, 5); });
}

void PersonalizationColorClick(TShortcutHost& host, const TShellFacts& facts) {
    Guarded(host, kPersonalizationColor, [&] { ExplorerSteps(host, facts, kColorArguments, 6); });
}

void PersonalizationWallPaperClick(TShortcutHost& host, const TShellFacts& facts) {
    Guarded(host, kPersonalizationWallPaper,
            [&] { ExplorerSteps(host, facts, kWallPaperArguments, 7); });
}

void NoPrivacyQuestionsClick(TShortcutHost& host, const TShellFacts& facts) {
    DWORD status = WriteNoPrivacyPolicy(facts.RegistryViewFlag);
    const WideString name = WidenText(kDisablePrivacyExperience);
    if (status == 0) {
        host.LogInfo(name + WIDE(": OK"));
    } else {
        host.LogError(name + WIDE(": ") + Message(status));
    }
}

const std::vector<TShortcutButton>& ShortcutButtons() {
    static const std::vector<TShortcutButton> buttons = {
        {kControlPanel, [](TShortcutHost& h) { ControlPanelClick(h, CurrentShellFacts()); }},
        {kDesktopIconSettings,
         [](TShortcutHost& h) { DesktopIconSettingsClick(h, CurrentShellFacts()); }},
        {kTaskbarSettings, [](TShortcutHost& h) { TaskbarSettingsClick(h, CurrentShellFacts()); }},
        {kScreenSaver, [](TShortcutHost& h) { ScreenSaverClick(h, CurrentShellFacts()); }},
        {kPersonalization, [](TShortcutHost& h) { PersonalizationClick(h, CurrentShellFacts()); }},
        {kPersonalizationColor,
         [](TShortcutHost& h) { PersonalizationColorClick(h, CurrentShellFacts()); }},
        {kPersonalizationWallPaper,
         [](TShortcutHost& h) { PersonalizationWallPaperClick(h, CurrentShellFacts()); }},
        {kNoPrivacyQuestions,
         [](TShortcutHost& h) { NoPrivacyQuestionsClick(h, CurrentShellFacts()); }},
    };
    return buttons;
}

void RemoveShortcutFolder() {
    try {
        const std::string folder = ShortcutFolderA();
        if (support::FolderExistsA(folder)) {
            const std::string inner = folder + support::kPathDelimiter + kControlPanelFolderName;
            if (support::FolderExistsA(inner)) {
                RemoveDirectoryA(inner.c_str());
            }
            RemoveDirectoryA(folder.c_str());
        }
    } catch (...) {
    }
}

} // namespace nomvera::shortcuts
