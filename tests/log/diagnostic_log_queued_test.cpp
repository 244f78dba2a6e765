#include "log/log_os.h"
#include "log/md5.h"
#include "platform/process.h"
#include "platform/system_call.h"
#include "platform/wide_text.h"
#include "support/text.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nomvera::test {
namespace {

using log::TDiagnosticLog;

std::size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
        return l.find(part) != std::string::npos;
    }));
}

// Every numbered message "n <i>" for i in [0, count) appears exactly once,
// in order.
void ExpectAllNumbered(const std::vector<std::string>& lines, int count) {
    int next = 0;
    for (const std::string& line : lines) {
        const auto at = line.find("|I|n ");
        if (at != std::string::npos) {
            ASSERT_EQ(line.substr(at + 5), std::to_string(next)) << "out of order or lost";
            ++next;
        }
    }
    EXPECT_EQ(next, count);
}

// The closing lines of a queued run: wait line, batch statistics, stop line.
void ExpectQueuedRunEnd(const std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 3u);
    const std::size_t n = lines.size();
    EXPECT_EQ(AfterStamp(lines[n - 3]).substr(0, 15), "|I|Wait(mSec): ");
    EXPECT_EQ(AfterStamp(lines[n - 2]).substr(0, 13), "|I|CNTin1GO: ");
    EXPECT_EQ(AfterStamp(lines[n - 1]), " Log stopped");
}

class QueuedLog : public ::testing::Test, protected LogFolderFixture {
protected:
#if !defined(_WIN32)
    void TearDown() override {
        platform::sys::test_seam::Reset();
    }
#endif
};

TEST_F(QueuedLog, AutomaticModeOnThisSystemQueuesAndEndsWithTheClosingLines) {
    auto log = Open(Given(), 0);
    ASSERT_TRUE(log->IsActive());
    log->WriteInfo(WIDE("Begin: Create"));
    log->WriteInfo(WIDE("queued line"));
    log->WriteInfo(WIDE("End: Create"));
    log->Close();

    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 7), "][M] 16");
    EXPECT_EQ(AfterStamp(lines[1]), "|I|Begin: Create");
    EXPECT_EQ(AfterStamp(lines[2]), "|I|.queued line");
    EXPECT_EQ(AfterStamp(lines[3]), "|I|End: Create");
    EXPECT_EQ(AfterStamp(lines[4]), "|I|Wait(mSec): 0");
    ExpectQueuedRunEnd(lines);
    // Largest batch, the event's handle number (not 0: the event exists), its time.
    // The handle is a small per-process number, as on Windows, never an address.
    const std::string statistics = AfterStamp(lines[5]).substr(13);
    const auto firstBlank = statistics.find(' ');
    const auto secondBlank = statistics.find(' ', firstBlank + 1);
    EXPECT_GE(std::stoi(statistics.substr(0, firstBlank)), 1);
    const std::string handle = statistics.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    EXPECT_NE(handle, "0");
    EXPECT_LE(handle.size(), 6u) << handle;
    EXPECT_EQ(std::stoll(handle) % 4, 0) << handle;
    EXPECT_TRUE(StartsWithTimeStamp(statistics.substr(secondBlank + 1)));
}

TEST_F(QueuedLog, TheWakeUpEventIsNamedAfterTheDigestOfThePath) {
    auto log = Open(Given(), kQueued);
    const std::string name = "G" + log::Md5Hex(OnDisk());
    ASSERT_EQ(name.size(), 33u);
    DWORD error = 0;
    EXPECT_NE(log::os::TWakeEvent::Open(name, error), nullptr) << "no event named " << name;
    log->Close();

    auto again = Open(Given(), kQueued); // the same name in every run
    EXPECT_NE(log::os::TWakeEvent::Open(name, error), nullptr);
    again->Close();
}

TEST_F(QueuedLog, CloseWritesEveryLineStillQueued) {
    auto log = Open(Given(), kQueued);
    for (int i = 0; i < 900; ++i) {
        log->WriteInfo(WIDE("n ") + Utf16(std::to_string(i)));
    }
    log->Close(); // at once, with most lines still in the queue
    const std::vector<std::string> lines = LogLines(OnDisk());
    ExpectAllNumbered(lines, 900);
    ExpectQueuedRunEnd(lines);
}

TEST_F(QueuedLog, AnOwnerLetGoWithoutCloseClosesTheLog) {
    for (const std::uint8_t mode : {kDirect, kQueued}) {
        Open(Given(), mode)->WriteInfo(WIDE("n 0"));
        const std::vector<std::string> lines = LogLines(OnDisk());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(AfterStamp(lines.back()), " Log stopped") << "mode " << int{mode};
    }
}

// A slow or stalled disk and failing event creation come from the POSIX
// system-call seam; Windows' own calls cannot be made so.
#if !defined(_WIN32)
using platform::sys::TCall;
namespace test_seam = platform::sys::test_seam;

