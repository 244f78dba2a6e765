#include "platform/shell.h"

#include "platform/errors.h"
#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/services/shell_spawn.h"
#include "platform/posix/services/shell_targets.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using nomvera::posix::SettingsPage;
using nomvera::posix::SystemProgram;

namespace {

// A started program. It is not the tool's child, so the handle cannot wait
// for it; it only keeps the id.
class TStartedProcess : public nomvera::platform::KernelObject {
public:
    explicit TStartedProcess(pid_t pid) : pid_(pid) {}
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
};

UINT CopyOut(const char* text, LPSTR buffer, UINT size) {
    auto length = static_cast<UINT>(std::strlen(text));
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::memcpy(buffer, text, length + 1);
    return length;
}

struct Command {
    std::string program;
    std::vector<std::string> arguments;
};

// The command a system program's words stand for; the last error says why
// there is none (no page of that name, or no settings program installed).
std::optional<Command> SettingsCommandFor(std::optional<SettingsPage> page) {
    if (!page) {
        SetLastError(ERROR_NO_ASSOCIATION);
        return std::nullopt;
    }
    auto found = nomvera::posix::FindSettingsCommand(*page);
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    return Command{found->path, found->arguments};
}

std::vector<std::string> WordsAfterProgram(const std::vector<std::string>& words) {
    return words.size() > 1 ? std::vector<std::string>(words.begin() + 1, words.end())
                            : std::vector<std::string>{};
}

std::optional<Command> SystemProgramCommand(SystemProgram program,
                                            const std::vector<std::string>& words,
                                            const std::string& parameters) {
    switch (program) {
    case SystemProgram::Control:
        return SettingsCommandFor(nomvera::posix::PageOfControlArguments(words));
    case SystemProgram::Rundll32:
        return SettingsCommandFor(nomvera::posix::PageOfRundllParameters(parameters));
    case SystemProgram::Explorer:
        return SettingsCommandFor(nomvera::posix::PageOfExplorerArguments(words));
    case SystemProgram::None:
        break;
    }
    return std::nullopt;
}

// A program named on a command line or given to the shell: a system program,
// a path, or a name on PATH.
std::optional<Command> ProgramCommand(const std::string& program,
                                      const std::vector<std::string>& words,
                                      const std::string& parameters) {
    if (auto system = nomvera::posix::SystemProgramOf(program); system != SystemProgram::None) {
        return SystemProgramCommand(system, words, parameters);
    }
    auto found = nomvera::posix::FindProgram(program);
    if (!found) {
        struct stat info {};
        bool exists = program.find('/') != std::string::npos && stat(program.c_str(), &info) == 0;
        SetLastError(exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    Command command{*found, {program}};
    command.arguments.insert(command.arguments.end(), words.begin(), words.end());
    return command;
}

std::optional<std::vector<std::string>> EnvironmentBlock(LPVOID environment) {
    if (environment == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> entries;
    for (auto* entry = static_cast<const char*>(environment); *entry != '\0';
         entry += std::strlen(entry) + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

// As root a started program inherits the tool's environment with PATH set to
// the trusted folders, so that it does not in turn run what another account
// put on the inherited PATH.
std::optional<std::vector<std::string>> InheritedEnvironment() {
    if (!nomvera::posix::SearchesTrustedFoldersOnly()) {
        return std::nullopt;
    }
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "PATH=", 5) != 0) {
            entries.emplace_back(*entry);
        }
    }
    entries.push_back("PATH=" + nomvera::posix::ProgramSearchFolders());
    return entries;
}

nomvera::posix::DetachedResult Start(const Command& command, const char* folder,
                                     std::optional<std::vector<std::string>> environment) {
    if (!environment) {
        environment = InheritedEnvironment();
    }
    nomvera::posix::DetachedStart request;
    request.program = command.program;
    request.arguments = command.arguments;
    request.workingFolder = folder != nullptr ? folder : "";
    request.environment = std::move(environment);
    return nomvera::posix::StartDetached(request);
}

HINSTANCE ShellResult(std::uintptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

HINSTANCE ShellFailure(DWORD code) {
    SetLastError(code);
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_ENOUGH_MEMORY:
        return ShellResult(code);
    default:
        return ShellResult(SE_ERR_NOASSOC);
    }
}

// The real path of a program named by path, when no other account can
// change it (UnchangeableByOthers), or the code of the refusal.
std::optional<std::string> ProgramNoOtherCanChange(const std::string& path) {
    auto file = nomvera::posix::UnchangeableByOthers(path);
    if (file.real.empty()) {
        SetLastError(file.error == ENOTDIR  ? ERROR_PATH_NOT_FOUND
                     : file.error == ENOENT ? ERROR_FILE_NOT_FOUND
                                            : ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    return file.real;
}

bool IsOpenVerb(LPCSTR verb) {
    return verb == nullptr || *verb == '\0' || strcasecmp(verb, "open") == 0;
}

} // namespace

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut(nomvera::posix::kSystemFolder, buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut(nomvera::posix::kWindowsFolder, buffer, size);
}

BOOL PathFileExistsA(LPCSTR path) {
    if (path == nullptr || *path == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (nomvera::posix::SystemProgramOf(path) != SystemProgram::None &&
        std::strchr(path, '/') != nullptr) {
        if (nomvera::posix::SettingsProgramInstalled()) {
            return TRUE;
        }
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    struct stat info {};
    if (stat(path, &info) == 0) {
        return TRUE;
    }
    SetLastError(errno == ENOTDIR  ? ERROR_PATH_NOT_FOUND
                 : errno == EACCES ? ERROR_ACCESS_DENIED
                                   : ERROR_FILE_NOT_FOUND);
    return FALSE;
}

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT) {
    if (file == nullptr || *file == '\0') {
        return ShellFailure(ERROR_FILE_NOT_FOUND);
    }
    if (!IsOpenVerb(verb)) {
        return ShellFailure(ERROR_NO_ASSOCIATION);
    }
    const std::string target = file;
    const std::string extra = parameters != nullptr ? parameters : "";
    std::vector<std::string> words = nomvera::posix::SplitCommandLine("x " + extra);
    words.erase(words.begin());

    std::optional<Command> command;
    auto system = nomvera::posix::SystemProgramOf(target);
    if (system != SystemProgram::None && target.find('/') != std::string::npos) {
        command = SystemProgramCommand(system, words, extra);
    } else {
        struct stat info {};
        if (stat(target.c_str(), &info) != 0) {
            return ShellFailure(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        }
        if (S_ISDIR(info.st_mode)) {
            if (!nomvera::posix::IsControlPanelFolderName(target)) {
                return ShellFailure(ERROR_NO_ASSOCIATION);
            }
            command = SettingsCommandFor(SettingsPage::Overview);
        } else if (access(target.c_str(), X_OK) != 0) {
            return ShellFailure(ERROR_NO_ASSOCIATION);
        } else if (auto program = ProgramNoOtherCanChange(target)) {
            command = ProgramCommand(*program, words, extra);
        } else {
            return ShellFailure(GetLastError());
        }
    }
    if (!command) {
        return ShellFailure(GetLastError());
    }
    auto started = Start(*command, directory, std::nullopt);
    if (started.error != 0) {
        return ShellFailure(started.error);
    }
    return ShellResult(42);
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
    if (startupInfo == nullptr || processInformation == nullptr ||
        (applicationName == nullptr && commandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> words =
        nomvera::posix::SplitCommandLine(commandLine != nullptr ? commandLine : "");
    std::string program = applicationName != nullptr ? applicationName
                          : words.empty()            ? std::string()
                                                     : words.front();
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string> rest = WordsAfterProgram(words);
    std::string joined;
    for (const auto& word : rest) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    auto command = ProgramCommand(program, rest, joined);
    if (!command) {
        return FALSE;
    }
    if (applicationName != nullptr && !words.empty() &&
        nomvera::posix::SystemProgramOf(program) == SystemProgram::None) {
        command->arguments.front() = words.front();
    }
    auto started = Start(*command, currentDirectory, EnvironmentBlock(environment));
    if (started.error != 0) {
        SetLastError(started.error);
        return FALSE;
    }
    processInformation->hProcess =
        nomvera::platform::RegisterHandle(std::make_unique<TStartedProcess>(started.pid));
    processInformation->hThread =
        nomvera::platform::RegisterHandle(std::make_unique<TStartedProcess>(started.pid));
    processInformation->dwProcessId = static_cast<DWORD>(started.pid);
    processInformation->dwThreadId = static_cast<DWORD>(started.pid);
    return TRUE;
}

HWND FindWindowExA(HWND, HWND, LPCSTR, LPCSTR) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

namespace {
thread_local int comInitialisations = 0;
}

HRESULT CoInitialize(LPVOID) {
    ++comInitialisations;
    return comInitialisations == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (comInitialisations > 0) {
        --comInitialisations;
    }
}
