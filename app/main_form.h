// The main window on Qt: the view of the toolkit-free form (form/form.h). It
// builds the Create/Delete, Logging, Control Panel and ExitCode pages, hands
// every user action to the form and does to its controls what the form asks
// (form/form_view.h). The operations the rest of the tool and the tests use
// (LogInfo, ReadCount, UpdatePanelLayout, ...) forward to the form.
#pragma once

#include "form/form.h"
#include "form/form_view.h"
#include "platform/wide_text.h"

#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace nomvera::app {

// The test seam of the window-creation handler, under its old name.
using form::BeforeCaptionStepTestSeam;

class TCountKeyFilter;
class TLogListModel;
class TLogListView;

class TMainForm : public QWidget, private form::TFormView {
    Q_OBJECT
public:
    // Builds the pages and runs the window-creation handler: opens the
    // diagnostic log, writes the start banner, sets the caption and lays the
    // panel out. A failure inside the handler is swallowed; the window opens.
    explicit TMainForm(QWidget* parent = nullptr);
    // Runs the destroy handler unless it already ran.
    ~TMainForm() override;

    // The window's logic.
    form::TForm& Form() { return *form_; }

    // The form's operations, as the rest of the tool and the tests call them
    // on the window.
    void DestroyHandler() { form_->DestroyHandler(); }
    void UpdatePanelLayout() { form_->UpdatePanelLayout(); }
    void FillGroups() { form_->FillGroups(); }
    WideString NameText() { return form_->NameText(); }
    WideString PasswordText() { return form_->PasswordText(); }
    std::int32_t ReadCount() { return form_->ReadCount(); }
    bool ProfileChecked() { return form_->ProfileChecked(); }
    std::size_t GroupCount() { return form_->GroupCount(); }
    WideString GroupName(std::size_t index) { return form_->GroupName(index); }
    bool GroupChecked(std::size_t index) { return form_->GroupChecked(index); }
    void LogInfo(const WideString& text) { form_->LogInfo(text); }
    void LogWarning(const WideString& text) { form_->LogWarning(text); }
    void LogError(const WideString& text) { form_->LogError(text); }
    log::TDiagnosticLog* LogWriter() { return form_->LogWriter(); }
    void ShowLoggingPage() { form_->ShowLoggingPage(); }
    bool ClosingRequested() { return form_->ClosingRequested(); }

    // The button of the batch the command line calls command ("create-users").
    QPushButton* BatchButton(std::string_view command) const;

    // Controls, named as the rest of the tool refers to them.
    QTabWidget* PageControl = nullptr;
    QWidget* CreateDeletePage = nullptr;
    QWidget* LoggingPage = nullptr;
    QWidget* ControlPanelPage = nullptr;
    QWidget* ExitCodePage = nullptr;

    QRadioButton* CreateRadio = nullptr;
    QRadioButton* DeleteRadio = nullptr;
    QRadioButton* UsersRadio = nullptr;
    QRadioButton* GroupsRadio = nullptr;
    QCheckBox* ProfileCheck = nullptr;
    QGroupBox* NamePasswordBox = nullptr;
    QLabel* NameLabel = nullptr;
    QLineEdit* NameEdit = nullptr;
    QLabel* PasswordLabel = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QGroupBox* CountBox = nullptr;
    QLabel* CountLabel = nullptr;
    QLineEdit* CountEdit = nullptr;
    QWidget* ButtonPanel = nullptr;
    // One per row of form::kBatches, in its order.
    std::array<QPushButton*, form::kBatches.size()> BatchButtons = {};
    QWidget* GroupPanel = nullptr;
    QPushButton* RefreshButton = nullptr;
    QListWidget* GroupCheckList = nullptr;

    TLogListView* LogList = nullptr;

    std::vector<QPushButton*> ShortcutButtons;

    QLabel* UserNameText = nullptr;
    std::array<QPushButton*, 3> ExitCodeButtons = {};

protected:
    // A close request: the form's close handler.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using TControl = form::TControl;

    void CreatePages();
    void CreateOperationPanel();
    void CreateGroupPanel();
    void CreateLoggingPage();
    void CreateControlPanelPage();
    void CreateExitCodePage();
    void ConnectHandlers();
    void PlaceGroupCheckList();
    QWidget* Control(TControl control) const;

    // TFormView on the widgets above.
    void SetVisible(TControl control, bool visible) override;
    void SetEnabled(TControl control, bool enabled) override;
    WideString Caption(TControl control) override;
    void SetCaption(TControl control, const WideString& caption) override;
    form::TBounds Bounds(TControl control) override;
    void Move(TControl control, int left, int top) override;
    WideString EntryText(TControl entry) override;
    void SetEntryText(TControl entry, const WideString& text) override;
    void SetMaxLength(TControl entry, int characters) override;
    bool IsChecked(TControl control) override;
    void SetChecked(TControl control, bool checked) override;
    void ClearGroupEntries() override;
    std::size_t AddGroupEntry(const WideString& name) override;
    std::size_t GroupEntryCount() override;
    WideString GroupEntryName(std::size_t index) override;
    bool IsGroupEntryTicked(std::size_t index) override;
    void SetGroupEntryTicked(std::size_t index, bool ticked) override;
    void AppendLogLine(const WideString& line, form::TActivityLevel level) override;
    TControl ActivePage() override;
    void SetActivePage(TControl page) override;
    void Repaint() override;
    void ProcessMessages() override;
    void Close() override;
    void QuitMessageLoop() override;

    std::unique_ptr<form::TForm> form_;
    std::array<QWidget*, form::kControlCount> controls_ = {};
    TLogListModel* logModel_ = nullptr;
    TCountKeyFilter* countKeyFilter_ = nullptr;
    QButtonGroup* actionGroup_ = nullptr;
    QButtonGroup* targetGroup_ = nullptr;
    bool pageChangeByProgram_ = false;
};

} // namespace nomvera::app
