#include "tests/winapp/window_driver.h"

#include <windows.h>

#include <commctrl.h>

#include "platform/wide_text.h"
#include "winapp/control_ids.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace nomvera::winapp::test {
namespace {

// A message that does not come back within this time fails the test
// instead of hanging it.
constexpr UINT kSendTimeoutMs = 20000;
constexpr int kTextRoom = 1024;

struct TFinding {
    DWORD processId;
    const WideString* caption;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM data) {
    auto& finding = *reinterpret_cast<TFinding*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner != finding.processId || WideString(className) != kMainWindowClass) {
        return TRUE;
    }
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (WideString(caption) == *finding.caption) {
        finding.found = window;
        return FALSE;
    }
    return TRUE;
}

// The UTF-8 text as UTF-16.
WideString FromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    WideString wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

} // namespace

TRemoteBuffer::TRemoteBuffer(HANDLE process, std::size_t size) : process_(process) {
    address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (address_ == nullptr) {
        throw std::runtime_error("VirtualAllocEx failed");
    }
}

TRemoteBuffer::~TRemoteBuffer() {
    VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

void TRemoteBuffer::Write(std::size_t offset, const void* data, std::size_t size) {
    SIZE_T written = 0;
    if (!WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size,
                            &written) ||
        written != size) {
        throw std::runtime_error("WriteProcessMemory failed");
    }
}

void TRemoteBuffer::Read(std::size_t offset, void* data, std::size_t size) const {
    SIZE_T read = 0;
    if (!ReadProcessMemory(process_, static_cast<const char*>(address_) + offset, data, size,
                           &read) ||
        read != size) {
        throw std::runtime_error("ReadProcessMemory failed");
    }
}

TRunningWindow::TRunningWindow(const WideString& program, const WideString& caption) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    WideString commandLine = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
        throw std::runtime_error("CreateProcessW failed for nomvera.exe");
    }
    WaitForInputIdle(process_.hProcess, 30000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    TFinding finding = {process_.dwProcessId, &caption, nullptr};
    while (finding.found == nullptr) {
        EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&finding));
        if (finding.found != nullptr) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline ||
            WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) {
            throw std::runtime_error("nomvera.exe showed no main window with the caption");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    window_ = finding.found;
}

TRunningWindow::~TRunningWindow() {
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 255);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

LRESULT TRunningWindow::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
        throw std::runtime_error("the window did not answer a message");
    }
    return static_cast<LRESULT>(result);
}

