#include "log/log_text.h"
#include "platform/process.h"
#include "platform/wide_text.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#if defined(_WIN32)
#include <windows.h>

#include <sddl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nomvera::test {
namespace {

using log::TDiagnosticLog;

std::uint64_t FileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

// The last field of a start line: the offset it was written at.
std::string StartOffset(const std::string& line) {
    return line.substr(line.rfind(' ') + 1);
}

class DirectLog : public ::testing::Test, protected LogFolderFixture {};

TEST_F(DirectLog, FirstRunCreatesTheFolderChainTheHeaderAndTheStartLine) {
    const std::string given = Folder() / "a/b/c/kelRostery.log";
    auto log = Open(given, kDirect);
    ASSERT_TRUE(log->IsActive());
    const std::string onDisk = Folder() / "a/b/c/kelRostery.utf8.log";
    EXPECT_EQ(log->Path(), Utf16(onDisk));
    log->Close();

    LogFileView view = ReadLogFile(onDisk);
    ASSERT_TRUE(view.headerValid);
    ASSERT_TRUE(view.linesComplete);
    ASSERT_EQ(view.lines.size(), 2u);
    const std::string& start = view.lines[0];
    ASSERT_TRUE(StartsWithTimeStamp(start));
    const std::string expectedFront = " Log Started[" + onDisk + "][YYYYMMDD HH:MM:SS.mSec][UTC:";
    EXPECT_EQ(AfterStamp(start).substr(0, expectedFront.size()), expectedFront);
    EXPECT_NE(start.find("][PID:" + std::to_string(GetCurrentProcessId()) + ":"),
              std::string::npos);
    EXPECT_NE(start.find("][Session:"), std::string::npos);
    EXPECT_EQ(start.substr(start.size() - 7), "][1] 16");
    EXPECT_EQ(AfterStamp(view.lines[1]), " Log stopped");
    EXPECT_EQ(view.position, FileSize(onDisk));
}

#if !defined(_WIN32)
// The flags of this process's open descriptor of path, from /proc; -1 when
// none is open.
long OpenFlagsOf(const std::string& path) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) {
            std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
            std::string key;
            while (info >> key) {
                if (key == "flags:") {
                    std::string octal;
                    info >> octal;
                    return std::stol(octal, nullptr, 8);
                }
            }
        }
    }
    return -1;
}

TEST_F(DirectLog, ANewFileAndItsFoldersAreTheUsersAloneAndNotInherited) {
    const mode_t oldMask = umask(0);
    auto log = Open(Folder() / "a/b/kelRostery.log", kDirect);
    umask(oldMask);
    ASSERT_TRUE(log->IsActive());
    const std::string onDisk = Folder() / "a/b/kelRostery.utf8.log";
    const long flags = OpenFlagsOf(onDisk);
    log->Close();
    EXPECT_NE(flags, -1);
    EXPECT_NE(flags & O_CLOEXEC, 0) << "a program the tool starts would inherit the file";
    for (const std::string& path : {Folder() / "a", Folder() / "a/b", onDisk}) {
        struct stat info {};
        ASSERT_EQ(lstat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_mode & 07777, S_ISDIR(info.st_mode) ? 0700u : 0600u) << path;
    }
}
#endif

TEST_F(DirectLog, ANewRunContinuesAtThePositionTheLastRunLeft) {
    auto first = Open(Given(), kDirect);
    first->WriteInfo(WIDE("first run"));
    first->Close();
    const std::uint64_t end = ReadLogFile(OnDisk()).position;

    auto second = Open(Given(), kDirect);
    second->WriteInfo(WIDE("second run"));
    second->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(AfterStamp(lines[1]), "|I|first run");
    EXPECT_EQ(StartOffset(lines[3]), std::to_string(end));
    EXPECT_EQ(AfterStamp(lines[4]), "|I|second run");
}

// Writes a file whose header records `position` and whose text is `filler`
// repeated from offset 16 up to `size`.
void WriteRing(const std::string& path, std::uint64_t position, std::uint64_t size,
               const std::string& filler) {
    std::string bytes = log::HeaderBytes(position);
    while (bytes.size() < size) {
        bytes += filler;
    }
    bytes.resize(size);
    WriteLogFile(path, bytes);
}