TEST_F(QueuedLog, ASlowWriterMakesCallersWaitAndLosesNoLine) {
    test_seam::Delay(TCall::Write, 1);
    auto log = Open(Given(), kQueued);
    const ULONGLONG started = GetTickCount64();
    for (int i = 0; i < 2500; ++i) {
        log->WriteInfo(WIDE("n ") + Utf16(std::to_string(i)));
    }
    const ULONGLONG spent = GetTickCount64() - started;
    log->Close();
    test_seam::Delay(TCall::Write, 0);

    const std::vector<std::string> lines = LogLines(OnDisk());
    ExpectAllNumbered(lines, 2500);
    EXPECT_EQ(CountContaining(lines, "lines not written"), 0u);
    const std::string wait = AfterStamp(lines[lines.size() - 3]);
    ASSERT_EQ(wait.substr(0, 15), "|I|Wait(mSec): ");
    const long waited = std::stol(wait.substr(15));
    EXPECT_GT(waited, 0);
    EXPECT_LE(static_cast<ULONGLONG>(waited), spent + 50);
}

TEST_F(QueuedLog, ALineThatFindsTheQueueFullAfterTheLongestWaitIsCountedAndReported) {
    // A stalled disk: one write takes longer than a caller ever waits.
    auto log = Open(Given(), kQueued);
    test_seam::Delay(TCall::Write, 3500);
    const ULONGLONG started = GetTickCount64();
    for (int i = 0; i < 1001; ++i) {
        log->WriteInfo(WIDE("n ") + Utf16(std::to_string(i)));
    }
    const ULONGLONG spent = GetTickCount64() - started;
    test_seam::Delay(TCall::Write, 0);
    log->Close();

    const std::vector<std::string> lines = LogLines(OnDisk());
    const std::size_t reported = CountContaining(lines, "|W|Queue full, lines not written: ");
    ASSERT_EQ(reported, 1u);
    const auto notice = std::find_if(lines.begin(), lines.end(), [](const auto& l) {
        return l.find("lines not written") != std::string::npos;
    });
    const int dropped = std::stoi(notice->substr(notice->rfind(' ') + 1));
    EXPECT_GE(dropped, 1);
    // Every line the queue took is in the file; only the counted ones are not.
    EXPECT_EQ(CountContaining(lines, "|I|n "), 1001u - static_cast<std::size_t>(dropped));
    EXPECT_TRUE(ReadLogFile(OnDisk()).linesComplete);
    EXPECT_GE(spent, 6000u); // two full waits before the first line was given up
}

TEST_F(QueuedLog, AWriterStillBusyAfterTheLongestWaitFinishesTheFileAlone) {
    auto log = Open(Given(), kQueued);
    test_seam::Delay(TCall::Write, 2500); // four writes outlast Close's 5 s
    log->WriteInfo(WIDE("n 0"));
    const ULONGLONG started = GetTickCount64();
    log.reset();
    EXPECT_LT(GetTickCount64() - started, 6500u) << "Close waited past its bound";
    test_seam::Delay(TCall::Write, 0);
    // The thread runs on alone and ends the run in the file.
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
        lines = LogLines(OnDisk());
        if (!lines.empty() && AfterStamp(lines.back()) == " Log stopped") {
            break;
        }
        Sleep(100);
    }
    ExpectAllNumbered(lines, 1);
    ExpectQueuedRunEnd(lines);
}

TEST_F(QueuedLog, WithoutAWakeUpEventTheThreadPollsAfterTenErrorPasses) {
    test_seam::FailNext(TCall::WakeEvent, 100, ENOMEM); // creation and every retry
    auto log = Open(Given(), kQueued);
    ASSERT_TRUE(log->IsActive());
    for (int i = 0; i < 30; ++i) {
        log->WriteInfo(WIDE("n ") + Utf16(std::to_string(i)));
        Sleep(100); // 3 s: long enough for more than ten error passes
    }
    log->Close();
    test_seam::FailNext(TCall::WakeEvent, 0, 0);

    const std::vector<std::string> lines = LogLines(OnDisk());
    ExpectAllNumbered(lines, 30);
    EXPECT_EQ(CountContaining(lines, "|dwRW : "), 10u);
    EXPECT_EQ(CountContaining(lines, "|dwRST: "), 10u);
    EXPECT_EQ(CountContaining(lines, "|dwRW2: "), 10u);
    const std::string notFound = support::SystemMessageText(ERROR_FILE_NOT_FOUND);
    const std::string success = support::SystemMessageText(ERROR_SUCCESS);
    for (const std::string& line : lines) {
        if (line.find("|dwRW : ") != std::string::npos) {
            EXPECT_TRUE(line.rfind("E|", 0) == 0 && line[14] == '|') << line;
            EXPECT_EQ(line.substr(15), "dwRW : 0 " + notFound);
        } else if (line.find("|dwRST: ") != std::string::npos) {
            EXPECT_EQ(line.substr(15), "dwRST: " + success);
        } else if (line.find("|dwRW2: ") != std::string::npos) {
            EXPECT_EQ(line.substr(15), "dwRW2: 0 " + notFound);
        }
    }
    const std::string statistics = AfterStamp(lines[lines.size() - 2]);
    EXPECT_NE(statistics.find(" 0 "), std::string::npos) << "no event when the thread started";
}

