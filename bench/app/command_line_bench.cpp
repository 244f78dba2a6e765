// Create Users then Delete Users (profiles on, the group tsusers joined) of
// N accounts through the real bin/nomvera in command mode, over a sandbox
// system root, against the same floor as the batches' benchmark: a plain
// useradd/userdel loop plus the batches' pauses of 2 x N x 50 ms.
//   bench_app_command_line [N]      (default 999; needs root)
#include "bench/common/bench_helpers.h"
#include "platform/posix/kernel/module_path.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Runs a program with an argument vector (no shell) and the given
// environment (the caller's when empty), output discarded; its exit status.
} // namespace

int main(int argc, char** argv) {
    if (geteuid() != 0) {
        std::fprintf(stderr, "needs root: shadow-utils change account files only as root\n");
        return 2;
    }
    const int count = argc > 1 ? std::atoi(argv[1]) : 999;
    if (count < 1 || count > 999) {
        std::fprintf(stderr, "usage: bench_app_command_line [N from 1 to 999]\n");
        return 2;
    }

    double plain = 0;
    {
        nomvera::test::SandboxRoot root;
        plain = nomvera::bench::PlainUserLoopSeconds(root.Path(), count);
    }

    nomvera::test::SandboxRoot root;
    nomvera::test::TempFolder base("nomvera-bench-cli");
    const auto [variables, passwordFile] = nomvera::bench::PrepareToolRun(root.Path(), base.Path());
    if (passwordFile.empty()) {
        return 1;
    }
    const std::string program = nomvera::posix::ExecutableFolder() + "/nomvera";
    const std::string n = std::to_string(count);

    auto start = Clock::now();
    const int createStatus = nomvera::bench::RunQuietly(
        {program, "create-users", "--prefix", "bench", "--password-file", passwordFile, "--count",
         n, "--no-default-groups", "--group", "tsusers", "--profile", "--quiet"},
        variables);
    const double created = Seconds(Clock::now() - start);
    start = Clock::now();
    const int deleteStatus = nomvera::bench::RunQuietly(
        {program, "delete-users", "--prefix", "bench", "--count", n, "--profile", "--quiet"},
        variables);
    const double deleted = Seconds(Clock::now() - start);

    nomvera::bench::PrintAgainstFloor(count, plain, "nomvera create-users --profile", created,
                                      "nomvera delete-users --profile", deleted);
    std::printf("exit status: create-users %d, delete-users %d\n", createStatus, deleteStatus);
    return createStatus == 0 && deleteStatus == 0 ? 0 : 1;
}
