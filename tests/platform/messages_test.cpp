#include "platform/errors.h"
#include "platform/messages.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr DWORD kSystemFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;

// Every code the stand-ins return, as listed for the platform.
constexpr DWORD kListedCodes[] = {0,    2,    3,    5,    8,    50,   87,   122,
                                  124,  127,  183,  1326, 1332, 1376, 1378, 1379,
                                  2202, 2220, 2221, 2223, 2224, 2226, 2245};

class ListedCode : public testing::TestWithParam<DWORD> {};

TEST_P(ListedCode, HasASentenceClosedLikeWindowsMessages) {
    char buffer[256];
    std::memset(buffer, 0x7F, sizeof buffer);
    DWORD n = FormatMessageA(kSystemFlags, nullptr, GetParam(), 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(n, 3u);
    std::string text(buffer, n);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(text.substr(n - 3), ".\r\n");
    EXPECT_GE(text[0], 'A');
    EXPECT_LE(text[0], 'Z');
}

INSTANTIATE_TEST_SUITE_P(Table, ListedCode, testing::ValuesIn(kListedCodes));

// Further codes the stand-ins return: the profile-service wrapper's fixed
// failure (1), the account service (53, 170, 1371,
// 1387, 1388, 2140, 2234), logons and SIDs (1008, 1330, 1331, 1337, 1793,
// 1907), files (4, 29, 30, 80, 131, 223, 1117, 1921), the environment (111,
// 203), the shell (193, 1155) and security descriptors (1336, 1338).
constexpr DWORD kFurtherCodes[] = {1,    4,    29,   30,   53,   80,   111,  131,  170,  193,
                                   203,  223,  1008, 1117, 1155, 1330, 1331, 1336, 1337, 1338,
                                   1371, 1387, 1388, 1793, 1907, 1921, 2140, 2234};

INSTANTIATE_TEST_SUITE_P(FurtherCodes, ListedCode, testing::ValuesIn(kFurtherCodes));

TEST(FormatMessageA, UnknownCodeGivesNoCharacters) {
    char buffer[256] = {};
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 2100, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 0xFFFFFFFF, 0, buffer, 256, nullptr), 0u);
}

TEST(FormatMessageA, WrappedWindowsCodeHasTheMessageOfTheCode) {
    char plain[256] = {};
    char wrapped[256] = {};
    DWORD n = FormatMessageA(kSystemFlags, nullptr, 183, 0, plain, sizeof plain, nullptr);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(
        FormatMessageA(kSystemFlags, nullptr, 0x800700B7, 0, wrapped, sizeof wrapped, nullptr), n);
    EXPECT_STREQ(wrapped, plain);
    // other facilities, and wrapped codes without a message, have none
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 0x80004005, 0, wrapped, 256, nullptr), 0u);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 0x80070834, 0, wrapped, 256, nullptr), 0u);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 0x000700B7, 0, wrapped, 256, nullptr), 0u);
}

TEST(FormatMessageA, MessageThatDoesNotFitGivesZeroAndLeavesTheBuffer) {
    char reference[256] = {};
    DWORD n = FormatMessageA(kSystemFlags, nullptr, 5, 0, reference, sizeof reference, nullptr);
    ASSERT_GT(n, 0u);
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 5, 0, buffer, n, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], 'x');
    // exactly the text and its NUL fit
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 5, 0, buffer, n + 1, nullptr), n);
    EXPECT_STREQ(buffer, reference);
}

TEST(FormatMessageA, RefusesWhatIsNotOffered) {
    char buffer[256] = {};
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 5, 0, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(FormatMessageA(kSystemFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0, buffer,
                             256, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 5, 0, nullptr, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // German (0x0407) is not there; US English (0x0409) and neutral are
    EXPECT_EQ(FormatMessageA(kSystemFlags, nullptr, 5, 0x0407, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_LANG_NOT_FOUND);
    EXPECT_GT(FormatMessageA(kSystemFlags, nullptr, 5, 0x0409, buffer, 256, nullptr), 0u);
    EXPECT_GT(FormatMessageA(kSystemFlags, nullptr, 5, 0x0400, buffer, 256, nullptr), 0u);
}

} // namespace
