#include "form/form.h"

#include "accounts/account_server.h"
#include "accounts/admin_check.h"
#include "accounts/profile_service.h"
#include "batches/group_list.h"
#include "form/exception_hook.h"
#include "form/program_state.h"
#include "log/diagnostic_log.h"
#include "platform/process.h"
#include "platform/wide_text.h"
#include "support/count_text.h"
#include "support/files.h"
#include "support/text.h"

#include <array>
#include <utility>

namespace nomvera::form {
namespace {

constexpr int kEntryMaxLength = 17;

// True while UpdatePanelLayout runs; one for the whole process.
bool g_layoutGuard = false;

} // namespace

TForm::TForm(TFormView& view) : view_(view) {}

TForm::~TForm() {
    SetExceptionTarget(nullptr);
    DestroyHandler();
}

bool TForm::CountKeyPasses(WCHAR character) {
    return (character >= WIDE('0') && character <= WIDE('9')) || character < 32;
}

void TForm::CreateHandler() {
    SetExceptionTarget([this](const WideString& line) { LogError(line); });
    try {
        logWriter_ = OpenActivityLog();
        LogInfo(WIDE("Begin: Create"));
        LogInfo(BannerLine());
        for (const auto& line : accounts::AccountServiceLines()) {
            line.error ? LogError(line.text) : LogInfo(line.text);
        }
        // A log file refused for its safety (a link, another account's file)
        // is said once, on screen, since the file itself is not written.
        if (logWriter_ != nullptr && !logWriter_->InactiveReason().empty()) {
            LogError(logWriter_->InactiveReason());
        }
        if (BeforeCaptionStepTestSeam) {
            BeforeCaptionStepTestSeam();
        }
        // The title bar and the task bar both show the window's caption, so
        // this caption alone also stands for the application's title.
        view_.SetCaption(TControl::MainForm, WideString(WIDE("Vantrel")) +
                                                 WIDE(" :: TestTool Nomvera and Groups :: build ") +
                                                 kBuildDate);
        view_.SetCaption(TControl::UserNameText, WIDE(" ") + support::GetSamUserName() + WIDE(" "));
        if (!accounts::IsAdministrator()) {
            LogError(WIDE("not an ") + accounts::GetAdministratorAccountName());
        }
        view_.SetMaxLength(TControl::NameEdit, kEntryMaxLength);
        view_.SetMaxLength(TControl::PasswordEdit, kEntryMaxLength);
        view_.SetActivePage(TControl::CreateDeletePage);
        UpdatePanelLayout();
        groupNames_ = std::make_unique<batches::TGroupNameList>();
        LogInfo(WIDE("End: Create"));
    } catch (...) {
        // The window opens with whatever was set up so far.
    }
}

void TForm::CloseHandler() {
    closingRequested_ = true;
    view_.QuitMessageLoop();
    RunGuarded([] { shortcuts::RemoveShortcutFolder(); });
}

void TForm::DestroyHandler() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    try {
        if (const std::unique_ptr<log::TDiagnosticLog> writer = std::move(logWriter_)) {
            writer->Close();
        }
    } catch (...) {
    }
    groupNames_.reset();
}

void TForm::ExitCodeClicked(int code) {
    RunGuarded([&] {
        ChosenExitCode = code;
        LogInfo(WIDE("ExitCode: ") + support::WidenText(support::DecimalText(code)));
        view_.Close();
        view_.QuitMessageLoop();
    });
}

void TForm::PageChanged() {
    RunGuarded([this] {
        for (const TControl entry : {TControl::NameEdit, TControl::PasswordEdit}) {
            const WideString text = view_.EntryText(entry);
            const WideString clean = support::CleanEntryText(text);
            if (clean != text) {
                view_.SetEntryText(entry, clean);
            }
        }
        UpdatePanelLayout();
    });
}

void TForm::ActionClicked(TControl action) {
    RunGuarded([&] {
        // Choosing an action always clears the target: action first, target second.
        view_.SetChecked(action, true);
        view_.SetChecked(
            action == TControl::CreateRadio ? TControl::DeleteRadio : TControl::CreateRadio, false);
        view_.SetChecked(TControl::UsersRadio, false);
        view_.SetChecked(TControl::GroupsRadio, false);
        UpdatePanelLayout();
    });
}

