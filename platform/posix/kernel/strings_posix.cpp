#include "platform/strings.h"

#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"

#include <clocale>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <string>
#include <wctype.h>

namespace {

// The C.UTF-8 locale carries the Unicode case tables and no national rules
// (no Turkish dotless i), so the result does not depend on the user's locale.
locale_t CaseLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// Without C.UTF-8: ASCII and Latin-1 by hand.
char16_t LatinUpper(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    return c;
}

char16_t UpperUnit(char16_t c, locale_t locale) {
    if (c >= 0xD800 && c <= 0xDFFF) {
        return c;
    }
    if (locale == static_cast<locale_t>(nullptr)) {
        return LatinUpper(c);
    }
    wint_t upper = towupper_l(static_cast<wint_t>(c), locale);
    return upper <= 0xFFFF && !(upper >= 0xD800 && upper <= 0xDFFF) ? static_cast<char16_t>(upper)
                                                                    : c;
}

bool KnownCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

} // namespace

DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
    if (text == nullptr) {
        return 0;
    }
    locale_t locale = CaseLocale();
    for (DWORD i = 0; i < length; ++i) {
        text[i] = UpperUnit(text[i], locale);
    }
    return length;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int byteCount, LPWSTR wide,
                        int charCount) {
    if (!KnownCodePage(codePage) || multiByte == nullptr || byteCount == 0 || byteCount < -1 ||
        charCount < 0 || (charCount > 0 && wide == nullptr) ||
        (flags & ~MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t inputLength =
        byteCount == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(byteCount);
    std::string_view input(multiByte, inputLength);
    std::u16string output;
    if ((flags & MB_ERR_INVALID_CHARS) != 0) {
        auto strict = nomvera::posix::Utf8ToUtf16(input);
        if (!strict) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        output = std::move(*strict);
    } else {
        output = nomvera::posix::Utf8ToUtf16Lossy(input);
    }
    if (charCount == 0) {
        return static_cast<int>(output.size());
    }
    if (output.size() > static_cast<std::size_t>(charCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wide, output.data(), output.size() * sizeof(char16_t));
    return static_cast<int>(output.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int charCount, LPSTR multiByte,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!KnownCodePage(codePage) || wide == nullptr || charCount == 0 || charCount < -1 ||
        byteCount < 0 || (byteCount > 0 && multiByte == nullptr) ||
        (flags & ~WC_ERR_INVALID_CHARS) != 0 || defaultChar != nullptr ||
        usedDefaultChar != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t inputLength = charCount == -1 ? nomvera::posix::WideLength(wide) + 1
                                              : static_cast<std::size_t>(charCount);
    std::u16string_view input(wide, inputLength);
    std::string output;
    if ((flags & WC_ERR_INVALID_CHARS) != 0) {
        auto strict = nomvera::posix::Utf16ToUtf8(input);
        if (!strict) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        output = std::move(*strict);
    } else {
        output = nomvera::posix::Utf16ToUtf8Lossy(input);
    }
    if (byteCount == 0) {
        return static_cast<int>(output.size());
    }
    if (output.size() > static_cast<std::size_t>(byteCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, output.data(), output.size());
    return static_cast<int>(output.size());
}
