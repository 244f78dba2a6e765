// The main window's logic, free of any window toolkit: the window-creation,
// close and destroy handlers, the exit-code handlers, the operation panel's
// mode handlers and layout, the page change handler, the group list and the
// activity log. It acts on the window only through a TFormView; the batches
// and the Control Panel shortcuts reach the window through it.
//
// A view calls the handlers below when the user acts; every handler runs on
// the window's thread and never lets an exception out: one escaping a handler
// is logged as "EXCP: " + its message (form/exception_hook.h).
#pragma once

#include "batches/batch_host.h"
#include "form/activity_line.h"
#include "form/form_view.h"
#include "platform/wide_text.h"
#include "shortcuts/shortcuts.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace nomvera::batches {
class TGroupNameList;
}

namespace nomvera::form {

// Test seam: when set, the window-creation handler calls it just before its
// caption step, so that a test can make the handler fail there. The program
// never sets it.
inline std::function<void()> BeforeCaptionStepTestSeam;

class TForm : public batches::TBatchHost, public shortcuts::TShortcutHost {
public:
    // The view must outlive the form. Nothing is done to it until
    // CreateHandler runs.
    explicit TForm(TFormView& view);
    // Runs the destroy handler unless it already ran, and disconnects the
    // exception hook from this form.
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    // The window-creation handler, once the view has built its controls:
    // connects the exception hook to LogError, opens the diagnostic log,
    // writes the start banner, sets the caption and lays the panel out. A
    // failure inside it is swallowed; the steps after it do not run.
    void CreateHandler();
    // The close handler, for every close request (title bar, a signal, an
    // ExitCode button): sets ClosingRequested, ends the message loop and
    // removes the Control Panel shortcut's empty folders.
    void CloseHandler();
    // The destroy handler: closes the diagnostic log (its stop line is the
    // file's last line of the run) and frees the group-name list. After it no
    // line reaches the log file. Runs once; later calls do nothing.
    void DestroyHandler();

    // The user's actions.
    // "Create" or "Delete" clicked (CreateRadio, DeleteRadio): that action
    // is selected, the target cleared, the panel laid out again.
    void ActionClicked(TControl action);
    // "Users" or "Groups" clicked: the panel is laid out again.
    void TargetClicked();
    // The user made another page active (not the program: see SetActivePage).
    void PageChanged();
    // A batch button (BatchButton): runs its row's batch with this form as host.
    void BatchClicked(TControl button);
    void RefreshClicked();
    // The Control Panel page's button at this index of
    // shortcuts::ShortcutButtons().
    void ShortcutClicked(std::size_t index);
    // ExitCode0Button, ExitCode1Button or ExitCode2Button: 0, 1 or 2.
    void ExitCodeClicked(int code);
    // The count key rule: whether a character typed into CountEdit reaches
    // it (a digit, or a control character such as backspace). Pasted text is
    // not typed and not filtered.
    static bool CountKeyPasses(WCHAR character);

    // The panel layout for the current mode (action, target); does nothing
    // while it already runs or when another page is active.
    void UpdatePanelLayout();
    // Refills GroupCheckList from the machine's local groups and ticks the
    // built-in Remote Desktop Users and Users groups.
    void FillGroups();

    // TBatchHost and TShortcutHost.
    WideString NameText() override;
    WideString PasswordText() override;
    std::int32_t ReadCount() override;
    bool ProfileChecked() override;
    std::size_t GroupCount() override;
    WideString GroupName(std::size_t index) override;
    bool GroupChecked(std::size_t index) override;
    void LogInfo(const WideString& text) override;
    void LogWarning(const WideString& text) override;
    void LogError(const WideString& text) override;
    log::TDiagnosticLog* LogWriter() override { return logWriter_.get(); }
    void ShowLoggingPage() override;
    void Repaint() override;
    void ProcessMessages() override;
    bool ClosingRequested() override { return closingRequested_; }

private:
    void AddLogLine(const WideString& text, TActivityLevel level);
    void RefreshGroups();

    TFormView& view_;
    std::unique_ptr<log::TDiagnosticLog> logWriter_;
    std::unique_ptr<batches::TGroupNameList> groupNames_;
    bool closingRequested_ = false;
    bool destroyed_ = false;
};

} // namespace nomvera::form
