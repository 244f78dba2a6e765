#include "support/files.h"

#include "platform/posix/module_path.h"
#include "support/text.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nomvera::support {
namespace {

std::u16string W(const std::string& text) {
    return WidenText(text);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct PathCase {
    const char16_t* in;
    const char16_t* out;
};

class AddBackslashWCases : public testing::TestWithParam<PathCase> {};
TEST_P(AddBackslashWCases, EndsInExactlyOneAddedDelimiter) {
    EXPECT_EQ(AddBackslashW(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Paths, AddBackslashWCases,
                         testing::Values(PathCase{u"", u"/"}, PathCase{u"C:", u"C:/"},
                                         PathCase{u"/", u"/"}, PathCase{u"/a", u"/a/"},
                                         PathCase{u"/a/", u"/a/"}, PathCase{u"/a//", u"/a//"}));

class StripBackslashCases : public testing::TestWithParam<PathCase> {};
TEST_P(StripBackslashCases, RemovesOneFinalDelimiter) {
    EXPECT_EQ(StripBackslash(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Paths, StripBackslashCases,
                         testing::Values(PathCase{u"", u""}, PathCase{u"/", u""},
                                         PathCase{u"/a/", u"/a"}, PathCase{u"/a//", u"/a/"},
                                         PathCase{u"/a", u"/a"}));

class FolderOfPathCases : public testing::TestWithParam<PathCase> {};
TEST_P(FolderOfPathCases, KeepsTheTextUpToTheLastDelimiter) {
    EXPECT_EQ(FolderOfPath(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Paths, FolderOfPathCases,
                         testing::Values(PathCase{u"/a/b", u"/a/"}, PathCase{u"/a/b/", u"/a/b/"},
                                         PathCase{u"/a", u"/"}, PathCase{u"/", u"/"},
                                         PathCase{u"name", u""}, PathCase{u"", u""},
                                         // ":" is an ordinary character of a POSIX name
                                         PathCase{u"/x/a:b", u"/x/"}, PathCase{u"C:name", u""}));

class ExtensionOfCases : public testing::TestWithParam<PathCase> {};
TEST_P(ExtensionOfCases, GivesTheTextFromTheLastDot) {
    EXPECT_EQ(ExtensionOf(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Names, ExtensionOfCases,
                         testing::Values(PathCase{u"ntuser.dat.LOG", u".LOG"},
                                         PathCase{u"README", u""}, PathCase{u"name.", u"."},
                                         PathCase{u"", u""}, PathCase{u".profile", u".profile"},
                                         PathCase{u"c.log1", u".log1"}));

class CleanEntryTextCases : public testing::TestWithParam<PathCase> {};
TEST_P(CleanEntryTextCases, TrimsEndsAndDropsInnerControls) {
    EXPECT_EQ(CleanEntryText(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Entries, CleanEntryTextCases,
    testing::Values(PathCase{u" \t\r\ntest user \t\r\n ", u"test user"},
                    PathCase{u"a\tb\r\nc d", u"abc d"}, PathCase{u"  \t ", u""}, PathCase{u"", u""},
                    PathCase{u"\x01x\x1f", u"x"}, PathCase{u"plain", u"plain"},
                    // characters above 127 are not controls
                    PathCase{u"\u00a0n\u00e4me\u00a0", u"\u00a0n\u00e4me\u00a0"}));

class UpperTextCases : public testing::TestWithParam<PathCase> {};
TEST_P(UpperTextCases, UpperCasesByUnicodeRulesWithoutLocale) {
    EXPECT_EQ(UpperText(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, UpperTextCases,
    testing::Values(PathCase{u"ntuser.dat.log", u"NTUSER.DAT.LOG"},
                    PathCase{u"/home/Test001/", u"/HOME/TEST001/"},
                    PathCase{u"gr\u00fc\u00dfe", u"GR\u00dc\u00dfE"}, // ß has no one-letter capital
                    PathCase{u"\u00ff\u03b1\u0436", u"\u0178\u0391\u0416"},
                    PathCase{u"istanbul", u"ISTANBUL"},     // no Turkish dotted capital I
                    PathCase{u"\U00010428", u"\U00010428"}, // surrogate pairs pass unchanged
                    PathCase{u"", u""}));

TEST(FolderExistsW, TellsFoldersFromFilesAndMissingPaths) {
    test::TempFolder folder("support-files");
    test::WriteTextFile(folder / "file", "x");
    EXPECT_TRUE(FolderExistsW(W(folder.Path())));
    EXPECT_TRUE(FolderExistsW(W(folder.Path() + "/")));
    EXPECT_FALSE(FolderExistsW(W(folder / "file")));
    EXPECT_FALSE(FolderExistsW(W(folder / "missing")));
    EXPECT_FALSE(FolderExistsW(W(folder / "missing/deeper")));
    EXPECT_FALSE(FolderExistsW(u""));
}

TEST(MakeFolderTree, CreatesTheWholeChainBelowAnExistingFolder) {
    test::TempFolder folder("support-tree");
    EXPECT_TRUE(MakeFolderTree(W(folder / "x/y/z")));
    EXPECT_TRUE(IsFolder(folder / "x"));
    EXPECT_TRUE(IsFolder(folder / "x/y"));
    EXPECT_TRUE(IsFolder(folder / "x/y/z"));
    // existing folders and a trailing delimiter are fine
    EXPECT_TRUE(MakeFolderTree(W(folder / "x/y/z")));
    EXPECT_TRUE(MakeFolderTree(W(folder / "x/y/w/")));
    EXPECT_TRUE(IsFolder(folder / "x/y/w"));
}

TEST(MakeFolderTree, RefusesBelowAFileAndTriesNothingDeeper) {
    test::TempFolder folder("support-tree");
    test::WriteTextFile(folder / "blocker", "in the way");
    EXPECT_FALSE(MakeFolderTree(W(folder / "blocker/y/z")));
    EXPECT_EQ(test::ReadTextFile(folder / "blocker"), "in the way");
    EXPECT_FALSE(MakeFolderTree(W(folder / "blocker")));
}

TEST(MakeFolderTree, RootsAndEmptyPathNeedNothing) {
    EXPECT_TRUE(MakeFolderTree(u""));
    EXPECT_TRUE(MakeFolderTree(u"/"));
}

TEST(MakeFolderTree, ShortNamesBelowTheRootAreCreatedNotAssumed) {
    test::TempFolder folder("support-tree");
    // A relative name of fewer than three characters, made in the test's folder.
    char previous[4096] = {};
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.Path().c_str()), 0);
    bool made = MakeFolderTree(u"ab/c");
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_TRUE(made);
    EXPECT_TRUE(IsFolder(folder / "ab/c"));
}

TEST(MakeFolderTree, DoubledTrailingDelimiterIsTrueOnlyWhenTheFolderExists) {
    test::TempFolder folder("support-tree");
    EXPECT_TRUE(MakeFolderTree(W(folder.Path() + "//")));
    EXPECT_FALSE(MakeFolderTree(W(folder / "new//")));
}

TEST(GetModulePath, IsTheRunningExecutable) {
    std::u16string path = GetModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(NarrowText(path), posix::ExecutablePath());
    EXPECT_EQ(path.front(), u'/');
}

TEST(GetSamUserName, IsMachineBackslashEffectiveUser) {
    NOMVERA_SKIP_UNLESS_ROOT(); // the sandbox's user database knows only root
    test::SandboxRoot root;
    EXPECT_EQ(GetSamUserName(), u"SANDBOX\\root");
}

TEST(GetSamUserName, UserUnknownToTheRootGivesEmptyText) {
    test::SandboxRoot root;
    test::WriteTextFile(root / "etc/passwd", "nobody:x:65534:65534::/nonexistent:/bin/false\n");
    if (geteuid() == 65534) {
        GTEST_SKIP() << "runs as nobody, the one user this root knows";
    }
    EXPECT_EQ(GetSamUserName(), u"");
}

std::string BinaryFolder() {
    return posix::ExecutableFolder();
}

TEST(GetFileVersionText, BuiltProgramCarriesTheProjectVersion) {
    std::string program = BinaryFolder() + "/nomvera";
    if (access(program.c_str(), F_OK) != 0) {
        GTEST_SKIP() << "bin/nomvera is not built (NOMVERA_WITH_APP=OFF)";
    }
    EXPECT_EQ(GetFileVersionText(W(program)), u"2.2.205.1");
}

TEST(GetFileVersionText, FilesWithoutTheRecordSayNoFileInfo) {
    test::TempFolder folder("support-version");
    test::WriteTextFile(folder / "text.txt", "not a program");
    test::WriteTextFile(folder / "short", "\x7f"
                                          "ELF");
    // the test program itself is an ELF file without the version section
    EXPECT_EQ(GetFileVersionText(W(posix::ExecutablePath())), u".No FileInfo in file");
    EXPECT_EQ(GetFileVersionText(W(folder / "text.txt")), u".No FileInfo in file");
    EXPECT_EQ(GetFileVersionText(W(folder / "short")), u".No FileInfo in file");
    EXPECT_EQ(GetFileVersionText(W(folder / "missing")), u".No FileInfo in file");
    EXPECT_EQ(GetFileVersionText(W(folder.Path())), u".No FileInfo in file");
}

TEST(GetFileVersionText, RecordWithoutSignatureIsNoValidFixedFileInfo) {
    std::string fixture = BinaryFolder() + "/libversion_fixture_badsig.so";
    ASSERT_EQ(access(fixture.c_str(), F_OK), 0) << fixture;
    EXPECT_EQ(GetFileVersionText(W(fixture)),
              u".No valid FixedFileInfo information in FileInfoRecord");
}

TEST(GetFileVersionText, ReadsTheFourNumbersOfAnyFileWithTheRecord) {
    std::string fixture = BinaryFolder() + "/libversion_fixture_good.so";
    ASSERT_EQ(access(fixture.c_str(), F_OK), 0) << fixture;
    EXPECT_EQ(GetFileVersionText(W(fixture)), u"65535.0.7.40000");
}

} // namespace
} // namespace nomvera::support
