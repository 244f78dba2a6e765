// Child processes for tests: a program run with its output captured, a
// program that the test kills, and (POSIX only) a piece of test code run as
// the user nobody.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nomvera::test {

struct TChildResult {
    std::string output;
    int exitCode = -1; // -1 when the child did not exit normally
};

// Runs argv[0] (a full path) with an argument vector, no shell, and captures
// its standard output (and standard error when asked). Exit code 127: the
// program could not be started.
TChildResult RunProgram(const std::vector<std::string>& argv, bool withStandardError = false);

// A program of the build that lies beside the running test program: its
// full path ("name" on POSIX, "name.exe" on Windows).
std::string ProgramBesideTest(const std::string& name);

// A program started with an argument vector (argv[0] a full path) and no
// shell, that the test ends at a moment of its choosing, as a crash would:
// SIGKILL on POSIX, TerminateProcess on Windows. Still running when the
// object goes away, it is killed then.
class KillableProgram {
public:
    explicit KillableProgram(const std::vector<std::string>& argv);
    ~KillableProgram();
    KillableProgram(const KillableProgram&) = delete;
    KillableProgram& operator=(const KillableProgram&) = delete;

    bool Started() const;
    // Kills the program and waits for its end. True when the kill ended it;
    // false when it had ended on its own before (or was never started).
    bool KillAndWait();

private:
#if defined(_WIN32)
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
};

// The texts as the null-terminated pointer array that exec and posix_spawn
// take for argv and envp; valid while the strings live unchanged.
std::vector<char*> NullTerminated(std::vector<std::string>& strings);

#if !defined(_WIN32)
// Runs body in a forked child as nobody (uid and gid 65534, no supplementary
// groups) and gives its exit status. The child never returns into the test:
// 120 when dropping the rights failed, 122 when body threw.
int RunAsNobody(const std::function<int()>& body);

// The same, for a body that reports a text: the child exits 0 after writing it.
TChildResult RunAsNobodyCapturing(const std::function<std::string()>& body);
#endif

} // namespace nomvera::test
