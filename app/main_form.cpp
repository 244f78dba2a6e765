#include "app/main_form.h"

#include "app/count_entry.h"
#include "app/log_list_view.h"
#include "form/form.h"
#include "form/form_view.h"
#include "platform/wide_text.h"

#include <QAbstractButton>
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

#include <iterator>
#include <utility>

namespace nomvera::app {
namespace {

QString Q(const WideString& text) {
    return QString::fromStdU16String(text);
}

WideString U(const QString& text) {
    return text.toStdU16String();
}

QString Design(form::TControl control) {
    return Q(form::DesignCaption(control));
}

// A batch's button, named after its caption ("Create Users":
// CreateUsersButton), with the glyph of its action.
QPushButton* MakeBatchButton(const form::TBatch& batch, QWidget* parent) {
    const auto glyph = batch.action == form::TBatchAction::Create ? QStyle::SP_FileDialogNewFolder
                                                                  : QStyle::SP_TrashIcon;
    const QString caption = Q(batch.caption);
    auto* button = new QPushButton(parent->style()->standardIcon(glyph), caption, parent);
    button->setObjectName(QString(caption).remove(QLatin1Char(' ')) + QStringLiteral("Button"));
    button->setGeometry(8, 8, 180, 25);
    return button;
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent), form_(std::make_unique<form::TForm>(static_cast<form::TFormView&>(*this))) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(Design(TControl::MainForm));
    setFont(QFont(QStringLiteral("Microsoft Sans Serif"), 8));
    resize(572, 426);
    // 580 x 400 is the outer size at design; the frame takes about 8 x 34.
    setMinimumSize(572, 366);

