#include "cli/password_input.h"

#ifdef _WIN32
#include "platform/private_files.h"
#include "support/text.h"

#include <windows.h>
#else
#include "platform/posix/kernel/module_path.h"
#include "platform/system_call.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace nomvera::cli {
namespace {

// Longer than any prefix the window takes; a longer first line is refused
// later for its length, so nothing beyond this is read.
constexpr std::size_t kLineLimit = 4096;

std::string WithoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

enum class TByteRead { Byte, End, Failed };

// The first line, up to kLineLimit bytes, one byte at a time (nothing past
// the line is taken from a shared input), without its line end. readByte
// gives one byte, the end of the input, or a failure with its text in error.
template <typename ReadByte>
bool ReadLineWith(ReadByte readByte, std::string& line, bool& sawAny, std::string& error) {
    line.clear();
    sawAny = false;
    while (line.size() < kLineLimit) {
        char c = 0;
        const TByteRead read = readByte(c, error);
        if (read == TByteRead::Failed) {
            return false;
        }
        if (read == TByteRead::End) {
            break;
        }
        sawAny = true;
        line += c;
        if (c == '\n') {
            break;
        }
    }
    line = WithoutLineEnd(std::move(line));
    return true;
}

} // namespace

#ifdef _WIN32
namespace {

bool ReadLine(HANDLE handle, std::string& line, bool& sawAny, std::string& error) {
    return ReadLineWith(
        [handle](char& c, std::string& failure) {
            DWORD got = 0;
            if (!ReadFile(handle, &c, 1, &got, nullptr)) {
                const DWORD code = GetLastError();
                if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) {
                    return TByteRead::End;
                }
                failure = support::SystemMessageText(code);
                return TByteRead::Failed;
            }
            return got == 0 ? TByteRead::End : TByteRead::Byte;
        },
        line, sawAny, error);
}

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& line, std::string& error) {
    bool sawAny = false;
    if (path == "-") {
        if (!ReadLine(GetStdHandle(STD_INPUT_HANDLE), line, sawAny, error)) {
            error = "standard input: " + error;
            return false;
        }
        if (!sawAny) {
            error = "standard input holds no line";
            return false;
        }
        return true;
    }
    // The rule of a private file: no reparse point, one name, the user's
    // own, no access for another account.
    const WideString name = support::WidenText(path);
    platform::TPrivateFileRefusal refusal = platform::TPrivateFileRefusal::None;
    const HANDLE file = platform::CreatePrivateFile(name.c_str(), FILE_SHARE_READ, OPEN_EXISTING,
                                                    &refusal, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        using R = platform::TPrivateFileRefusal;
        switch (refusal) {
        case R::Link:
            error = "it is a symbolic link (a link is never followed)";
            break;
        case R::NotRegularFile:
            error = "it is not a regular file";
            break;
        case R::OtherOwner:
            error = "it belongs to another account";
            break;
        case R::OtherNames:
            error = "it has more than one name (a hard link)";
            break;
        case R::OpenToOthers:
        case R::FolderNotPrivate:
            error = "other accounts have access to it";
            break;
        case R::None:
            error = support::SystemMessageText(GetLastError());
            break;
        }
        return false;
    }
    bool usable = ReadLine(file, line, sawAny, error);
    if (usable && !sawAny) {
        error = "it is empty";
        usable = false;
    }
    CloseHandle(file);
    return usable;
}

