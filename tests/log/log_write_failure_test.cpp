// A disk that refuses writes part-way through a line: the file-size limit of
// the process makes the kernel cut writes short, as a full disk would.
#include "platform/wide_text.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace nomvera::test {
namespace {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // a refused write fails instead of ending the process
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
};

TEST(LogWriteFailure, ALineTheDiskRefusedIsWrittenOverAndLeavesNoGap) {
    LogFolderFixture files;
    auto log = LogFolderFixture::Open(files.Given(), kDirect);
    ASSERT_TRUE(log->IsActive());
    log->WriteInfo(WIDE("before the disk filled up"));
    const std::uint64_t before = ReadLogFile(files.OnDisk()).position;
    {
        FileSizeLimit full(before + 40); // the next line gets cut short
        const WideString shown = log->WriteInfo(WIDE("refused: ") + WideString(100, WIDE('r')));
        EXPECT_EQ(shown.substr(23, 12), WIDE("|I|refused: ")); // still returned, never raised
        log->WriteWarning(WIDE("refused as well"));
    }
    log->WriteInfo(WIDE("after the disk had room again"));
    log->Close();

    const LogFileView view = ReadLogFile(files.OnDisk());
    ASSERT_TRUE(view.headerValid);
    ASSERT_TRUE(view.linesComplete);
    EXPECT_EQ(view.bytes.find('\0'), std::string::npos) << "a gap of zero bytes";
    ASSERT_EQ(view.lines.size(), 4u);
    EXPECT_EQ(AfterStamp(view.lines[1]), "|I|before the disk filled up");
    EXPECT_EQ(AfterStamp(view.lines[2]), "|I|after the disk had room again");
    EXPECT_EQ(AfterStamp(view.lines[3]), " Log stopped");
}

TEST(LogWriteFailure, AHeaderBehindTheEndOfTheFileIsNotFollowed) {
    // What a run that lost its last lines to a full disk would leave behind.
    LogFolderFixture files;
    WriteLogFile(files.OnDisk(), std::string("\xEF\xBB\xBF") + "       5000\r\n" + "short\r\n");
    auto log = LogFolderFixture::Open(files.Given(), kDirect);
    log->Close();
    const LogFileView view = ReadLogFile(files.OnDisk());
    EXPECT_EQ(view.bytes.find('\0'), std::string::npos);
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[0].substr(view.lines[0].size() - 7), "][1] 16");
}

} // namespace
} // namespace nomvera::test
