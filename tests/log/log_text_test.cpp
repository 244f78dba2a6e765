#include "log/log_text.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

namespace nomvera::log {
namespace {

struct NameCase {
    WideString given;
    WideString stored;
};

class Utf8NameRule : public ::testing::TestWithParam<NameCase> {};

INSTANTIATE_TEST_SUITE_P(
    Names, Utf8NameRule,
    ::testing::Values(NameCase{WIDE("/var/x/kelRostery.log"), WIDE("/var/x/kelRostery.utf8.log")},
                      NameCase{WIDE("/var/x/kelRostery.LOG"), WIDE("/var/x/kelRostery.utf8.LOG")},
                      NameCase{WIDE("/var/x/a.utf8.log"), WIDE("/var/x/a.utf8.log")},
                      NameCase{WIDE("/var/x/a.UTF8.LOG"), WIDE("/var/x/a.UTF8.LOG")},
                      NameCase{WIDE("/var/x/a.Utf8.Log"), WIDE("/var/x/a.Utf8.Log")},
                      NameCase{WIDE("/var/x/a.txt"), WIDE("/var/x/a.txt")},
                      NameCase{WIDE("/var/x/alog"), WIDE("/var/x/alog")},
                      // 9 characters or fewer stay as they are, 10 get the insert
                      NameCase{WIDE("12345.log"), WIDE("12345.log")},
                      NameCase{WIDE("123456.log"), WIDE("123456.utf8.log")}));

TEST_P(Utf8NameRule, InsertsUtf8InFrontOfTheLogExtension) {
    EXPECT_EQ(ApplyUtf8Rule(GetParam().given), GetParam().stored);
}

TEST(SizeLimit, UsesTheGivenKibibytesOnlyWithinTheRange) {
    EXPECT_EQ(DirectSizeLimit(200), 200u * 1024);
    EXPECT_EQ(DirectSizeLimit(20), 20u * 1024);
    EXPECT_EQ(DirectSizeLimit(19), 10485760u);
    EXPECT_EQ(DirectSizeLimit(102400), 102400u * 1024);
    EXPECT_EQ(DirectSizeLimit(102401), 10485760u);
    EXPECT_EQ(DirectSizeLimit(-5), 10485760u);
    EXPECT_EQ(RingSizeLimit(102401), 102401u * 1024);
    EXPECT_EQ(RingSizeLimit(1024000), 1024000ull * 1024);
    EXPECT_EQ(RingSizeLimit(1024001), 10485760u);
}

TEST(TimeStamp, HasFixedWidthFieldsWithLeadingZeros) {
    SYSTEMTIME t{2024, 3, 2, 5, 7, 5, 9, 12};
    EXPECT_EQ(TimeStampText(t), WIDE("2024-03-05 07:05:09.012"));
    EXPECT_EQ(ShortTimeText(t), WIDE("07:05:09.012"));
    t.wYear = 987;
    EXPECT_EQ(TimeStampText(t), WIDE("0987-03-05 07:05:09.012"));
}

TEST(TimeStamp, AClockValueThatCannotBeBrokenIntoPartsGivesTheFailureText) {
    SYSTEMTIME unreadable{}; // what the clock gives when it cannot be read
    EXPECT_EQ(TimeStampText(unreadable), WIDE("EXCP: GDTS-Order"));
    EXPECT_EQ(ShortTimeText(unreadable), WIDE("EXCP: GDTS-Order"));
    SYSTEMTIME badHour{2024, 3, 2, 5, 24, 0, 0, 0};
    EXPECT_EQ(TimeStampText(badHour), WIDE("EXCP: GDTS-Order"));
}

TEST(TimeStamp, LocalAndUtcClocksGiveWellFormedStamps) {
    for (const WideString& stamp : {LocalTimeStamp(), UtcTimeStamp()}) {
        ASSERT_EQ(stamp.size(), 23u);
        EXPECT_EQ(stamp[4], WIDE('-'));
        EXPECT_EQ(stamp[10], WIDE(' '));
        EXPECT_EQ(stamp[19], WIDE('.'));
    }
    EXPECT_EQ(ShortLocalTime().size(), 12u);
}

TEST(EncodeLine, WritesUtf8AndCrLf) {
    EXPECT_EQ(EncodeLine(WIDE("a\u00e9\u20ac\U0001F600")),
              "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(EncodeLine(WIDE("")), "\r\n");
}

TEST(EncodeLine, ALoneSurrogateBecomesAReplacementCharacterAndTheRestStays) {
    const WideString text = WideString(WIDE("ab")) + WCHAR(0xD800) + WIDE("cd");
    EXPECT_EQ(EncodeLine(text), "ab\xEF\xBF\xBD"
                                "cd\r\n");
    const WideString lowAlone = WideString(1, WCHAR(0xDC00)) + WIDE("x");
    EXPECT_EQ(EncodeLine(lowAlone), "\xEF\xBF\xBDx\r\n");
    // The rest of such a line stays UTF-8, also what no 8-bit code page has.
    const WideString mixed = WideString(WIDE("\u0436\u20ac")) + WCHAR(0xD800);
    EXPECT_EQ(EncodeLine(mixed), "\xD0\xB6\xE2\x82\xAC\xEF\xBF\xBD\r\n");
}

TEST(Header, IsSixteenBytesWithTheNumberRightAligned) {
    EXPECT_EQ(HeaderBytes(16), "\xEF\xBB\xBF         16\r\n");
    EXPECT_EQ(HeaderBytes(204800), "\xEF\xBB\xBF     204800\r\n");
    EXPECT_EQ(HeaderBytes(16).size(), 16u);
}

struct HeaderCase {
    std::string bytes;
    std::int64_t position;
};

class HeaderReading : public ::testing::TestWithParam<HeaderCase> {};

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderReading,
    ::testing::Values(HeaderCase{"\xEF\xBB\xBF        912\r\n", 912},
                      HeaderCase{"\xEF\xBB\xBF"
                                 "912        \r\n",
                                 912},
                      HeaderCase{"xxx        912\r\n", 16},          // no byte-order mark
                      HeaderCase{"\xEF\xBB\xBF           \r\n", 16}, // no number
                      HeaderCase{"\xEF\xBB\xBF          9\r\n", 16}, // below 16
                      HeaderCase{"\xEF\xBB\xBF        -40\r\n", 16}, // negative
                      HeaderCase{"\xEF\xBB\xBF      12ab3\r\n", 16},
                      HeaderCase{"\xEF\xBB\xBF     700x99\r\n", 700}, // leading digits
                      HeaderCase{"\xEF\xBB\xBF  5", 16},              // short file
                      HeaderCase{"", 16}));

TEST_P(HeaderReading, TakesTheLeadingDigitsOrFallsBackTo16) {
    EXPECT_EQ(HeaderPosition(GetParam().bytes), GetParam().position);
}

TEST(CutLength, NeverSplitsASurrogatePair) {
    WideString text(219, WIDE('x'));
    text += WIDE("\U0001F600"); // units 220 and 221
    text += WIDE("yz");
    EXPECT_EQ(CutLength(text, 220), 219u);
    EXPECT_EQ(CutLength(text, 221), 221u);
    EXPECT_EQ(CutLength(WIDE("short"), 220), 5u);
}

} // namespace
} // namespace nomvera::log
