// The console on POSIX: standard output and error as descriptors 1 and 2,
// SIGINT, SIGTERM and SIGHUP as stop requests, and the credentials file
// made relative to folders opened without following links.
#ifndef _WIN32
#include "cli/console.h"
#include "cli/console_host.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::cli {
namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previous[kStopSignals.size()];
bool g_installed[kStopSignals.size()] = {};

void OnStopSignal(int signalNumber) {
    if (g_received == 0) {
        g_received = signalNumber;
    }
}

const char* SignalNameOf(int signalNumber) {
    switch (signalNumber) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

bool WriteWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

const char* StopSignalName(int signalNumber) {
    return SignalNameOf(signalNumber);
}

bool WriteStream(TStream stream, const std::string& text, std::string* error) {
    if (WriteWhole(stream == TStream::Output ? STDOUT_FILENO : STDERR_FILENO, text.data(),
                   text.size())) {
        return true;
    }
    if (error != nullptr) {
        *error = std::strerror(errno);
    }
    return false;
}

bool IsTerminal(TStream stream) {
    return isatty(stream == TStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

std::size_t TerminalColumns() {
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col;
    }
    return 80;
}

void PrepareStandardStreams() {
    // A closed standard descriptor would be taken by the next file opened
    // (the credentials file), and activity lines would land in it.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                close(opened);
            }
        }
    }
}

void IgnoreClosedPipes() {
    // A closed output pipe must not end the program in the middle of a step.
    signal(SIGPIPE, SIG_IGN);
}

TStopSignals::TStopSignals() {
    g_received = 0;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction current = {};
        sigaction(kStopSignals[i], nullptr, &current);
        // nohup and background jobs set these to be ignored; keep it so.
        if (kStopSignals[i] != SIGTERM && current.sa_handler == SIG_IGN) {
            continue;
        }
        g_installed[i] = sigaction(kStopSignals[i], &action, &g_previous[i]) == 0;
    }
}

TStopSignals::~TStopSignals() {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (g_installed[i]) {
            sigaction(kStopSignals[i], &g_previous[i], nullptr);
            g_installed[i] = false;
        }
    }
}

int TStopSignals::Received() {
    return g_received;
}

bool TCredentialsFile::IsOpen() const {
    return fd_ >= 0;
}

TCredentialsFile::~TCredentialsFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

namespace {

// The folder that will hold path's last component, reached one component at a
// time from the root (or the working folder) without following a link, so
// that no account can send the file elsewhere by a link higher up. Returns
// the open folder (AT_FDCWD for a bare name) and the last component, or -1
// with error set.
int OpenParentFolder(const std::string& path, std::string& leaf, std::string& error) {
    const std::size_t slash = path.rfind('/');
    leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty()) {
        error = "it names a folder, not a file";
        return -1;
    }
    if (slash == std::string::npos) {
        return AT_FDCWD;
    }
    int folder = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (folder >= 0 && start < slash) {
        std::size_t end = path.find('/', start);
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) {
            continue;
        }
        const int next =
            openat(folder, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int code = errno;
        if (next < 0) {
            struct stat info = {};
            error = fstatat(folder, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISLNK(info.st_mode)
                        ? "a folder on its path is a symbolic link (links are never followed)"
                        : std::strerror(code);
        }
        close(folder);
        folder = next;
    }
    if (folder < 0 && error.empty()) {
        error = std::strerror(errno);
    }
    return folder;
}

} // namespace

bool TCredentialsFile::Create(const std::string& path, std::string& error) {
    std::string leaf;
    const int folder = OpenParentFolder(path, leaf, error);
    if (folder == -1) {
        return false;
    }
    const int fd = openat(folder, leaf.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int code = errno;
        error = code == EEXIST ? "it exists already (an existing file or link is never replaced)"
                               : std::strerror(code);
        if (folder != AT_FDCWD) {
            close(folder);
        }
        return false;
    }
    fd_ = fd;
    // The umask may have taken bits away; the file is the owner's alone, exactly.
    if (fchmod(fd_, S_IRUSR | S_IWUSR) != 0 || !WriteAll("name,password\n", error)) {
        if (error.empty()) {
            error = std::strerror(errno);
        }
        close(fd_);
        fd_ = -1;
        // Made by this run a moment ago and still empty: take it back.
        unlinkat(folder, leaf.c_str(), 0);
    }
    if (folder != AT_FDCWD) {
        close(folder);
    }
    return fd_ >= 0;
}

bool TCredentialsFile::WriteAll(const std::string& text, std::string& error) {
    if (fd_ < 0 || !WriteWhole(fd_, text.data(), text.size())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace nomvera::cli
#endif
