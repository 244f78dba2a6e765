// The texts and byte layouts of the diagnostic log file: file-name rule, size
// limits, time stamps, the position header and the encoding of a line.
#pragma once

#include "platform/clock.h"
#include "platform/wide_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nomvera::log {

inline constexpr std::uint64_t kHeaderSize = 16;
inline constexpr std::uint64_t kDefaultSizeLimit = 10485760; // 10,240 KiB
inline constexpr std::size_t kPieceLength = 220;
inline constexpr std::size_t kSummaryTextLength = 210;
inline constexpr std::size_t kMaxIndent = 10;

// "x.log" becomes "x.utf8.log" unless it already ends in ".utf8.log" (any
// letter case); other names stay as they are.
WideString ApplyUtf8Rule(const WideString& path);

// The file's size limit in bytes for a maximum size in KiB.
std::uint64_t DirectSizeLimit(std::int64_t maxSizeKiB);
std::uint64_t RingSizeLimit(std::int64_t maxSizeKiB);

// YYYY-MM-DD HH:MM:SS.mmm, or "EXCP: GDTS-Order" for a value that is not a
// valid clock reading.
WideString TimeStampText(const SYSTEMTIME& time);
// HH:MM:SS.mmm (the same fallback text).
WideString ShortTimeText(const SYSTEMTIME& time);
WideString LocalTimeStamp();
WideString UtcTimeStamp();
WideString ShortLocalTime();

// The bytes of one file line: the text as UTF-8 followed by CR LF. Text that
// is not valid UTF-16 (a lone surrogate) is written in the system's 8-bit
// code page, where each such unit becomes U+FFFD.
std::string EncodeLine(WideStringView text);

// EF BB BF, the position right-aligned in 11 characters, CR LF.
std::string HeaderBytes(std::uint64_t position);
// The position a header's bytes record: 16 for a missing byte-order mark, no
// number or a number below 16. The caller checks it against the limit.
std::int64_t HeaderPosition(std::string_view bytes);

// How many units of text to take when at most `limit` are allowed: `limit`,
// one less when that would split a surrogate pair, or the whole text.
std::size_t CutLength(WideStringView text, std::size_t limit);

// The number of an event as written in the log (0 for none).
WideString HandleNumber(std::uint64_t number);

} // namespace nomvera::log
