#include "support/files.h"

#include "platform/wide_text.h"
#include "support/text.h"
#include "tests/common/child_process.h"
#include "tests/common/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "platform/posix/kernel/module_path.h"
#include "tests/common/sandbox_root.h"

#include <unistd.h>
#endif

namespace nomvera::support {
namespace {

WideString W(const std::string& text) {
    return WidenText(text);
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// A path written with "/" in the system's form: "/" is the system's delimiter
// ("\\" on Windows; unchanged on POSIX).
WideString Sys(const WCHAR* path) {
    WideString text = path;
    for (WCHAR& c : text) {
        c = c == WIDE('/') ? kWidePathDelimiter : c;
    }
    return text;
}

struct PathCase {
    const WCHAR* in;
    const WCHAR* out;
};

class AddBackslashWCases : public testing::TestWithParam<PathCase> {};
TEST_P(AddBackslashWCases, EndsInExactlyOneAddedDelimiter) {
    EXPECT_EQ(AddBackslashW(Sys(GetParam().in)), Sys(GetParam().out));
}
INSTANTIATE_TEST_SUITE_P(
    Paths, AddBackslashWCases,
    testing::Values(PathCase{WIDE(""), WIDE("/")}, PathCase{WIDE("C:"), WIDE("C:/")},
                    PathCase{WIDE("/"), WIDE("/")}, PathCase{WIDE("/a"), WIDE("/a/")},
                    PathCase{WIDE("/a/"), WIDE("/a/")}, PathCase{WIDE("/a//"), WIDE("/a//")}));

class StripBackslashCases : public testing::TestWithParam<PathCase> {};
TEST_P(StripBackslashCases, RemovesOneFinalDelimiter) {
    EXPECT_EQ(StripBackslash(Sys(GetParam().in)), Sys(GetParam().out));
}
INSTANTIATE_TEST_SUITE_P(Paths, StripBackslashCases,
                         testing::Values(PathCase{WIDE(""), WIDE("")},
                                         PathCase{WIDE("/"), WIDE("")},
                                         PathCase{WIDE("/a/"), WIDE("/a")},
                                         PathCase{WIDE("/a//"), WIDE("/a/")},
                                         PathCase{WIDE("/a"), WIDE("/a")}));

class FolderOfPathCases : public testing::TestWithParam<PathCase> {};
TEST_P(FolderOfPathCases, KeepsTheTextUpToTheLastDelimiter) {
    EXPECT_EQ(FolderOfPath(Sys(GetParam().in)), Sys(GetParam().out));
}
INSTANTIATE_TEST_SUITE_P(
    Paths, FolderOfPathCases,
    testing::Values(PathCase{WIDE("/a/b"), WIDE("/a/")}, PathCase{WIDE("/a/b/"), WIDE("/a/b/")},
                    PathCase{WIDE("/a"), WIDE("/")}, PathCase{WIDE("/"), WIDE("/")},
                    PathCase{WIDE("name"), WIDE("")}, PathCase{WIDE(""), WIDE("")},
#if defined(_WIN32)
                    // a drive's ":" ends a folder part too
                    PathCase{WIDE("/x/a:b"), WIDE("/x/a:")}, PathCase{WIDE("C:name"), WIDE("C:")},
                    PathCase{WIDE("C:/a"), WIDE("C:/")}));
#else
                    // ":" is an ordinary character of a POSIX name
                    PathCase{WIDE("/x/a:b"), WIDE("/x/")}, PathCase{WIDE("C:name"), WIDE("")}));
#endif

class ExtensionOfCases : public testing::TestWithParam<PathCase> {};
TEST_P(ExtensionOfCases, GivesTheTextFromTheLastDot) {
    EXPECT_EQ(ExtensionOf(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Names, ExtensionOfCases,
                         testing::Values(PathCase{WIDE("ntuser.dat.LOG"), WIDE(".LOG")},
                                         PathCase{WIDE("README"), WIDE("")},
                                         PathCase{WIDE("name."), WIDE(".")},
                                         PathCase{WIDE(""), WIDE("")},
                                         PathCase{WIDE(".profile"), WIDE(".profile")},
                                         PathCase{WIDE("c.log1"), WIDE(".log1")}));

class CleanEntryTextCases : public testing::TestWithParam<PathCase> {};
TEST_P(CleanEntryTextCases, TrimsEndsAndDropsInnerControls) {
    EXPECT_EQ(CleanEntryText(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Entries, CleanEntryTextCases,
    testing::Values(PathCase{WIDE(" \t\r\ntest user \t\r\n "), WIDE("test user")},
                    PathCase{WIDE("a\tb\r\nc d"), WIDE("abc d")}, PathCase{WIDE("  \t "), WIDE("")},
                    PathCase{WIDE(""), WIDE("")}, PathCase{WIDE("\x01x\x1f"), WIDE("x")},
                    PathCase{WIDE("plain"), WIDE("plain")},
                    // characters above 127 are not controls
                    PathCase{WIDE("\u00a0n\u00e4me\u00a0"), WIDE("\u00a0n\u00e4me\u00a0")}));

class UpperTextCases : public testing::TestWithParam<PathCase> {};
TEST_P(UpperTextCases, UpperCasesByUnicodeRulesWithoutLocale) {
    EXPECT_EQ(UpperText(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, UpperTextCases,
    testing::Values(PathCase{WIDE("ntuser.dat.log"), WIDE("NTUSER.DAT.LOG")},
                    PathCase{WIDE("/home/Test001/"), WIDE("/HOME/TEST001/")},
                    PathCase{WIDE("gr\u00fc\u00dfe"),
                             WIDE("GR\u00dc\u00dfE")}, // ß has no one-letter capital
                    PathCase{WIDE("\u00ff\u03b1\u0436"), WIDE("\u0178\u0391\u0416")},
                    PathCase{WIDE("istanbul"), WIDE("ISTANBUL")}, // no Turkish dotted capital I
                    PathCase{WIDE(""), WIDE("")}));
// Surrogate pairs pass unchanged.
INSTANTIATE_TEST_SUITE_P(SurrogatePairs, UpperTextCases,
                         testing::Values(PathCase{WIDE("\U00010428"), WIDE("\U00010428")}));

TEST(FolderExistsW, TellsFoldersFromFilesAndMissingPaths) {
    test::TempFolder folder("support-files");
    test::WriteTextFile(folder / "file", "x");
    EXPECT_TRUE(FolderExistsW(W(folder.Path())));
    EXPECT_TRUE(FolderExistsW(W(folder.Path() + test::kTestPathDelimiter)));
    EXPECT_FALSE(FolderExistsW(W(folder / "file")));
    EXPECT_FALSE(FolderExistsW(W(folder / "missing")));
    EXPECT_FALSE(FolderExistsW(W(folder / "missing/deeper")));
    EXPECT_FALSE(FolderExistsW(WIDE("")));
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
    EXPECT_TRUE(MakeFolderTree(WIDE("")));
    EXPECT_TRUE(MakeFolderTree(Sys(WIDE("/"))));
}

// A relative name of fewer than three characters, in the test's folder: on
// POSIX a real folder that is made; on Windows taken for a drive and never
// made, so the folder below it cannot be made either.
TEST(MakeFolderTree, ShortNamesFollowTheSystemsRule) {
    test::TempFolder folder("support-tree");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const bool made = MakeFolderTree(Sys(WIDE("ab/c")));
    const bool shortOne = MakeFolderTree(WIDE("ab"));
    std::filesystem::current_path(previous);
    EXPECT_TRUE(shortOne);
#if defined(_WIN32)
    EXPECT_FALSE(made);
    EXPECT_FALSE(IsFolder(folder / "ab"));
#else
    EXPECT_TRUE(made);
    EXPECT_TRUE(IsFolder(folder / "ab/c"));
#endif
}

TEST(MakeFolderTree, DoubledTrailingDelimiterIsTrueOnlyWhenTheFolderExists) {
    test::TempFolder folder("support-tree");
    const std::string twice(2, test::kTestPathDelimiter);
    EXPECT_TRUE(MakeFolderTree(W(folder.Path() + twice)));
    EXPECT_FALSE(MakeFolderTree(W(folder / "new" + twice)));
}

std::string BinaryFolder() {
#if defined(_WIN32)
    const std::string program = test::ProgramBesideTest("x");
    return program.substr(0, program.rfind('\\'));
#else
    return posix::ExecutableFolder();
#endif
}

#if defined(_WIN32)
TEST(GetModulePath, IsTheRunningExecutable) {
    WideString path = GetModulePath();
    ASSERT_FALSE(path.empty());
    // A full path with its drive, in this build's folder, of a program file.
    const std::string narrow = NarrowText(path);
    EXPECT_EQ(narrow.substr(1, 2), ":\\");
    EXPECT_EQ(FolderOfPath(path), W(BinaryFolder() + "\\"));
    EXPECT_EQ(ExtensionOf(path), WIDE(".exe"));
    EXPECT_TRUE(std::filesystem::is_regular_file(narrow));
}
#else
TEST(GetModulePath, IsTheRunningExecutable) {
    WideString path = GetModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(NarrowText(path), posix::ExecutablePath());
    EXPECT_EQ(path.front(), WIDE('/'));
}

// The sandbox root's user database stands in for the machine's accounts.
TEST(GetSamUserName, IsMachineBackslashEffectiveUser) {
    NOMVERA_SKIP_UNLESS_ROOT(); // the sandbox's user database knows only root
    test::SandboxRoot root;
    EXPECT_EQ(GetSamUserName(), WIDE("SANDBOX\\root"));
}

TEST(GetSamUserName, UserUnknownToTheRootGivesEmptyText) {
    test::SandboxRoot root;
    test::WriteTextFile(root / "etc/passwd", "nobody:x:65534:65534::/nonexistent:/bin/false\n");
    if (geteuid() == 65534) {
        GTEST_SKIP() << "runs as nobody, the one user this root knows";
    }
    EXPECT_EQ(GetSamUserName(), WIDE(""));
}
#endif

TEST(GetFileVersionText, BuiltProgramCarriesTheProjectVersion) {
    std::string program = BinaryFolder() + "/nomvera";
    if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "bin/nomvera is not built (NOMVERA_WITH_APP=OFF)";
    }
    EXPECT_EQ(GetFileVersionText(W(program)), WIDE("2.2.205.1"));
}

TEST(GetFileVersionText, FilesWithoutTheRecordSayNoFileInfo) {
    test::TempFolder folder("support-version");
    test::WriteTextFile(folder / "text.txt", "not a program");
    test::WriteTextFile(folder / "short", "\x7f"
                                          "ELF");
#if !defined(_WIN32)
    // the test program itself is an ELF file without the version section
    EXPECT_EQ(GetFileVersionText(W(posix::ExecutablePath())), WIDE(".No FileInfo in file"));
#endif
    EXPECT_EQ(GetFileVersionText(W(folder / "text.txt")), WIDE(".No FileInfo in file"));
    EXPECT_EQ(GetFileVersionText(W(folder / "short")), WIDE(".No FileInfo in file"));
    EXPECT_EQ(GetFileVersionText(W(folder / "missing")), WIDE(".No FileInfo in file"));
    EXPECT_EQ(GetFileVersionText(W(folder.Path())), WIDE(".No FileInfo in file"));
}

#if defined(_WIN32)
// The version resource that the build gives every Windows test program
// (VS_VERSION_INFO), read from the running program's own file.
TEST(GetFileVersionText, ReadsTheProjectVersionOfTheRunningProgram) {
    EXPECT_EQ(GetFileVersionText(GetModulePath()), WIDE("2.2.205.1"));
}
#else
// Program files with a hand-made version record for the POSIX reader.
TEST(GetFileVersionText, RecordWithoutSignatureIsNoValidFixedFileInfo) {
    std::string fixture = BinaryFolder() + "/libversion_fixture_badsig.so";
    ASSERT_EQ(access(fixture.c_str(), F_OK), 0) << fixture;
    EXPECT_EQ(GetFileVersionText(W(fixture)),
              WIDE(".No valid FixedFileInfo information in FileInfoRecord"));
}

TEST(GetFileVersionText, ReadsTheFourNumbersOfAnyFileWithTheRecord) {
    std::string fixture = BinaryFolder() + "/libversion_fixture_good.so";
    ASSERT_EQ(access(fixture.c_str(), F_OK), 0) << fixture;
    EXPECT_EQ(GetFileVersionText(W(fixture)), WIDE("65535.0.7.40000"));
}
#endif

} // namespace
} // namespace nomvera::support
