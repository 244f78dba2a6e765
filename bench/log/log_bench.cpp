// Caller cost per line in direct and queued mode, sustained lines per second
// through the queued writer, and the same harness over a plain write(2) per
// line as the floor. Prints its figures; run it on a quiet machine.
#include "log/diagnostic_log.h"
#include "platform/wide_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nomvera::log::TDiagnosticLog;

struct Figures {
    double medianNs;
    double p99Ns;
};

Figures Summarise(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// Distinct messages of one length, so that no repeat is suppressed.
std::vector<WideString> Messages(std::size_t length, std::size_t count) {
    std::vector<WideString> messages;
    messages.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        WideString text = WIDE("created account test");
        for (char c : std::to_string(i)) {
            text += static_cast<WCHAR>(c);
        }
        text += WIDE(' ');
        while (text.size() < length) {
            text += static_cast<WCHAR>(WIDE('a') + text.size() % 26);
        }
        messages.push_back(text.substr(0, length));
    }
    return messages;
}

WideString Wide(const std::string& text) {
    return WideString(text.begin(), text.end());
}

long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Bursts of `burst` lines with a pause between them: the way a batch logs,
// and short enough that the caller never meets back-pressure.
Figures CallerCost(const std::string& path, std::uint8_t mode, std::size_t length,
                   std::size_t lines, std::size_t burst, int pauseMs) {
    auto log = TDiagnosticLog::Create(Wide(path), 200, mode);
    const auto messages = Messages(length, lines);
    std::vector<double> samples;
    samples.reserve(lines);
    for (std::size_t i = 0; i < lines; ++i) {
        const auto start = Clock::now();
        log->WriteInfo(messages[i]);
        samples.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        if (pauseMs > 0 && (i + 1) % burst == 0) {
            usleep(static_cast<useconds_t>(pauseMs) * 1000);
        }
    }
    log->Close();
    return Summarise(samples);
}

Figures PlainWriteCost(const std::string& path, std::size_t length, std::size_t lines) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string line = std::string(26, 'x') + std::string(length, 'y') + "\r\n";
    std::vector<double> samples;
    samples.reserve(lines);
    for (std::size_t i = 0; i < lines; ++i) {
        const auto start = Clock::now();
        if (write(fd, line.data(), line.size()) < 0) {
            break;
        }
        samples.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
    }
    close(fd);
    return Summarise(samples);
}

double QueuedThroughput(const std::string& path, std::size_t lines, long& rssGrowthKiB) {
    const auto messages = Messages(60, 4096);
    const long rssBefore = MaxRssKiB();
    auto log = TDiagnosticLog::Create(Wide(path), 200, 2);
    const auto start = Clock::now();
    for (std::size_t i = 0; i < lines; ++i) {
        log->WriteInfo(messages[i % messages.size()]);
    }
    log->Close(); // returns once the writer has written everything
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rssGrowthKiB = MaxRssKiB() - rssBefore;
    return static_cast<double>(lines) / seconds;
}

double PlainWriteThroughput(const std::string& path, std::size_t lines) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string line = std::string(86, 'z') + "\r\n";
    const auto start = Clock::now();
    for (std::size_t i = 0; i < lines; ++i) {
        if (write(fd, line.data(), line.size()) < 0) {
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return static_cast<double>(lines) / seconds;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t sustained = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000000;
    char folder[] = "/tmp/nomvera-log-bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = folder;
    const std::string logPath = base + "/bench.log";
    const std::string plainPath = base + "/plain.txt";

    std::printf("%-34s %12s %12s\n", "caller cost per line", "median ns", "p99 ns");
    for (std::size_t length : {60u, 220u}) {
        Figures direct = CallerCost(logPath, 1, length, 20000, 1, 0);
        Figures queued = CallerCost(logPath, 2, length, 20000, 500, 20);
        Figures plain = PlainWriteCost(plainPath, length, 20000);
        std::printf("direct mode, %3zu characters       %12.0f %12.0f\n", length, direct.medianNs,
                    direct.p99Ns);
        std::printf("queued mode, %3zu characters       %12.0f %12.0f\n", length, queued.medianNs,
                    queued.p99Ns);
        std::printf("plain write(2), %3zu characters    %12.0f %12.0f\n", length, plain.medianNs,
                    plain.p99Ns);
    }

    long rssGrowth = 0;
    const double queuedRate = QueuedThroughput(logPath, sustained, rssGrowth);
    const double plainRate = PlainWriteThroughput(plainPath, sustained);
    std::printf("\nsustained, %zu lines of 60 characters\n", sustained);
    std::printf("queued writer (until Close returns)  %12.0f lines/s\n", queuedRate);
    std::printf("plain write(2) per line              %12.0f lines/s\n", plainRate);
    std::printf("peak memory growth during the run    %12ld KiB\n", rssGrowth);

    unlink(logPath.c_str());
    unlink(plainPath.c_str());
    unlink((base + "/bench.utf8.log").c_str());
    rmdir(folder);
    return 0;
}
