// Standard output and error, the terminal and stop requests, on POSIX and
// on Windows alike (console_posix.cpp, console_windows.cpp).
#pragma once

#include <cstddef>
#include <string>

namespace nomvera::cli {

enum class TStream { Output, Error };

// Writes the whole text; false (with the system's reason in *error when
// given) when the stream takes no more.
bool WriteStream(TStream stream, const std::string& text, std::string* error = nullptr);
bool IsTerminal(TStream stream);
// The width of the terminal on standard error; 80 when it cannot be told.
std::size_t TerminalColumns();
// Before anything is opened: standard input, output and error are open
// (POSIX), output is UTF-8 and untranslated (Windows).
void PrepareStandardStreams();
void IgnoreClosedPipes();
// "SIGINT", "SIGTERM", "SIGHUP" (on Windows: Ctrl+C is SIGINT, Ctrl+Break
// and closing the console SIGTERM).
const char* StopSignalName(int signalNumber);

} // namespace nomvera::cli
