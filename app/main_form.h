// The main window: the Create/Delete, Logging, Control Panel and ExitCode
// pages, the operation panel's mode logic and input rules, and the activity
// log. The batches and the shortcuts reach it through their host interfaces.
#pragma once

#include "form/activity_line.h"

#include "batches/batch_host.h"
#include "platform/wide_text.h"
#include "shortcuts/shortcuts.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
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

namespace nomvera::batches {
class TGroupNameList;
}

namespace nomvera::app {

// Test seam: when set, the window-creation handler calls it just before its
// caption step, so that a test can make the handler fail there. The program
// never sets it.
inline std::function<void()> BeforeCaptionStepTestSeam;

class TCountKeyFilter;
class TLogListModel;
class TLogListView;

class TMainForm : public QWidget, public batches::TBatchHost, public shortcuts::TShortcutHost {
    Q_OBJECT
public:
    // Builds the pages and runs the window-creation handler: opens the
    // diagnostic log, writes the start banner, sets the caption and lays the
    // panel out. A failure inside the handler is swallowed; the window opens.
    explicit TMainForm(QWidget* parent = nullptr);
    // Runs the destroy handler unless it already ran.
    ~TMainForm() override;

    // The destroy handler: closes the diagnostic log (its stop line is the
    // file's last line of the run) and frees the group-name list. After it
    // no line reaches the log file.
    void DestroyHandler();

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
    log::TDiagnosticLog* LogWriter() override { return logWriter_; }
    void ShowLoggingPage() override;
    void Repaint() override;
    void ProcessMessages() override;
    bool ClosingRequested() override { return closingRequested_; }

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
    QPushButton* CreateUsersButton = nullptr;
    QPushButton* DeleteUsersButton = nullptr;
    QPushButton* CreateLocalGroupsButton = nullptr;
    QPushButton* DeleteLocalGroupsButton = nullptr;
    QPushButton* CreateGlobalGroupsButton = nullptr;
    QPushButton* DeleteGlobalGroupsButton = nullptr;
    QWidget* GroupPanel = nullptr;
    QPushButton* RefreshButton = nullptr;
    QListWidget* GroupCheckList = nullptr;

    TLogListView* LogList = nullptr;

    std::vector<QPushButton*> ShortcutButtons;

    QLabel* UserNameText = nullptr;
    std::array<QPushButton*, 3> ExitCodeButtons = {};

protected:
    // The close handler: runs for every close request.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using TLevel = form::TActivityLevel;

    void CreatePages();
    void CreateOperationPanel();
    void CreateGroupPanel();
    void CreateLoggingPage();
    void CreateControlPanelPage();
    void CreateExitCodePage();
    void ConnectHandlers();
    void CreateHandler();

    void AddLogLine(const WideString& text, TLevel level);
    // Makes page the active page without running the page change handler,
    // as only a change by the user runs it.
    void SetActivePage(QWidget* page);
    void PageChanged();
    void ActionClicked(QRadioButton* action);
    void RefreshGroups();
    void ExitCodeChosen(int code);
    void PlaceGroupCheckList();

    TLogListModel* logModel_ = nullptr;
    TCountKeyFilter* countKeyFilter_ = nullptr;
    QButtonGroup* actionGroup_ = nullptr;
    QButtonGroup* targetGroup_ = nullptr;
    log::TDiagnosticLog* logWriter_ = nullptr;
    std::unique_ptr<batches::TGroupNameList> groupNames_;
    bool closingRequested_ = false;
    bool pageChangeByProgram_ = false;
    bool destroyed_ = false;
};

} // namespace nomvera::app