TEST_F(DirectLog, ALineThatDoesNotFitGoesBehindTheHeaderAndTheOldLapStaysBehindIt) {
    const std::uint64_t limit = 20 * 1024;
    WriteRing(OnDisk(), limit - 40, limit - 40, "old lap text\r\n");
    auto log = Open(Given(), kDirect, 20);
    ASSERT_TRUE(log->IsActive());
    log->WriteInfo(WIDE("after the wrap"));

    LogFileView view = ReadLogFile(OnDisk());
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(StartOffset(view.lines[0]), "16"); // the start line itself wrapped
    EXPECT_EQ(AfterStamp(view.lines[1]), "|I|after the wrap");
    EXPECT_EQ(FileSize(OnDisk()), limit - 40);
    EXPECT_NE(view.bytes.find("old lap text", view.position), std::string::npos);
    log->Close();
}

TEST_F(DirectLog, AStartLineThatWrapsStandsAtTheOffsetItNames) {
    const std::uint64_t limit = 20 * 1024;
    auto fresh = Open(Given(), kDirect, 20);
    fresh->Close();
    const std::uint64_t length = LogLines(OnDisk())[0].size() + 2; // naming offset 16
    // Near the last position at which the line still fits, the longer number
    // of the stored position can push it over the limit where "16" would not.
    for (std::uint64_t position = limit - length - 6; position <= limit - length + 1; ++position) {
        std::string old = log::HeaderBytes(position);
        old += std::string(position - 18, 'o') + "\r\n"; // one old line up to the position
        WriteLogFile(OnDisk(), old);
        auto log = Open(Given(), kDirect, 20);
        log->Close();
        const std::string bytes = ReadTextFile(OnDisk());
        const std::size_t at = bytes.find(" Log Started[");
        ASSERT_NE(at, std::string::npos);
        const std::size_t begin = at - 23;
        const std::string line = bytes.substr(begin, bytes.find("\r\n", at) - begin);
        EXPECT_EQ(StartOffset(line), std::to_string(begin)) << "stored position " << position;
    }
}

TEST_F(DirectLog, TheFileNeverGrowsBeyondItsLimit) {
    auto log = Open(Given(), kDirect, 20);
    std::uint64_t previous = 0;
    bool wrapped = false;
    for (int i = 0; i < 400; ++i) {
        log->WriteInfo(WIDE("line ") + Utf16(std::to_string(i)) + WideString(80, WIDE('x')));
        const std::uint64_t now = ReadLogFile(OnDisk()).position;
        wrapped = wrapped || now < previous;
        previous = now;
    }
    log->Close();
    EXPECT_TRUE(wrapped);
    EXPECT_LE(FileSize(OnDisk()), 20u * 1024);
    LogFileView view = ReadLogFile(OnDisk());
    EXPECT_TRUE(view.linesComplete);
    EXPECT_EQ(AfterStamp(view.lines.back()), " Log stopped");
}

struct AboveTheLimit {
    std::uint64_t sizeBefore;
    std::uint64_t sizeAfterOpen;
};

class StoredPositionAboveTheLimit : public DirectLog,
                                    public ::testing::WithParamInterface<AboveTheLimit> {};

// A file longer than the limit is cut there; a shorter one (a damaged or
// foreign header) is never grown to it.
INSTANTIATE_TEST_SUITE_P(Sizes, StoredPositionAboveTheLimit,
                         ::testing::Values(AboveTheLimit{30000, 20 * 1024},
                                           AboveTheLimit{1000, 1000}));

TEST_P(StoredPositionAboveTheLimit, StartsBehindTheHeaderAndCutsOnlyALongerFile) {
    WriteRing(OnDisk(), 30000, GetParam().sizeBefore, "written with a larger limit\r\n");
    auto log = Open(Given(), kDirect, 20);
    EXPECT_EQ(FileSize(OnDisk()), GetParam().sizeAfterOpen);
    log->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(StartOffset(lines[0]), "16");
    EXPECT_EQ(ReadTextFile(OnDisk()).find('\0'), std::string::npos);
}

class DamagedHeader : public DirectLog, public ::testing::WithParamInterface<std::string> {};

