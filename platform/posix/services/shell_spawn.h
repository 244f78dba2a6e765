// Starting a program that the tool does not wait for. Not part of the surface.
#pragma once

#include "platform/windows_types.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace nomvera::posix {

struct DetachedStart {
    std::string program;                                 // full path, never searched again
    std::vector<std::string> arguments;                  // argv, argv[0] included
    std::string workingFolder;                           // empty: the tool's own
    std::optional<std::vector<std::string>> environment; // NAME=value; empty: the tool's own
};

struct DetachedResult {
    DWORD error = 0; // a Windows status code; 0 when the program runs
    pid_t pid = -1;
};

// Starts the program in a session of its own through a child that exits at
// once (so the program is never the tool's child and never becomes a zombie
// of it), and returns once the program has been executed or has failed to
// be: only the exec is waited for, never the program. The program gets the
// standard input, output and error and no other descriptor of the tool.
// Safe to call while other threads run: after the fork only async-signal-safe
// calls are made.
DetachedResult StartDetached(const DetachedStart& request);

// errno of a failed start -> the Windows status code CreateProcess gives.
DWORD StartErrorCode(int error);

} // namespace nomvera::posix
