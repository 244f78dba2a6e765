#include "winapp/main_window.h"

#include <windows.h>

#include <commctrl.h>

#include "form/form.h"
#include "form/form_view.h"
#include "platform/wide_text.h"
#include "shortcuts/shortcuts.h"
#include "winapp/control_ids.h"
#include "winapp/resource_ids.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace nomvera::winapp {
namespace {

using form::kPages;
using form::kSlotGap;
using form::TControl;

// The client area at design and its least size, in design units (pixels at
// 96 DPI): 580 x 400 is the least outer size, of which the frame takes about
// 8 x 34.
constexpr int kClientWidth = 572;
constexpr int kClientHeight = 426;
constexpr int kMinClientWidth = 572;
constexpr int kMinClientHeight = 366;
// The operation panel's left column and the group panel beside it.
constexpr int kColumnWidth = 300;
constexpr int kMargin = 8;
constexpr int kButtonHeight = 25;
constexpr int kGroupPanelLeft = kMargin + kColumnWidth + kMargin;
// Posted to the main window after lines were added to the log.
constexpr UINT kLogUpdateMessage = WM_APP + 1;

// The controls whose caption is their window text (or a tab's text): those
// the design gives a caption; entries, lists and panels have none.
bool HasCaption(TControl control) {
    return !form::DesignCaption(control).empty();
}

WideString WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    WideString text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

// The control a WM_COMMAND identifier names, or nothing.
bool ControlOfId(int id, TControl& control) {
    const int index = id - kControlIdBase;
    if (index < 0 || index >= static_cast<int>(form::kControlCount)) {
        return false;
    }
    control = static_cast<TControl>(index);
    return true;
}

BOOL CALLBACK SetFontOn(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

} // namespace

TMainWindow::TMainWindow(HINSTANCE instance) : instance_(instance) {
    WNDCLASSEXW mainClass = {};
    mainClass.cbSize = sizeof(mainClass);
    mainClass.lpfnWndProc = &TMainWindow::MainProc;
    mainClass.hInstance = instance_;
    mainClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(NOMVERA_IDI_APP));
    mainClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    mainClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    mainClass.lpszClassName = kMainWindowClass;
    WNDCLASSEXW panelClass = mainClass;
    panelClass.lpfnWndProc = &TMainWindow::PanelProc;
    panelClass.hIcon = nullptr;
    panelClass.lpszClassName = kPanelClass;
    // A second window in the same process finds both classes registered.
    if ((RegisterClassExW(&mainClass) == 0 || RegisterClassExW(&panelClass) == 0) &&
        GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("RegisterClassExW failed");
    }

