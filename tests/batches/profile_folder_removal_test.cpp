#include "batches/profile_folder_removal.h"

#include "log/diagnostic_log.h"
#include "platform/find.h"
#include "platform/folder_walk.h"
#include "platform/wide_text.h"
#include "support/text.h"
#include "tests/batches/tree_helpers.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace nomvera::test {
namespace {

using batches::DeleteFilesInSubdirW;
using support::SystemMessageText;
using support::WidenText;

constexpr uid_t kNobody = 65534;

WideString W(const std::string& text) {
    return WidenText(text);
}

std::string EndLine(unsigned failures) {
    return "End DeleteFilesInSubdirW #errors: " + std::to_string(failures);
}

std::string FailureLine(const std::string& what, const std::string& path, DWORD code) {
    return what + path + " " + SystemMessageText(code);
}

std::size_t FailureLineCount(const std::vector<std::string>& lines) {
    std::size_t count = 0;
    for (const auto& line : lines) {
        if (line.find("DeleteFile(") != std::string::npos ||
            line.find("RemoveDirectory(") != std::string::npos) {
            ++count;
        }
    }
    return count;
}

void ChownTree(const std::string& path, uid_t uid) {
    lchown(path.c_str(), uid, uid);
    if (!IsFolder(path)) {
        return;
    }
    DIR* dir = opendir(path.c_str());
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    for (const auto& name : names) {
        ChownTree(path + "/" + name, uid);
    }
}

// The position of the first line of message in lines: the log file holds a
// long message in pieces of 220 characters, the later ones on continuation
// lines. -1 if it is not there.
int FindMessage(const std::vector<std::string>& lines, const std::string& message) {
    const WideString text = W(message);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size(); at += 220) {
        pieces.push_back(support::NarrowText(text.substr(at, 220)));
    }
    for (int i = FindLine(lines, pieces.at(0)); i >= 0; i = FindLine(lines, pieces[0], i + 1)) {
        bool whole = true;
        for (std::size_t k = 1; k < pieces.size() && whole; ++k) {
            const auto at = static_cast<std::size_t>(i) + k;
            whole = at < lines.size() && lines[at].rfind("                       |E|", 0) == 0 &&
                    FindLine({lines[at]}, pieces[k]) == 0;
        }
        if (whole) {
            return i;
        }
    }
    return -1;
}

// The peak resident size of the process (VmHWM), in KiB; -1 when unknown.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Runs body in a forked child and gives how far the child's peak resident
// size rose while body ran, in KiB; -1 when it could not be measured. The
// child starts its peak afresh (a fork inherits the parent's).
long PeakGrowthKiB(const std::function<void()>& body) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        long growth = -1;
        if (std::ofstream("/proc/self/clear_refs") << "5" << std::flush) {
            const long before = PeakResidentKiB();
            body();
            const long after = PeakResidentKiB();
            growth = before < 0 || after < 0 ? -1 : after - before;
        }
        _exit(write(pipeFds[1], &growth, sizeof growth) == sizeof growth ? 0 : 1);
    }
    close(pipeFds[1]);
    long growth = -1;
    if (child < 0 || read(pipeFds[0], &growth, sizeof growth) != sizeof growth) {
        growth = -1;
    }
    close(pipeFds[0]);
    int status = 0;
    if (child > 0) {
        waitpid(child, &status, 0);
    }
    return growth;
}

// Refuses every folder-relative change and remembers what was asked; stands
// in for the file system where a wrong call must not be able to do harm.
class TRefusingFolderChangeDouble : public platform::TFolderChangeSeam {
public:
    std::vector<std::string> calls;
    DWORD Intercept(const char* operation, const WideString& name) override {
        calls.push_back(std::string(operation) + " " + support::NarrowText(name));
        return ERROR_ACCESS_DENIED;
    }
};

class RemovalTest : public ::testing::Test {
protected:
    TempFolder work{"nomvera-removal"};
    std::string start;

    void SetUp() override {
        chmod(work.Path().c_str(), 0755);
        MakeFolder(work / "log", 0777);
        start = work / "profile";
    }

    std::string LogName() const { return work / "log/removal.log"; }

