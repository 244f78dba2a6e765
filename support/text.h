// Number and text helpers shared by every part of the tool. 8-bit text is in
// the system code page: UTF-8 on POSIX, the ANSI code page on Windows.
#pragma once

#include "platform/wide_text.h"
#include "platform/windows_types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace nomvera::support {

// The path separator: "\\" on Windows; "/" on POSIX, where the functions
// keep their Windows names.
#if defined(_WIN32)
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif
inline constexpr WCHAR kWidePathDelimiter = static_cast<WCHAR>(kPathDelimiter);

std::string DecimalText(std::int64_t value);
std::string RunningNumber(std::int32_t value);
// The system's message for a code without trailing blanks, control
// characters and full stops, then " [" + the code + "]".
std::string SystemMessageText(DWORD code);
// A system message without its trailing blanks, control characters and full
// stops (bytes of 128 and above stay): the trimming SystemMessageText applies.
std::string TrimmedMessage(std::string_view message);
std::string TextFromCString(const char* text);
std::size_t CStringLength(const char* text);
std::string YesNoText(bool value);
// The root part of a path: "C:" for a drive path, "\\server\share" for a
// network path, and on POSIX, for a path that starts with "/": the whole path
// when it names the root itself ("/", "//", "/./..", "/tmp/..": its lexical
// form, "." dropped and ".." taking back the name before it, is "/"), else
// "/". So a path equals its drive part (both with a trailing delimiter)
// exactly when it names a root, and folder removal never descends into "/".
// Any other (relative) path gives an empty text.
std::string DrivePart(const std::string& path);
std::string AddBackslashA(const std::string& path);
bool FolderExistsA(const std::string& path);
std::string TempFolderA();
WideString TempFolderW();

// 8-bit text (system code page) <-> UTF-16, for joining number texts and
// system messages to log lines.
WideString WidenText(const std::string& text);
std::string NarrowText(const WideString& text);

// Text that comes from outside the tool (file and folder names, account and
// group fields, paths) as it may be shown in a log line: every control
// character (U+0000-U+001F, U+007F-U+009F) as "\xHH" and the line and
// paragraph separators U+2028/U+2029 as "\u2028"/"\u2029", so no such text
// breaks a line or starts a line of its own. Everything else is unchanged,
// also bytes that are not valid UTF-8.
WideString ShownText(WideStringView text);
std::string ShownText(std::string_view text);

} // namespace nomvera::support