void TForm::TargetClicked() {
    RunGuarded([this] { UpdatePanelLayout(); });
}

void TForm::BatchClicked(TControl button) {
    RunGuarded([&] {
        if (const std::size_t batch = BatchOfButton(button); batch < kBatches.size()) {
            kBatches[batch].run(*this);
        }
    });
}

void TForm::RefreshClicked() {
    RunGuarded([this] { RefreshGroups(); });
}

void TForm::ShortcutClicked(std::size_t index) {
    RunGuarded([&] {
        const auto& buttons = shortcuts::ShortcutButtons();
        if (index < buttons.size() && buttons[index].handler != nullptr) {
            buttons[index].handler(*this);
        }
    });
}

void TForm::UpdatePanelLayout() {
    if (g_layoutGuard) {
        return;
    }
    g_layoutGuard = true;
    struct ClearGuard {
        ~ClearGuard() { g_layoutGuard = false; }
    } clearGuard;

    const TControl page = view_.ActivePage();
    if (page == TControl::LoggingPage || page != TControl::CreateDeletePage) {
        return;
    }
    const bool create = view_.IsChecked(TControl::CreateRadio);
    const bool remove = view_.IsChecked(TControl::DeleteRadio);
    const bool users = view_.IsChecked(TControl::UsersRadio);
    const bool groups = view_.IsChecked(TControl::GroupsRadio);
    // The buttons of the batches whose action and target are both chosen;
    // the password row and the group list belong to one that takes a
    // password, the Profile box to one that takes a profile.
    std::array<bool, kBatches.size()> shown = {};
    bool passwordShown = false;
    bool profileShown = false;
    for (std::size_t i = 0; i < kBatches.size(); ++i) {
        const TBatch& batch = kBatches[i];
        shown[i] = (batch.action == TBatchAction::Create ? create : remove) &&
                   (batch.target == TBatchTarget::Users ? users : groups);
        passwordShown = passwordShown || (shown[i] && batch.takesPassword);
        profileShown = profileShown || (shown[i] && batch.takesProfile);
    }

    view_.SetVisible(TControl::PasswordLabel, passwordShown);
    view_.SetVisible(TControl::PasswordEdit, passwordShown);
    view_.SetVisible(TControl::GroupPanel, passwordShown);

    const WideString target = users    ? view_.Caption(TControl::UsersRadio)
                              : groups ? view_.Caption(TControl::GroupsRadio)
                                       : view_.Caption(TControl::UsersRadio) + WIDE("/") +
                                             view_.Caption(TControl::GroupsRadio);
    view_.SetCaption(TControl::NamePasswordBox, target + WIDE(" (minimum 4 characters)"));
    view_.SetCaption(TControl::CountBox,
                     WIDE("Number of ") + target + WIDE(" (minimum 1, maximum 999)"));

    for (std::size_t i = 0; i < kBatches.size(); ++i) {
        view_.SetVisible(BatchButton(i), shown[i]);
    }
    // Two slots: the first where the first batch's button is, the second
    // right below it, where the group list starts too.
    const TBounds first = view_.Bounds(BatchButton(0));
    const int secondTop = first.top + first.height + kSlotGap;
    for (std::size_t i = 1; i < kBatches.size(); ++i) {
        view_.Move(BatchButton(i), first.left, kBatches[i].slot == 0 ? first.top : secondTop);
    }
    view_.Move(TControl::GroupCheckList, view_.Bounds(TControl::GroupCheckList).left, secondTop);

    if (view_.GroupEntryCount() == 0 && passwordShown) {
        FillGroups();
    }

    const WideString targetSuffix = users ? WIDE(" Users") : groups ? WIDE(" Groups") : WIDE("");
    WideString tab;
    if (create) {
        tab = WIDE("Create") + targetSuffix;
    } else if (remove) {
        tab = WIDE("Delete") + targetSuffix;
    } else {
        tab = WideString(WIDE("Create")) + WIDE("/") + WIDE("Delete");
    }

    if (accounts::ProfileServiceComplete()) {
        view_.SetVisible(TControl::ProfileCheck, true);
        if (profileShown) {
            view_.SetCaption(TControl::ProfileCheck,
                             WideString(create ? WIDE("Create") : WIDE("Delete")) +
                                 WIDE(" Profile"));
            view_.SetEnabled(TControl::ProfileCheck, true);
        } else {
            view_.SetCaption(TControl::ProfileCheck, WIDE("-"));
            view_.SetEnabled(TControl::ProfileCheck, false);
        }
    } else {
        view_.SetCaption(TControl::ProfileCheck, WIDE("-"));
        view_.SetEnabled(TControl::ProfileCheck, false);
        view_.SetChecked(TControl::ProfileCheck, false);
        view_.SetVisible(TControl::ProfileCheck, false);
    }

    view_.SetCaption(TControl::CreateDeletePage, tab);
}