    // The removal with a fresh direct-mode log, then the log file's lines.
    std::vector<std::string> Remove(const std::string& path, bool removeRoot, bool allFiles) {
        RemoveWithLog(path, removeRoot, allFiles);
        return Lines();
    }
    void RemoveWithLog(const std::string& path, bool removeRoot, bool allFiles,
                       std::int64_t logSizeKiB = 1024) const {
        auto log = log::TDiagnosticLog::Create(W(LogName()), logSizeKiB, 1);
        DeleteFilesInSubdirW(W(path), log.get(), removeRoot, allFiles);
        log->Close();
    }
    std::vector<std::string> Lines() const { return LogFileLines(work / "log/removal.utf8.log"); }

    // Only the removal's own lines, from its Begin line to its End line.
    std::vector<std::string> RemovalLines() const {
        const auto lines = Lines();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find("Begin DeleteFilesInSubdirW: ") != std::string::npos) {
                std::size_t end = i;
                while (end < lines.size() &&
                       lines[end].find("End DeleteFilesInSubdirW #errors: ") == std::string::npos) {
                    ++end;
                }
                const auto last = end < lines.size() ? end + 1 : end;
                return {lines.begin() + static_cast<std::ptrdiff_t>(i),
                        lines.begin() + static_cast<std::ptrdiff_t>(last)};
            }
        }
        return {};
    }

    void MakeReadOnlyTree(const std::string& root) {
        MakeFolder(root);
        MakeFile(root + "/a.txt", "a", 0444);
        MakeFolder(root + "/sub");
        MakeFile(root + "/sub/b.txt", "b", 0400);
        MakeFolder(root + "/sub/deeper");
        MakeFile(root + "/sub/deeper/c", "c", 0444);
        chmod((root + "/sub/deeper").c_str(), 0500);
        chmod((root + "/sub").c_str(), 0555);
        chmod(root.c_str(), 0555);
    }
};

TEST_F(RemovalTest, RemovesAReadOnlyTreeWithItsStartFolder) {
    MakeReadOnlyTree(start);
    const auto lines = Remove(start, true, true);

    EXPECT_FALSE(Exists(start));
    EXPECT_EQ(LinesEndingWith(lines, "Begin DeleteFilesInSubdirW: " + start + " [yes yes]").size(),
              1u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(0)).size(), 1u);
    EXPECT_EQ(FailureLineCount(lines), 0u);
}

TEST_F(RemovalTest, OwnerWithoutPrivilegesRemovesItsReadOnlyTree) {
    NOMVERA_SKIP_UNLESS_ROOT();
    // The start folder's own parent must let nobody remove it.
    MakeFolder(work / "owned", 0755);
    ASSERT_EQ(chown((work / "owned").c_str(), kNobody, kNobody), 0);
    start = work / "owned/profile";
    MakeReadOnlyTree(start);
    ChownTree(start, kNobody);
    const int status = RunAsNobody([&] {
        RemoveWithLog(start, true, true);
        return 0;
    });
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(Exists(start));
    EXPECT_EQ(LinesEndingWith(Lines(), EndLine(0)).size(), 1u);
}

TEST_F(RemovalTest, KeepsTheEmptiedStartFolderWithoutRemoveRoot) {
    MakeFolder(start);
    MakeFile(start + "/file");
    MakeFolder(start + "/sub");
    MakeFile(start + "/sub/inner");
    const auto lines = Remove(start + "/", false, true);

    EXPECT_TRUE(IsFolder(start));
    EXPECT_EQ(EntryCount(start), 0u);
    EXPECT_EQ(LinesEndingWith(lines, "[no yes]").size(), 1u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(0)).size(), 1u);
}

TEST_F(RemovalTest, KeepsLogFilesAndTheFoldersAboveThemWithoutAllFiles) {
    MakeFolder(start);
    for (const char* name : {"a.log", "c.log1", "d.txt", "README"}) {
        MakeFile(start + "/" + name);
    }
    MakeFolder(start + "/sub");
    MakeFile(start + "/sub/b.LOG");
    MakeFile(start + "/sub/e.txt");
    MakeFolder(start + "/plain");
    MakeFile(start + "/plain/f.txt");
    const auto lines = Remove(start, true, false);

    EXPECT_TRUE(Exists(start + "/a.log"));
    EXPECT_TRUE(Exists(start + "/sub/b.LOG"));
    for (const char* gone : {"c.log1", "d.txt", "README", "sub/e.txt", "plain"}) {
        EXPECT_FALSE(Exists(start + "/" + gone)) << gone;
    }
    // sub: its own three attempts and its parent's three; the start: three.
    const std::string sub = start + "/sub";
    for (const char* mark : {"4#", "5#", "6#", "1#", "2#", "3#"}) {
        EXPECT_EQ(LinesEndingWith(lines, FailureLine(std::string("RemoveDirectory(") + mark + "): ",
                                                     sub, ERROR_DIR_NOT_EMPTY))
                      .size(),
                  1u)
            << mark;
    }
    EXPECT_EQ(LinesEndingWith(
                  lines, FailureLine("RemoveDirectory(6#): ", start + "/", ERROR_DIR_NOT_EMPTY))
                  .size(),
              1u);
    EXPECT_EQ(FailureLineCount(lines), 9u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(9)).size(), 1u);
}

