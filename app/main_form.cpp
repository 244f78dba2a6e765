#include "app/main_form.h"
#include "form/activity_line.h"

#include "accounts/admin_check.h"
#include "accounts/profile_service.h"
#include "app/application.h"
#include "app/count_entry.h"
#include "app/log_list_view.h"
#include "app/program_state.h"
#include "batches/batches.h"
#include "batches/group_list.h"
#include "form/exception_hook.h"
#include "log/diagnostic_log.h"
#include "log/log_location.h"
#include "platform/process.h"
#include "platform/wide_text.h"
#include "support/count_text.h"
#include "support/files.h"
#include "support/text.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace nomvera::app {
namespace {

constexpr char kDesignCaption[] = "TestTool Nomvera and/or Groups";
constexpr int kEntryMaxLength = 17;
constexpr int kSlotGap = 4;

// True while UpdatePanelLayout runs; one for the whole process.
bool g_layoutGuard = false;

QString Q(const WideString& text) {
    return QString::fromStdU16String(text);
}

WideString U(const QString& text) {
    return text.toStdU16String();
}

QPushButton* MakeBatchButton(const QString& caption, QStyle::StandardPixmap glyph, QWidget* parent,
                             const char* objectName) {
    auto* button = new QPushButton(parent->style()->standardIcon(glyph), caption, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setGeometry(8, 8, 180, 25);
    return button;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QLatin1String(kDesignCaption));
    setFont(QFont(QStringLiteral("Microsoft Sans Serif"), 8));
    resize(572, 426);
    // 580 x 400 is the outer size at design; the frame takes about 8 x 34.
    setMinimumSize(572, 366);

    CreatePages();
    ConnectHandlers();
    form::SetExceptionTarget([this](const WideString& line) { LogError(line); });
    CreateHandler();
}

TMainForm::~TMainForm() {
    form::SetExceptionTarget(nullptr);
    DestroyHandler();
}

void TMainForm::CreatePages() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setDocumentMode(true);
    layout->addWidget(PageControl);

    CreateOperationPanel();
    CreateLoggingPage();
    CreateControlPanelPage();
    CreateExitCodePage();
}

