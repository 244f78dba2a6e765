#include "support/count_text.h"

#include <gtest/gtest.h>

#include <string>

namespace nomvera::support {
namespace {

struct CountCase {
    std::u16string text;
    std::int32_t count;
};

TEST(CountFromText, ReadsASignedDecimalIntegerAndEverythingElseAsZero) {
    const CountCase cases[] = {
        {u"", 0},
        {u"999", 999},
        {u"007", 7},
        {u"0", 0},
        {u"-5", -5},
        {u"+12", 12},
        {u"-", 0},
        {u"+", 0},
        {u"1x", 0},
        {u" 5", 0},
        {u"5 ", 0},
        {u"$1F", 0},
        {u"--5", 0},
        {u"1-", 0},
        {u"\uFF11", 0},                 // a full-width digit is not a digit here
        {std::u16string(u"1\0", 2), 0}, // nor is a NUL behind the digits
        {u"99999999999", 0},
        {u"2147483647", 2147483647},
        {u"2147483648", 0},
        {u"-2147483648", -2147483647 - 1},
        {u"-2147483649", 0},
        {u"00000000000000000000042", 42},
        {u"-0", 0},
    };
    for (const CountCase& c : cases) {
        EXPECT_EQ(CountFromText(c.text), c.count)
            << std::string(c.text.begin(), c.text.end()) << " (" << c.text.size() << " units)";
    }
}

} // namespace
} // namespace nomvera::support
