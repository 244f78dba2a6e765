#include "tests/common/forked_child.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

bool DropTo(uid_t uid, gid_t gid) {
    return setgroups(0, nullptr) == 0 && setresgid(gid, gid, gid) == 0 &&
           setresuid(uid, uid, uid) == 0;
}

} // namespace

int RunInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        int code = 122;
        try {
            code = body();
        } catch (...) {
            code = 122;
        }
        _exit(code);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int RunAsUid(uid_t uid, gid_t gid, const std::function<int()>& body) {
    return RunInChild([&] { return DropTo(uid, gid) ? body() : 120; });
}

ProcessOfUid::ProcessOfUid(uid_t uid, gid_t gid, const std::string& workingFolder) {
    int gate[2];
    int ready[2];
    if (pipe(gate) != 0) {
        return;
    }
    if (pipe(ready) != 0) {
        close(gate[0]);
        close(gate[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(gate[1]);
        close(ready[0]);
        char byte = DropTo(uid, gid) && (workingFolder.empty() || chdir(workingFolder.c_str()) == 0)
                        ? 1
                        : 0;
        if (write(ready[1], &byte, 1) != 1 || byte == 0) {
            _exit(120);
        }
        close(ready[1]);
        while (read(gate[0], &byte, 1) > 0) {
        }
        _exit(0);
    }
    close(gate[0]);
    close(ready[1]);
    char byte = 0;
    bool dropped = pid_ > 0 && read(ready[0], &byte, 1) == 1 && byte == 1;
    close(ready[0]);
    release_ = gate[1];
    if (!dropped) {
        Stop();
    }
}

ProcessOfUid::~ProcessOfUid() {
    Stop();
}

void ProcessOfUid::Stop() {
    if (release_ >= 0) {
        close(release_);
        release_ = -1;
    }
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

} // namespace nomvera::test
