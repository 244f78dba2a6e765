#include "tests/log/log_file_reader.h"

#include "platform/wide_text.h"
#include "tests/common/temp_folder.h"

#include <cctype>

namespace nomvera::test {

LogFileView ReadLogFile(const std::string& path) {
    LogFileView view;
    view.bytes = ReadTextFile(path);
    const std::string& b = view.bytes;
    if (b.size() < 16 || b.compare(0, 3, "\xEF\xBB\xBF") != 0 || b[14] != '\r' || b[15] != '\n') {
        return view;
    }
    std::size_t i = 3;
    while (i < 14 && b[i] == ' ') {
        ++i;
    }
    if (i == 14) {
        return view;
    }
    std::uint64_t value = 0;
    for (; i < 14; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(b[i]))) {
            return view;
        }
        value = value * 10 + static_cast<std::uint64_t>(b[i] - '0');
    }
    view.headerValid = true;
    view.position = value;
    if (value < 16 || value > b.size()) {
        return view;
    }
    std::size_t start = 16;
    view.linesComplete = true;
    while (start < value) {
        std::size_t end = b.find("\r\n", start);
        if (end == std::string::npos || end + 2 > value) {
            view.linesComplete = false;
            break;
        }
        view.lines.push_back(b.substr(start, end - start));
        start = end + 2;
    }
    return view;
}

std::vector<std::string> LogLines(const std::string& path) {
    return ReadLogFile(path).lines;
}

bool StartsWithTimeStamp(const std::string& line) {
    static const char pattern[] = "dddd-dd-dd dd:dd:dd.ddd";
    if (line.size() < 23) {
        return false;
    }
    for (std::size_t i = 0; i < 23; ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (pattern[i] == 'd' ? !digit : line[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

std::string AfterStamp(const std::string& line) {
    return line.size() >= 23 ? line.substr(23) : std::string();
}

std::string Utf8(const WideString& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

WideString Utf16(const std::string& text) {
    WideString out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else {
            c = b & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<WCHAR>(0xD800 + (c >> 10));
            out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<WCHAR>(c);
        }
    }
    return out;
}

} // namespace nomvera::test
