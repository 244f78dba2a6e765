// Time from process start to the main window shown, and the resident memory
// at that moment, for the real bin/nomvera started offscreen over a sandbox
// system root. The preloaded GUI driver notes the time of the window's first
// paint and the resident size, then closes the window.
//   bench_app_startup [runs]      (default 10)
#include "platform/posix/kernel/module_path.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct TSample {
    double shownMs = 0;
    long residentKiB = 0;
};

bool RunOnce(const std::string& bin, TSample& sample) {
    nomvera::test::SandboxRoot root;
    nomvera::test::TempFolder base("nomvera-bench");
    const std::string home = base / "home";
    const std::string state = base / "state";
    const std::string runtime = base / "runtime";
    for (const std::string& folder : {home, state, runtime}) {
        mkdir(folder.c_str(), 0700);
    }
    const std::string report = state + "/report";
    std::vector<std::string> variables = {
        "PATH=/usr/bin:/bin",
        "LANG=C.UTF-8",
        "QT_QPA_PLATFORM=offscreen",
        "NOMVERA_SYSROOT=" + root.Path(),
        "HOME=" + home,
        "XDG_STATE_HOME=" + state,
        "XDG_RUNTIME_DIR=" + runtime,
        "XDG_CACHE_HOME=" + home,
        "XDG_CONFIG_HOME=" + home,
        "TMPDIR=" + base.Path(),
        "LD_PRELOAD=" + bin + "/libnomvera_gui_driver.so",
        "NOMVERA_DRIVER_REPORT=" + report,
        "NOMVERA_DRIVER_STEPS=close",
    };
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::string program = bin + "/nomvera";
    char* argv[] = {program.data(), nullptr};

    const long long start = MonotonicNanoseconds();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv, envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return false;
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(report);
    std::string key;
    long long shownNs = 0;
    long rss = 0;
    in >> key >> shownNs >> key >> rss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || shownNs == 0) {
        std::fprintf(stderr, "run failed (status %d)\n", status);
        return false;
    }
    sample.shownMs = static_cast<double>(shownNs - start) / 1e6;
    sample.residentKiB = rss;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string bin = nomvera::posix::ExecutableFolder();
    std::vector<TSample> samples;
    for (int i = 0; i < runs; ++i) {
        TSample sample;
        if (!RunOnce(bin, sample)) {
            return 1;
        }
        samples.push_back(sample);
    }
    std::vector<double> times;
    std::vector<long> resident;
    for (const TSample& sample : samples) {
        times.push_back(sample.shownMs);
        resident.push_back(sample.residentKiB);
    }
    std::sort(times.begin(), times.end());
    std::sort(resident.begin(), resident.end());
    const auto median = [](const auto& sorted) { return sorted[sorted.size() / 2]; };
    std::printf("start to window shown over %d runs: min %.1f ms, median %.1f ms, max %.1f ms "
                "(target < 300 ms)\n",
                runs, times.front(), median(times), times.back());
    std::printf("resident after start: min %.1f MiB, median %.1f MiB, max %.1f MiB "
                "(target < 60 MiB)\n",
                resident.front() / 1024.0, median(resident) / 1024.0, resident.back() / 1024.0);
    return 0;
}
