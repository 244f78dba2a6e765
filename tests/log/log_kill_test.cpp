// A process that logs without end is killed at random moments; whatever the
// moment, the file must stay a readable ring that the next run continues.
#include "tests/common/child_process.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

namespace nomvera::test {
namespace {

TEST(LogKill, AFileLeftByAKilledWriterIsReadableAndContinuedByTheNextRun) {
    LogFolderFixture files("nomvera-log-kill");
    const std::string program = ProgramBesideTest("log_kill_child");
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(3000, 60000); // microseconds
    // The kill moments count from when a writer may have begun to write: the
    // first round measures how long a start takes here (under Wine, or with
    // a sanitizer's start-up, longer than every pause) and lets that first
    // writer make the file, so the rounds after it have one to check.
    auto startTime = std::chrono::microseconds(0);

    int checked = 0;
    for (int round = 0; round < 60; ++round) {
        const char* mode = round % 2 == 0 ? "1" : "2";
        const auto started = std::chrono::steady_clock::now();
        KillableProgram child({program, files.Given(), mode});
        ASSERT_TRUE(child.Started()) << "round " << round << ": error " << child.StartError();
        for (int wait = 0; round == 0 && wait < 1000 && !std::filesystem::exists(files.OnDisk());
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (round == 0) {
            // A first start under Wine also makes its prefix's services:
            // later starts are quicker, so the offset has a ceiling.
            startTime = std::min(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - started),
                                 std::chrono::microseconds(250000));
        }
        std::this_thread::sleep_for(startTime + std::chrono::microseconds(pause(random)));
        ASSERT_TRUE(child.KillAndWait()) << "the child ended on its own";

        if (!std::filesystem::exists(files.OnDisk())) {
            continue; // killed before it made the file
        }
        const LogFileView view = ReadLogFile(files.OnDisk());
        ASSERT_TRUE(view.headerValid) << "round " << round;
        ASSERT_GE(view.position, 16u);
        ASSERT_LE(view.position, view.bytes.size()) << "round " << round;
        ASSERT_LE(view.bytes.size(), 20u * 1024);
        ASSERT_TRUE(view.linesComplete) << "round " << round << ": header not at a line end";
        for (const std::string& line : view.lines) {
            ASSERT_TRUE(StartsWithTimeStamp(line) || line.rfind(std::string(23, ' ') + "|", 0) == 0)
                << "round " << round << ": not a whole line: " << line;
        }

        auto next = LogFolderFixture::Open(files.Given(), 1, 20);
        ASSERT_TRUE(next->IsActive()) << "round " << round << ": the file is still locked";
        next->Close();
        // The next run's start line stands at the recorded position, or behind
        // the header when it did not fit in front of the limit.
        const LogFileView after = ReadLogFile(files.OnDisk());
        auto isStartLineAt = [](const std::string& line, std::uint64_t offset) {
            const std::string tail = "][1] " + std::to_string(offset);
            return StartsWithTimeStamp(line) && AfterStamp(line).rfind(" Log Started[", 0) == 0 &&
                   line.size() > tail.size() && line.substr(line.size() - tail.size()) == tail;
        };
        const std::string atPosition = after.bytes.substr(view.position);
        const bool continued =
            isStartLineAt(atPosition.substr(0, atPosition.find("\r\n")), view.position);
        const bool wrapped = !after.lines.empty() && isStartLineAt(after.lines.front(), 16);
        ASSERT_TRUE(continued || wrapped)
            << "round " << round << ": no start line at " << view.position;
        ++checked;
    }
    EXPECT_GE(checked, 50);
}

} // namespace
} // namespace nomvera::test