INSTANTIATE_TEST_SUITE_P(Headers, DamagedHeader,
                         ::testing::Values(std::string("no mark    900\r\n"),
                                           std::string("\xEF\xBB\xBF"
                                                       "           \r\n"),
                                           std::string("\xEF\xBB\xBF"
                                                       "          7\r\n"),
                                           // points behind the end of the file
                                           std::string("\xEF\xBB\xBF"
                                                       "      99999\r\n"),
                                           std::string("\xEF\xBB\xBF")));

TEST_P(DamagedHeader, StartsWritingBehindTheHeader) {
    std::string bytes = GetParam();
    if (bytes.size() == 16) {
        bytes += std::string(4000, 'z');
    }
    WriteLogFile(OnDisk(), bytes);
    auto log = Open(Given(), kDirect);
    ASSERT_TRUE(log->IsActive());
    log->Close();
    LogFileView view = ReadLogFile(OnDisk());
    ASSERT_TRUE(view.headerValid);
    ASSERT_GE(view.lines.size(), 2u);
    EXPECT_EQ(StartOffset(view.lines[0]), "16");
    if (bytes.size() > 16) {
        EXPECT_EQ(view.bytes.substr(view.position, 10), std::string(10, 'z'));
    }
}

TEST_F(DirectLog, LongMessagesAreSplitInto220CharacterPieces) {
    auto log = Open(Given(), kDirect);
    WideString message;
    for (int i = 0; i < 500; ++i) {
        message += static_cast<WCHAR>(WIDE('a') + i % 26);
    }
    const WideString returned = log->WriteInfo(message);
    log->Close();
    EXPECT_EQ(returned.substr(23), WIDE("|I|") + message.substr(0, 220));

    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 5u);
    const std::string text = Utf8(message);
    EXPECT_EQ(lines[1].substr(0, 26), Utf8(returned.substr(0, 26)));
    EXPECT_EQ(AfterStamp(lines[1]), "|I|" + text.substr(0, 220));
    EXPECT_EQ(lines[2], std::string(23, ' ') + "|I|" + text.substr(220, 220));
    EXPECT_EQ(lines[3], std::string(23, ' ') + "|I|" + text.substr(440, 60));
}

TEST_F(DirectLog, CrLfSplitsAMessageAndEmptyPiecesGiveNoLine) {
    auto log = Open(Given(), kDirect);
    const WideString returned = log->WriteWarning(WIDE("A\r\n\r\nB"));
    log->WriteError(WIDE("\r\nfirst\r\nsecond\r\n"));
    log->Close();
    EXPECT_EQ(returned.substr(23), WIDE("|W|A\r\n\r\nB")); // the window gets it whole

    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(AfterStamp(lines[1]), "|W|A");
    EXPECT_EQ(lines[2], std::string(23, ' ') + "|W|B");
    EXPECT_EQ(lines[3], std::string(23, ' ') + "|E|first"); // the stamp went to no piece
    EXPECT_EQ(lines[4], std::string(23, ' ') + "|E|second");
}

TEST_F(DirectLog, APieceNeverEndsInsideASurrogatePair) {
    auto log = Open(Given(), kDirect);
    const WideString message = WideString(219, WIDE('x')) + WIDE("\U0001F600") + WIDE("tail");
    log->WriteInfo(message);
    log->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(AfterStamp(lines[1]), "|I|" + std::string(219, 'x'));
    EXPECT_EQ(lines[2], std::string(23, ' ') + "|I|\xF0\x9F\x98\x80tail");
}

TEST_F(DirectLog, ALoneSurrogateIsWrittenAsAReplacementCharacter) {
    auto log = Open(Given(), kDirect);
    log->WriteInfo(WideString(WIDE("bad ")) + WCHAR(0xDBFF) + WIDE(" unit"));
    log->Close();
    EXPECT_EQ(AfterStamp(LogLines(OnDisk())[1]), "|I|bad \xEF\xBF\xBD unit");
}