    CreatePages();
    ConnectHandlers();
    form_->CreateHandler();
}

TMainForm::~TMainForm() {
    // The destroy handler, while every control is still there.
    form_.reset();
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

    const std::pair<TControl, QWidget*> controls[] = {
        {TControl::MainForm, this},
        {TControl::CreateDeletePage, CreateDeletePage},
        {TControl::LoggingPage, LoggingPage},
        {TControl::ControlPanelPage, ControlPanelPage},
        {TControl::ExitCodePage, ExitCodePage},
        {TControl::CreateRadio, CreateRadio},
        {TControl::DeleteRadio, DeleteRadio},
        {TControl::UsersRadio, UsersRadio},
        {TControl::GroupsRadio, GroupsRadio},
        {TControl::ProfileCheck, ProfileCheck},
        {TControl::NamePasswordBox, NamePasswordBox},
        {TControl::NameLabel, NameLabel},
        {TControl::NameEdit, NameEdit},
        {TControl::PasswordLabel, PasswordLabel},
        {TControl::PasswordEdit, PasswordEdit},
        {TControl::CountBox, CountBox},
        {TControl::CountLabel, CountLabel},
        {TControl::CountEdit, CountEdit},
        {TControl::GroupPanel, GroupPanel},
        {TControl::RefreshButton, RefreshButton},
        {TControl::GroupCheckList, GroupCheckList},
        {TControl::LogList, LogList},
        {TControl::UserNameText, UserNameText},
        {TControl::ExitCode0Button, ExitCodeButtons[0]},
        {TControl::ExitCode1Button, ExitCodeButtons[1]},
        {TControl::ExitCode2Button, ExitCodeButtons[2]},
    };
    static_assert(std::size(controls) + form::kBatches.size() == form::kControlCount);
    for (const auto& [control, widget] : controls) {
        controls_[static_cast<std::size_t>(control)] = widget;
    }
    for (std::size_t i = 0; i < BatchButtons.size(); ++i) {
        controls_[static_cast<std::size_t>(form::BatchButton(i))] = BatchButtons[i];
    }
}

void TMainForm::CreateOperationPanel() {
    CreateDeletePage = new QWidget;
    CreateDeletePage->setObjectName(QStringLiteral("CreateDeletePage"));
    PageControl->addTab(CreateDeletePage, Design(TControl::CreateDeletePage));

    auto* pageLayout = new QHBoxLayout(CreateDeletePage);
    auto* column = new QWidget(CreateDeletePage);
    column->setFixedWidth(300);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(column);

    auto* actionPanel = new QFrame(column);
    actionPanel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* actionLayout = new QHBoxLayout(actionPanel);
    CreateRadio = new QRadioButton(Design(TControl::CreateRadio), actionPanel);
    CreateRadio->setObjectName(QStringLiteral("CreateRadio"));
    DeleteRadio = new QRadioButton(Design(TControl::DeleteRadio), actionPanel);
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
    UsersRadio = new QRadioButton(Design(TControl::UsersRadio), targetPanel);
    UsersRadio->setObjectName(QStringLiteral("UsersRadio"));
    GroupsRadio = new QRadioButton(Design(TControl::GroupsRadio), targetPanel);
    GroupsRadio->setObjectName(QStringLiteral("GroupsRadio"));
    targetLayout->addWidget(UsersRadio);
    targetLayout->addWidget(GroupsRadio);
    targetLayout->addStretch(1);
    targetGroup_ = new QButtonGroup(this);
    targetGroup_->addButton(UsersRadio);
    targetGroup_->addButton(GroupsRadio);
    columnLayout->addWidget(targetPanel);

    ProfileCheck = new QCheckBox(Design(TControl::ProfileCheck), column);
    ProfileCheck->setObjectName(QStringLiteral("ProfileCheck"));
    ProfileCheck->setChecked(true);
    columnLayout->addWidget(ProfileCheck);

    NamePasswordBox = new QGroupBox(Design(TControl::NamePasswordBox), column);
    NamePasswordBox->setObjectName(QStringLiteral("NamePasswordBox"));
    auto* nameLayout = new QGridLayout(NamePasswordBox);
    NameLabel = new QLabel(Design(TControl::NameLabel), NamePasswordBox);
    NameEdit = new QLineEdit(NamePasswordBox);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setMaxLength(form::DesignMaxLength(TControl::NameEdit));
    NameEdit->setAccessibleName(QStringLiteral("Name"));
    NameLabel->setBuddy(NameEdit);
    PasswordLabel = new QLabel(Design(TControl::PasswordLabel), NamePasswordBox);
    PasswordLabel->setObjectName(QStringLiteral("PasswordLabel"));
    PasswordEdit = new QLineEdit(NamePasswordBox);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setMaxLength(form::DesignMaxLength(TControl::PasswordEdit));
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

    CountBox = new QGroupBox(Design(TControl::CountBox), column);
    CountBox->setObjectName(QStringLiteral("CountBox"));
    auto* countLayout = new QHBoxLayout(CountBox);
    CountLabel = new QLabel(Design(TControl::CountLabel), CountBox);
    CountEdit = new QLineEdit(CountBox);
    CountEdit->setObjectName(QStringLiteral("CountEdit"));
    CountEdit->setMaxLength(form::DesignMaxLength(TControl::CountEdit));
    CountEdit->setAccessibleName(QStringLiteral("Number:"));
    CountLabel->setBuddy(CountEdit);
    countKeyFilter_ = new TCountKeyFilter(this);
    CountEdit->installEventFilter(countKeyFilter_);
    countLayout->addWidget(CountLabel);
    countLayout->addWidget(CountEdit, 1);
    columnLayout->addWidget(CountBox);

    ButtonPanel = new QWidget(column);
    ButtonPanel->setObjectName(QStringLiteral("ButtonPanel"));
    ButtonPanel->setFixedSize(196, 8 + 25 + form::kSlotGap + 25 + 8);
    for (std::size_t i = 0; i < BatchButtons.size(); ++i) {
        BatchButtons[i] = MakeBatchButton(form::kBatches[i], ButtonPanel);
    }
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
    QWidgetList order = {CreateRadio,  DeleteRadio, UsersRadio,   GroupsRadio,
                         ProfileCheck, NameEdit,    PasswordEdit, CountEdit};
    order.append(QWidgetList(BatchButtons.begin(), BatchButtons.end()));
    order.append({RefreshButton, GroupCheckList});
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TMainForm::CreateGroupPanel() {
    GroupPanel = new QWidget(CreateDeletePage);
    GroupPanel->setObjectName(QStringLiteral("GroupPanel"));
    GroupPanel->setMinimumSize(160, 120);
    RefreshButton = new QPushButton(Design(TControl::RefreshButton), GroupPanel);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));
    RefreshButton->setGeometry(8, 8, 75, 25);
    GroupCheckList = new QListWidget(GroupPanel);
    GroupCheckList->setObjectName(QStringLiteral("GroupCheckList"));
    GroupCheckList->setAccessibleName(QStringLiteral("Groups"));
    GroupCheckList->move(8, 8 + 25 + form::kSlotGap);
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
    PageControl->addTab(LoggingPage, Design(TControl::LoggingPage));
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
    PageControl->addTab(ControlPanelPage, Design(TControl::ControlPanelPage));
    auto* layout = new QVBoxLayout(ControlPanelPage);
    for (const shortcuts::TShortcutButton& entry : shortcuts::ShortcutButtons()) {
        auto* button = new QPushButton(Q(entry.caption), ControlPanelPage);
        button->setMaximumWidth(300);
        layout->addWidget(button);
        const std::size_t index = ShortcutButtons.size();
        connect(button, &QPushButton::clicked, this,
                [this, index] { form_->ShortcutClicked(index); });
        ShortcutButtons.push_back(button);
    }
    layout->addStretch(1);
}