bool CanAskForPassword() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool AskForPassword(std::string& line, std::string& error) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode) ||
        !SetConsoleMode(input,
                        (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        error = support::SystemMessageText(GetLastError());
        return false;
    }
    constexpr char kPrompt[] = "Password prefix: ";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kPrompt, sizeof kPrompt - 1, &written, nullptr);
    bool sawAny = false;
    bool done = ReadLine(input, line, sawAny, error);
    if (done && !sawAny) {
        error = "no password prefix was typed (end of input)";
        done = false;
    }
    SetConsoleMode(input, mode);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\n", 1, &written, nullptr);
    return done;
}
#else
namespace {

// One byte at a time up to the line end, so standard input is not read past it.
bool ReadLine(int fd, std::string& line, bool& sawAny, std::string& error) {
    return ReadLineWith(
        [fd](char& c, std::string& failure) {
            const ssize_t n =
                platform::sys::Call(platform::sys::TCall::Read, [&] { return read(fd, &c, 1); });
            if (n < 0) {
                failure = std::strerror(errno);
                return TByteRead::Failed;
            }
            return n == 0 ? TByteRead::End : TByteRead::Byte;
        },
        line, sawAny, error);
}

struct termios g_savedTerminal;
volatile std::sig_atomic_t g_echoOff = 0;

void RestoreEchoAndDie(int signalNumber) {
    if (g_echoOff != 0) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& line, std::string& error) {
    bool sawAny = false;
    if (path == "-") {
        if (!ReadLine(STDIN_FILENO, line, sawAny, error)) {
            error = "standard input: " + error;
            return false;
        }
        if (!sawAny) {
            error = "standard input holds no line";
            return false;
        }
        return true;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        error = code == ELOOP ? "it is a symbolic link (a link is never followed)"
                              : std::strerror(code);
        return false;
    }
    struct stat info = {};
    bool usable = false;
    if (fstat(fd, &info) != 0) {
        error = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        error = "it is not a regular file";
    } else if (info.st_uid != geteuid()) {
        error = "it belongs to another account (uid " + std::to_string(info.st_uid) + ")";
    } else if ((info.st_mode & 0177) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        error = std::string("its mode is ") + mode + "; it must be 0600 or stricter";
    } else if (info.st_nlink != 1) {
        error = "it has more than one name (a hard link)";
    } else {
        // The folders above: one that another account can change lets it
        // swap the file between this check and the read.
        const posix::TrustedFile trusted = posix::UnchangeableByOthers(path);
        struct stat now = {};
        if (trusted.error != 0) {
            error = trusted.error == EACCES ? "another account can change a folder above it"
                                            : std::strerror(trusted.error);
        } else if (stat(trusted.real.c_str(), &now) != 0 || now.st_dev != info.st_dev ||
                   now.st_ino != info.st_ino) {
            error = "it was replaced while it was checked";
        } else {
            usable = true;
        }
    }
    if (usable) {
        // The regular file is read normally from here on.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        usable = ReadLine(fd, line, sawAny, error);
        if (usable && !sawAny) {
            error = "it is empty";
            usable = false;
        }
    }
    close(fd);
    return usable;
}

bool CanAskForPassword() {
    return isatty(STDIN_FILENO) == 1;
}

bool AskForPassword(std::string& line, std::string& error) {
    constexpr char kPrompt[] = "Password prefix: ";
    if (tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) {
        error = std::strerror(errno);
        return false;
    }
    struct termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    struct sigaction restore = {}, previous[std::size(kSignals)] = {};
    restore.sa_handler = RestoreEchoAndDie;
    sigemptyset(&restore.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &restore, &previous[i]);
    }
    bool done = false;
    // Echo off first, then the prompt: what is typed after the prompt is
    // never echoed, nor discarded by the change of mode.
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
        error = std::strerror(errno);
    } else {
        g_echoOff = 1;
        (void)!write(STDERR_FILENO, kPrompt, sizeof kPrompt - 1);
        bool sawAny = false;
        done = ReadLine(STDIN_FILENO, line, sawAny, error);
        if (done && !sawAny) {
            error = "no password prefix was typed (end of input)";
            done = false;
        }
        tcsetattr(STDIN_FILENO, TCSADRAIN, &g_savedTerminal);
        g_echoOff = 0;
    }
    // The typed line end was not echoed.
    (void)!write(STDERR_FILENO, "\n", 1);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &previous[i], nullptr);
    }
    return done;
}
#endif

} // namespace nomvera::cli