HWND TRunningWindow::Control(form::TControl control) const {
    if (control == form::TControl::MainForm) {
        return window_;
    }
    // The controls lie on pages and panels; their identifiers are unique.
    struct TSearch {
        int id;
        HWND found;
    } search = {ControlId(control), nullptr};
    EnumChildWindows(
        window_,
        [](HWND child, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<TSearch*>(data);
            if (GetDlgCtrlID(child) == wanted.id) {
                wanted.found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        throw std::runtime_error("no control with the identifier");
    }
    return search.found;
}

HWND TRunningWindow::PageControl() const {
    HWND tabs = GetDlgItem(window_, kPageControlId);
    if (tabs == nullptr) {
        throw std::runtime_error("no page control");
    }
    return tabs;
}

WideString TRunningWindow::Text(HWND window) const {
    wchar_t text[kTextRoom] = {};
    Send(window, WM_GETTEXT, kTextRoom, reinterpret_cast<LPARAM>(text));
    return text;
}

bool TRunningWindow::IsShown(form::TControl control) const {
    return IsWindowVisible(Control(control)) != FALSE;
}

void TRunningWindow::Click(form::TControl control) const {
    Send(Control(control), BM_CLICK, 0, 0);
}

void TRunningWindow::Type(form::TControl control, wchar_t character) const {
    Send(Control(control), WM_CHAR, character, 1);
}

void TRunningWindow::ShowPage(form::TControl page) const {
    const int index = static_cast<int>(page) - static_cast<int>(form::TControl::CreateDeletePage);
    Send(PageControl(), TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
}

WideString TRunningWindow::TabText(int index) const {
    TRemoteBuffer remote(process_.hProcess, sizeof(TCITEMW) + kTextRoom * sizeof(wchar_t));
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(item));
    item.cchTextMax = kTextRoom;
    remote.Write(0, &item, sizeof(item));
    if (!Send(PageControl(), TCM_GETITEMW, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(remote.Address()))) {
        return {};
    }
    wchar_t text[kTextRoom] = {};
    remote.Read(sizeof(item), text, sizeof(text) - sizeof(wchar_t));
    return text;
}

HWND TRunningWindow::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(process_.dwThreadId, &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

void TRunningWindow::PressTab() const {
    HWND focus = Focus();
    const UINT scanCode = MapVirtualKeyW(VK_TAB, MAPVK_VK_TO_VSC);
    PostMessageW(focus != nullptr ? focus : window_, WM_KEYDOWN, VK_TAB, 1 | (scanCode << 16));
    PostMessageW(focus != nullptr ? focus : window_, WM_KEYUP, VK_TAB,
                 1 | (scanCode << 16) | (1u << 30) | (1u << 31));
    // The posted keys are handled once a message sent after them returns.
    Sleep(100);
    Send(window_, WM_NULL, 0, 0);
}

int TRunningWindow::ActiveTab() const {
    return static_cast<int>(Send(PageControl(), TCM_GETCURSEL, 0, 0));
}

std::vector<WideString> TRunningWindow::Rows(form::TControl list) const {
    HWND handle = Control(list);
    const auto count = static_cast<int>(Send(handle, LVM_GETITEMCOUNT, 0, 0));
    TRemoteBuffer remote(process_.hProcess, sizeof(LVITEMW) + kTextRoom * sizeof(wchar_t));
    std::vector<WideString> rows;
    for (int row = 0; row < count; ++row) {
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText =
            reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(item));
        item.cchTextMax = kTextRoom;
        remote.Write(0, &item, sizeof(item));
        const auto length = Send(handle, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                 reinterpret_cast<LPARAM>(remote.Address()));
        WideString text(static_cast<std::size_t>(std::max<LRESULT>(0, length)), L'\0');
        if (!text.empty()) {
            remote.Read(sizeof(item), text.data(), text.size() * sizeof(wchar_t));
        }
        rows.push_back(text);
    }
    return rows;
}

std::vector<bool> TRunningWindow::Ticks(form::TControl list) const {
    HWND handle = Control(list);
    const auto count = static_cast<int>(Send(handle, LVM_GETITEMCOUNT, 0, 0));
    std::vector<bool> ticks;
    for (int row = 0; row < count; ++row) {
        const auto state =
            Send(handle, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
        ticks.push_back(((state & LVIS_STATEIMAGEMASK) >> 12) == 2);
    }
    return ticks;
}

int TRunningWindow::SelectedRow(form::TControl list) const {
    return static_cast<int>(
        Send(Control(list), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int TRunningWindow::RowImage(form::TControl list, int row) const {
    TRemoteBuffer remote(process_.hProcess, sizeof(LVITEMW));
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    remote.Write(0, &item, sizeof(item));
    Send(Control(list), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(0, &item, sizeof(item));
    return item.iImage;
}

RECT TRunningWindow::RowTextOnScreen(form::TControl list, int row) const {
    TRemoteBuffer remote(process_.hProcess, sizeof(RECT));
    RECT place = {};
    place.left = LVIR_LABEL;
    remote.Write(0, &place, sizeof(place));
    Send(Control(list), LVM_GETITEMRECT, static_cast<WPARAM>(row),
         reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(0, &place, sizeof(place));
    MapWindowPoints(Control(list), nullptr, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void TRunningWindow::SetTick(form::TControl list, int row, bool ticked) const {
    TRemoteBuffer remote(process_.hProcess, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    remote.Write(0, &item, sizeof(item));
    Send(Control(list), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
         reinterpret_cast<LPARAM>(remote.Address()));
}

long TRunningWindow::WaitForExit() {
    if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
}

WideString WindowsPath(const std::string& path) {
    WideString wide = FromUtf8(path);
    for (wchar_t& character : wide) {
        if (character == L'/') {
            character = L'\\';
        }
    }
    return !wide.empty() && wide[0] == L'\\' ? L"Z:" + wide : wide;
}

std::vector<WideString> LastRunLines(const WideString& path) {
    // Opened for reading while the program may still hold it for writing.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string content;
    if (file != INVALID_HANDLE_VALUE) {
        char chunk[65536];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
            content.append(chunk, read);
        }
        CloseHandle(file);
    }
    std::vector<WideString> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find(" Log Started[") != std::string::npos) {
            lines.clear();
        }
        lines.push_back(FromUtf8(line));
        start = end + 1;
    }
    return lines;
}

std::vector<COLORREF> ScreenPixels(const RECT& area) {
    const int width = std::max<int>(0, area.right - area.left);
    const int height = std::max<int>(0, area.bottom - area.top);
    std::vector<COLORREF> colours;
    if (width == 0 || height == 0) {
        return colours;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, before);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height; // top-down
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const int lines = GetDIBits(memory, picture, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines == height) {
        for (const DWORD pixel : pixels) { // 0x00RRGGBB
            colours.push_back(RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
        }
    }
    return colours;
}

bool SaveWindowPicture(HWND window, const WideString& path) {
    RECT place = {};
    GetWindowRect(window, &place);
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    SelectObject(memory, before);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::string pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), '\0');
    const int lines = GetDIBits(memory, picture, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height) {
        return false;
    }
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42; // "BM"
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = static_cast<DWORD>(fileHeader.bfOffBits + pixels.size());
    std::ofstream file(path.c_str(), std::ios::binary);
    file.write(reinterpret_cast<const char*>(&fileHeader), sizeof(fileHeader));
    file.write(reinterpret_cast<const char*>(&header), sizeof(header));
    file.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return file.good();
}

} // namespace nomvera::winapp::test