void TMainForm::CreateExitCodePage() {
    ExitCodePage = new QWidget;
    ExitCodePage->setObjectName(QStringLiteral("ExitCodePage"));
    PageControl->addTab(ExitCodePage, Design(TControl::ExitCodePage));
    auto* layout = new QVBoxLayout(ExitCodePage);
    UserNameText = new QLabel(Design(TControl::UserNameText), ExitCodePage);
    UserNameText->setObjectName(QStringLiteral("UserNameText"));
    UserNameText->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    UserNameText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(UserNameText);
    for (int code = 0; code < 3; ++code) {
        const auto control =
            static_cast<TControl>(static_cast<int>(TControl::ExitCode0Button) + code);
        auto* button = new QPushButton(Design(control), ExitCodePage);
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
            form_->PageChanged();
        }
    });
    connect(CreateRadio, &QRadioButton::clicked, this,
            [this] { form_->ActionClicked(TControl::CreateRadio); });
    connect(DeleteRadio, &QRadioButton::clicked, this,
            [this] { form_->ActionClicked(TControl::DeleteRadio); });
    connect(UsersRadio, &QRadioButton::clicked, this, [this] { form_->TargetClicked(); });
    connect(GroupsRadio, &QRadioButton::clicked, this, [this] { form_->TargetClicked(); });
    for (std::size_t i = 0; i < BatchButtons.size(); ++i) {
        connect(BatchButtons[i], &QPushButton::clicked, this,
                [this, button = form::BatchButton(i)] { form_->BatchClicked(button); });
    }
    connect(RefreshButton, &QPushButton::clicked, this, [this] { form_->RefreshClicked(); });
    for (int code = 0; code < 3; ++code) {
        connect(ExitCodeButtons[static_cast<std::size_t>(code)], &QPushButton::clicked, this,
                [this, code] { form_->ExitCodeClicked(code); });
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    form_->CloseHandler();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GroupPanel && event->type() == QEvent::Resize) {
        PlaceGroupCheckList();
    }
    return QWidget::eventFilter(watched, event);
}

QPushButton* TMainForm::BatchButton(std::string_view command) const {
    const std::size_t batch = form::BatchIndex(command);
    return batch < BatchButtons.size() ? BatchButtons[batch] : nullptr;
}

QWidget* TMainForm::Control(TControl control) const {
    return controls_[static_cast<std::size_t>(control)];
}

void TMainForm::SetVisible(TControl control, bool visible) {
    Control(control)->setVisible(visible);
}

void TMainForm::SetEnabled(TControl control, bool enabled) {
    Control(control)->setEnabled(enabled);
}

WideString TMainForm::Caption(TControl control) {
    QWidget* widget = Control(control);
    if (widget == this) {
        return U(windowTitle());
    }
    if (const int page = PageControl->indexOf(widget); page >= 0) {
        return U(PageControl->tabText(page));
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return U(box->title());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return U(button->text());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return U(label->text());
    }
    return {};
}

