#include "log/log_text.h"

#include "log/log_os.h"

#include "platform/strings.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/text.h"

#include <cstdint>

namespace nomvera::log {
namespace {

constexpr WCHAR kClockFailure[] = WIDE("EXCP: GDTS-Order");

bool ValidClock(const SYSTEMTIME& t) {
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour < 24 &&
           t.wMinute < 60 && t.wSecond <= 60 && t.wMilliseconds < 1000;
}

void PutDigits(WCHAR* out, unsigned value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<WCHAR>(WIDE('0') + value % 10);
        value /= 10;
    }
}

bool EndsWithUpper(const WideString& upper, WideStringView tail) {
    return upper.size() >= tail.size() &&
           WideStringView(upper).substr(upper.size() - tail.size()) == tail;
}

} // namespace

WideString ApplyUtf8Rule(const WideString& path) {
    // Upper-casing maps unit to unit, so positions in `upper` are those of `path`.
    const WideString upper = support::UpperText(path);
    if (upper.size() > 9 && EndsWithUpper(upper, WIDE(".LOG")) &&
        !EndsWithUpper(upper, WIDE(".UTF8.LOG"))) {
        return path.substr(0, path.size() - 4) + WIDE(".utf8") + path.substr(path.size() - 4);
    }
    return path;
}

std::uint64_t DirectSizeLimit(std::int64_t maxSizeKiB) {
    return maxSizeKiB >= 20 && maxSizeKiB <= 102400 ? static_cast<std::uint64_t>(maxSizeKiB) * 1024
                                                    : kDefaultSizeLimit;
}

std::uint64_t RingSizeLimit(std::int64_t maxSizeKiB) {
    return maxSizeKiB >= 20 && maxSizeKiB <= 1024000 ? static_cast<std::uint64_t>(maxSizeKiB) * 1024
                                                     : kDefaultSizeLimit;
}

WideString TimeStampText(const SYSTEMTIME& t) {
    if (!ValidClock(t)) {
        return kClockFailure;
    }
    const int yearDigits = t.wYear >= 10000 ? 5 : 4;
    WideString text(static_cast<std::size_t>(19 + yearDigits), WIDE('-'));
    WCHAR* out = text.data();
    PutDigits(out, t.wYear, yearDigits);
    out += yearDigits;
    PutDigits(out + 1, t.wMonth, 2);
    PutDigits(out + 4, t.wDay, 2);
    out[6] = WIDE(' ');
    PutDigits(out + 7, t.wHour, 2);
    out[9] = WIDE(':');
    PutDigits(out + 10, t.wMinute, 2);
    out[12] = WIDE(':');
    PutDigits(out + 13, t.wSecond, 2);
    out[15] = WIDE('.');
    PutDigits(out + 16, t.wMilliseconds, 3);
    return text;
}

WideString ShortTimeText(const SYSTEMTIME& t) {
    if (!ValidClock(t)) {
        return kClockFailure;
    }
    WideString text(12, WIDE(':'));
    PutDigits(&text[0], t.wHour, 2);
    PutDigits(&text[3], t.wMinute, 2);
    PutDigits(&text[6], t.wSecond, 2);
    text[8] = WIDE('.');
    PutDigits(&text[9], t.wMilliseconds, 3);
    return text;
}

WideString LocalTimeStamp() {
    return TimeStampText(os::LocalTime());
}

WideString UtcTimeStamp() {
    return TimeStampText(os::UtcTime());
}

WideString ShortLocalTime() {
    return ShortTimeText(os::LocalTime());
}

std::string EncodeLine(WideStringView text) {
    std::string bytes;
    if (!text.empty()) {
        const int units = static_cast<int>(text.size());
        bytes.resize(text.size() * 4); // four bytes per character at most
        int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, nullptr);
        if (n <= 0) {
            // A lone surrogate: UTF-8 still, with U+FFFD in its place. (The
            // 8-bit code page is UTF-8 on POSIX only; on Windows it would
            // put other bytes into the file and lose every character the
            // ANSI code page lacks.)
            n = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, nullptr);
        }
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    bytes += "\r\n";
    return bytes;
}

std::string HeaderBytes(std::uint64_t position) {
    std::string digits = std::to_string(position);
    std::string header = "\xEF\xBB\xBF";
    if (digits.size() < 11) {
        header.append(11 - digits.size(), ' ');
    }
    header += digits;
    header += "\r\n";
    return header;
}

std::int64_t HeaderPosition(std::string_view bytes) {
    if (bytes.size() < 3 || bytes.substr(0, 3) != "\xEF\xBB\xBF") {
        return static_cast<std::int64_t>(kHeaderSize);
    }
    std::string_view rest = bytes.substr(3, bytes.size() < kHeaderSize ? bytes.size() - 3 : 13);
    while (!rest.empty() && static_cast<unsigned char>(rest.front()) < 33) {
        rest.remove_prefix(1);
    }
    while (!rest.empty() && static_cast<unsigned char>(rest.back()) < 33) {
        rest.remove_suffix(1);
    }
    bool negative = false;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    std::int64_t value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0'); // at most 13 digits: no overflow
    }
    if (negative) {
        value = -value;
    }
    return value < static_cast<std::int64_t>(kHeaderSize) ? static_cast<std::int64_t>(kHeaderSize)
                                                          : value;
}

std::size_t CutLength(WideStringView text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    const WCHAR last = text[limit - 1];
    const WCHAR next = text[limit];
    if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        return limit - 1;
    }
    return limit;
}

WideString HandleNumber(std::uint64_t number) {
    return support::WidenText(support::DecimalText(static_cast<std::int64_t>(number)));
}

} // namespace nomvera::log