void TForm::FillGroups() {
    LogInfo(WIDE("Begin: Fill Groups"));
    view_.ClearGroupEntries();
    if (!groupNames_) {
        groupNames_ = std::make_unique<batches::TGroupNameList>();
    }
    groupNames_->Clear();
    batches::EnumerateLocalGroups(*groupNames_);
    for (std::size_t i = 0; i < groupNames_->Count(); ++i) {
        const WideString& name = (*groupNames_)[i];
        const std::size_t index = view_.AddGroupEntry(name);
        // A well-known name that could not be looked up reads as empty and
        // must not tick a group; the comparison is exact, case included.
        const WideString remoteDesktopUsers = accounts::GetRemoteDesktopUsersGroupName();
        bool builtIn = !remoteDesktopUsers.empty() && name == remoteDesktopUsers;
        if (!builtIn) {
            const WideString usersGroup = accounts::GetUsersGroupName();
            builtIn = !usersGroup.empty() && name == usersGroup;
        }
        if (builtIn && index < view_.GroupEntryCount()) {
            view_.SetGroupEntryTicked(index, true);
        }
    }
    // Without the group, new users silently join fewer groups than the ticks
    // of a stock machine promise.
    for (const WideString& line : accounts::MissingBuiltInGroupLines()) {
        LogWarning(line);
    }
    LogInfo(WIDE("End: Fill Groups: ") + support::WidenText(support::DecimalText(
                                             static_cast<std::int64_t>(view_.GroupEntryCount()))));
}

void TForm::RefreshGroups() {
    view_.ClearGroupEntries();
    view_.ProcessMessages();
    Sleep(100);
    FillGroups();
}

WideString TForm::NameText() {
    return view_.EntryText(TControl::NameEdit);
}

WideString TForm::PasswordText() {
    return view_.EntryText(TControl::PasswordEdit);
}

std::int32_t TForm::ReadCount() {
    return support::CountFromText(view_.EntryText(TControl::CountEdit));
}

bool TForm::ProfileChecked() {
    return view_.IsChecked(TControl::ProfileCheck);
}

std::size_t TForm::GroupCount() {
    return view_.GroupEntryCount();
}

WideString TForm::GroupName(std::size_t index) {
    return index < view_.GroupEntryCount() ? view_.GroupEntryName(index) : WideString();
}

bool TForm::GroupChecked(std::size_t index) {
    return index < view_.GroupEntryCount() && view_.IsGroupEntryTicked(index);
}

void TForm::LogInfo(const WideString& text) {
    AddLogLine(text, TActivityLevel::Info);
}

void TForm::LogWarning(const WideString& text) {
    AddLogLine(text, TActivityLevel::Warning);
}

void TForm::LogError(const WideString& text) {
    AddLogLine(text, TActivityLevel::Error);
}

void TForm::AddLogLine(const WideString& text, TActivityLevel level) {
    view_.AppendLogLine(ActivityLine(logWriter_.get(), level, text), level);
    if (level == TActivityLevel::Error) {
        view_.SetActivePage(TControl::LoggingPage);
    }
}

void TForm::ShowLoggingPage() {
    view_.SetActivePage(TControl::LoggingPage);
}

void TForm::Repaint() {
    view_.Repaint();
}

void TForm::ProcessMessages() {
    view_.ProcessMessages();
}

} // namespace nomvera::form
