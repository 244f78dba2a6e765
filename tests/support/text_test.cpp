#include "support/text.h"

#include "platform/wide_text.h"
#include "tests/common/scoped_environment.h"
#include "tests/common/temp_folder.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

namespace nomvera::support {
namespace {

using ScopedEnv = test::TScopedEnvironment;

struct NumberCase {
    std::int64_t value;
    const char* text;
};

class DecimalTextCases : public testing::TestWithParam<NumberCase> {};

TEST_P(DecimalTextCases, GivesPlainDigitsWithSign) {
    EXPECT_EQ(DecimalText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    ExtremeValues, DecimalTextCases,
    testing::Values(NumberCase{0, "0"}, NumberCase{-1, "-1"}, NumberCase{1000000, "1000000"},
                    // a status code with every bit set, passed with a zero high half
                    NumberCase{static_cast<std::int64_t>(std::uint32_t{0xFFFFFFFF}), "4294967295"},
                    NumberCase{static_cast<std::int64_t>(std::uint32_t{0x80000000}), "2147483648"},
                    // a count passed sign-extended keeps its minus sign
                    NumberCase{static_cast<std::int64_t>(std::int32_t{-2147483647 - 1}),
                               "-2147483648"},
                    NumberCase{std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
                    NumberCase{std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"}));

struct RunningCase {
    std::int32_t value;
    const char* text;
};

class RunningNumberCases : public testing::TestWithParam<RunningCase> {};

TEST_P(RunningNumberCases, PadsToThreeDigits) {
    EXPECT_EQ(RunningNumber(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Series, RunningNumberCases,
                         testing::Values(RunningCase{0, "000"}, RunningCase{1, "001"},
                                         RunningCase{42, "042"}, RunningCase{99, "099"},
                                         RunningCase{100, "100"}, RunningCase{999, "999"},
                                         RunningCase{1000, "1000"},
                                         RunningCase{2147483647, "2147483647"}));

struct TrimCase {
    const char* message;
    const char* trimmed;
};

class TrimmedMessageCases : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimmedMessageCases, DropsTrailingStopsBlanksAndControls) {
    EXPECT_EQ(TrimmedMessage(GetParam().message), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, TrimmedMessageCases,
    testing::Values(TrimCase{"Access was refused.\r\n", "Access was refused"},
                    TrimCase{"Several stops... . .\r\n\t ", "Several stops"},
                    TrimCase{"Blanks only at the end   ", "Blanks only at the end"},
                    TrimCase{"Inner. stops. stay.", "Inner. stops. stay"},
                    TrimCase{"  leading blanks stay.", "  leading blanks stay"},
                    TrimCase{"Ends in a control\x01\x1f", "Ends in a control"},
                    // bytes of 128 and above are never taken for controls
                    TrimCase{"Caf\xc3\xa9.\r\n", "Caf\xc3\xa9"}, TrimCase{"...\r\n", ""},
                    TrimCase{"", ""}, TrimCase{"!.", "!"}));

TEST(SystemMessageText, KnownCodeLosesItsClosingStopAndLineBreak) {
    std::string text = SystemMessageText(5);
    EXPECT_EQ(text, "Access was refused [5]");
}

TEST(SystemMessageText, EveryTextEndsWithTheBracketedCodeAndNoStopBeforeIt) {
#if defined(_WIN32)
    // The system's table; the account service's own codes (2224, 2245) have
    // their texts in netmsg.dll.
    const std::initializer_list<DWORD> codes{0u, 2u, 3u, 8u, 87u, 122u, 1326u};
#else
    const std::initializer_list<DWORD> codes{0u, 2u, 3u, 8u, 87u, 122u, 1326u, 2224u, 2245u};
#endif
    for (DWORD code : codes) {
        std::string text = SystemMessageText(code);
        std::string tail = " [" + std::to_string(code) + "]";
        ASSERT_GT(text.size(), tail.size()) << code;
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << code;
        char before = text[text.size() - tail.size() - 1];
        EXPECT_NE(before, '.') << code;
        EXPECT_GE(static_cast<unsigned char>(before), 33) << code;
    }
}

TEST(SystemMessageText, WrappedCodeOfAProfileFailureKeepsItsWholeNumber) {
    EXPECT_EQ(SystemMessageText(0x80070005), "Access was refused [2147942405]");
}

TEST(SystemMessageText, UnknownCodeGivesOnlyTheBracketedCode) {
    EXPECT_EQ(SystemMessageText(2100), " [2100]");
    EXPECT_EQ(SystemMessageText(0xFFFFFFFF), " [4294967295]");
}

struct DriveCase {
    const char* path;
    const char* drive;
};

class DrivePartCases : public testing::TestWithParam<DriveCase> {};

TEST_P(DrivePartCases, GivesTheRootPart) {
    EXPECT_EQ(DrivePart(GetParam().path), GetParam().drive);
}

INSTANTIATE_TEST_SUITE_P(WindowsForms, DrivePartCases,
                         testing::Values(DriveCase{"C:\\x", "C:"}, DriveCase{"C:", "C:"},
                                         DriveCase{"c:rel", "c:"},
                                         DriveCase{"\\\\srv\\share\\x", "\\\\srv\\share"},
                                         DriveCase{"\\\\srv\\share", "\\\\srv\\share"},
                                         DriveCase{"\\\\srv\\share\\", "\\\\srv\\share"},
                                         DriveCase{"\\\\srv", "\\\\srv"},
                                         DriveCase{"relative\\path", ""}, DriveCase{"x", ""},
                                         DriveCase{"", ""}));

// "/" and its other spellings: the root of a POSIX system.
#if !defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(PosixRoot, DrivePartCases,
                         testing::Values(DriveCase{"/home/x", "/"}, DriveCase{"/home", "/"},
                                         DriveCase{"/", "/"}, DriveCase{"//", "//"},
                                         DriveCase{"///", "///"}, DriveCase{"/./", "/./"},
                                         DriveCase{"/..", "/.."}, DriveCase{"/tmp/..", "/tmp/.."},
                                         DriveCase{"/tmp/../", "/tmp/../"},
                                         DriveCase{"/a/b/../..", "/a/b/../.."},
                                         DriveCase{"/a/b/..", "/"}, DriveCase{"/../a", "/"},
                                         DriveCase{"relative/x", ""}, DriveCase{"./x", ""}));

// The folder removal refuses a start path whose delimited form equals its
// drive part's: that must hold for every spelling of "/" and never for a
// folder below it.
TEST(DrivePart, RootIsRecognisedByTheRemovalComparison) {
    for (std::string root : {"/", "//", "/./", "/..", "/home/..", "/home/x/../../"}) {
        EXPECT_EQ(AddBackslashA(root), AddBackslashA(DrivePart(root))) << root;
    }
    for (std::string folder : {"/home", "/home/", "/home/x", "/tmp/a/..", "//home"}) {
        EXPECT_NE(AddBackslashA(folder), AddBackslashA(DrivePart(folder))) << folder;
    }
}
#endif

TEST(AddBackslashA, AppendsTheDelimiterOnlyWhenMissing) {
    // The system's delimiter: "/" on POSIX, "\\" on Windows.
    const std::string tmp = test::SystemPath("/tmp");
    const std::string d(1, kPathDelimiter);
    EXPECT_EQ(AddBackslashA(""), "");
    EXPECT_EQ(AddBackslashA("C:"), "C:" + d);
    EXPECT_EQ(AddBackslashA(tmp), tmp + d);
    EXPECT_EQ(AddBackslashA(tmp + d), tmp + d);
    EXPECT_EQ(AddBackslashA(d), d);
}

TEST(CStrings, NullPointerGivesEmptyText) {
    EXPECT_EQ(TextFromCString(nullptr), "");
    EXPECT_EQ(CStringLength(nullptr), 0u);
    const char text[] = {'a', 'b', '\0', 'c', '\0'};
    EXPECT_EQ(TextFromCString(text), "ab");
    EXPECT_EQ(CStringLength(text), 2u);
}

TEST(FolderExistsA, TellsFoldersFromFilesAndMissingPaths) {
    test::TempFolder folder("support-text");
    test::WriteTextFile(folder / "file", "x");
    EXPECT_TRUE(FolderExistsA(folder.Path()));
    EXPECT_FALSE(FolderExistsA(folder / "file"));
    EXPECT_FALSE(FolderExistsA(folder / "missing"));
    EXPECT_FALSE(FolderExistsA(""));
}

// The POSIX rule of the temporary folder: TMPDIR, else /tmp.
#if !defined(_WIN32)
TEST(TempFolder, FollowsTmpdirWithTrailingDelimiter) {
    test::TempFolder folder("support-tmp");
    ScopedEnv tmpdir("TMPDIR", folder.Path());
    EXPECT_EQ(TempFolderA(), folder.Path() + "/");
    EXPECT_EQ(TempFolderW(), WidenText(folder.Path() + "/"));
}

TEST(TempFolder, WithoutTmpdirGivesTmp) {
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    EXPECT_EQ(TempFolderA(), "/tmp/");
    EXPECT_EQ(TempFolderW(), WIDE("/tmp/"));
}

TEST(TempFolder, PathThatDoesNotFitTheBufferGivesTheFallback) {
    ScopedEnv tmpdir("TMPDIR", "/" + std::string(1100, 'x'));
    EXPECT_EQ(TempFolderA(), "/tmp");
    EXPECT_EQ(TempFolderW(), WIDE("/tmp"));
}
#endif

TEST(WidenText, RoundTripsUtf8AndReplacesInvalidBytes) {
    const std::string text = "Gr\xc3\xbc\xc3\x9f"
                             "e \xe2\x82\xac \xf0\x9f\x98\x80";
    WideString wide = WidenText(text);
    EXPECT_EQ(wide, WIDE("Grüße € \U0001F600"));
    EXPECT_EQ(NarrowText(wide), text);
    EXPECT_EQ(WidenText("a\xff"
                        "b"),
              WIDE("a\uFFFDb"));
    EXPECT_EQ(NarrowText(WideString(WIDE("a")) + WCHAR(0xD800) + WIDE("b")), "a\xef\xbf\xbd"
                                                                             "b");
    EXPECT_EQ(WidenText(""), WIDE(""));
    EXPECT_EQ(NarrowText(WIDE("")), "");
}

} // namespace
} // namespace nomvera::support

struct ShownTextCase {
    std::string raw;
    std::string shown;
};

class ShownTextCases : public ::testing::TestWithParam<ShownTextCase> {};

// The same escapes in both widths, so a name shows alike wherever it is logged.
TEST_P(ShownTextCases, EscapesEveryLineBreakingOrControlCharacter) {
    const auto& c = GetParam();
    EXPECT_EQ(nomvera::support::ShownText(std::string_view(c.raw)), c.shown);
    EXPECT_EQ(nomvera::support::NarrowText(
                  nomvera::support::ShownText(nomvera::support::WidenText(c.raw))),
              c.shown);
}

INSTANTIATE_TEST_SUITE_P(Texts, ShownTextCases,
                         ::testing::Values(ShownTextCase{"plain name.txt", "plain name.txt"},
                                           ShownTextCase{"a\nb\rc", "a\\x0Ab\\x0Dc"},
                                           ShownTextCase{std::string("nul\0tab\tdel\x7f", 12),
                                                         "nul\\x00tab\\x09del\\x7F"},
                                           ShownTextCase{"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC",
                                                         "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
                                           ShownTextCase{"back\\slash", "back\\slash"}));
// The C1 controls and the Unicode line and paragraph separators, whose 8-bit
// form only UTF-8 has.
INSTANTIATE_TEST_SUITE_P(
    Separators, ShownTextCases,
    ::testing::Values(ShownTextCase{"nel\xC2\x85 nbsp\xC2\xA0", "nel\\x85 nbsp\xC2\xA0"},
                      ShownTextCase{"ls\xE2\x80\xA8ps\xE2\x80\xA9", "ls\\u2028ps\\u2029"}));

TEST(ShownText, BytesThatAreNotUtf8StayAsTheyAre) {
    const std::string raw = "x\xC2\xFF\x80\xE2\x80";
    EXPECT_EQ(nomvera::support::ShownText(std::string_view(raw)), raw);
}