TEST_F(RemovalTest, RemovesLinksAsEntriesAndLeavesTheirTargetsAlone) {
    const std::string canary = work / "canary";
    MakeFolder(canary, 0750);
    MakeFile(canary + "/keep.txt", "canary", 0640);
    MakeFolder(canary + "/inner", 0700);
    MakeFile(canary + "/inner/deep.txt", "deep", 0400);

    MakeFolder(start);
    MakeFolder(start + "/sub");
    ASSERT_EQ(symlink(canary.c_str(), (start + "/to-canary").c_str()), 0);
    ASSERT_EQ(symlink((canary + "/keep.txt").c_str(), (start + "/sub/to-file").c_str()), 0);
    ASSERT_EQ(symlink((canary + "/inner").c_str(), (start + "/sub/to-inner.log").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/nothing", (start + "/dangling").c_str()), 0);
    const auto lines = Remove(start, true, true);

    EXPECT_FALSE(Exists(start));
    EXPECT_EQ(LinesEndingWith(lines, EndLine(0)).size(), 1u);
    EXPECT_EQ(ReadTextFile(canary + "/keep.txt"), "canary");
    EXPECT_EQ(ReadTextFile(canary + "/inner/deep.txt"), "deep");
    EXPECT_EQ(ModeOf(canary), 0750u);
    EXPECT_EQ(ModeOf(canary + "/keep.txt"), 0640u);
    EXPECT_EQ(ModeOf(canary + "/inner"), 0700u);
    EXPECT_EQ(ModeOf(canary + "/inner/deep.txt"), 0400u);
}

// Also with a trailing delimiter, which would make the system follow the
// link; the target is read-only, which the walk would otherwise undo. The
// start folder's lines name it with a trailing delimiter, as the walk runs on it.
TEST_F(RemovalTest, AStartPathThatIsALinkIsNeitherFollowedNorRemoved) {
    const std::string canary = work / "canary";
    MakeFolder(canary, 0750);
    MakeFile(canary + "/keep.txt", "canary", 0440);
    chmod(canary.c_str(), 0550);
    ASSERT_EQ(symlink(canary.c_str(), start.c_str()), 0);
    for (const std::string& path : {start, start + "/"}) {
        SCOPED_TRACE(path);
        unlink((work / "log/removal.utf8.log").c_str());
        const auto lines = Remove(path, true, true);

        EXPECT_TRUE(Exists(start));
        EXPECT_EQ(ReadTextFile(canary + "/keep.txt"), "canary");
        EXPECT_EQ(ModeOf(canary), 0550u);
        EXPECT_EQ(ModeOf(canary + "/keep.txt"), 0440u);
        for (const char* mark : {"4#", "5#", "6#"}) {
            EXPECT_EQ(
                LinesEndingWith(lines, FailureLine(std::string("RemoveDirectory(") + mark + "): ",
                                                   start + "/", ERROR_DIRECTORY))
                    .size(),
                1u)
                << mark;
        }
        EXPECT_EQ(LinesEndingWith(lines, EndLine(3)).size(), 1u);
    }
}

// The root is tried only where nothing can come of a mistake: as nobody, and
// with every folder-relative change refused before it reaches the system.
TEST_F(RemovalTest, NeverTouchesTheRootFolder) {
    NOMVERA_SKIP_UNLESS_ROOT();
    ASSERT_EQ(symlink("/", (work / "to-root").c_str()), 0);
    for (const std::string& path : {std::string("/"), std::string("//"), std::string("/."),
                                    std::string("/tmp/.."), work / "to-root"}) {
        SCOPED_TRACE(path);
        unlink((work / "log/removal.utf8.log").c_str());
        TRefusingFolderChangeDouble refusing;
        platform::SetFolderChangeSeam(&refusing);
        const int status = RunAsNobody([&] {
            RemoveWithLog(path, true, true);
            return refusing.calls.empty() ? 0 : 10;
        });
        platform::SetFolderChangeSeam(nullptr);
        EXPECT_EQ(status, 0);
        const auto lines = RemovalLines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(
            LinesEndingWith(lines, "Begin DeleteFilesInSubdirW: " + path + " [yes yes]").size(),
            1u);
        EXPECT_EQ(LinesEndingWith(lines, EndLine(0)).size(), 1u);
    }
}

// A folder the removing user may not write: a file that cannot be deleted,
// its folder and every folder above it.
TEST_F(RemovalTest, CountsAndLogsWhatCannotBeRemoved) {
    NOMVERA_SKIP_UNLESS_ROOT();
    MakeFolder(start);
    MakeFile(start + "/free.txt");
    ChownTree(start, kNobody);
    MakeFolder(start + "/locked", 0755); // owned by root
    MakeFile(start + "/locked/held");
    const int status = RunAsNobody([&] {
        RemoveWithLog(start, true, true);
        return 0;
    });
    ASSERT_EQ(status, 0);

    EXPECT_FALSE(Exists(start + "/free.txt"));
    EXPECT_TRUE(Exists(start + "/locked/held"));
    const auto lines = RemovalLines();
    const std::string held = start + "/locked/held";
    const int first = FindLine(lines, FailureLine("DeleteFile(1#): ", held, ERROR_ACCESS_DENIED));
    const int second = FindLine(lines, FailureLine("DeleteFile(2#): ", held, ERROR_ACCESS_DENIED));
    ASSERT_GE(first, 0);
    EXPECT_EQ(second, first + 1);
    // locked: 4#-6#, then its parent's 1#-3#; the start: 4#-6#.
    EXPECT_EQ(FailureLineCount(lines), 11u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(11)).size(), 1u);
}

TEST_F(RemovalTest, LogsTheFirstFiftyFailuresAndCountsThemAll) {
    NOMVERA_SKIP_UNLESS_ROOT();
    MakeFolder(start);
    ChownTree(start, kNobody);
    MakeFolder(start + "/locked", 0755);
    for (int i = 0; i < 60; ++i) {
        MakeFile(start + "/locked/f" + std::to_string(i));
    }
    const int status = RunAsNobody([&] {
        RemoveWithLog(start, true, true);
        return 0;
    });
    ASSERT_EQ(status, 0);
    const auto lines = RemovalLines();
    EXPECT_EQ(FailureLineCount(lines), 50u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(60 * 2 + 9)).size(), 1u);
}