void TMainForm::CreateOperationPanel() {
    CreateDeletePage = new QWidget;
    CreateDeletePage->setObjectName(QStringLiteral("CreateDeletePage"));
    PageControl->addTab(CreateDeletePage, QStringLiteral("Create/Delete"));

    auto* pageLayout = new QHBoxLayout(CreateDeletePage);
    auto* column = new QWidget(CreateDeletePage);
    column->setFixedWidth(300);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(column);

    auto* actionPanel = new QFrame(column);
    actionPanel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* actionLayout = new QHBoxLayout(actionPanel);
    CreateRadio = new QRadioButton(QStringLiteral("Create"), actionPanel);
    CreateRadio->setObjectName(QStringLiteral("CreateRadio"));
    DeleteRadio = new QRadioButton(QStringLiteral("Delete"), actionPanel);
    DeleteRadio->setObjectName(QStringLiteral("DeleteRadio"));
    actionLayout->addWidget(CreateRadio);
    actionLayout->addWidget(DeleteRadio);
    actionLayout->addStretch(1);
    actionGroup_ = new QButtonGroup(this);
    actionGroup_->addButton(CreateRadio);
    actionGroup_->addButton(DeleteRadio);
    columnLayout->addWidget(actionPanel);

    auto* targetPanel = new QFrame(column);
    targetPanel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* targetLayout = new QHBoxLayout(targetPanel);
    UsersRadio = new QRadioButton(QStringLiteral("Users"), targetPanel);
    UsersRadio->setObjectName(QStringLiteral("UsersRadio"));
    GroupsRadio = new QRadioButton(QStringLiteral("Groups"), targetPanel);
    GroupsRadio->setObjectName(QStringLiteral("GroupsRadio"));
    targetLayout->addWidget(UsersRadio);
    targetLayout->addWidget(GroupsRadio);
    targetLayout->addStretch(1);
    targetGroup_ = new QButtonGroup(this);
    targetGroup_->addButton(UsersRadio);
    targetGroup_->addButton(GroupsRadio);
    columnLayout->addWidget(targetPanel);

    ProfileCheck = new QCheckBox(QStringLiteral("Profile"), column);
    ProfileCheck->setObjectName(QStringLiteral("ProfileCheck"));
    ProfileCheck->setChecked(true);
    columnLayout->addWidget(ProfileCheck);

    NamePasswordBox =
        new QGroupBox(QStringLiteral("User/Group and Password (minimum 4 characters)"), column);
    NamePasswordBox->setObjectName(QStringLiteral("NamePasswordBox"));
    auto* nameLayout = new QGridLayout(NamePasswordBox);
    NameLabel = new QLabel(QStringLiteral("Name"), NamePasswordBox);
    NameEdit = new QLineEdit(NamePasswordBox);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setMaxLength(9);
    NameEdit->setAccessibleName(QStringLiteral("Name"));
    NameLabel->setBuddy(NameEdit);
    PasswordLabel = new QLabel(QStringLiteral("Password:"), NamePasswordBox);
    PasswordLabel->setObjectName(QStringLiteral("PasswordLabel"));
    PasswordEdit = new QLineEdit(NamePasswordBox);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setMaxLength(9);
    PasswordEdit->setAccessibleName(QStringLiteral("Password:"));
    PasswordLabel->setBuddy(PasswordEdit);
    // The password row keeps its room while hidden, so that the entries and
    // boxes below it hold still when the mode changes.
    for (QWidget* hideable :
         {static_cast<QWidget*>(PasswordLabel), static_cast<QWidget*>(PasswordEdit)}) {
        QSizePolicy policy = hideable->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        hideable->setSizePolicy(policy);
    }
    nameLayout->addWidget(NameLabel, 0, 0);
    nameLayout->addWidget(NameEdit, 0, 1);
    nameLayout->addWidget(PasswordLabel, 1, 0);
    nameLayout->addWidget(PasswordEdit, 1, 1);
    columnLayout->addWidget(NamePasswordBox);

    CountBox =
        new QGroupBox(QStringLiteral("Number of users / groups (minimum 1, maximum 999) "), column);
    CountBox->setObjectName(QStringLiteral("CountBox"));
    auto* countLayout = new QHBoxLayout(CountBox);
    CountLabel = new QLabel(QStringLiteral("Number:"), CountBox);
    CountEdit = new QLineEdit(CountBox);
    CountEdit->setObjectName(QStringLiteral("CountEdit"));
    CountEdit->setMaxLength(3);
    CountEdit->setAccessibleName(QStringLiteral("Number:"));
    CountLabel->setBuddy(CountEdit);
    countKeyFilter_ = new TCountKeyFilter(this);
    CountEdit->installEventFilter(countKeyFilter_);
    countLayout->addWidget(CountLabel);
    countLayout->addWidget(CountEdit, 1);
    columnLayout->addWidget(CountBox);

    ButtonPanel = new QWidget(column);
    ButtonPanel->setObjectName(QStringLiteral("ButtonPanel"));
    ButtonPanel->setFixedSize(196, 8 + 25 + kSlotGap + 25 + 8);
    const auto create = QStyle::SP_FileDialogNewFolder;
    const auto remove = QStyle::SP_TrashIcon;
    CreateUsersButton =
        MakeBatchButton(QStringLiteral("Create Users"), create, ButtonPanel, "CreateUsersButton");
    DeleteUsersButton =
        MakeBatchButton(QStringLiteral("Delete Users"), remove, ButtonPanel, "DeleteUsersButton");
    CreateLocalGroupsButton = MakeBatchButton(QStringLiteral("Create Local Groups"), create,
                                              ButtonPanel, "CreateLocalGroupsButton");
    DeleteLocalGroupsButton = MakeBatchButton(QStringLiteral("Delete Local Groups"), remove,
                                              ButtonPanel, "DeleteLocalGroupsButton");
    CreateGlobalGroupsButton = MakeBatchButton(QStringLiteral("Create Global Groups"), create,
                                               ButtonPanel, "CreateGlobalGroupsButton");
    DeleteGlobalGroupsButton = MakeBatchButton(QStringLiteral("Delete Global Groups"), remove,
                                               ButtonPanel, "DeleteGlobalGroupsButton");
    columnLayout->addWidget(ButtonPanel);
    columnLayout->addStretch(1);

    CreateGroupPanel();
    // The hidden group panel keeps its room too: the left column stays in
    // the page's top left corner instead of moving to the middle.
    QSizePolicy groupPolicy = GroupPanel->sizePolicy();
    groupPolicy.setRetainSizeWhenHidden(true);
    GroupPanel->setSizePolicy(groupPolicy);
    pageLayout->addWidget(GroupPanel, 1);

    // Keyboard order follows the reading order of the page: the left column
    // from top to bottom, the two button slots, then the group panel.
    const QWidgetList order = {CreateRadio,
                               DeleteRadio,
                               UsersRadio,
                               GroupsRadio,
                               ProfileCheck,
                               NameEdit,
                               PasswordEdit,
                               CountEdit,
                               CreateUsersButton,
                               DeleteUsersButton,
                               CreateLocalGroupsButton,
                               DeleteLocalGroupsButton,
                               CreateGlobalGroupsButton,
                               DeleteGlobalGroupsButton,
                               RefreshButton,
                               GroupCheckList};
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TMainForm::CreateGroupPanel() {
    GroupPanel = new QWidget(CreateDeletePage);
    GroupPanel->setObjectName(QStringLiteral("GroupPanel"));
    GroupPanel->setMinimumSize(160, 120);
    RefreshButton = new QPushButton(QStringLiteral("Refresh"), GroupPanel);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));
    RefreshButton->setGeometry(8, 8, 75, 25);
    GroupCheckList = new QListWidget(GroupPanel);
    GroupCheckList->setObjectName(QStringLiteral("GroupCheckList"));
    GroupCheckList->setAccessibleName(QStringLiteral("Groups"));
    GroupCheckList->move(8, 8 + 25 + kSlotGap);
    GroupPanel->installEventFilter(this);
}

