// The main window on the Windows API: the view of the toolkit-free form
// (form/form.h). A top-level window with a tab control and the Create/Delete,
// Logging, Control Panel and ExitCode pages; it hands every user action to
// the form and does to its controls what the form asks (form/form_view.h).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "form/form.h"
#include "form/form_view.h"
#include "platform/wide_text.h"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace nomvera::winapp {

class TMainWindow : private form::TFormView {
public:
    // Registers the window classes, builds the window and its pages (hidden)
    // and runs the form's window-creation handler. A failure inside the
    // handler is swallowed (the window opens); a window that cannot be made
    // at all throws std::runtime_error.
    explicit TMainWindow(HINSTANCE instance);
    // Runs the form's destroy handler while every control is still there,
    // then destroys the window.
    ~TMainWindow() override;
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;

    void Show(int showCommand);
    // The message loop, with the dialog keys (Tab, arrows, Enter, mnemonics)
    // handled by IsDialogMessage; returns once the loop is asked to end.
    void RunMessageLoop();

    form::TForm& Form() { return *form_; }
    HWND Handle() const { return window_; }

private:
    using TControl = form::TControl;

    static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CountEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK LogListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void HandleCommand(int id, int code);
    LRESULT HandleNotify(NMHDR& header);
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or the previous page, as a
    // change by the user. True when the message was such a key.
    bool HandlePageKey(const MSG& message);
    void Dispatch(MSG& message);

    // Building the window, in design units scaled to the window's DPI.
    int Scale(int units) const;
    HWND Make(const wchar_t* className, const WideString& text, DWORD style, HWND parent, int id,
              int left, int top, int width, int height, DWORD exStyle = 0);
    HWND MakeControl(TControl control, const wchar_t* className, DWORD style, HWND parent, int left,
                     int top, int width, int height, DWORD exStyle = 0);
    void CreatePages();
    void CreateOperationPanel(HWND page);
    void CreateLoggingPage(HWND page);
    void CreateControlPanelPage(HWND page);
    void CreateExitCodePage(HWND page);
    void MakeFonts();
    void ApplyFonts();
    void LayOut();
    void PlaceGroupCheckList();
    void ShowActivePage();
    void SetLogColumnWidth();
    // The marks of error and warning lines (the system's error and warning
    // icons) at the window's dots per inch, and the text colour of a line.
    void MakeLogMarks();
    LRESULT DrawLogLine(NMLVCUSTOMDRAW& draw);
    // Tells the log list the lines added since it last heard.
    void UpdateLogList();
    void RescaleChildren(UINT oldDpi, UINT newDpi);
    HWND Control(TControl control) const { return controls_[static_cast<std::size_t>(control)]; }
    bool IsPage(TControl control) const;

    // TFormView on the controls above.
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

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND pageControl_ = nullptr;
    HWND buttonPanel_ = nullptr;
    std::array<HWND, form::kControlCount> controls_ = {};
    std::vector<HWND> shortcutButtons_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HFONT font_ = nullptr;
    HFONT logFont_ = nullptr;
    int logCharWidth_ = 8;
    HICON appIcon_ = nullptr;
    HICON appSmallIcon_ = nullptr;
    HICON createIcon_ = nullptr;
    HICON deleteIcon_ = nullptr;
    // The activity log's lines: the list view holds only their count and
    // asks for a line's text when it shows it.
    std::vector<WideString> logLines_;
    std::vector<form::TActivityLevel> logLevels_;
    std::size_t longestLogLine_ = 0;
    std::size_t columnLogLine_ = 0; // the longest line when the column was last sized
    bool logUpdatePending_ = false;
    bool pageChangeByProgram_ = false;
    // The control that had the keyboard when the window was last active.
    HWND lastFocus_ = nullptr;
    std::unique_ptr<form::TForm> form_;
};

} // namespace nomvera::winapp