TEST_F(RemovalTest, EntersAtMostAThousandFolders) {
    MakeFolder(start);
    for (int i = 0; i < 1005; ++i) {
        MakeFolder(start + "/d" + std::to_string(i));
    }
    const auto lines = Remove(start, true, true);

    // The start and 999 subfolders are entered; six stay, and so does the start.
    EXPECT_EQ(EntryCount(start), 6u);
    EXPECT_EQ(LinesEndingWith(
                  lines, FailureLine("RemoveDirectory(4#): ", start + "/", ERROR_DIR_NOT_EMPTY))
                  .size(),
              1u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(3)).size(), 1u);
}

// A chain deeper than the limit: one open folder per level, and nothing of
// the chain can go, since its deepest entered folder keeps a subfolder.
TEST_F(RemovalTest, StopsEnteringAChainDeeperThanAThousandFolders) {
    MakeFolder(start);
    std::string deepest = start;
    for (int level = 1; level <= 1005; ++level) {
        deepest += "/d";
        MakeFolder(deepest);
    }
    RemoveWithLog(start, true, true);
    const auto lines = RemovalLines();

    EXPECT_TRUE(IsFolder(deepest));
    EXPECT_EQ(FailureLineCount(lines), 50u);
    // Each of the 999 entered subfolders fails its own three attempts and its
    // parent's three; the start its three. A level that could not be opened
    // (out of descriptors) would end the entering early and give fewer.
    EXPECT_EQ(LinesEndingWith(lines, EndLine(999 * 6 + 3)).size(), 1u);
}

