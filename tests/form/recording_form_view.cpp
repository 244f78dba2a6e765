#include "tests/form/recording_form_view.h"

#include "support/text.h"

namespace nomvera::test {
namespace {

using form::TControl;

constexpr const char* kNames[] = {
    "MainForm",        "CreateDeletePage", "LoggingPage",  "ControlPanelPage", "ExitCodePage",
    "CreateRadio",     "DeleteRadio",      "UsersRadio",   "GroupsRadio",      "ProfileCheck",
    "NamePasswordBox", "NameLabel",        "NameEdit",     "PasswordLabel",    "PasswordEdit",
    "CountBox",        "CountLabel",       "CountEdit",    "GroupPanel",       "RefreshButton",
    "GroupCheckList",  "LogList",          "UserNameText", "ExitCode0Button",  "ExitCode1Button",
    "ExitCode2Button"};
static_assert(std::size(kNames) == static_cast<std::size_t>(TControl::FirstBatchButton));

std::string Utf8(const WideString& text) {
    return support::NarrowText(text);
}

// The other radio button of the radio's group.
TControl Partner(TControl radio) {
    switch (radio) {
    case TControl::CreateRadio:
        return TControl::DeleteRadio;
    case TControl::DeleteRadio:
        return TControl::CreateRadio;
    case TControl::UsersRadio:
        return TControl::GroupsRadio;
    case TControl::GroupsRadio:
        return TControl::UsersRadio;
    default:
        return radio;
    }
}

} // namespace

TRecordingFormView::TRecordingFormView() {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto control = static_cast<TControl>(i);
        controls[i].caption = form::DesignCaption(control);
        controls[i].maxLength = form::DesignMaxLength(control);
    }
    State(TControl::ProfileCheck).checked = true;
    for (std::size_t i = 0; i < form::kBatches.size(); ++i) {
        State(form::BatchButton(i)).bounds = {8, 8, 180, 25};
    }
    State(TControl::GroupCheckList).bounds = {8, 37, 160, 120};
}

std::string TRecordingFormView::Name(TControl control) {
    // A batch button by its caption: "Create Users" is CreateUsersButton.
    if (const std::size_t batch = form::BatchOfButton(control); batch < form::kBatches.size()) {
        std::string name = Utf8(form::kBatches[batch].caption);
        std::erase(name, ' ');
        return name + "Button";
    }
    return kNames[static_cast<std::size_t>(control)];
}

void TRecordingFormView::Record(std::string call) {
    calls.push_back(call);
    if (onCall) {
        onCall(call);
    }
}

void TRecordingFormView::ClickRadio(TControl radio) {
    State(radio).checked = true;
    State(Partner(radio)).checked = false;
    if (radio == TControl::CreateRadio || radio == TControl::DeleteRadio) {
        form->ActionClicked(radio);
    } else {
        form->TargetClicked();
    }
}

void TRecordingFormView::ChoosePage(TControl page) {
    activePage = page;
    form->PageChanged();
}

void TRecordingFormView::SetVisible(TControl control, bool visible) {
    State(control).visible = visible;
    Record("SetVisible(" + Name(control) + ", " + std::to_string(visible) + ")");
}

void TRecordingFormView::SetEnabled(TControl control, bool enabled) {
    State(control).enabled = enabled;
    Record("SetEnabled(" + Name(control) + ", " + std::to_string(enabled) + ")");
}

WideString TRecordingFormView::Caption(TControl control) {
    Record("Caption(" + Name(control) + ")");
    return State(control).caption;
}

void TRecordingFormView::SetCaption(TControl control, const WideString& caption) {
    State(control).caption = caption;
    Record("SetCaption(" + Name(control) + ", " + Utf8(caption) + ")");
}

form::TBounds TRecordingFormView::Bounds(TControl control) {
    Record("Bounds(" + Name(control) + ")");
    return State(control).bounds;
}

void TRecordingFormView::Move(TControl control, int left, int top) {
    State(control).bounds.left = left;
    State(control).bounds.top = top;
    Record("Move(" + Name(control) + ", " + std::to_string(left) + ", " + std::to_string(top) +
           ")");
}

WideString TRecordingFormView::EntryText(TControl entry) {
    Record("EntryText(" + Name(entry) + ")");
    return State(entry).text;
}

void TRecordingFormView::SetEntryText(TControl entry, const WideString& text) {
    State(entry).text = text;
    Record("SetEntryText(" + Name(entry) + ", " + Utf8(text) + ")");
}

void TRecordingFormView::SetMaxLength(TControl entry, int characters) {
    State(entry).maxLength = characters;
    Record("SetMaxLength(" + Name(entry) + ", " + std::to_string(characters) + ")");
}

bool TRecordingFormView::IsChecked(TControl control) {
    Record("IsChecked(" + Name(control) + ")");
    return State(control).checked;
}

void TRecordingFormView::SetChecked(TControl control, bool checked) {
    State(control).checked = checked;
    if (checked) {
        State(Partner(control)).checked = false;
    }
    Record("SetChecked(" + Name(control) + ", " + std::to_string(checked) + ")");
}

void TRecordingFormView::ClearGroupEntries() {
    groups.clear();
    Record("ClearGroupEntries()");
}

std::size_t TRecordingFormView::AddGroupEntry(const WideString& name) {
    groups.push_back({name, false});
    Record("AddGroupEntry(" + Utf8(name) + ")");
    return groups.size() - 1;
}

std::size_t TRecordingFormView::GroupEntryCount() {
    Record("GroupEntryCount()");
    return groups.size();
}

WideString TRecordingFormView::GroupEntryName(std::size_t index) {
    Record("GroupEntryName(" + std::to_string(index) + ")");
    return groups.at(index).name;
}

bool TRecordingFormView::IsGroupEntryTicked(std::size_t index) {
    Record("IsGroupEntryTicked(" + std::to_string(index) + ")");
    return groups.at(index).ticked;
}

void TRecordingFormView::SetGroupEntryTicked(std::size_t index, bool ticked) {
    groups.at(index).ticked = ticked;
    Record("SetGroupEntryTicked(" + std::to_string(index) + ", " + std::to_string(ticked) + ")");
}

void TRecordingFormView::AppendLogLine(const WideString& line, form::TActivityLevel) {
    logLines.push_back(line);
    Record("AppendLogLine(" + Utf8(line) + ")");
}

form::TControl TRecordingFormView::ActivePage() {
    Record("ActivePage()");
    return activePage;
}

void TRecordingFormView::SetActivePage(TControl page) {
    activePage = page;
    Record("SetActivePage(" + Name(page) + ")");
}

void TRecordingFormView::Repaint() {
    Record("Repaint()");
}

void TRecordingFormView::ProcessMessages() {
    Record("ProcessMessages()");
}

void TRecordingFormView::Close() {
    Record("Close()");
    form->CloseHandler();
}

void TRecordingFormView::QuitMessageLoop() {
    Record("QuitMessageLoop()");
}

} // namespace nomvera::test
