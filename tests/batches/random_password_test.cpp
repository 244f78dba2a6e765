#include "batches/random_password.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

namespace nomvera::batches {
namespace {

constexpr WideStringView kAll =
    WIDE("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!@#$%^&*()-_=+[]");
constexpr WideStringView kSpecial = WIDE("!@#$%^&*()-_=+[]");

struct ClassCounts {
    int lower = 0, upper = 0, digits = 0, special = 0, other = 0;
};

ClassCounts Count(const WideString& text) {
    ClassCounts counts;
    for (WCHAR c : text) {
        if (c >= WIDE('a') && c <= WIDE('z')) {
            ++counts.lower;
        } else if (c >= WIDE('A') && c <= WIDE('Z')) {
            ++counts.upper;
        } else if (c >= WIDE('0') && c <= WIDE('9')) {
            ++counts.digits;
        } else if (kSpecial.find(c) != WideStringView::npos) {
            ++counts.special;
        } else {
            ++counts.other;
        }
    }
    return counts;
}

class RandomPasswordLength : public ::testing::TestWithParam<int> {};

TEST_P(RandomPasswordLength, HasTheLengthAndThreeOfEveryClass) {
    const int length = GetParam();
    for (int round = 0; round < 300; ++round) {
        const WideString password = RandomPassword(length);
        ASSERT_EQ(password.size(), static_cast<std::size_t>(length));
        const ClassCounts counts = Count(password);
        ASSERT_EQ(counts.other, 0);
        ASSERT_GE(counts.lower, 3);
        ASSERT_GE(counts.upper, 3);
        ASSERT_GE(counts.digits, 3);
        ASSERT_GE(counts.special, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, RandomPasswordLength, ::testing::Values(12, 13, 20, 64));

TEST(RandomPassword, CallsInQuickSuccessionDiffer) {
    std::set<WideString> seen;
    for (int i = 0; i < 2000; ++i) {
        seen.insert(RandomPassword(20));
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(RandomPassword, DrawsFromTheWholeAlphabet) {
    std::set<WCHAR> used;
    for (int i = 0; i < 400; ++i) {
        for (WCHAR c : RandomPassword(20)) {
            used.insert(c);
        }
    }
    EXPECT_EQ(used.size(), kAll.size());
}

// Below the twelve class places the call still ends, with what fits.
TEST(RandomPassword, ShortLengthsEndAndNonPositiveGiveNothing) {
    EXPECT_EQ(RandomPassword(0), WIDE(""));
    EXPECT_EQ(RandomPassword(-4), WIDE(""));
    const WideString five = RandomPassword(5);
    ASSERT_EQ(five.size(), 5u);
    const ClassCounts counts = Count(five);
    EXPECT_EQ(counts.lower, 3);
    EXPECT_EQ(counts.upper, 2);
}

TEST(TWipedPassword, WipeOverwritesEveryCharacter) {
    TWipedPassword held(RandomPassword(20));
    held.Wipe();
    EXPECT_EQ(held.Text(), WideString(20, WIDE('\0')));
}

} // namespace
} // namespace nomvera::batches