// 1,100 levels of 250-character names: a path of 276,000 characters, far
// beyond PATH_MAX. The walk enters the first 1000 folders and reports the
// rest; the memory it takes grows with the depth, not with the depth times
// the path, and each logged path keeps only its two ends, so the 50 failure
// lines fit the tool's 200 KiB log with room to spare.
TEST_F(RemovalTest, ADeepTreeOfLongNamesTakesLittleMemoryAndShortLines) {
    const std::string name(250, 'n');
    MakeFolder(start);
    MakeChain(start, name, 1100);
    const long growth = PeakGrowthKiB([&] { RemoveWithLog(start, true, true, 200); });
    std::cout << "[   INFO   ] peak memory growth of the removal: " << growth << " KiB\n";
    CutChain(start);

    ASSERT_GE(growth, 0);
    EXPECT_LT(growth, 64 * 1024);
    const auto lines = RemovalLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(LinesEndingWith(lines, "Begin DeleteFilesInSubdirW: " + start + " [yes yes]").size(),
              1u);
    EXPECT_EQ(FailureLineCount(lines), 50u);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(999 * 6 + 3)).size(), 1u);
    // The deepest entered folder is the first to fail.
    std::string deepest = start;
    for (int level = 1; level <= 999; ++level) {
        deepest += "/" + name;
    }
    const std::string shown =
        deepest.substr(0, 256) + "\u2026" + deepest.substr(deepest.size() - 255);
    EXPECT_EQ(FindMessage(lines, FailureLine("RemoveDirectory(4#): ", shown, ERROR_DIR_NOT_EMPTY)),
              1);
    // Each failure is 563 characters: three pieces of the log file.
    EXPECT_EQ(lines.size(), 2u + 50u * 3u);
}

// Names from the file system are shown escaped: none of them can break a
// line of the log file or begin a line of its own.
TEST_F(RemovalTest, ShowsControlCharactersOfNamesEscaped) {
    NOMVERA_SKIP_UNLESS_ROOT();
    MakeFolder(work / "owned", 0755);
    ASSERT_EQ(chown((work / "owned").c_str(), kNobody, kNobody), 0);
    start = work / "owned/profile\u2028";
    MakeFolder(start);
    ChownTree(start, kNobody);
    const std::string folder = start + "/a\nforged [E] line\r";
    MakeFolder(folder, 0755); // owned by root: nobody cannot empty it
    MakeFile(folder + "/held");
    const int status = RunAsNobody([&] {
        RemoveWithLog(start, true, true);
        return 0;
    });
    ASSERT_EQ(status, 0);

    const std::string shownStart = work / "owned/profile\\u2028";
    const std::string shownFolder = shownStart + "/a\\x0Aforged [E] line\\x0D";
    const auto lines = RemovalLines();
    EXPECT_EQ(FindLine(lines, "Begin DeleteFilesInSubdirW: " + shownStart + " [yes yes]"), 0);
    EXPECT_EQ(FindLine(lines,
                       FailureLine("DeleteFile(1#): ", shownFolder + "/held", ERROR_ACCESS_DENIED)),
              1);
    EXPECT_EQ(
        FindLine(lines, FailureLine("RemoveDirectory(4#): ", shownFolder, ERROR_DIR_NOT_EMPTY)), 3);
    EXPECT_EQ(FindLine(lines,
                       FailureLine("RemoveDirectory(4#): ", shownStart + "/", ERROR_DIR_NOT_EMPTY)),
              9);
    EXPECT_EQ(LinesEndingWith(lines, EndLine(11)).size(), 1u);
    for (const auto& line : Lines()) {
        EXPECT_NE(line.rfind("forged", 0), 0u) << line;
    }
    for (const auto& line : Lines()) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    }

    // nobody's log file is not root's to write: root starts a new one.
    unlink(std::string(work / "log/removal.utf8.log").c_str());
    Remove(work / "missing\n", true, true);
    EXPECT_GE(FindLine(Lines(), "RemoveDirectory: " + (work / "missing\\x0A")), 0);
}

