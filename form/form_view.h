// What the main window's logic (TForm, form/form.h) needs of a window
// toolkit: the named controls and what can be done to them. A view builds the
// controls, implements these functions on them and calls the form's event
// functions when the user acts. Plain virtual functions, wide text and
// integers only, so that a view can sit on any toolkit (Qt on Linux, the
// Windows API on Windows).
//
// Positions and sizes are in the view's logical units (Qt's device-
// independent pixels, or the Windows view's scaled pixels); the form only
// copies and adds them, and its one constant of its own is kSlotGap.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "form/activity_line.h"
#include "form/batch_table.h"
#include "platform/wide_text.h"

namespace nomvera::form {

// The controls the form acts on, named as the form names them.
enum class TControl {
    MainForm, // the window itself; its caption is the title bar's text

    // The pages, in their order on the page control.
    CreateDeletePage,
    LoggingPage,
    ControlPanelPage,
    ExitCodePage,

    // The Create/Delete page's operation panel.
    CreateRadio, // CreateRadio and DeleteRadio: one group, exclusive
    DeleteRadio,
    UsersRadio, // UsersRadio and GroupsRadio: a second group, exclusive
    GroupsRadio,
    ProfileCheck,
    NamePasswordBox, // a group box: its caption is its title
    NameLabel,
    NameEdit,
    PasswordLabel,
    PasswordEdit,
    CountBox,
    CountLabel,
    CountEdit,
    GroupPanel, // holds RefreshButton and GroupCheckList
    RefreshButton,
    GroupCheckList,

    // The Logging page's list of activity-log lines.
    LogList,

    // The ExitCode page.
    UserNameText,
    ExitCode0Button,
    ExitCode1Button,
    ExitCode2Button,

    // The Create/Delete page's batch buttons, all in one panel: one per row
    // of kBatches from here on (BatchButton).
    FirstBatchButton,
};

inline constexpr std::size_t kControlCount =
    static_cast<std::size_t>(TControl::FirstBatchButton) + kBatches.size();

// The button of the batch in row index of kBatches.
constexpr TControl BatchButton(std::size_t index) {
    return static_cast<TControl>(static_cast<std::size_t>(TControl::FirstBatchButton) + index);
}
// The row of kBatches whose button the control is, or kBatches.size().
constexpr std::size_t BatchOfButton(TControl control) {
    const auto first = static_cast<std::size_t>(TControl::FirstBatchButton);
    const auto value = static_cast<std::size_t>(control);
    return value >= first && value - first < kBatches.size() ? value - first : kBatches.size();
}

// The pages in their order on the page control.
inline constexpr std::array<TControl, 4> kPages = {
    TControl::CreateDeletePage, TControl::LoggingPage, TControl::ControlPanelPage,
    TControl::ExitCodePage};

// The caption a control carries when the view builds it (empty for controls
// without one, such as the entries and the lists). A page's caption is its
// tab's text.
WideString DesignCaption(TControl control);
// The most characters an entry takes when the view builds it (the creation
// handler raises the name's and the password's to 17); 0 for other controls.
int DesignMaxLength(TControl control);

// The room between the first and the second batch button slot (the second
// slot, and the group list's top, lie this far below the first button).
inline constexpr int kSlotGap = 4;

// A control's place within its parent and its size.
struct TBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class TFormView {
public:
    virtual ~TFormView() = default;

    // Any control.
    virtual void SetVisible(TControl control, bool visible) = 0;
    virtual void SetEnabled(TControl control, bool enabled) = 0;
    // The caption: the window's title (MainForm), a page's tab text, a group
    // box's title, a button's, check box's, radio button's or label's text.
    virtual WideString Caption(TControl control) = 0;
    virtual void SetCaption(TControl control, const WideString& caption) = 0;
    virtual TBounds Bounds(TControl control) = 0;
    // Moves the control's top left corner, within its parent, to (left, top).
    // A view may let a control grow from there to fill its parent (the group
    // list fills the rest of its panel).
    virtual void Move(TControl control, int left, int top) = 0;

    // The single-line entries NameEdit, PasswordEdit and CountEdit.
    virtual WideString EntryText(TControl entry) = 0;
    virtual void SetEntryText(TControl entry, const WideString& text) = 0;
    // The most characters the user can type into the entry.
    virtual void SetMaxLength(TControl entry, int characters) = 0;

    // The check box and the radio buttons. Checking a radio button clears the
    // other one of its group, as the toolkit's group does; clearing one leaves
    // the other alone, so that a group can have none selected (as at start).
    virtual bool IsChecked(TControl control) = 0;
    virtual void SetChecked(TControl control, bool checked) = 0;

    // GroupCheckList: entries in the order they were added, each with a tick.
    virtual void ClearGroupEntries() = 0;
    // Adds an unticked entry at the end; returns its index.
    virtual std::size_t AddGroupEntry(const WideString& name) = 0;
    virtual std::size_t GroupEntryCount() = 0;
    // For 0 <= index < GroupEntryCount().
    virtual WideString GroupEntryName(std::size_t index) = 0;
    virtual bool IsGroupEntryTicked(std::size_t index) = 0;
    virtual void SetGroupEntryTicked(std::size_t index, bool ticked) = 0;

    // LogList: adds the line at the end, makes it the one selected line and
    // scrolls it into view. The view keeps the lines; the form never reads
    // them. Warning and error lines stand out by colour and by a mark beside
    // them; their text is the same.
    virtual void AppendLogLine(const WideString& line, TActivityLevel level) = 0;

    // The active page: one of the four page controls.
    virtual TControl ActivePage() = 0;
    // Makes the page active. This is a change by the program: the view does
    // not call TForm::PageChanged for it (only a change by the user does).
    virtual void SetActivePage(TControl page) = 0;

    // Repaint the window now / handle every pending window message, then
    // return (the batches call them between accounts).
    virtual void Repaint() = 0;
    virtual void ProcessMessages() = 0;
    // Ask the window to close, as the title bar's close button does: the view
    // calls TForm::CloseHandler for it.
    virtual void Close() = 0;
    // End the application's message loop once control returns to it.
    virtual void QuitMessageLoop() = 0;
};

} // namespace nomvera::form
