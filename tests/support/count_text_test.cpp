#include "platform/wide_text.h"
#include "support/count_text.h"

#include <gtest/gtest.h>

#include <string>

namespace nomvera::support {
namespace {

struct CountCase {
    WideString text;
    std::int32_t count;
};

TEST(CountFromText, ReadsASignedDecimalIntegerAndEverythingElseAsZero) {
    const CountCase cases[] = {
        {WIDE(""), 0},
        {WIDE("999"), 999},
        {WIDE("007"), 7},
        {WIDE("0"), 0},
        {WIDE("-5"), -5},
        {WIDE("+12"), 12},
        {WIDE("-"), 0},
        {WIDE("+"), 0},
        {WIDE("1x"), 0},
        {WIDE(" 5"), 0},
        {WIDE("5 "), 0},
        {WIDE("$1F"), 0},
        {WIDE("--5"), 0},
        {WIDE("1-"), 0},
        {WIDE("\uFF11"), 0},             // a full-width digit is not a digit here
        {WideString(WIDE("1\0"), 2), 0}, // nor is a NUL behind the digits
        {WIDE("99999999999"), 0},
        {WIDE("2147483647"), 2147483647},
        {WIDE("2147483648"), 0},
        {WIDE("-2147483648"), -2147483647 - 1},
        {WIDE("-2147483649"), 0},
        {WIDE("00000000000000000000042"), 42},
        {WIDE("-0"), 0},
    };
    for (const CountCase& c : cases) {
        EXPECT_EQ(CountFromText(c.text), c.count)
            << std::string(c.text.begin(), c.text.end()) << " (" << c.text.size() << " units)";
    }
}

} // namespace
} // namespace nomvera::support