void TMainForm::PlaceGroupCheckList() {
    // The list keeps its top (set by the layout) and fills the rest of the panel.
    const int top = GroupCheckList->y();
    GroupCheckList->setGeometry(8, top, std::max(0, GroupPanel->width() - 16),
                                std::max(0, GroupPanel->height() - top - 8));
}

void TMainForm::CreateLoggingPage() {
    LoggingPage = new QWidget;
    LoggingPage->setObjectName(QStringLiteral("LoggingPage"));
    PageControl->addTab(LoggingPage, QStringLiteral("Logging"));
    auto* layout = new QVBoxLayout(LoggingPage);
    layout->setContentsMargins(0, 0, 0, 0);
    logModel_ = new TLogListModel(this);
    LogList = new TLogListView(LoggingPage);
    LogList->setObjectName(QStringLiteral("LogList"));
    LogList->setAccessibleName(QStringLiteral("Log"));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFixedPitch(true);
    fixed.setPixelSize(12);
    LogList->setFont(fixed);
    LogList->SetRowHeight(15);
    LogList->setModel(logModel_);
    layout->addWidget(LogList);
}

void TMainForm::CreateControlPanelPage() {
    ControlPanelPage = new QWidget;
    ControlPanelPage->setObjectName(QStringLiteral("ControlPanelPage"));
    PageControl->addTab(ControlPanelPage, QStringLiteral("Control Panel"));
    auto* layout = new QVBoxLayout(ControlPanelPage);
    for (const shortcuts::TShortcutButton& entry : shortcuts::ShortcutButtons()) {
        auto* button = new QPushButton(Q(entry.caption), ControlPanelPage);
        button->setMaximumWidth(300);
        layout->addWidget(button);
        const auto handler = entry.handler;
        connect(button, &QPushButton::clicked, this, [this, handler] {
            form::RunGuarded([&] {
                if (handler != nullptr) {
                    handler(*this);
                }
            });
        });
        ShortcutButtons.push_back(button);
    }
    layout->addStretch(1);
}

void TMainForm::CreateExitCodePage() {
    ExitCodePage = new QWidget;
    ExitCodePage->setObjectName(QStringLiteral("ExitCodePage"));
    PageControl->addTab(ExitCodePage, QStringLiteral("ExitCode"));
    auto* layout = new QVBoxLayout(ExitCodePage);
    UserNameText = new QLabel(QStringLiteral("---"), ExitCodePage);
    UserNameText->setObjectName(QStringLiteral("UserNameText"));
    UserNameText->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    UserNameText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(UserNameText);
    for (int code = 0; code < 3; ++code) {
        auto* button = new QPushButton(QString::number(code), ExitCodePage);
        button->setObjectName(QStringLiteral("ExitCode%1Button").arg(code));
        button->setMaximumWidth(120);
        layout->addWidget(button);
        ExitCodeButtons[static_cast<std::size_t>(code)] = button;
    }
    layout->addStretch(1);
}

