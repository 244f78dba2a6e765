// Reads a diagnostic log file the way a person (or a tool) would: the header's
// position, and the lines of the newest lap in front of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wide_text.h"

namespace nomvera::test {

struct LogFileView {
    std::string bytes;              // the whole file
    bool headerValid = false;       // byte-order mark, 11 characters of number, CR LF
    std::uint64_t position = 0;     // as recorded in the header
    std::vector<std::string> lines; // complete lines from offset 16 to the position
    bool linesComplete = false;     // [16, position) is exactly lines ending in CR LF
};

LogFileView ReadLogFile(const std::string& path);

// The lines that belong to log runs (no trailing CR LF), in file order from
// offset 16 up to the header's position.
std::vector<std::string> LogLines(const std::string& path);

// True when the text looks like "YYYY-MM-DD HH:MM:SS.mmm" at its front.
bool StartsWithTimeStamp(const std::string& line);

// The text after the time stamp (23 characters) of a line.
std::string AfterStamp(const std::string& line);

// UTF-8 of a UTF-16 literal and back, for comparing file lines with returned
// lines.
std::string Utf8(const WideString& text);
WideString Utf16(const std::string& text);

} // namespace nomvera::test
