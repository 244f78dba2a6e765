// The stand-ins' UTF-8 / UTF-16 converters. Strict conversions succeed
// exactly on well-formed text (as glibc's iconv judges it) and give its
// exact content, round trips are exact, and the lenient conversions always
// give well-formed text that equals the strict result where there is one.
#include "platform/posix/kernel/utf.h"
#include "platform/wide_text.h"
#include "tests/fuzz/fuzz_check.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <optional>
#include <string>

namespace {

using nomvera::fuzz::Escaped;

// UTF-8 to UTF-16 by glibc's iconv; nothing when iconv finds the input
// ill-formed.
std::optional<WideString> IconvUtf16(const std::string& bytes) {
    static iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::abort();
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outAt = out.data();
    std::size_t outLeft = out.size();
    if (iconv(converter, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    WideString units;
    for (const char* p = out.data(); p + 1 < outAt; p += 2) {
        units += static_cast<WCHAR>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
    }
    return units;
}

bool WellFormedUtf16(const WideString& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (units[i] >= 0xDC00 && units[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void CheckUtf8Input(const std::string& bytes) {
    using namespace nomvera::posix;
    const auto strict = Utf8ToUtf16(bytes);
    const auto reference = IconvUtf16(bytes);
    FUZZ_CHECK(strict.has_value() == reference.has_value(),
               Escaped(bytes) + (strict ? " converted" : " refused") + ", iconv " +
                   (reference ? "converts it" : "refuses it"));
    const WideString lossy = Utf8ToUtf16Lossy(bytes);
    FUZZ_CHECK(WellFormedUtf16(lossy), Escaped(bytes) + " gave ill-formed " + Escaped(lossy));
    if (strict) {
        FUZZ_CHECK(*strict == *reference,
                   Escaped(bytes) + " gave " + Escaped(*strict) + ", iconv " + Escaped(*reference));
        FUZZ_CHECK(Utf16ToUtf8(*strict) == bytes, Escaped(bytes) + " does not round-trip");
        FUZZ_CHECK(lossy == *strict, Escaped(bytes) + ": lenient and strict results differ");
    } else {
        FUZZ_CHECK(lossy.find(WIDE('\uFFFD')) != WideString::npos,
                   Escaped(bytes) + " refused, yet nothing replaced in " + Escaped(lossy));
    }
}

void CheckUtf16Input(const WideString& units) {
    using namespace nomvera::posix;
    const auto strict = Utf16ToUtf8(units);
    FUZZ_CHECK(strict.has_value() == WellFormedUtf16(units),
               Escaped(units) + (strict ? " converted" : " refused"));
    const std::string lossy = Utf16ToUtf8Lossy(units);
    FUZZ_CHECK(Utf8ToUtf16(lossy).has_value(),
               Escaped(units) + " gave ill-formed " + Escaped(lossy));
    if (strict) {
        FUZZ_CHECK(Utf8ToUtf16(*strict) == units, Escaped(units) + " does not round-trip");
        FUZZ_CHECK(lossy == *strict, Escaped(units) + ": lenient and strict results differ");
    } else {
        FUZZ_CHECK(lossy.find("\xEF\xBF\xBD") != std::string::npos,
                   Escaped(units) + " refused, yet nothing replaced in " + Escaped(lossy));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckUtf8Input(bytes);
    WideString units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    }
    CheckUtf16Input(units);
    return 0;
}