TEST_F(DirectLog, RepeatsAreSummarisedWithTheStampOfTheLatestRepeat) {
    auto log = Open(Given(), kDirect);
    std::vector<WideString> returned;
    for (int i = 0; i < 3; ++i) {
        returned.push_back(log->WriteInfo(WIDE("same")));
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // distinct stamps
    }
    returned.push_back(log->WriteInfo(WIDE("other")));
    for (std::size_t i = 0; i < returned.size(); ++i) {
        EXPECT_TRUE(StartsWithTimeStamp(Utf8(returned[i])));
        EXPECT_EQ(returned[i].substr(23), i < 3 ? WIDE("|I|same") : WIDE("|I|other"));
    }
    EXPECT_NE(returned[0].substr(0, 23), returned[2].substr(0, 23));
    log->WriteWarning(WIDE("warned"));
    log->WriteWarning(WIDE("warned"));
    log->WriteError(WIDE("error after a repeated warning"));
    log->WriteError(WIDE("closing repeat"));
    log->WriteError(WIDE("closing repeat"));
    log->Close();

    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(AfterStamp(lines[1]), "|I|same");
    EXPECT_EQ(lines[2], Utf8(returned[2]) + " [3x]");
    EXPECT_EQ(AfterStamp(lines[3]), "|I|other");
    EXPECT_EQ(AfterStamp(lines[4]), "|W|warned");
    EXPECT_EQ(AfterStamp(lines[5]), "|W|warned [2x]");
    EXPECT_EQ(AfterStamp(lines[6]), "|E|error after a repeated warning");
    EXPECT_EQ(AfterStamp(lines[7]), "|E|closing repeat");
    EXPECT_EQ(AfterStamp(lines[8]), "|E|closing repeat [2x]"); // written by Close
    EXPECT_EQ(AfterStamp(lines[9]), " Log stopped");
}

TEST_F(DirectLog, ASummaryCutsTheTextTo210Characters) {
    auto log = Open(Given(), kDirect);
    const WideString message(300, WIDE('r'));
    log->WriteInfo(message);
    log->WriteInfo(message);
    log->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(AfterStamp(lines[3]), "|I|" + std::string(210, 'r') + " [2x]");
}

TEST_F(DirectLog, BlockMarkersAreNeverSuppressedAndIndentTheLinesBetween) {
    auto log = Open(Given(), kDirect);
    log->WriteInfo(WIDE("Begin: Create"));
    log->WriteInfo(WIDE("Begin: Create"));
    const WideString inside = log->WriteInfo(WIDE("inside"));
    const WideString endpoint = log->WriteError(WIDE("Endpoint not found"));
    log->WriteInfo(WIDE("step|begin of a nested block"));
    log->WriteInfo(WIDE("end: nested"));
    log->WriteInfo(WIDE("End: Create"));
    log->WriteInfo(WIDE("End: nothing left to close"));
    log->WriteInfo(WIDE("outside"));
    log->Close();
    EXPECT_EQ(inside.substr(23), WIDE("|I|..inside"));
    EXPECT_EQ(endpoint.substr(23), WIDE("|E|..Endpoint not found")); // formed before the END rule

    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 11u);
    const char* expected[] = {"|I|Begin: Create",
                              "|I|.Begin: Create",
                              "|I|..inside",
                              "|E|.Endpoint not found",
                              "|I|.step|begin of a nested block",
                              "|I|.end: nested",
                              "|I|End: Create",
                              "|I|End: nothing left to close",
                              "|I|outside"};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(AfterStamp(lines[i + 1]), expected[i]) << "line " << i + 1;
    }
}

TEST_F(DirectLog, TheIndentStopsAtTenDots) {
    auto log = Open(Given(), kDirect);
    for (int i = 0; i < 12; ++i) {
        log->WriteInfo(WIDE("BEGIN level"));
    }
    const WideString deep = log->WriteInfo(WIDE("deep"));
    log->Close();
    EXPECT_EQ(deep.substr(23), WIDE("|I|..........deep"));
    const std::vector<std::string> lines = LogLines(OnDisk());
    EXPECT_EQ(AfterStamp(lines[12]), "|I|..........BEGIN level");
}

TEST_F(DirectLog, AnEmptyMessageWritesNothingAndLeavesPendingRepeatsAlone) {
    auto log = Open(Given(), kDirect);
    log->WriteInfo(WIDE("twice"));
    log->WriteInfo(WIDE("twice"));
    const std::uint64_t before = ReadLogFile(OnDisk()).position;
    EXPECT_EQ(log->WriteInfo(WIDE("")), WIDE(""));
    EXPECT_EQ(log->WriteError(WIDE("")), WIDE(""));
    EXPECT_EQ(ReadLogFile(OnDisk()).position, before);
    log->WriteInfo(WIDE("twice")); // still the same pending message
    log->Close();
    EXPECT_EQ(AfterStamp(LogLines(OnDisk())[2]), "|I|twice [3x]");
}

