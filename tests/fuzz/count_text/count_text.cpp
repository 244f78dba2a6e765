// The count entry's text: exactly the texts "[+-]digits" whose value fits in
// 32 bits read as that value, everything else as 0; checked against the
// standard library's own number parser, and every count read re-reads the
// same from its decimal text.
#include "support/count_text.h"
#include "platform/wide_text.h"
#include "support/text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using nomvera::fuzz::Escaped;

// What the text should read as, by a different road: std::from_chars on the
// digits, the sign handled here (from_chars takes "-" but never "+").
std::int32_t Expected(const WideString& text) {
    std::string digits;
    for (WCHAR c : text) {
        if (c > 0x7F) {
            return 0;
        }
        digits += static_cast<char>(c);
    }
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    if (digits.empty()) {
        return 0;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return 0; // more than 64 bits: certainly beyond 32
    }
    const std::uint64_t largest = std::numeric_limits<std::int32_t>::max();
    if (negative) {
        return magnitude <= largest + 1
                   ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                   : 0;
    }
    return magnitude <= largest ? static_cast<std::int32_t>(magnitude) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nomvera::support::CountFromText;
    const WideString text = nomvera::fuzz::UnitsOf(data, size);
    const std::int32_t count = CountFromText(text);
    const std::int32_t expected = Expected(text);
    FUZZ_CHECK(count == expected, Escaped(text) + " read as " + std::to_string(count) +
                                      ", expected " + std::to_string(expected));
    const WideString shown = nomvera::support::WidenText(nomvera::support::DecimalText(count));
    FUZZ_CHECK(CountFromText(shown) == count,
               "the decimal text of " + std::to_string(count) + " reads differently");
    return 0;
}
