#include "tests/common/child_process.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

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