TEST_F(DirectLog, AnInactiveLogReturnsLinesAndWritesNothing) {
    WriteTextFile(Folder() / "blocker", "a file where a folder should be");
    auto log = Open(Folder() / "blocker/sub/kelRostery.log", kDirect);
    EXPECT_FALSE(log->IsActive());
    EXPECT_EQ(log->WriteInfo(WIDE("Begin: x")).substr(23), WIDE("|I|Begin: x"));
    EXPECT_EQ(log->WriteInfo(WIDE("inside")).substr(23), WIDE("|I|inside")); // indent untouched
    EXPECT_EQ(log->WriteInfoAnsi("eight-bit").substr(23), "|I|eight-bit");
    log->Close();
    EXPECT_EQ(ReadTextFile(Folder() / "blocker"), "a file where a folder should be");
}

TEST_F(DirectLog, ASecondWriterOfTheSameFileIsInactiveAndChangesNothing) {
    auto first = Open(Given(), kDirect);
    first->WriteInfo(WIDE("from the first writer"));
    const std::string before = ReadTextFile(OnDisk());
    auto second = Open(Given(), kDirect);
    EXPECT_TRUE(first->IsActive());
    EXPECT_FALSE(second->IsActive());
    second->WriteInfo(WIDE("from the second writer"));
    second->Close();
    EXPECT_EQ(ReadTextFile(OnDisk()), before);
    first->WriteInfo(WIDE("first goes on"));
    first->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(AfterStamp(lines[2]), "|I|first goes on");
}

TEST_F(DirectLog, AnsiOperationsConvertBothWays) {
    auto log = Open(Given(), kDirect);
    EXPECT_EQ(log->WriteInfoAnsi("caf\xC3\xA9").substr(23), "|I|caf\xC3\xA9");
    EXPECT_EQ(log->WriteErrorAnsi("bad").substr(23), "|E|bad");
    log->Close();
    const std::vector<std::string> lines = LogLines(OnDisk());
    EXPECT_EQ(AfterStamp(lines[1]), "|I|caf\xC3\xA9");
    EXPECT_EQ(AfterStamp(lines[2]), "|E|bad");
}

// A file left where the log goes that other accounts may read is not used,
// and the reason names what the system shows of that access.
TEST_F(DirectLog, AnExistingFileOthersCanReadIsRefusedWithWhatTheyMayDo) {
    WriteLogFile(OnDisk(), std::string(log::kHeaderSize, ' '));
#if defined(_WIN32)
    // The owner may do everything, Everyone may read (FILE_GENERIC_READ).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;OW)(A;;0x120089;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    const BOOL set =
        SetFileSecurityW(ToWide(OnDisk()).c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    ASSERT_TRUE(set);
#else
    ASSERT_EQ(chmod(OnDisk().c_str(), 0644), 0);
#endif
    const std::string before = ReadTextFile(OnDisk());
    auto log = Open(Given(), kDirect);
    EXPECT_FALSE(log->IsActive());
    const std::string lead =
        "Log file not written [" + OnDisk() + "]: other accounts have access to it (";
    const std::string reason = Utf8(log->InactiveReason());
    ASSERT_EQ(reason.substr(0, lead.size()), lead);
    const std::string access = reason.substr(lead.size());
#if defined(_WIN32)
    // Wine keeps an access list only as the file's POSIX mode and reports
    // the mask made back from it, so the exact mask is the system's; it has
    // eight hex digits and grants reading.
    ASSERT_EQ(access.size(), std::string("access mask 0x00000000)").size()) << access;
    ASSERT_EQ(access.substr(0, 14), "access mask 0x");
    EXPECT_NE(std::stoul(access.substr(14, 8), nullptr, 16) & FILE_READ_DATA, 0u) << access;
#else
    EXPECT_EQ(access, "mode 0644)");
#endif
    log->WriteInfo(WIDE("not written"));
    log->Close();
    EXPECT_EQ(ReadTextFile(OnDisk()), before);
}

} // namespace
} // namespace nomvera::test
