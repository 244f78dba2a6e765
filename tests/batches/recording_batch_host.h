// A batch host over plain fields: the panel's inputs are members a test sets,
// and every activity-log line is recorded with its level. Hooks let a test
// act inside the message processing that a batch runs between accounts.
#pragma once

#include "batches/batch_host.h"
#include "platform/wide_text.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace nomvera::test {

class TRecordingBatchHost : public batches::TBatchHost {
public:
    struct Group {
        WideString name;
        bool checked = false;
    };
    struct Line {
        char level; // 'I', 'W' or 'E'
        WideString text;
    };

    WideString name = WIDE("test");
    WideString password = WIDE("pass");
    std::int32_t count = 0;
    bool profile = false;
    std::vector<Group> groups;
    log::TDiagnosticLog* logWriter = nullptr;
    bool closing = false;
    batches::TBatchFlags flags;

    std::vector<Line> lines;
    int loggingPageShown = 0;
    int repaints = 0;
    int messagePasses = 0;
    // Called on every ProcessMessages with its number (1 for the first).
    std::function<void(int)> onProcessMessages;

    WideString NameText() override { return name; }
    WideString PasswordText() override { return password; }
    std::int32_t ReadCount() override { return count; }
    bool ProfileChecked() override { return profile; }
    std::size_t GroupCount() override { return groups.size(); }
    WideString GroupName(std::size_t index) override { return groups.at(index).name; }
    bool GroupChecked(std::size_t index) override { return groups.at(index).checked; }

    void LogInfo(const WideString& text) override { lines.push_back({'I', text}); }
    void LogWarning(const WideString& text) override { lines.push_back({'W', text}); }
    void LogError(const WideString& text) override {
        lines.push_back({'E', text});
        ++loggingPageShown; // an error line brings the Logging page to the front
    }
    log::TDiagnosticLog* LogWriter() override { return logWriter; }

    void ShowLoggingPage() override { ++loggingPageShown; }
    void Repaint() override { ++repaints; }
    void ProcessMessages() override {
        ++messagePasses;
        if (onProcessMessages) {
            onProcessMessages(messagePasses);
        }
    }
    bool ClosingRequested() override { return closing; }
    batches::TBatchFlags Flags() override { return flags; }

    // "I Begin: Create Users" style, for comparisons that show every line.
    std::vector<std::string> Transcript() const;
};

} // namespace nomvera::test
