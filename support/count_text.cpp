#include "support/count_text.h"
#include "platform/wide_text.h"

#include <limits>

namespace nomvera::support {

std::int32_t CountFromText(WideStringView text) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    bool negative = false;
    if (!text.empty() && (text.front() == WIDE('-') || text.front() == WIDE('+'))) {
        negative = text.front() == WIDE('-');
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return 0;
    }
    std::int64_t value = 0;
    for (const WCHAR character : text) {
        if (character < WIDE('0') || character > WIDE('9')) {
            return 0;
        }
        value = value * 10 + (character - WIDE('0'));
        // Stopping here keeps a text of any length from overflowing; the
        // negative side holds one more than the positive side.
        if (value > kLargest + 1) {
            return 0;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-value);
    }
    return value > kLargest ? 0 : static_cast<std::int32_t>(value);
}

} // namespace nomvera::support
