#include "support/text.h"

#include "platform/files.h"
#include "platform/messages.h"
#include "platform/strings.h"
#include "platform/wide_text.h"
#include "support/buffers.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace nomvera::support {
namespace {

constexpr DWORD kMessageBufferSize = 256;
constexpr std::int32_t kTempBufferSize = 1024;
// When the system names no usable temporary folder: "C:\Windows\Temp" on
// Windows; on POSIX its stand-in, the folder every POSIX system has.
#if defined(_WIN32)
constexpr char kFallbackTempFolder[] = "C:\\Windows\\Temp";
#else
constexpr char kFallbackTempFolder[] = "/tmp";
#endif

#if !defined(_WIN32)
// Whether a path that starts with "/" names the root: "." components dropped
// and ".." taking back the name before it, nothing is left.
bool NamesRoot(const std::string& path) {
    int depth = 0;
    std::size_t i = 0;
    while (i < path.size()) {
        if (path[i] == '/') {
            ++i;
            continue;
        }
        std::size_t end = path.find('/', i);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string_view part(path.data() + i, end - i);
        if (part == "..") {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (part != ".") {
            ++depth;
        }
        i = end;
    }
    return depth == 0;
}
#endif

} // namespace

std::string DecimalText(std::int64_t value) {
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    return error == std::errc() ? std::string(digits, end) : std::string();
}

std::string RunningNumber(std::int32_t value) {
    std::string text = DecimalText(value);
    if (text.size() < 3) {
        text.insert(0, 3 - text.size(), '0');
    }
    return text;
}

std::string TrimmedMessage(std::string_view message) {
    std::size_t n = message.size();
    while (n > 0) {
        auto c = static_cast<unsigned char>(message[n - 1]);
        if (c >= 33 && c != '.') {
            break;
        }
        --n;
    }
    return std::string(message.substr(0, n));
}

std::string SystemMessageText(DWORD code) {
    char buffer[kMessageBufferSize] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                             code, 0, buffer, kMessageBufferSize, nullptr);
    if (n >= kMessageBufferSize) {
        n = 0;
    }
    return TrimmedMessage(std::string_view(buffer, n)) + " [" + DecimalText(code) + "]";
}

std::string TextFromCString(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

std::size_t CStringLength(const char* text) {
    return text == nullptr ? 0 : std::strlen(text);
}

std::string YesNoText(bool value) {
    return value ? "yes" : "no";
}

std::string DrivePart(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        return path.substr(0, 2);
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        std::size_t i = 2;
        int separators = 0;
        while (i < path.size()) {
            if (path[i] == '\\' && ++separators == 2) {
                break;
            }
            ++i;
        }
        return path.substr(0, i);
    }
#if !defined(_WIN32)
    if (!path.empty() && path[0] == kPathDelimiter) {
        return NamesRoot(path) ? path : std::string(1, kPathDelimiter);
    }
#endif
    return {};
}

std::string AddBackslashA(const std::string& path) {
    if (!path.empty() && path.back() != kPathDelimiter) {
        return path + kPathDelimiter;
    }
    return path;
}

bool FolderExistsA(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// The system's temporary folder through a buffer of kTempBufferSize units,
// or the fallback when the answer does not fit.
template <class Buffer, class Text, class Query>
Text TempFolderThrough(Buffer* buffer, Text result, Query query) {
    try {
        DWORD n = query(static_cast<DWORD>(kTempBufferSize), buffer->Data());
        if (n > 0 && n < static_cast<DWORD>(kTempBufferSize)) {
            result = buffer->ToString();
        }
    } catch (...) {
        FreeAndNilBuffer(buffer);
        throw;
    }
    FreeAndNilBuffer(buffer);
    return result;
}

} // namespace

std::string TempFolderA() {
    return TempFolderThrough(NewAnsiTextBuffer(kTempBufferSize), std::string(kFallbackTempFolder),
                             GetTempPathA);
}

WideString TempFolderW() {
    return TempFolderThrough(NewWideTextBuffer(kTempBufferSize), WidenText(kFallbackTempFolder),
                             GetTempPathW);
}

WideString WidenText(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    WideString wide(static_cast<std::size_t>(needed), WIDE('\0'));
    int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

std::string NarrowText(const WideString& text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    int written = WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), needed,
                                      nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return narrow;
}

namespace {

// The escape for one code point, or nothing when it is shown as it is.
bool AppendEscape(std::string& out, char32_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        out += "\\x";
        out += kHex[(c >> 4) & 0xF];
        out += kHex[c & 0xF];
        return true;
    }
    if (c == 0x2028 || c == 0x2029) {
        out += c == 0x2028 ? "\\u2028" : "\\u2029";
        return true;
    }
    return false;
}

} // namespace

WideString ShownText(WideStringView text) {
    WideString out;
    out.reserve(text.size());
    std::string escape;
    for (WCHAR c : text) {
        escape.clear();
        if (AppendEscape(escape, c)) {
            out.append(escape.begin(), escape.end());
        } else {
            out += c;
        }
    }
    return out;
}

std::string ShownText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t c = byte;
        std::size_t length = 1;
        // The only multi-byte forms that need an escape: C1 controls (C2 80-9F)
        // and U+2028/U+2029 (E2 80 A8/A9).
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                c = next;
                length = 2;
            }
        } else if (byte == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            c = text[i + 2] == '\xA8' ? 0x2028 : 0x2029;
            length = 3;
        } else if (byte >= 0x80) {
            out += text[i];
            continue;
        }
        if (!AppendEscape(out, c)) {
            out += text[i];
            continue;
        }
        i += length - 1;
    }
    return out;
}

} // namespace nomvera::support
