#include "platform/errors.h"
#include "platform/strings.h"
#include "platform/wide_text.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CharUpperBuffW, MapsOnlyTheGivenLengthAndCountsIt) {
    WideString text = WIDE("abc\u00e9def");
    EXPECT_EQ(CharUpperBuffW(text.data(), 4), 4u);
    EXPECT_EQ(text, WIDE("ABC\u00c9def"));
}

TEST(CharUpperBuffW, DoesNotDependOnTheProcessLocale) {
    // A Turkish locale would capitalise i to U+0130; the mapping must not.
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old != nullptr ? old : "C";
    std::setlocale(LC_ALL, "tr_TR.UTF-8"); // absent locales leave the C locale
    WideString text = WIDE("i\u0131");
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, WIDE("II"));
}

TEST(CharUpperBuffW, LeavesSurrogatesAlone) {
    WideString text = WIDE("\U00010428x");
    text.push_back(WCHAR(0xDC00)); // a lone low surrogate
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    EXPECT_EQ(text.substr(0, 3), WIDE("\U00010428X"));
    EXPECT_EQ(text[3], WCHAR(0xDC00));
}

TEST(MultiByteToWideChar, SizeQueryThenConversion) {
    const char* text = "gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80";
    int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    EXPECT_EQ(needed, 8); // g r ü ß blank, a surrogate pair, NUL
    WideString wide(static_cast<std::size_t>(needed), WIDE('x'));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed), needed);
    EXPECT_EQ(wide, WideString(WIDE("gr\u00fc\u00df \U0001F600")) + WIDE('\0'));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, nullptr, 0), 3); // no NUL counted
}

TEST(MultiByteToWideChar, TooSmallOutputAndInvalidInput) {
    WCHAR small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    WCHAR wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xff", 2, wide, 8), 2);
    EXPECT_EQ(wide[1], WCHAR(0xFFFD));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", 2, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WideCharToMultiByte, SizeQueryConversionAndFailures) {
    const WCHAR* text = WIDE("\u20ac1");
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(needed, 5); // 3 bytes for the euro sign, "1", NUL
    char out[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 8, nullptr, nullptr), 5);
    EXPECT_STREQ(out, "\xe2\x82\xac"
                      "1");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 2, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const WCHAR lone[] = {WIDE('a'), WCHAR(0xD800)};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 2, out, 8, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 2, out, 8, nullptr, nullptr), 4);
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 2, out, 8, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

} // namespace
