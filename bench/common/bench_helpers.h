// Small pieces the benchmark programs share.
#pragma once

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace nomvera::bench {

// Runs a program found on PATH with its output discarded, in the given
// environment (NAME=VALUE; the benchmark's own when empty). Its exit
// status; -1 when it did not start or did not exit normally.
inline int RunQuietly(const std::vector<std::string>& args,
                      std::vector<std::string> environment = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                                     environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The running number of an account: at least three digits, "0" in front.
inline std::string ThreeDigits(int i) {
    std::string text = std::to_string(i);
    while (text.size() < 3) {
        text.insert(text.begin(), '0');
    }
    return text;
}

} // namespace nomvera::bench
