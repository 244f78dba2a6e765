// UTF-8 / UTF-16 conversion for the stand-ins. Not part of the surface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nomvera::posix {

// Strict conversions: nothing for a lone surrogate or an invalid UTF-8 byte.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// Lenient conversions: every invalid unit becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);
std::u16string Utf8ToUtf16Lossy(std::string_view text);

// Length of a NUL-terminated UTF-16 text; 0 for null.
std::size_t WideLength(const char16_t* text);

} // namespace nomvera::posix