void TMainForm::ConnectHandlers() {
    connect(PageControl, &QTabWidget::currentChanged, this, [this] {
        if (!pageChangeByProgram_) {
            form::RunGuarded([this] { PageChanged(); });
        }
    });
    connect(CreateRadio, &QRadioButton::clicked, this,
            [this] { form::RunGuarded([this] { ActionClicked(CreateRadio); }); });
    connect(DeleteRadio, &QRadioButton::clicked, this,
            [this] { form::RunGuarded([this] { ActionClicked(DeleteRadio); }); });
    connect(UsersRadio, &QRadioButton::clicked, this,
            [this] { form::RunGuarded([this] { UpdatePanelLayout(); }); });
    connect(GroupsRadio, &QRadioButton::clicked, this,
            [this] { form::RunGuarded([this] { UpdatePanelLayout(); }); });

    const std::pair<QPushButton*, void (*)(batches::TBatchHost&)> batchButtons[] = {
        {CreateUsersButton, &batches::CreateUsersBatch},
        {DeleteUsersButton, &batches::DeleteUsersBatch},
        {CreateLocalGroupsButton, &batches::CreateLocalGroupsBatch},
        {DeleteLocalGroupsButton, &batches::DeleteLocalGroupsBatch},
        {CreateGlobalGroupsButton, &batches::CreateGlobalGroupsBatch},
        {DeleteGlobalGroupsButton, &batches::DeleteGlobalGroupsBatch},
    };
    for (const auto& [button, batch] : batchButtons) {
        connect(button, &QPushButton::clicked, this,
                [this, run = batch] { form::RunGuarded([&] { run(*this); }); });
    }
    connect(RefreshButton, &QPushButton::clicked, this,
            [this] { form::RunGuarded([this] { RefreshGroups(); }); });
    for (int code = 0; code < 3; ++code) {
        connect(ExitCodeButtons[static_cast<std::size_t>(code)], &QPushButton::clicked, this,
                [this, code] { form::RunGuarded([&] { ExitCodeChosen(code); }); });
    }
}

void TMainForm::CreateHandler() {
    try {
        logWriter_ = form::OpenActivityLog();
        LogInfo(WIDE("Begin: Create"));
        LogInfo(form::BannerLine());
        // A log file refused for its safety (a link, another account's file)
        // is said once, on screen, since the file itself is not written.
        if (logWriter_ != nullptr && !logWriter_->InactiveReason().empty()) {
            LogError(logWriter_->InactiveReason());
        }
        if (BeforeCaptionStepTestSeam) {
            BeforeCaptionStepTestSeam();
        }
        const QString caption = QStringLiteral("Vantrel") +
                                QStringLiteral(" :: TestTool Nomvera and Groups :: build ") +
                                Q(form::kBuildDate);
        // The title bar and the task bar both show the window's title, so
        // this caption alone also stands for the application's title.
        setWindowTitle(caption);
        UserNameText->setText(QStringLiteral(" ") + Q(support::GetSamUserName()) +
                              QStringLiteral(" "));
        if (!accounts::IsAdministrator()) {
            LogError(WIDE("not an ") + accounts::GetAdministratorAccountName());
        }
        NameEdit->setMaxLength(kEntryMaxLength);
        PasswordEdit->setMaxLength(kEntryMaxLength);
        SetActivePage(CreateDeletePage);
        UpdatePanelLayout();
        groupNames_ = std::make_unique<batches::TGroupNameList>();
        LogInfo(WIDE("End: Create"));
    } catch (...) {
        // The window opens with whatever was set up so far.
    }
}

