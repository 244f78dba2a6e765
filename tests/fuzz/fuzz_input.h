// Turning a fuzzer's bytes into the text the units under test take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wide_text.h"

namespace nomvera::fuzz {

// Two readings of the same bytes as UTF-16: an even first byte widens each
// following byte to one unit (so seeds stay readable files), an odd one
// takes the following bytes in pairs, low byte first (any unit at all).
inline WideString UnitsOf(const std::uint8_t* data, std::size_t size) {
    WideString units;
    if (size == 0) {
        return units;
    }
    if ((data[0] & 1) == 0) {
        for (std::size_t i = 1; i < size; ++i) {
            units += static_cast<WCHAR>(data[i]);
        }
    } else {
        for (std::size_t i = 1; i + 1 < size; i += 2) {
            units += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
        }
    }
    return units;
}

} // namespace nomvera::fuzz
