// The surroundings of a test of the main window or its logic: a sandbox system
// root and fresh HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR and TMPDIR folders,
// all under one temporary folder removed at the end.
#pragma once

#include "log/log_text.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nomvera::test {

// A message (ASCII) as a log line shows it: the log cuts a longer message
// after log::kPieceLength characters (the file gets the rest on continuation
// lines). The banner holds the program's path, so in a deep checkout it is
// cut.
inline std::string ShownMessage(const std::string& message) {
    return message.substr(0, log::kPieceLength);
}

// The per-user folders of a program a test starts, made under base (which
// is made traversable, so the program may run as another account): home,
// state (XDG_STATE_HOME), runtime (XDG_RUNTIME_DIR, 0700) and temp (TMPDIR,
// also the cache and configuration folder); all but runtime 0755.
struct TProgramFolders {
    explicit TProgramFolders(const TempFolder& base);
    // HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR, XDG_CACHE_HOME, XDG_CONFIG_HOME
    // and TMPDIR as NAME=VALUE, pointing at these folders.
    std::vector<std::string> Variables() const;

    std::string home, state, runtime, temp;
};

class TWindowTestEnvironment {
public:
    TWindowTestEnvironment();
    ~TWindowTestEnvironment();

    const SandboxRoot& Root() const { return *root_; }
    // The folder the log file goes to (XDG_STATE_HOME).
    const std::string& StateFolder() const { return state_; }
    const std::string& TempFolderPath() const { return temp_; }

private:
    // The variables this environment set, with the values they had before.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    TempFolder base_;
    std::string state_;
    std::string temp_;
    std::unique_ptr<SandboxRoot> root_;
};

} // namespace nomvera::test

namespace nomvera::test {

// The lines of the diagnostic log file from its first line up to the write
// position in its header (CR LF removed). For a file that has not wrapped yet
// this is every line it holds, the newest last.
std::vector<std::string> LogFileLines(const std::string& path);

// Whether one of the lines ends with the text.
bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& end);

} // namespace nomvera::test