void TMainForm::DestroyHandler() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    try {
        log::TDiagnosticLog* writer = logWriter_;
        logWriter_ = nullptr;
        if (writer != nullptr) {
            writer->Close();
        }
    } catch (...) {
    }
    groupNames_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    closingRequested_ = true;
    event->accept();
    QCoreApplication::quit();
    form::RunGuarded([] { shortcuts::RemoveShortcutFolder(); });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GroupPanel && event->type() == QEvent::Resize) {
        PlaceGroupCheckList();
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::ExitCodeChosen(int code) {
    ChosenExitCode = code;
    LogInfo(WIDE("ExitCode: ") + support::WidenText(support::DecimalText(code)));
    close();
    QCoreApplication::quit();
}

void TMainForm::SetActivePage(QWidget* page) {
    const bool before = pageChangeByProgram_;
    pageChangeByProgram_ = true;
    PageControl->setCurrentWidget(page);
    pageChangeByProgram_ = before;
}

void TMainForm::PageChanged() {
    const WideString name = U(NameEdit->text());
    const WideString cleanName = support::CleanEntryText(name);
    if (cleanName != name) {
        NameEdit->setText(Q(cleanName));
    }
    const WideString password = U(PasswordEdit->text());
    const WideString cleanPassword = support::CleanEntryText(password);
    if (cleanPassword != password) {
        PasswordEdit->setText(Q(cleanPassword));
    }
    UpdatePanelLayout();
}

void TMainForm::ActionClicked(QRadioButton* action) {
    // Choosing an action always clears the target: action first, target second.
    action->setChecked(true);
    QRadioButton* other = action == CreateRadio ? DeleteRadio : CreateRadio;
    actionGroup_->setExclusive(false);
    other->setChecked(false);
    actionGroup_->setExclusive(true);
    targetGroup_->setExclusive(false);
    UsersRadio->setChecked(false);
    GroupsRadio->setChecked(false);
    targetGroup_->setExclusive(true);
    // Checking a radio button takes Tab from the others of its group, and
    // clearing it does not give it back: with no target chosen the group is
    // reached by Tab again, as at start.
    UsersRadio->setFocusPolicy(Qt::StrongFocus);
    GroupsRadio->setFocusPolicy(Qt::StrongFocus);
    UpdatePanelLayout();
}

void TMainForm::UpdatePanelLayout() {
    if (g_layoutGuard) {
        return;
    }
    g_layoutGuard = true;
    struct ClearGuard {
        ~ClearGuard() { g_layoutGuard = false; }
    } clearGuard;

    if (PageControl->currentWidget() == LoggingPage ||
        PageControl->currentWidget() != CreateDeletePage) {
        return;
    }
    const bool create = CreateRadio->isChecked();
    const bool remove = DeleteRadio->isChecked();
    const bool users = UsersRadio->isChecked();
    const bool groups = GroupsRadio->isChecked();
    const bool createUsers = create && users;

    PasswordLabel->setVisible(createUsers);
    PasswordEdit->setVisible(createUsers);
    GroupPanel->setVisible(createUsers);

    const QString target = users ? UsersRadio->text()
                           : groups
                               ? GroupsRadio->text()
                               : UsersRadio->text() + QStringLiteral("/") + GroupsRadio->text();
    NamePasswordBox->setTitle(target + QStringLiteral(" (minimum 4 characters)"));
    CountBox->setTitle(QStringLiteral("Number of ") + target +
                       QStringLiteral(" (minimum 1, maximum 999)"));

    std::array<bool, 6> shown = {};
    if (create && users) {
        shown[0] = true;
    } else if (remove && users) {
        shown[1] = true;
    } else if (create && groups) {
        shown[2] = shown[4] = true;
    } else if (remove && groups) {
        shown[3] = shown[5] = true;
    }
    const std::array<QPushButton*, 6> buttons = {
        CreateUsersButton,       DeleteUsersButton,        CreateLocalGroupsButton,
        DeleteLocalGroupsButton, CreateGlobalGroupsButton, DeleteGlobalGroupsButton};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setVisible(shown[i]);
    }

    const QRect first = CreateUsersButton->geometry();
    DeleteUsersButton->move(first.topLeft());
    CreateLocalGroupsButton->move(first.topLeft());
    DeleteLocalGroupsButton->move(first.topLeft());
    const int secondTop = first.top() + first.height() + kSlotGap;
    CreateGlobalGroupsButton->move(first.left(), secondTop);
    DeleteGlobalGroupsButton->move(first.left(), secondTop);
    GroupCheckList->move(GroupCheckList->x(), secondTop);
    PlaceGroupCheckList();

    if (GroupCheckList->count() == 0 && createUsers) {
        FillGroups();
    }

    QString tab;
    const QString targetSuffix = users    ? QStringLiteral(" Users")
                                 : groups ? QStringLiteral(" Groups")
                                          : QString();
    if (create) {
        tab = QStringLiteral("Create") + targetSuffix;
    } else if (remove) {
        tab = QStringLiteral("Delete") + targetSuffix;
    } else {
        tab = QStringLiteral("Create") + QStringLiteral("/") + QStringLiteral("Delete");
    }

    if (accounts::ProfileServiceComplete()) {
        ProfileCheck->setVisible(true);
        if (createUsers) {
            ProfileCheck->setText(QStringLiteral("Create") + QStringLiteral(" Profile"));
            ProfileCheck->setEnabled(true);
        } else if (remove && users) {
            ProfileCheck->setText(QStringLiteral("Delete") + QStringLiteral(" Profile"));
            ProfileCheck->setEnabled(true);
        } else {
            ProfileCheck->setText(QStringLiteral("-"));
            ProfileCheck->setEnabled(false);
        }
    } else {
        ProfileCheck->setText(QStringLiteral("-"));
        ProfileCheck->setEnabled(false);
        ProfileCheck->setChecked(false);
        ProfileCheck->setVisible(false);
    }

    PageControl->setTabText(PageControl->indexOf(CreateDeletePage), tab);
}