void TMainForm::SetCaption(TControl control, const WideString& caption) {
    QWidget* widget = Control(control);
    if (widget == this) {
        setWindowTitle(Q(caption));
    } else if (const int page = PageControl->indexOf(widget); page >= 0) {
        PageControl->setTabText(page, Q(caption));
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(Q(caption));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(Q(caption));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(Q(caption));
    }
}

form::TBounds TMainForm::Bounds(TControl control) {
    const QRect bounds = Control(control)->geometry();
    return {bounds.left(), bounds.top(), bounds.width(), bounds.height()};
}

void TMainForm::Move(TControl control, int left, int top) {
    Control(control)->move(left, top);
    if (control == TControl::GroupCheckList) {
        PlaceGroupCheckList();
    }
}

WideString TMainForm::EntryText(TControl entry) {
    return U(static_cast<QLineEdit*>(Control(entry))->text());
}

void TMainForm::SetEntryText(TControl entry, const WideString& text) {
    static_cast<QLineEdit*>(Control(entry))->setText(Q(text));
}

void TMainForm::SetMaxLength(TControl entry, int characters) {
    static_cast<QLineEdit*>(Control(entry))->setMaxLength(characters);
}

bool TMainForm::IsChecked(TControl control) {
    return static_cast<QAbstractButton*>(Control(control))->isChecked();
}

void TMainForm::SetChecked(TControl control, bool checked) {
    auto* button = static_cast<QAbstractButton*>(Control(control));
    QButtonGroup* group = button->group();
    if (checked || group == nullptr) {
        button->setChecked(checked);
        return;
    }
    // An exclusive group keeps its checked button: let go of it for a moment.
    group->setExclusive(false);
    button->setChecked(false);
    group->setExclusive(true);
    if (group->checkedButton() == nullptr) {
        // Checking a radio button takes Tab from the others of its group, and
        // clearing it does not give it back: with none checked the group is
        // reached by Tab again, as at start.
        for (QAbstractButton* member : group->buttons()) {
            member->setFocusPolicy(Qt::StrongFocus);
        }
    }
}

void TMainForm::ClearGroupEntries() {
    GroupCheckList->clear();
}

std::size_t TMainForm::AddGroupEntry(const WideString& name) {
    auto* item = new QListWidgetItem(Q(name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    GroupCheckList->addItem(item);
    return static_cast<std::size_t>(GroupCheckList->row(item));
}

std::size_t TMainForm::GroupEntryCount() {
    return static_cast<std::size_t>(GroupCheckList->count());
}

WideString TMainForm::GroupEntryName(std::size_t index) {
    const QListWidgetItem* item = GroupCheckList->item(static_cast<int>(index));
    return item != nullptr ? U(item->text()) : WideString();
}

bool TMainForm::IsGroupEntryTicked(std::size_t index) {
    const QListWidgetItem* item = GroupCheckList->item(static_cast<int>(index));
    return item != nullptr && item->checkState() == Qt::Checked;
}

void TMainForm::SetGroupEntryTicked(std::size_t index, bool ticked) {
    if (QListWidgetItem* item = GroupCheckList->item(static_cast<int>(index))) {
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void TMainForm::AppendLogLine(const WideString& line, form::TActivityLevel level) {
    LogList->SelectRow(logModel_->Append(Q(line), level));
}

form::TControl TMainForm::ActivePage() {
    QWidget* current = PageControl->currentWidget();
    for (const TControl page : form::kPages) {
        if (Control(page) == current) {
            return page;
        }
    }
    return TControl::CreateDeletePage;
}

void TMainForm::SetActivePage(TControl page) {
    // Only a change by the user runs the page change handler.
    const bool before = std::exchange(pageChangeByProgram_, true);
    PageControl->setCurrentWidget(Control(page));
    pageChangeByProgram_ = before;
}

void TMainForm::Repaint() {
    repaint();
}

void TMainForm::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TMainForm::Close() {
    close();
}

void TMainForm::QuitMessageLoop() {
    QCoreApplication::quit();
}

} // namespace nomvera::app
