// The wide-text type is the same on both systems where it matters: 16-bit
// UTF-16 code units, whatever the C++ character type behind WCHAR.
#include "platform/wide_text.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <type_traits>
#include <vector>

namespace {

static_assert(sizeof(WCHAR) == 2);
#if defined(_WIN32)
static_assert(std::is_same_v<WCHAR, wchar_t>, "the SDK's own WCHAR");
#else
static_assert(std::is_same_v<WCHAR, char16_t>);
#endif
static_assert(std::is_same_v<std::remove_cvref_t<decltype(WIDE("x")[0])>, WCHAR>);
static_assert(std::is_same_v<std::remove_cvref_t<decltype(WIDE('x'))>, WCHAR>);

std::vector<std::uint16_t> Units(WideStringView text) {
    return std::vector<std::uint16_t>(text.begin(), text.end());
}

TEST(WideText, LiteralsAreUtf16AndStringsJoinCompareAndSearchByCodeUnit) {
    struct Row {
        WideStringView left;
        WideStringView right;
        std::vector<std::uint16_t> joined; // the code units of left + right
        int order;                         // sign of left.compare(right)
    };
    const Row rows[] = {
        {WIDE("Az"), WIDE("09"), {0x41, 0x7A, 0x30, 0x39}, 1},
        {WIDE(""), WIDE("a"), {0x61}, -1},
        {WIDE("ab"), WIDE("ab"), {0x61, 0x62, 0x61, 0x62}, 0},
        // Written as UTF-8 in the source: the compiler must read it as such.
        {WIDE("äß"), WIDE("€"), {0xE4, 0xDF, 0x20AC}, -1},
        // Outside the BMP: one surrogate pair, two code units.
        {WIDE("\u540d"), WIDE("\U0001D11E"), {0x540D, 0xD834, 0xDD1E}, -1},
        // Code-unit order, not code-point order: U+FFFD sorts after U+1D11E.
        {WIDE("\uFFFD"), WIDE("\U0001D11E"), {0xFFFD, 0xD834, 0xDD1E}, 1},
        {WIDE("\U0001F600\U0001D11E"), WIDE("x"), {0xD83D, 0xDE00, 0xD834, 0xDD1E, 0x78}, 1},
    };
    for (const Row& row : rows) {
        const WideString joined = WideString(row.left) + WideString(row.right);
        SCOPED_TRACE(::testing::PrintToString(Units(joined)));
        EXPECT_EQ(Units(joined), row.joined);
        EXPECT_EQ(joined.substr(0, row.left.size()), row.left);
        EXPECT_EQ(joined.rfind(row.right), row.left.size());
        const int order = row.left.compare(row.right);
        EXPECT_EQ((order > 0) - (order < 0), row.order);
        EXPECT_EQ(WideString(row.left) < WideString(row.right), row.order < 0);
    }
}

} // namespace
