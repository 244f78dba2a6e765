#include "platform/posix/services/shell_targets.h"

#include "platform/posix/kernel/module_path.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

std::string Lower(std::string text) {
    for (auto& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Candidate {
    const char* program;
    std::vector<std::string> arguments;
};

// In order of preference. Xfce has one program per page and its settings
// manager as the fallback when that helper is not installed.
std::vector<Candidate> CandidatesFor(SettingsPage page) {
    switch (page) {
    case SettingsPage::Overview:
        return {
            {"gnome-control-center", {}}, {"systemsettings", {}}, {"xfce4-settings-manager", {}}};
    case SettingsPage::DesktopIcons:
        return {{"gnome-control-center", {"background"}},
                {"systemsettings", {"kcm_icons"}},
                {"xfdesktop-settings", {}},
                {"xfce4-settings-manager", {}}};
    case SettingsPage::NotificationArea:
        return {{"gnome-control-center", {"notifications"}},
                {"systemsettings", {"kcm_notifications"}},
                {"xfce4-panel", {"--preferences"}},
                {"xfce4-settings-manager", {}}};
    case SettingsPage::ScreenLock:
        return {{"gnome-control-center", {"privacy"}},
                {"systemsettings", {"kcm_screenlocker"}},
                {"xfce4-screensaver-preferences", {}},
                {"xfce4-settings-manager", {}}};
    case SettingsPage::Appearance:
        return {{"gnome-control-center", {"background"}},
                {"systemsettings", {"kcm_lookandfeel"}},
                {"xfce4-appearance-settings", {}},
                {"xfce4-settings-manager", {}}};
    case SettingsPage::Colours:
        return {{"gnome-control-center", {"background"}},
                {"systemsettings", {"kcm_colors"}},
                {"xfce4-appearance-settings", {}},
                {"xfce4-settings-manager", {}}};
    case SettingsPage::Background:
        return {{"gnome-control-center", {"background"}},
                {"systemsettings", {"kcm_wallpaper"}},
                {"xfdesktop-settings", {}},
                {"xfce4-settings-manager", {}}};
    }
    return {};
}

// A program file no other account can change, executable by us; its real
// path.
std::optional<std::string> TrustedExecutable(const std::string& path) {
    auto file = UnchangeableByOthers(path);
    if (file.real.empty() || access(file.real.c_str(), X_OK) != 0) {
        return std::nullopt;
    }
    return file.real;
}

std::mutex seamLock;
std::optional<std::string> trustedFoldersOverride;

} // namespace

bool SearchesTrustedFoldersOnly() {
    return geteuid() == 0 || geteuid() != getuid() || getegid() != getgid();
}

std::string ProgramSearchFolders() {
    if (SearchesTrustedFoldersOnly()) {
        std::lock_guard<std::mutex> guard(seamLock);
        return trustedFoldersOverride.value_or(kTrustedProgramFolders);
    }
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
}

namespace test_double {
void SetTrustedProgramFolders(std::optional<std::string> folders) {
    std::lock_guard<std::mutex> guard(seamLock);
    trustedFoldersOverride = std::move(folders);
}
} // namespace test_double

SystemProgram SystemProgramOf(const std::string& path) {
    std::string folder;
    std::string name = path;
    auto slash = path.rfind('/');
    if (slash != std::string::npos) {
        folder = path.substr(0, slash);
        name = path.substr(slash + 1);
        while (!folder.empty() && folder.back() == '/') {
            folder.pop_back();
        }
        if (folder != kSystemFolder && folder != kWindowsFolder) {
            return SystemProgram::None;
        }
    }
    name = Lower(name);
    if (name == "control.exe") {
        return SystemProgram::Control;
    }
    if (name == "rundll32.exe") {
        return SystemProgram::Rundll32;
    }
    if (name == "explorer.exe") {
        return SystemProgram::Explorer;
    }
    return SystemProgram::None;
}

std::optional<SettingsPage> PageOfRundllParameters(const std::string& parameters) {
    std::string text = Lower(Trimmed(parameters));
    const std::string entry = "shell32.dll,control_rundll";
    if (text.compare(0, entry.size(), entry) != 0) {
        return std::nullopt;
    }
    std::string applet = Trimmed(text.substr(entry.size()));
    if (applet.empty()) {
        return SettingsPage::Overview;
    }
    if (applet == "desk.cpl,,0") {
        return SettingsPage::DesktopIcons;
    }
    if (applet == "desk.cpl,,1") {
        return SettingsPage::ScreenLock;
    }
    return std::nullopt;
}

std::optional<SettingsPage> PageOfExplorerArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return std::nullopt;
    }
    std::string target = Lower(arguments[0]);
    if (arguments.size() == 1) {
        if (target == "shell:::{05d7b0f4-2121-4eff-bf6b-ed3f69b894d9}") {
            return SettingsPage::NotificationArea;
        }
        if (target == "shell:::{ed7ba470-8e54-465e-825c-99712043e01c}" ||
            target == "shell:::{26ee0668-a00a-44d7-9371-beb064c98683}" ||
            IsControlPanelFolderName(arguments[0])) {
            return SettingsPage::Overview;
        }
        return std::nullopt;
    }
    if (arguments.size() == 2 && target == "shell:::{ed834ed6-4b5a-4bfe-8f11-a626dcb6a921}") {
        std::string page = Lower(arguments[1]);
        if (page == "-microsoft.personalization") {
            return SettingsPage::Appearance;
        }
        if (page == "-microsoft.personalization\\pagecolorization") {
            return SettingsPage::Colours;
        }
        if (page == "-microsoft.personalization\\pagewallpaper") {
            return SettingsPage::Background;
        }
    }
    return std::nullopt;
}