// A shortened path never shows half a character: here a character outside
// the BMP (two UTF-16 units) straddles each cut, and is left out whole.
TEST_F(RemovalTest, ShortensALongPathBetweenCharacters) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string emoji = "\xF0\x9F\x98\x80"; // U+1F600
    MakeFolder(work / "owned", 0755);
    ASSERT_EQ(chown((work / "owned").c_str(), kNobody, kNobody), 0);
    start = work / "owned/profile";
    const std::size_t base = start.size(); // ASCII
    ASSERT_LT(base, 200u);
    // The emoji of a at units 255 and 256 of the path: the head's cut.
    const std::string a = std::string(254 - base, 'a') + emoji + std::string(30, 'a');
    const std::string b(200, 'b');
    // The emoji of c ends 254 units before the path's end: the tail's cut.
    const std::string c = "c" + emoji + std::string(249, 'c');
    const std::string folder = start + "/" + a + "/" + b + "/" + c;
    MakeFolder(start);
    MakeFolder(start + "/" + a);
    MakeFolder(start + "/" + a + "/" + b);
    ChownTree(start, kNobody);
    MakeFolder(folder, 0755); // owned by root: nobody cannot empty it
    MakeFile(folder + "/held");
    ASSERT_EQ(RunAsNobody([&] {
                  RemoveWithLog(start, true, true);
                  return 0;
              }),
              0);

    const WideString held = W(folder + "/held");
    ASSERT_EQ(held[255], WIDE('\xD83D'));
    ASSERT_EQ(held[held.size() - 255], WIDE('\xDE00'));
    const std::string shown = support::NarrowText(held.substr(0, 255)) + "\u2026" +
                              support::NarrowText(held.substr(held.size() - 254));
    EXPECT_EQ(
        FindMessage(RemovalLines(), FailureLine("DeleteFile(1#): ", shown, ERROR_ACCESS_DENIED)),
        1);
}

TEST_F(RemovalTest, ReportsAMissingStartPath) {
    const std::string missing = work / "missing";
    Remove(missing, true, true);
    const auto lines = RemovalLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(FindLine(lines, "RemoveDirectory: " + missing), 1);
    EXPECT_EQ(FindLine(lines, SystemMessageText(ERROR_FILE_NOT_FOUND)), 2);
    EXPECT_EQ(FindLine(lines, EndLine(0)), 3);
}

TEST_F(RemovalTest, RemovesEntriesWhoseNamesAreNotUtf8) {
    MakeFolder(start);
    MakeFile(start + "/\xff\xfe.txt");
    MakeFolder(start + "/\xc3(");
    MakeFile(start + "/\xc3(/inner");
    const auto lines = Remove(start, true, true);
    EXPECT_FALSE(Exists(start));
    EXPECT_EQ(LinesEndingWith(lines, EndLine(0)).size(), 1u);
}

TEST_F(RemovalTest, WorksWithoutALogAndKeepsTheCurrentFolder) {
    MakeFolder(start);
    MakeFile(start + "/file");
    char before[PATH_MAX];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(work.Path().c_str()), 0);
    DeleteFilesInSubdirW(W(start), nullptr, true, true);
    char after[PATH_MAX];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    ASSERT_EQ(chdir(before), 0);
    EXPECT_FALSE(Exists(start));
    EXPECT_EQ(std::string(after), work.Path());
}

// Mounts live in a mount namespace of a child of their own and go away with it.
TEST_F(RemovalTest, NeverEntersAnotherMount) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string canary = work / "canary";
    MakeFolder(canary, 0750);
    MakeFile(canary + "/keep.txt", "canary", 0440);
    MakeFolder(start);
    MakeFolder(start + "/tmpfs", 0755);
    MakeFolder(start + "/bound", 0755);
    MakeFile(start + "/plain.txt");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            _exit(77);
        }
        if (mount("nomvera-test", (start + "/tmpfs").c_str(), "tmpfs", 0, "mode=0711") != 0 ||
            mount(canary.c_str(), (start + "/bound").c_str(), nullptr, MS_BIND, nullptr) != 0) {
            _exit(77);
        }
        MakeFile(start + "/tmpfs/on-tmpfs.txt", "tmpfs");
        RemoveWithLog(start, true, true);
        int result = 0;
        if (ReadTextFile(start + "/tmpfs/on-tmpfs.txt") != "tmpfs")
            result |= 1;
        if (ModeOf(start + "/tmpfs") != 0711)
            result |= 2;
        if (ReadTextFile(start + "/bound/keep.txt") != "canary")
            result |= 4;
        if (ModeOf(start + "/bound") != 0750)
            result |= 8;
        if (Exists(start + "/plain.txt"))
            result |= 16;
        _exit(result);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "cannot make a private mount namespace here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadTextFile(canary + "/keep.txt"), "canary");
    EXPECT_EQ(ModeOf(canary), 0750u);
    const auto lines = RemovalLines();
    EXPECT_EQ(
        LinesEndingWith(lines, FailureLine("RemoveDirectory(4#): ", start + "/tmpfs", 32)).size(),
        1u);
    EXPECT_EQ(
        LinesEndingWith(lines, FailureLine("RemoveDirectory(4#): ", start + "/bound", 32)).size(),
        1u);
}

} // namespace
} // namespace nomvera::test
