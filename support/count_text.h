// How the count entry's text reads as a number, without the window toolkit.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/wide_text.h"

namespace nomvera::support {

// A decimal integer with an optional sign ("+" or "-") and nothing else: no
// blanks, no other characters. Any other text, the empty text and a lone sign
// included, and a number outside 32 bits read as 0. The batches refuse counts
// outside 1 ... 999 themselves.
std::int32_t CountFromText(WideStringView text);

} // namespace nomvera::support