std::optional<SettingsPage> PageOfControlArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return SettingsPage::Overview;
    }
    return std::nullopt;
}

bool IsControlPanelFolderName(const std::string& path) {
    std::string name = path;
    while (!name.empty() && name.back() == '/') {
        name.pop_back();
    }
    return EndsWith(Lower(name), Lower(kControlPanelFolderSuffix));
}

std::optional<std::string> FindProgram(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string::npos) {
        return TrustedExecutable(name);
    }
    const std::string folders = ProgramSearchFolders();
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        std::string folder = folders.substr(start, end - start);
        // A relative entry would run whatever lies in the current folder.
        if (!folder.empty() && folder.front() == '/') {
            std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
            // One that another account could have put there is passed over,
            // as if it were not there.
            if (auto found = TrustedExecutable(candidate)) {
                return found;
            }
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<ProgramCommand> FindSettingsCommand(SettingsPage page) {
    for (const auto& candidate : CandidatesFor(page)) {
        if (auto found = FindProgram(candidate.program)) {
            ProgramCommand command{*found, {candidate.program}};
            command.arguments.insert(command.arguments.end(), candidate.arguments.begin(),
                                     candidate.arguments.end());
            return command;
        }
    }
    return std::nullopt;
}

bool SettingsProgramInstalled() {
    for (auto page :
         {SettingsPage::Overview, SettingsPage::DesktopIcons, SettingsPage::NotificationArea,
          SettingsPage::ScreenLock, SettingsPage::Appearance, SettingsPage::Background}) {
        if (FindSettingsCommand(page)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };

    while (i < n && isBlank(commandLine[i])) {
        ++i;
    }
    if (i >= n) {
        return words;
    }
    // The program name: quotes group, backslashes are plain characters.
    std::string first;
    if (commandLine[i] == '"') {
        ++i;
        while (i < n && commandLine[i] != '"') {
            first += commandLine[i++];
        }
        if (i < n) {
            ++i;
        }
    } else {
        while (i < n && !isBlank(commandLine[i])) {
            first += commandLine[i++];
        }
    }
    words.push_back(first);

    while (true) {
        while (i < n && isBlank(commandLine[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::string word;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(commandLine[i]))) {
            if (commandLine[i] == '\\') {
                std::size_t backslashes = 0;
                while (i < n && commandLine[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && commandLine[i] == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++i;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
            } else if (commandLine[i] == '"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += commandLine[i++];
            }
        }
        words.push_back(word);
    }
    return words;
}

} // namespace nomvera::posix
