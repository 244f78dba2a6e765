// The log file's 16-byte position header. Whatever bytes stand at the front
// of the file, the position read is at least 16; a position read re-formats
// into a header that reads as the same position; a header in the writer's
// own form (byte-order mark, 11 right-aligned characters, CR LF) is exactly
// what the writer makes of the position it records; and every position the
// writer can record reads back unchanged.
#include "log/log_text.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using nomvera::fuzz::Escaped;

// The writer's own form: EF BB BF, blanks, a number without leading zeros,
// CR LF.
bool CanonicalHeader(std::string_view bytes) {
    if (bytes.size() != 16 || bytes.substr(0, 3) != "\xEF\xBB\xBF" || bytes.substr(14) != "\r\n") {
        return false;
    }
    std::size_t i = 3;
    while (i < 14 && bytes[i] == ' ') {
        ++i;
    }
    if (i == 14 || bytes[i] == '0') {
        return false;
    }
    for (; i < 14; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nomvera::log::HeaderBytes;
    using nomvera::log::HeaderPosition;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::int64_t position = HeaderPosition(bytes);
    FUZZ_CHECK(position >= 16, Escaped(bytes) + " read as " + std::to_string(position));
    // 13 characters behind the mark hold at most 13 digits.
    FUZZ_CHECK(position <= 9999999999999, Escaped(bytes) + " read as " + std::to_string(position));

    const auto recorded = static_cast<std::uint64_t>(position);
    const std::string written = HeaderBytes(recorded);
    FUZZ_CHECK(HeaderPosition(written) == position,
               Escaped(bytes) + " read as " + std::to_string(position) + ", whose header " +
                   Escaped(written) + " reads differently");
    if (recorded < 100000000000) {
        FUZZ_CHECK(written.size() == 16 && CanonicalHeader(written),
                   std::to_string(position) + " written as " + Escaped(written));
    }
    const std::string_view front = std::string_view(bytes).substr(0, 16);
    if (CanonicalHeader(front) && std::stoull(std::string(front.substr(3, 11))) >= 16) {
        FUZZ_CHECK(written == front, Escaped(std::string(front)) + " read as " +
                                         std::to_string(position) + ", re-formatted as " +
                                         Escaped(written));
    }

    // Every position a writer can record (at most the largest size limit,
    // 1,024,000 KiB) reads back unchanged.
    if (size >= 8) {
        std::uint64_t any = 0;
        std::memcpy(&any, data, sizeof any);
        const std::uint64_t stored = 16 + any % (1048576000ULL - 15);
        FUZZ_CHECK(HeaderPosition(HeaderBytes(stored)) == static_cast<std::int64_t>(stored),
                   std::to_string(stored) + " does not read back from " +
                       Escaped(HeaderBytes(stored)));
    }
    return 0;
}