TEST_F(QueuedLog, WithoutAWakeUpEventARunStillEndsWithTheClosingLines) {
    // The thread is between error passes when Close asks it to stop; the
    // moment within its pass differs from run to run.
    for (int run = 0; run < 8; ++run) {
        test_seam::FailNext(TCall::WakeEvent, 100, ENOMEM);
        auto log = Open(Given(), kQueued);
        log->WriteInfo(WIDE("n 0"));
        Sleep(static_cast<DWORD>(run * 25));
        log->Close();
        const std::vector<std::string> lines = LogLines(OnDisk());
        const auto start = std::find_if(lines.rbegin(), lines.rend(), [](const auto& l) {
            return l.find(" Log Started[") != std::string::npos;
        });
        ASSERT_NE(start, lines.rend());
        const std::vector<std::string> thisRun(start.base() - 1, lines.end());
        ExpectAllNumbered(thisRun, 1);
        ExpectQueuedRunEnd(thisRun);
        ASSERT_FALSE(HasFailure()) << "run " << run;
    }
}

TEST_F(QueuedLog, AnEventRecreatedByTheLogIsFoundAgainByTheThread) {
    test_seam::FailNext(TCall::WakeEvent, 1, ENOMEM); // only the first creation
    auto log = Open(Given(), kQueued);
    log->WriteInfo(WIDE("n 0")); // creates the event again
    Sleep(400);
    log->WriteInfo(WIDE("n 1"));
    log->Close();

    const std::vector<std::string> lines = LogLines(OnDisk());
    ExpectAllNumbered(lines, 2);
    ASSERT_EQ(CountContaining(lines, "|dwRW2: "), 1u);
    const auto reopened = std::find_if(lines.begin(), lines.end(), [](const auto& l) {
        return l.find("|dwRW2: ") != std::string::npos;
    });
    EXPECT_EQ(reopened->find("dwRW2: 0 "), std::string::npos) << *reopened;
    EXPECT_NE(reopened->find(support::SystemMessageText(ERROR_SUCCESS)), std::string::npos);
}

#endif

TEST_F(QueuedLog, AnInactiveLogQueuesNothingAndCloseStillStopsTheThread) {
    WriteTextFile(Folder() / "blocker", "not a folder");
    auto log = Open(Folder() / "blocker/kelRostery.log", kQueued);
    EXPECT_FALSE(log->IsActive());
    EXPECT_EQ(log->WriteInfo(WIDE("shown only")).substr(23), WIDE("|I|shown only"));
    const ULONGLONG started = GetTickCount64();
    log->Close();
    EXPECT_LT(GetTickCount64() - started, 2000u);
    EXPECT_EQ(ReadTextFile(Folder() / "blocker"), "not a folder");
}

TEST_F(QueuedLog, ASecondWriterOfTheSameFileIsInactive) {
    auto first = Open(Given(), kQueued);
    auto second = Open(Given(), kQueued);
    EXPECT_TRUE(first->IsActive());
    EXPECT_FALSE(second->IsActive());
    second->WriteInfo(WIDE("never written"));
    second->Close();
    first->WriteInfo(WIDE("n 0"));
    first->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ExpectAllNumbered(lines, 1);
    EXPECT_EQ(CountContaining(lines, "never written"), 0u);
    EXPECT_EQ(CountContaining(lines, " Log Started["), 1u);
}

TEST_F(QueuedLog, RepeatSummariesAndIndentWorkAsInDirectMode) {
    auto log = Open(Given(), kQueued);
    log->WriteInfo(WIDE("Begin: x"));
    log->WriteWarning(WIDE("again"));
    log->WriteWarning(WIDE("again"));
    log->WriteInfo(WIDE("End: x"));
    log->WriteError(WIDE("pending at close"));
    log->WriteError(WIDE("pending at close"));
    log->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(AfterStamp(lines[2]), "|W|.again");
    EXPECT_EQ(AfterStamp(lines[3]), "|W|.again [2x]");
    EXPECT_EQ(AfterStamp(lines[4]), "|I|End: x");
    EXPECT_EQ(AfterStamp(lines[6]), "|E|pending at close [2x]");
    ExpectQueuedRunEnd(lines);
}

} // namespace
} // namespace nomvera::test