    form_ = std::make_unique<form::TForm>(static_cast<form::TFormView&>(*this));
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass,
                              form::DesignCaption(TControl::MainForm).c_str(),
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) {
        throw std::runtime_error("CreateWindowExW failed for the main window");
    }
    controls_[static_cast<std::size_t>(TControl::MainForm)] = window_;
    dpi_ = GetDpiForWindow(window_);
    if (dpi_ == 0) {
        dpi_ = USER_DEFAULT_SCREEN_DPI;
    }
    MakeFonts();
    RECT outer = {0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectExForDpi(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreatePages();
    ApplyFonts();
    LayOut();
    form_->CreateHandler();
}

TMainWindow::~TMainWindow() {
    // The destroy handler, while every control is still there.
    form_.reset();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    for (HFONT font : {font_, logFont_}) {
        if (font != nullptr) {
            DeleteObject(font);
        }
    }
    for (HICON icon : {appIcon_, appSmallIcon_, createIcon_, deleteIcon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

void TMainWindow::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

void TMainWindow::RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        Dispatch(message);
    }
}

void TMainWindow::Dispatch(MSG& message) {
    if (HandlePageKey(message) || IsDialogMessageW(window_, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool TMainWindow::HandlePageKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || GetKeyState(VK_CONTROL) >= 0 ||
        (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
        return false;
    }
    const int count = static_cast<int>(kPages.size());
    const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
    // TCM_SETCURFOCUS selects the tab as a click does: the tab control
    // sends TCN_SELCHANGE.
    TabCtrl_SetCurFocus(pageControl_, (TabCtrl_GetCurSel(pageControl_) + step) % count);
    return true;
}

LRESULT CALLBACK TMainWindow::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<TMainWindow*>(create->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self = nullptr;
    }
    if (self == nullptr || self->form_ == nullptr) {
        // Before the form exists and after it has gone: the default handling.
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK TMainWindow::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
            // The controls on the pages and panels report to the main window.
            return SendMessageW(self->window_, message, wParam, lParam);
        case WM_SIZE:
            if (window == self->Control(TControl::GroupPanel)) {
                self->PlaceGroupCheckList();
            }
            break;
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainWindow::CountEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR) {
    // The count key rule: a typed character that does not pass never reaches
    // the entry. Pasting (Ctrl+V is the control character 22) is not typing.
    if (message == WM_CHAR && !form::TForm::CountKeyPasses(static_cast<WCHAR>(wParam))) {
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainWindow::LogListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    // Whoever asks the list anything (a paint, a screen reader, a program
    // reading its rows) sees every line added so far.
    reinterpret_cast<TMainWindow*>(data)->UpdateLogList();
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT TMainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        LayOut();
        return 0;
    case WM_GETMINMAXINFO: {
        RECT least = {0, 0, Scale(kMinClientWidth), Scale(kMinClientHeight)};
        AdjustWindowRectExForDpi(&least, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, dpi_);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = least.right - least.left;
        info->ptMinTrackSize.y = least.bottom - least.top;
        return 0;
    }
    case WM_DPICHANGED: {
        const UINT newDpi = HIWORD(wParam);
        if (newDpi != 0 && newDpi != dpi_) {
            RescaleChildren(dpi_, newDpi);
            dpi_ = newDpi;
            MakeFonts();
            MakeLogMarks();
        }
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        LayOut();
        return 0;
    }
    case kLogUpdateMessage:
        UpdateLogList();
        return 0;
    case WM_COMMAND:
        if (lParam != 0) {
            HandleCommand(LOWORD(wParam), HIWORD(wParam));
        }
        return 0;
    case WM_NOTIFY:
        return HandleNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_ACTIVATE:
        // The control that had the keyboard gets it back when the window is
        // active again.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window_, focus)) {
                lastFocus_ = focus;
            }
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_SETFOCUS: {
        HWND focus = lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_)
                         ? lastFocus_
                         : GetNextDlgTabItem(window_, nullptr, FALSE);
        if (focus != nullptr) {
            SetFocus(focus);
        }
        return 0;
    }
    case WM_CLOSE:
        // Closing hides the window and ends the message loop; the window
        // itself lives on until the program has read the exit code.
        form_->CloseHandler();
        ShowWindow(window_, SW_HIDE);
        return 0;
    case WM_ENDSESSION:
        // Windows ends the process after this message: the log's closing
        // lines are written now.
        if (wParam != 0) {
            form_->CloseHandler();
            form_->DestroyHandler();
        }
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void TMainWindow::HandleCommand(int id, int code) {
    if (code != BN_CLICKED) {
        return;
    }
    if (id >= kShortcutButtonIdBase &&
        id < kShortcutButtonIdBase + static_cast<int>(shortcutButtons_.size())) {
        form_->ShortcutClicked(static_cast<std::size_t>(id - kShortcutButtonIdBase));
        return;
    }
    TControl control;
    if (!ControlOfId(id, control)) {
        return;
    }
    switch (control) {
    case TControl::CreateRadio:
    case TControl::DeleteRadio:
        form_->ActionClicked(control);
        break;
    case TControl::UsersRadio:
    case TControl::GroupsRadio:
        form_->TargetClicked();
        break;
    case TControl::RefreshButton:
        form_->RefreshClicked();
        break;
    case TControl::ExitCode0Button:
    case TControl::ExitCode1Button:
    case TControl::ExitCode2Button:
        form_->ExitCodeClicked(static_cast<int>(control) -
                               static_cast<int>(TControl::ExitCode0Button));
        break;
    default:
        if (form::BatchOfButton(control) < form::kBatches.size()) {
            form_->BatchClicked(control);
        }
        break;
    }
}

LRESULT TMainWindow::HandleNotify(NMHDR& header) {
    if (header.hwndFrom == pageControl_ && header.code == TCN_SELCHANGE) {
        ShowActivePage();
        if (!pageChangeByProgram_) {
            form_->PageChanged();
        }
        return 0;
    }
    if (header.hwndFrom == Control(TControl::LogList) && header.code == NM_CUSTOMDRAW) {
        return DrawLogLine(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    }
    if (header.hwndFrom == Control(TControl::LogList) && header.code == LVN_GETDISPINFOW) {
        // The virtual list asks for the text of a line it shows (or that a
        // screen reader reads), and for its mark.
        auto& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
        if ((item.mask & LVIF_IMAGE) != 0) {
            const auto index = static_cast<std::size_t>(item.iItem);
            const auto level =
                index < logLevels_.size() ? logLevels_[index] : form::TActivityLevel::Info;
            item.iImage = level == form::TActivityLevel::Error     ? 0
                          : level == form::TActivityLevel::Warning ? 1
                                                                   : I_IMAGENONE;
        }
        if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
            const auto index = static_cast<std::size_t>(item.iItem);
            const WideString* line = index < logLines_.size() ? &logLines_[index] : nullptr;
            const std::size_t length =
                line == nullptr
                    ? 0
                    : std::min(line->size(), static_cast<std::size_t>(item.cchTextMax - 1));
            if (length > 0) {
                std::copy_n(line->data(), length, item.pszText);
            }
            item.pszText[length] = L'\0';
        }
        return 0;
    }
    return 0;
}

int TMainWindow::Scale(int units) const {
    return MulDiv(units, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

HWND TMainWindow::Make(const wchar_t* className, const WideString& text, DWORD style, HWND parent,
                       int id, int left, int top, int width, int height, DWORD exStyle) {
    HWND made = CreateWindowExW(exStyle, className, text.c_str(), style | WS_CHILD, Scale(left),
                                Scale(top), Scale(width), Scale(height), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                className == kPanelClass ? this : nullptr);
    if (made == nullptr) {
        throw std::runtime_error("CreateWindowExW failed for a control");
    }
    return made;
}

HWND TMainWindow::MakeControl(TControl control, const wchar_t* className, DWORD style, HWND parent,
                              int left, int top, int width, int height, DWORD exStyle) {
    HWND made = Make(className, form::DesignCaption(control), style, parent, ControlId(control),
                     left, top, width, height, exStyle);
    controls_[static_cast<std::size_t>(control)] = made;
    return made;
}

void TMainWindow::CreatePages() {
    pageControl_ = Make(WC_TABCONTROLW, {}, WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, window_,
                        kPageControlId, 0, 0, kClientWidth, kClientHeight);
    for (std::size_t i = 0; i < kPages.size(); ++i) {
        WideString caption = form::DesignCaption(kPages[i]);
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(pageControl_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        // The pages are the tab control's siblings, above it, so that the
        // dialog keys reach their controls.
        HWND page = MakeControl(kPages[i], kPanelClass, WS_CLIPSIBLINGS, window_, 0, 0,
                                kClientWidth, kClientHeight, WS_EX_CONTROLPARENT);
        SetWindowTextW(page, caption.c_str());
        SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    CreateOperationPanel(Control(TControl::CreateDeletePage));
    CreateLoggingPage(Control(TControl::LoggingPage));
    CreateControlPanelPage(Control(TControl::ControlPanelPage));
    CreateExitCodePage(Control(TControl::ExitCodePage));
    SendMessageW(pageControl_, TCM_SETCURSEL, 0, 0);
    ShowActivePage();
}

void TMainWindow::CreateOperationPanel(HWND page) {
    const DWORD visible = WS_VISIBLE | WS_CLIPSIBLINGS;
    const DWORD radio = visible | BS_AUTORADIOBUTTON;
    // The two radio groups, each in a framed panel of its own.
    const auto makeRadioPanel = [&](int top, TControl first, TControl second) {
        HWND panel = Make(kPanelClass, {}, visible, page, 0, kMargin, top, kColumnWidth, 34,
                          WS_EX_CONTROLPARENT);
        MakeControl(first, WC_BUTTONW, radio | WS_GROUP | WS_TABSTOP, panel, 12, 10, 100, 18);
        MakeControl(second, WC_BUTTONW, radio, panel, 120, 10, 100, 18);
        HWND frame = Make(WC_BUTTONW, {}, visible | BS_GROUPBOX | WS_GROUP, panel, 0, 0, 0,
                          kColumnWidth, 34);
        SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    };
    makeRadioPanel(6, TControl::CreateRadio, TControl::DeleteRadio);
    makeRadioPanel(44, TControl::UsersRadio, TControl::GroupsRadio);

    HWND profile =
        MakeControl(TControl::ProfileCheck, WC_BUTTONW,
                    visible | BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, page, 14, 84, 280, 20);
    SendMessageW(profile, BM_SETCHECK, BST_CHECKED, 0);

    const DWORD label = visible | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
    const DWORD entry = visible | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
    MakeControl(TControl::NameLabel, WC_STATICW, label, page, 18, 129, 78, 22);
    MakeControl(TControl::NameEdit, WC_EDITW, entry, page, 100, 129, 196, 22, WS_EX_CLIENTEDGE);
    MakeControl(TControl::PasswordLabel, WC_STATICW, label, page, 18, 155, 78, 22);
    MakeControl(TControl::PasswordEdit, WC_EDITW, entry, page, 100, 155, 196, 22, WS_EX_CLIENTEDGE);
    MakeControl(TControl::CountLabel, WC_STATICW, label, page, 18, 210, 78, 22);
    HWND count =
        MakeControl(TControl::CountEdit, WC_EDITW, entry, page, 100, 210, 60, 22, WS_EX_CLIENTEDGE);
    SetWindowSubclass(count, &TMainWindow::CountEditProc, 1, 0);
    for (const TControl edit : {TControl::NameEdit, TControl::PasswordEdit, TControl::CountEdit}) {
        SetMaxLength(edit, form::DesignMaxLength(edit));
    }

    buttonPanel_ =
        Make(kPanelClass, {}, visible, page, 0, kMargin, 246, 196,
             kMargin + kButtonHeight + kSlotGap + kButtonHeight + kMargin, WS_EX_CONTROLPARENT);
    for (std::size_t i = 0; i < form::kBatches.size(); ++i) {
        MakeControl(form::BatchButton(i), WC_BUTTONW,
                    visible | BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, buttonPanel_, kMargin, kMargin,
                    180, kButtonHeight);
    }

    HWND groupPanel = MakeControl(TControl::GroupPanel, kPanelClass, visible, page, kGroupPanelLeft,
                                  6, 160, 120, WS_EX_CONTROLPARENT);
    MakeControl(TControl::RefreshButton, WC_BUTTONW,
                visible | BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, groupPanel, kMargin, kMargin, 75,
                kButtonHeight);
    HWND groups = MakeControl(TControl::GroupCheckList, WC_LISTVIEWW,
                              visible | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                  LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                              groupPanel, kMargin, kMargin + kButtonHeight + kSlotGap, 144, 75,
                              WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(groups, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = Scale(120);
    SendMessageW(groups, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    // The group boxes lie beneath the controls they frame.
    const DWORD box = visible | BS_GROUPBOX;
    for (const auto& [control, top, height] : {std::tuple{TControl::NamePasswordBox, 108, 78},
                                               std::tuple{TControl::CountBox, 190, 50}}) {
        HWND frame =
            MakeControl(control, WC_BUTTONW, box, page, kMargin, top, kColumnWidth, height);
        SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void TMainWindow::CreateLoggingPage(HWND page) {
    HWND list = MakeControl(TControl::LogList, WC_LISTVIEWW,
                            WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                                LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                            page, 0, 0, kClientWidth, kClientHeight);
    SetWindowTextW(list, L"Log");
    SetWindowSubclass(list, &TMainWindow::LogListProc, 1, reinterpret_cast<DWORD_PTR>(this));
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = Scale(kClientWidth);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    MakeLogMarks();
}

void TMainWindow::MakeLogMarks() {
    HWND list = Control(TControl::LogList);
    if (list == nullptr) {
        return;
    }
    const int width = GetSystemMetricsForDpi(SM_CXSMICON, dpi_);
    const int height = GetSystemMetricsForDpi(SM_CYSMICON, dpi_);
    HIMAGELIST marks = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 2, 0);
    // Index 0 the error mark, 1 the warning mark; an info line has none but
    // keeps the room, so the lines still line up.
    for (LPCWSTR icon : {IDI_ERROR, IDI_WARNING}) {
        HICON mark =
            static_cast<HICON>(LoadImageW(nullptr, icon, IMAGE_ICON, width, height, LR_SHARED));
        ImageList_AddIcon(marks, mark);
    }
    // The list destroys the image list it held before, and this one at its end.
    ListView_SetImageList(list, marks, LVSIL_SMALL);
}

LRESULT TMainWindow::DrawLogLine(NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
        return CDRF_NOTIFYITEMDRAW;
    }
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) {
        return CDRF_DODEFAULT;
    }
    const auto index = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
    const auto level = index < logLevels_.size() ? logLevels_[index] : form::TActivityLevel::Info;
    if (level == form::TActivityLevel::Info) {
        return CDRF_DODEFAULT;
    }
    // The system has no colour for errors and warnings: they are the usual
    // red and amber, dark on a light window colour and light on a dark one.
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const bool dark =
        GetRValue(window) * 299 + GetGValue(window) * 587 + GetBValue(window) * 114 < 128000;
    if (level == form::TActivityLevel::Error) {
        draw.clrText = dark ? RGB(0xFF, 0x6B, 0x6B) : RGB(0xB0, 0x00, 0x00);
    } else {
        draw.clrText = dark ? RGB(0xFF, 0xC0, 0x4D) : RGB(0x8A, 0x55, 0x00);
    }
    return CDRF_NEWFONT;
}

void TMainWindow::CreateControlPanelPage(HWND page) {
    int top = kMargin;
    for (const shortcuts::TShortcutButton& entry : shortcuts::ShortcutButtons()) {
        const int id = kShortcutButtonIdBase + static_cast<int>(shortcutButtons_.size());
        shortcutButtons_.push_back(Make(WC_BUTTONW, entry.caption,
                                        WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, page, id, kMargin,
                                        top, kColumnWidth, kButtonHeight));
        top += kButtonHeight + 6;
    }
}

void TMainWindow::CreateExitCodePage(HWND page) {
    MakeControl(TControl::UserNameText, WC_STATICW,
                WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_SUNKEN, page, kMargin,
                kMargin, kColumnWidth, 22);
    int top = kMargin + 22 + 8;
    for (const TControl button :
         {TControl::ExitCode0Button, TControl::ExitCode1Button, TControl::ExitCode2Button}) {
        MakeControl(button, WC_BUTTONW, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, page, kMargin, top,
                    120, kButtonHeight);
        top += kButtonHeight + 6;
    }
}

void TMainWindow::MakeFonts() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW face = {};
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi_)) {
        face = metrics.lfMessageFont;
    } else {
        face.lfHeight = -Scale(12);
        face.lfWeight = FW_NORMAL;
        face.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(face.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
    }
    HFONT font = CreateFontIndirectW(&face);
    // The log: a fixed-pitch face, so that its columns line up.
    LOGFONTW fixed = {};
    fixed.lfHeight = -Scale(12);
    fixed.lfWeight = FW_NORMAL;
    fixed.lfCharSet = DEFAULT_CHARSET;
    fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(fixed.lfFaceName, L"Consolas", LF_FACESIZE);
    HFONT logFont = CreateFontIndirectW(&fixed);
    if (font == nullptr || logFont == nullptr) {
        for (HFONT made : {font, logFont}) {
            if (made != nullptr) {
                DeleteObject(made);
            }
        }
        return; // keeps the fonts it has
    }
    std::swap(font_, font);
    std::swap(logFont_, logFont);
    if (HDC screen = GetDC(window_)) {
        HGDIOBJ before = SelectObject(screen, logFont_);
        TEXTMETRICW text = {};
        if (GetTextMetricsW(screen, &text)) {
            logCharWidth_ = std::max<int>(1, text.tmAveCharWidth);
        }
        SelectObject(screen, before);
        ReleaseDC(window_, screen);
    }

    // The icons at this DPI: the window's own and the batch buttons'.
    const auto load = [&](int id, int size) {
        return static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    };
    HICON icons[] = {load(NOMVERA_IDI_APP, GetSystemMetricsForDpi(SM_CXICON, dpi_)),
                     load(NOMVERA_IDI_APP, GetSystemMetricsForDpi(SM_CXSMICON, dpi_)),
                     load(NOMVERA_IDI_CREATE, Scale(16)), load(NOMVERA_IDI_DELETE, Scale(16))};
    std::swap(appIcon_, icons[0]);
    std::swap(appSmallIcon_, icons[1]);
    std::swap(createIcon_, icons[2]);
    std::swap(deleteIcon_, icons[3]);
    // The old fonts and icons go once the controls have the new ones.
    if (font != nullptr) {
        ApplyFonts();
        DeleteObject(font);
        DeleteObject(logFont);
    }
    for (HICON old : icons) {
        if (old != nullptr) {
            DestroyIcon(old);
        }
    }
}

void TMainWindow::ApplyFonts() {
    EnumChildWindows(window_, &SetFontOn, reinterpret_cast<LPARAM>(font_));
    if (HWND list = Control(TControl::LogList)) {
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(logFont_), FALSE);
    }
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appSmallIcon_));
    for (std::size_t i = 0; i < form::kBatches.size(); ++i) {
        if (HWND handle = Control(form::BatchButton(i))) {
            const bool create = form::kBatches[i].action == form::TBatchAction::Create;
            SendMessageW(handle, BM_SETIMAGE, IMAGE_ICON,
                         reinterpret_cast<LPARAM>(create ? createIcon_ : deleteIcon_));
        }
    }
    InvalidateRect(window_, nullptr, TRUE);
}

void TMainWindow::LayOut() {
    if (pageControl_ == nullptr) {
        return;
    }
    RECT client = {};
    GetClientRect(window_, &client);
    SetWindowPos(pageControl_, nullptr, 0, 0, client.right, client.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    RECT display = client;
    TabCtrl_AdjustRect(pageControl_, FALSE, &display);
    const int width = std::max<int>(0, display.right - display.left);
    const int height = std::max<int>(0, display.bottom - display.top);
    for (const TControl page : kPages) {
        SetWindowPos(Control(page), nullptr, display.left, display.top, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The group panel fills the page beside the left column.
    const int left = Scale(kGroupPanelLeft);
    const int top = Scale(6);
    SetWindowPos(Control(TControl::GroupPanel), nullptr, left, top,
                 std::max(Scale(160), width - left - Scale(kMargin)),
                 std::max(Scale(120), height - top - Scale(kMargin)),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Control(TControl::LogList), nullptr, 0, 0, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetLogColumnWidth();
}

void TMainWindow::PlaceGroupCheckList() {
    HWND list = Control(TControl::GroupCheckList);
    HWND panel = Control(TControl::GroupPanel);
    if (list == nullptr || panel == nullptr) {
        return;
    }
    // The list keeps its top (the form's layout sets it) and fills the rest
    // of the panel.
    const form::TBounds bounds = Bounds(TControl::GroupCheckList);
    RECT inside = {};
    GetClientRect(panel, &inside);
    const int margin = Scale(kMargin);
    const int width = std::max<int>(0, inside.right - 2 * margin);
    const int height = std::max<int>(0, inside.bottom - bounds.top - margin);
    SetWindowPos(list, nullptr, margin, bounds.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT listInside = {};
    GetClientRect(list, &listInside);
    ListView_SetColumnWidth(list, 0, std::max<int>(Scale(40), listInside.right));
}

void TMainWindow::ShowActivePage() {
    const int current = TabCtrl_GetCurSel(pageControl_);
    for (std::size_t i = 0; i < kPages.size(); ++i) {
        ShowWindow(Control(kPages[i]), static_cast<int>(i) == current ? SW_SHOWNA : SW_HIDE);
    }
}

void TMainWindow::SetLogColumnWidth() {
    HWND list = Control(TControl::LogList);
    RECT inside = {};
    GetClientRect(list, &inside);
    const int needed =
        static_cast<int>(std::min<std::size_t>(longestLogLine_, 100000)) * logCharWidth_ +
        GetSystemMetricsForDpi(SM_CXSMICON, dpi_) + Scale(16);
    ListView_SetColumnWidth(list, 0, std::max<int>(inside.right, needed));
}

void TMainWindow::RescaleChildren(UINT oldDpi, UINT newDpi) {
    struct Scaling {
        UINT from;
        UINT to;
    } scaling = {oldDpi, newDpi};
    EnumChildWindows(
        window_,
        [](HWND child, LPARAM data) -> BOOL {
            const auto& by = *reinterpret_cast<const Scaling*>(data);
            RECT place = {};
            GetWindowRect(child, &place);
            MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&place), 2);
            const auto scale = [&](LONG value) {
                return MulDiv(value, static_cast<int>(by.to), static_cast<int>(by.from));
            };
            SetWindowPos(child, nullptr, scale(place.left), scale(place.top),
                         scale(place.right - place.left), scale(place.bottom - place.top),
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&scaling));
}

bool TMainWindow::IsPage(TControl control) const {
    return std::find(kPages.begin(), kPages.end(), control) != kPages.end();
}

void TMainWindow::SetVisible(TControl control, bool visible) {
    ShowWindow(Control(control), visible ? SW_SHOWNA : SW_HIDE);
}

void TMainWindow::SetEnabled(TControl control, bool enabled) {
    EnableWindow(Control(control), enabled ? TRUE : FALSE);
}

WideString TMainWindow::Caption(TControl control) {
    if (IsPage(control)) {
        const auto index =
            static_cast<WPARAM>(std::find(kPages.begin(), kPages.end(), control) - kPages.begin());
        WideString text(256, L'\0');
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        if (!SendMessageW(pageControl_, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) {
            return {};
        }
        text.resize(std::char_traits<wchar_t>::length(item.pszText));
        if (item.pszText != text.data()) {
            return WideString(item.pszText);
        }
        return text;
    }
    return HasCaption(control) ? WindowText(Control(control)) : WideString();
}

void TMainWindow::SetCaption(TControl control, const WideString& caption) {
    if (IsPage(control)) {
        const auto index =
            static_cast<WPARAM>(std::find(kPages.begin(), kPages.end(), control) - kPages.begin());
        WideString text = caption;
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(pageControl_, TCM_SETITEMW, index, reinterpret_cast<LPARAM>(&item));
        SetWindowTextW(Control(control), caption.c_str());
        // A wider or narrower tab can change the room the pages have.
        LayOut();
        return;
    }
    if (HasCaption(control)) {
        SetWindowTextW(Control(control), caption.c_str());
    }
}

form::TBounds TMainWindow::Bounds(TControl control) {
    HWND handle = Control(control);
    RECT place = {};
    GetWindowRect(handle, &place);
    if (control != TControl::MainForm) {
        MapWindowPoints(nullptr, GetParent(handle), reinterpret_cast<POINT*>(&place), 2);
    }
    return {place.left, place.top, place.right - place.left, place.bottom - place.top};
}

void TMainWindow::Move(TControl control, int left, int top) {
    SetWindowPos(Control(control), nullptr, left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (control == TControl::GroupCheckList) {
        PlaceGroupCheckList();
    }
}

WideString TMainWindow::EntryText(TControl entry) {
    return WindowText(Control(entry));
}

void TMainWindow::SetEntryText(TControl entry, const WideString& text) {
    SetWindowTextW(Control(entry), text.c_str());
}

void TMainWindow::SetMaxLength(TControl entry, int characters) {
    // EM_SETLIMITTEXT takes 0 as "no limit"; an entry of at most 0
    // characters takes none, so it is read-only instead.
    SendMessageW(Control(entry), EM_SETREADONLY, characters <= 0, 0);
    SendMessageW(Control(entry), EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(characters, 1)), 0);
}

bool TMainWindow::IsChecked(TControl control) {
    return SendMessageW(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainWindow::SetChecked(TControl control, bool checked) {
    // BM_SETCHECK changes this button alone, so a radio group can be left
    // with none checked.
    SendMessageW(Control(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TMainWindow::ClearGroupEntries() {
    ListView_DeleteAllItems(Control(TControl::GroupCheckList));
}

std::size_t TMainWindow::AddGroupEntry(const WideString& name) {
    HWND list = Control(TControl::GroupCheckList);
    WideString text = name;
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = text.data();
    const auto index = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    // A failed insert gives an index past the end, which names no entry.
    return index < 0 ? GroupEntryCount() : static_cast<std::size_t>(index);
}

std::size_t TMainWindow::GroupEntryCount() {
    return static_cast<std::size_t>(
        std::max(0, ListView_GetItemCount(Control(TControl::GroupCheckList))));
}

WideString TMainWindow::GroupEntryName(std::size_t index) {
    HWND list = Control(TControl::GroupCheckList);
    for (std::size_t room = 260;; room *= 2) {
        WideString text(room, L'\0');
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(room);
        const auto copied =
            SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
        if (copied < 0 || static_cast<std::size_t>(copied) < room - 1 || room >= 65536) {
            text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
            return text;
        }
    }
}

bool TMainWindow::IsGroupEntryTicked(std::size_t index) {
    return ListView_GetCheckState(Control(TControl::GroupCheckList), static_cast<UINT>(index)) != 0;
}

void TMainWindow::SetGroupEntryTicked(std::size_t index, bool ticked) {
    ListView_SetCheckState(Control(TControl::GroupCheckList), static_cast<int>(index),
                           ticked ? TRUE : FALSE);
}

void TMainWindow::AppendLogLine(const WideString& line, form::TActivityLevel level) {
    // Keeping the line is all an append costs: the list learns the new count
    // once the window handles its messages again (or anyone asks the list
    // for anything), however many lines came in between.
    logLines_.push_back(line);
    logLevels_.push_back(level);
    longestLogLine_ = std::max(longestLogLine_, line.size());
    if (!logUpdatePending_) {
        logUpdatePending_ = true;
        PostMessageW(window_, kLogUpdateMessage, 0, 0);
    }
}

void TMainWindow::UpdateLogList() {
    if (!logUpdatePending_) {
        return;
    }
    logUpdatePending_ = false;
    HWND list = Control(TControl::LogList);
    const int count = static_cast<int>(logLines_.size());
    ListView_SetItemCountEx(list, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    // The last line is the one selected; a single-selection list lets go of
    // the line selected before.
    ListView_SetItemState(list, count - 1, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, count - 1, FALSE);
    if (longestLogLine_ != columnLogLine_) {
        columnLogLine_ = longestLogLine_;
        SetLogColumnWidth();
    }
}

form::TControl TMainWindow::ActivePage() {
    const auto current = TabCtrl_GetCurSel(pageControl_);
    return current >= 0 && static_cast<std::size_t>(current) < kPages.size()
               ? kPages[static_cast<std::size_t>(current)]
               : TControl::CreateDeletePage;
}

void TMainWindow::SetActivePage(TControl page) {
    // TCM_SETCURSEL sends no TCN_SELCHANGE: a change by the program does not
    // reach the form's page change handler.
    const auto index = std::find(kPages.begin(), kPages.end(), page) - kPages.begin();
    const bool before = std::exchange(pageChangeByProgram_, true);
    TabCtrl_SetCurSel(pageControl_, static_cast<int>(index));
    ShowActivePage();
    pageChangeByProgram_ = before;
}

void TMainWindow::Repaint() {
    UpdateLogList();
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TMainWindow::ProcessMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The loop's end is for the program's message loop: put it back.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void TMainWindow::Close() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

void TMainWindow::QuitMessageLoop() {
    PostQuitMessage(0);
}

} // namespace nomvera::winapp
