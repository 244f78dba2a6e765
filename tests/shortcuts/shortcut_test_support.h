// Helpers of the shortcut tests: a host that records the log lines, scoped
// environment variables, and a test double of a desktop settings program.
#pragma once

#include "platform/wide_text.h"
#include "shortcuts/shortcuts.h"
#include "tests/common/scoped_environment.h"
#include "tests/common/temp_folder.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nomvera::test {

struct TLoggedLine {
    char level; // 'I' or 'E'
    WideString text;
    bool operator==(const TLoggedLine&) const = default;
};

class TRecordingHost : public shortcuts::TShortcutHost {
public:
    void LogInfo(const WideString& text) override { lines.push_back({'I', text}); }
    void LogError(const WideString& text) override { lines.push_back({'E', text}); }
    std::vector<TLoggedLine> lines;
};

// Readable in failure messages.
std::string Describe(const std::vector<TLoggedLine>& lines);

TLoggedLine Info(const std::string& text);
TLoggedLine Error(const std::string& text);

using TScopedEnv = TScopedEnvironment;

// Offers the programs of one folder (":"-separated folders) while it lives:
// PATH for a process that is not root, and the test seam that replaces the
// fixed trusted folders for one that is.
class TProgramFolders {
public:
    explicit TProgramFolders(const std::string& folders);
    ~TProgramFolders();
    TProgramFolders(const TProgramFolders&) = delete;
    TProgramFolders& operator=(const TProgramFolders&) = delete;

private:
    TScopedEnv path_;
};

// A folder of shell scripts standing in for desktop settings programs. Each
// program appends one line "<its name> <its arguments>" to Record(); with
// holding on, it then waits (up to 20 s) until Release() and marks Done().
class TSettingsProgramDouble {
public:
    TSettingsProgramDouble();
    const std::string& Folder() const { return folder_.Path(); }
    void Install(const std::string& name, bool holding = false);
    // An executable whose interpreter is missing: the start fails.
    void InstallBroken(const std::string& name);

    std::string Record() const;
    // Waits up to 10 s for the record to have lines; the lines.
    std::vector<std::string> WaitForRecord(std::size_t lines = 1) const;
    void Release() const;
    bool Done() const;
    bool WaitForDone() const;

private:
    TempFolder folder_;
    std::string recordPath_;
};

} // namespace nomvera::test
