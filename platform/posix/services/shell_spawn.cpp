#include "platform/posix/services/shell_spawn.h"

#include "platform/files.h"
#include "platform/shell.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nomvera::posix {
namespace {

// Records on the status pipe; each is written with one write() below
// PIPE_BUF, so records of the two children never interleave.
enum : char { kStartedPid = 'P', kExecFailed = 'E', kFolderFailed = 'C', kForkFailed = 'F' };

struct Record {
    char kind;
    int value;
};

void WriteRecord(int fd, char kind, int value) {
    Record record{kind, value};
    ssize_t written;
    do {
        written = write(fd, &record, sizeof record);
    } while (written < 0 && errno == EINTR);
}

// The descriptors open now, to be closed on exec in the child (reading the
// folder is not allowed after the fork).
std::vector<int> OpenDescriptors() {
    std::vector<int> fds;
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return fds;
    }
    int own = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        char* end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && fd > 2 && fd != own) {
            fds.push_back(static_cast<int>(fd));
        }
    }
    closedir(folder);
    return fds;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void RunProgram(int status, const std::vector<int>& inherited, const char* program,
                             char* const* argv, char* const* envp, const char* folder) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // The tool ignores SIGXFSZ for itself; the program decides for itself.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigaction(SIGXFSZ, &defaultAction, nullptr);
#ifdef CLOSE_RANGE_CLOEXEC
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
#endif
    {
        for (int fd : inherited) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    if (folder != nullptr && chdir(folder) != 0) {
        WriteRecord(status, kFolderFailed, errno);
        _exit(127);
    }
    WriteRecord(status, kStartedPid, static_cast<int>(getpid()));
    execve(program, argv, envp);
    WriteRecord(status, kExecFailed, errno);
    _exit(127);
}

} // namespace

DWORD StartErrorCode(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DetachedResult StartDetached(const DetachedStart& request) {
    DetachedResult result;
    // Everything the children need is made before the fork.
    std::vector<std::string> arguments = request.arguments;
    if (arguments.empty()) {
        arguments.push_back(request.program);
    }
    std::vector<char*> argv = PointersTo(arguments);
    std::vector<std::string> environment;
    std::vector<char*> envp;
    if (request.environment) {
        environment = *request.environment;
        envp = PointersTo(environment);
    }
    char* const* envPointer = request.environment ? envp.data() : environ;
    const char* folder = request.workingFolder.empty() ? nullptr : request.workingFolder.c_str();
    std::vector<int> inherited = OpenDescriptors();

    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        result.error = StartErrorCode(errno);
        return result;
    }
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(status[0]);
        close(status[1]);
        result.error = StartErrorCode(error);
        return result;
    }
    if (child == 0) {
        close(status[0]);
        pid_t grandchild = fork();
        if (grandchild < 0) {
            WriteRecord(status[1], kForkFailed, errno);
            _exit(1);
        }
        if (grandchild == 0) {
            RunProgram(status[1], inherited, request.program.c_str(), argv.data(), envPointer,
                       folder);
        }
        _exit(0);
    }

    close(status[1]);
    int childStatus = 0;
    while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    // The write end closes when the program has been executed (close on
    // exec) or when both children have ended.
    bool started = false;
    int error = 0;
    DWORD code = 0;
    Record record{};
    while (true) {
        ssize_t got = read(status[0], &record, sizeof record);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != static_cast<ssize_t>(sizeof record)) {
            break;
        }
        switch (record.kind) {
        case kStartedPid:
            started = true;
            result.pid = static_cast<pid_t>(record.value);
            break;
        case kFolderFailed:
            error = record.value;
            code = ERROR_DIRECTORY;
            break;
        default:
            error = record.value;
            code = StartErrorCode(error);
            break;
        }
    }
    close(status[0]);
    if (error != 0) {
        result.error = code;
        result.pid = -1;
    } else if (!started) {
        result.error = ERROR_GEN_FAILURE;
    }
    return result;
}

} // namespace nomvera::posix