void TMainForm::FillGroups() {
    LogInfo(WIDE("Begin: Fill Groups"));
    GroupCheckList->clear();
    if (!groupNames_) {
        groupNames_ = std::make_unique<batches::TGroupNameList>();
    }
    groupNames_->Clear();
    batches::EnumerateLocalGroups(*groupNames_);
    for (std::size_t i = 0; i < groupNames_->Count(); ++i) {
        const WideString& name = (*groupNames_)[i];
        auto* item = new QListWidgetItem(Q(name));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        GroupCheckList->addItem(item);
        const int index = GroupCheckList->row(item);
        // A well-known name that could not be looked up reads as empty and
        // must not tick a group; the comparison is exact, case included.
        const WideString remoteDesktopUsers = accounts::GetRemoteDesktopUsersGroupName();
        bool builtIn = !remoteDesktopUsers.empty() && name == remoteDesktopUsers;
        if (!builtIn) {
            const WideString usersGroup = accounts::GetUsersGroupName();
            builtIn = !usersGroup.empty() && name == usersGroup;
        }
        if (builtIn && index >= 0 && index < GroupCheckList->count()) {
            item->setCheckState(Qt::Checked);
        }
    }
    LogInfo(WIDE("End: Fill Groups: ") +
            support::WidenText(support::DecimalText(GroupCheckList->count())));
}

void TMainForm::RefreshGroups() {
    GroupCheckList->clear();
    ProcessMessages();
    Sleep(100);
    FillGroups();
}

WideString TMainForm::NameText() {
    return U(NameEdit->text());
}

WideString TMainForm::PasswordText() {
    return U(PasswordEdit->text());
}

std::int32_t TMainForm::ReadCount() {
    return support::CountFromText(U(CountEdit->text()));
}

bool TMainForm::ProfileChecked() {
    return ProfileCheck->isChecked();
}

std::size_t TMainForm::GroupCount() {
    return static_cast<std::size_t>(GroupCheckList->count());
}

WideString TMainForm::GroupName(std::size_t index) {
    const QListWidgetItem* item = GroupCheckList->item(static_cast<int>(index));
    return item != nullptr ? U(item->text()) : WideString();
}

bool TMainForm::GroupChecked(std::size_t index) {
    const QListWidgetItem* item = GroupCheckList->item(static_cast<int>(index));
    return item != nullptr && item->checkState() == Qt::Checked;
}

void TMainForm::LogInfo(const WideString& text) {
    AddLogLine(text, TLevel::Info);
}

void TMainForm::LogWarning(const WideString& text) {
    AddLogLine(text, TLevel::Warning);
}

void TMainForm::LogError(const WideString& text) {
    AddLogLine(text, TLevel::Error);
}

void TMainForm::AddLogLine(const WideString& text, TLevel level) {
    const WideString line = form::ActivityLine(logWriter_, level, text);
    LogList->SelectRow(logModel_->Append(Q(line)));
    if (level == TLevel::Error) {
        SetActivePage(LoggingPage);
    }
}

void TMainForm::ShowLoggingPage() {
    SetActivePage(LoggingPage);
}

void TMainForm::Repaint() {
    repaint();
}

void TMainForm::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace nomvera::app
