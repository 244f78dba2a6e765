// A test double of the window toolkit: a TFormView over plain fields that
// records every call the form makes, in order, and keeps the controls' state
// as a toolkit would (radio groups exclusive, the group list and log list as
// vectors). The user's acts go to the form as a toolkit delivers them.
#pragma once

#include "form/form.h"
#include "form/form_view.h"
#include "platform/wide_text.h"

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace nomvera::test {

class TRecordingFormView : public form::TFormView {
public:
    using TControl = form::TControl;

    struct TControlState {
        bool visible = true;
        bool enabled = true;
        bool checked = false;
        WideString caption;
        WideString text;
        int maxLength = 0;
        form::TBounds bounds;
    };
    struct TGroupEntry {
        WideString name;
        bool ticked = false;
    };

    // Every control in its design state: visible, enabled, its design caption
    // and length, ProfileCheck ticked, the batch buttons in the first slot at
    // (8, 8) sized 180 x 25, the group list below at (8, 37).
    TRecordingFormView();

    static std::string Name(TControl control);
    TControlState& State(TControl control) { return controls[static_cast<std::size_t>(control)]; }

    // The form that a close request and the user's acts go to.
    form::TForm* form = nullptr;

    std::array<TControlState, form::kControlCount> controls;
    std::vector<TGroupEntry> groups;
    std::vector<WideString> logLines;
    TControl activePage = TControl::CreateDeletePage;
    // Every call, as "SetVisible(PasswordEdit, 0)", text in UTF-8.
    std::vector<std::string> calls;
    // Runs after each call is recorded, with what was recorded.
    std::function<void(const std::string&)> onCall;

    // The user's acts: a radio button clicked (checked, its group's other one
    // cleared, then the form's mode handler), another page chosen (made
    // active, then the form's page change handler).
    void ClickRadio(TControl radio);
    void ChoosePage(TControl page);

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
    // Records the call, then runs the form's close handler as a toolkit does.
    void Close() override;
    void QuitMessageLoop() override;

private:
    void Record(std::string call);
};

} // namespace nomvera::test
