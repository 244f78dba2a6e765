// Drives nomvera.exe from another process as a user would reach it: finds
// its main window by class and caption and works its controls with window
// messages. What a message cannot carry across processes (a tab's text, a
// list view's row) goes through a buffer inside the program's own memory.
#pragma once

#include <windows.h>

#include "form/form_view.h"
#include "platform/wide_text.h"

#include <cstddef>
#include <string>
#include <vector>

namespace nomvera::winapp::test {

// Memory inside another process, freed with the object.
class TRemoteBuffer {
public:
    TRemoteBuffer(HANDLE process, std::size_t size);
    ~TRemoteBuffer();
    TRemoteBuffer(const TRemoteBuffer&) = delete;
    TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;

    void* Address() const { return address_; }
    void Write(std::size_t offset, const void* data, std::size_t size);
    void Read(std::size_t offset, void* data, std::size_t size) const;

private:
    HANDLE process_;
    void* address_ = nullptr;
};

// One run of nomvera.exe.
class TRunningWindow {
public:
    // Starts the program and waits (up to 30 s) for its main window with
    // this caption; throws std::runtime_error when it does not come.
    TRunningWindow(const WideString& program, const WideString& caption);
    // Ends a program that is still running (TerminateProcess).
    ~TRunningWindow();
    TRunningWindow(const TRunningWindow&) = delete;
    TRunningWindow& operator=(const TRunningWindow&) = delete;

    HWND Window() const { return window_; }
    HWND Control(form::TControl control) const;
    HWND PageControl() const;

    WideString Text(HWND window) const;
    bool IsShown(form::TControl control) const;
    // BM_CLICK: the button, radio button or check box as a mouse click.
    void Click(form::TControl control) const;
    void Type(form::TControl control, wchar_t character) const;
    // Makes the page active as the user does: TCM_SETCURFOCUS, for which the
    // tab control itself selects the tab and sends TCN_SELCHANGE.
    void ShowPage(form::TControl page) const;
    WideString TabText(int index) const;
    // The control with the keyboard focus (nullptr when none), and a Tab key
    // press posted to it as the keyboard does.
    HWND Focus() const;
    void PressTab() const;
    int ActiveTab() const;

    // A list view's rows (LVM_GETITEMTEXTW into this process's buffer) and
    // ticks (the state image: 2 is ticked).
    std::vector<WideString> Rows(form::TControl list) const;
    std::vector<bool> Ticks(form::TControl list) const;
    int SelectedRow(form::TControl list) const;
    // A list view row's image (LVM_GETITEMW with LVIF_IMAGE) and where the
    // row is on the screen (LVM_GETITEMRECT, LVIR_LABEL: its text).
    int RowImage(form::TControl list, int row) const;
    RECT RowTextOnScreen(form::TControl list, int row) const;
    // Ticks or clears a row's check box as a click on it does.
    void SetTick(form::TControl list, int row, bool ticked) const;

    // Waits up to 30 s for the program to end; its exit code, or -1.
    long WaitForExit();
    HANDLE Process() const { return process_.hProcess; }

private:
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

// Windows' name for a path of the Linux side (Wine's drive Z: is "/").
WideString WindowsPath(const std::string& path);

// The lines of the last run in the activity log's ring file (from its last
// start line), read as UTF-8 into wide text; empty when there is no file.
std::vector<WideString> LastRunLines(const WideString& path);

// The colours of the screen's pixels in a rectangle, row by row.
std::vector<COLORREF> ScreenPixels(const RECT& area);

// Writes the window's picture (as on the screen) to a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const WideString& path);

} // namespace nomvera::winapp::test
