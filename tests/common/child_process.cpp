#include "tests/common/child_process.h"

#include "tests/common/temp_folder.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <grp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#if defined(_WIN32)

namespace nomvera::test {
namespace {

// One argument as the C runtime's command-line parser reads it back: quoted
// when it is empty or holds a blank or a quote; backslashes doubled before
// a quote and before the closing quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    if (!line.empty()) {
        line += L' ';
    }
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
    std::wstring line;
    for (const std::string& argument : argv) {
        AppendArgument(line, ToWide(argument));
    }
    return line;
}

} // namespace

TChildResult RunProgram(const std::vector<std::string>& argv, bool withStandardError) {
    TChildResult result;
    if (argv.empty()) {
        return result;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = withStandardError ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = CommandLine(argv);
    const std::wstring program = ToWide(argv[0]);
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        result.exitCode = 127;
        return result;
    }
    CloseHandle(process.hThread);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        result.output.append(buffer, n);
    }
    CloseHandle(readEnd);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.hProcess, &code)) {
        result.exitCode = static_cast<int>(code);
    }
    CloseHandle(process.hProcess);
    return result;
}

std::string ProgramBesideTest(const std::string& name) {
    char self[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH + 1);
    const std::string path(self, n <= MAX_PATH ? n : 0);
    return path.substr(0, path.rfind('\\') + 1) + name + ".exe";
}

// The exit code a killed program ends with: one no test program gives.
constexpr UINT kKilledExitCode = 0xDEAD;

KillableProgram::KillableProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = CommandLine(argv);
    const std::wstring program = ToWide(argv[0]);
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
    } else {
        startError_ = static_cast<int>(GetLastError());
    }
}

KillableProgram::~KillableProgram() {
    KillAndWait();
}

bool KillableProgram::Started() const {
    return process_ != nullptr;
}

bool KillableProgram::KillAndWait() {
    if (process_ == nullptr) {
        return false;
    }
    // TerminateProcess fails for a process that has already ended.
    const bool killed = TerminateProcess(process_, kKilledExitCode) != FALSE;
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process_, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    process_ = nullptr;
    return killed && ended && code == kKilledExitCode;
}

} // namespace nomvera::test

#else

namespace nomvera::test {
namespace {

bool DropToNobody() {
    return setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
           setresuid(65534, 65534, 65534) == 0;
}

// Forks; the child runs body with the writing end of a pipe and exits with
// its result; the parent collects what was written and the exit status.
TChildResult InChild(const std::function<int(int)>& body) {
    TChildResult result;
    int out[2];
    if (pipe(out) != 0) {
        return result;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    if (child == 0) {
        close(out[0]);
        int code = 122;
        try {
            code = body(out[1]);
        } catch (...) {
            code = 122;
        }
        _exit(code);
    }
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

TChildResult RunProgram(const std::vector<std::string>& argv, bool withStandardError) {
    if (argv.empty()) {
        return {};
    }
    return InChild([&](int out) {
        dup2(out, STDOUT_FILENO);
        if (withStandardError) {
            dup2(out, STDERR_FILENO);
        }
        close(out);
        std::vector<std::string> copy = argv;
        std::vector<char*> args = NullTerminated(copy);
        execv(args[0], args.data());
        return 127;
    });
}

int RunAsNobody(const std::function<int()>& body) {
    return InChild([&](int) { return DropToNobody() ? body() : 120; }).exitCode;
}

TChildResult RunAsNobodyCapturing(const std::function<std::string()>& body) {
    return InChild([&](int out) {
        if (!DropToNobody()) {
            return 120;
        }
        return WriteAll(out, body()) ? 0 : 3;
    });
}

std::string ProgramBesideTest(const std::string& name) {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + name;
}

KillableProgram::KillableProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return;
    }
    std::vector<std::string> copy = argv;
    std::vector<char*> args = NullTerminated(copy);
    pid_t pid = -1;
    startError_ = posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (startError_ == 0) {
        pid_ = pid;
    }
}

KillableProgram::~KillableProgram() {
    KillAndWait();
}

bool KillableProgram::Started() const {
    return pid_ > 0;
}

bool KillableProgram::KillAndWait() {
    if (pid_ <= 0) {
        return false;
    }
    const pid_t pid = pid_;
    pid_ = -1;
    const bool sent = kill(pid, SIGKILL) == 0;
    int status = 0;
    const bool waited = waitpid(pid, &status, 0) == pid;
    return sent && waited && WIFSIGNALED(status);
}

} // namespace nomvera::test

#endif

namespace nomvera::test {

std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace nomvera::test
