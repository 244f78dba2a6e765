// nomvera.exe under Wine, driven from this program with window messages:
// its caption and pages, the four modes of the Create/Delete page, the count
// entry's key rule, the group list, the activity log's rows, the exit codes
// with the ring file's start and closing lines, and its version resource.
// nomvera.exe lies next to this program.
#include <windows.h>

#include <commctrl.h>

#include "form/form_view.h"
#include "platform/wide_text.h"
#include "tests/form/batch_buttons.h"
#include "tests/winapp/window_driver.h"
#include "winapp/control_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace nomvera::winapp::test {
namespace {

using form::TControl;
using namespace ::nomvera::test; // the batch buttons by name

const WideString kCaption = L"Vantrel :: TestTool Nomvera and Groups :: build 01-Jan-2023";

WideString ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    WideString folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

WideString NomveraPath() {
    return ProgramFolder() + L"nomvera.exe";
}

// The planted double, given by the test's command line (--planted=PATH).
WideString g_plantedDouble;

WideString PlantedDoublePath() {
    return g_plantedDouble;
}

std::unique_ptr<TRunningWindow> Start() {
    return std::make_unique<TRunningWindow>(NomveraPath(), kCaption);
}

bool EndsWith(const WideString& text, const WideString& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool HasRowEndingWith(const std::vector<WideString>& rows, const WideString& end) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const WideString& row) { return EndsWith(row, end); });
}

std::string Narrow(const WideString& text) {
    std::string narrow;
    for (const wchar_t character : text) {
        narrow += character < 128 ? static_cast<char>(character) : '?';
    }
    return narrow;
}

// The ring file of the run: the administrator's when Wine reports one (it
// does), else the other name; both in the user's application-data folder.
WideString RingFilePath() {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
    const WideString admin = WideString(folder) + L"\\kelRostery.utf8.log";
    if (GetFileAttributesW(admin.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return admin;
    }
    return WideString(folder) + L"\\kelNonAdminRostery.utf8.log";
}

TEST(WindowsWindow, OpensWithItsCaptionPagesAndStartLinesAndClosesWithCodeZero) {
    auto window = Start();
    wchar_t className[64] = {};
    GetClassNameW(window->Window(), className, 64);
    EXPECT_EQ(WideString(className), kMainWindowClass);
    // The manifest took effect: per-monitor DPI awareness.
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(window->Window())),
              DPI_AWARENESS_PER_MONITOR_AWARE);

    const std::vector<WideString> tabs = {L"Create/Delete", L"Logging", L"Control Panel",
                                          L"ExitCode"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window->TabText(i), tabs[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(window->ActiveTab(), 0);
    EXPECT_TRUE(window->IsShown(TControl::CreateDeletePage));
    EXPECT_FALSE(window->IsShown(TControl::LoggingPage));
    EXPECT_EQ(window->Text(window->Control(TControl::ExitCode1Button)), L"1");

    // The log list: the start block's lines, the last one selected.
    const std::vector<WideString> rows = window->Rows(TControl::LogList);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_TRUE(HasRowEndingWith(rows, L"Begin: Create"));
    EXPECT_TRUE(
        HasRowEndingWith(rows, L"nomvera.exe [2.2.205.1][ Build: 01-Jan-2023][unlimited users]"));
    EXPECT_TRUE(EndsWith(rows.back(), L"End: Create")) << Narrow(rows.back());
    EXPECT_EQ(window->SelectedRow(TControl::LogList), static_cast<int>(rows.size()) - 1);

    // A page change by the user shows that page alone.
    window->ShowPage(TControl::LoggingPage);
    EXPECT_EQ(window->ActiveTab(), 1);
    EXPECT_TRUE(window->IsShown(TControl::LogList));
    EXPECT_FALSE(window->IsShown(TControl::CreateDeletePage));
    window->ShowPage(TControl::CreateDeletePage);
    EXPECT_TRUE(window->IsShown(TControl::CountEdit));

    // The title bar's close button: exit code 0, the log closed.
    PostMessageW(window->Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window->WaitForExit(), 0);
    const std::vector<WideString> lines = LastRunLines(RingFilePath());
    ASSERT_GE(lines.size(), 3u) << Narrow(RingFilePath());
    EXPECT_NE(lines[0].find(L" Log Started[" + RingFilePath() + L"]"), WideString::npos)
        << Narrow(lines[0]);
    EXPECT_TRUE(EndsWith(lines[1], L"|I|Begin: Create")) << Narrow(lines[1]);
    EXPECT_TRUE(
        EndsWith(lines[2], L"\\nomvera.exe [2.2.205.1][ Build: 01-Jan-2023][unlimited users]"))
        << Narrow(lines[2]);
    EXPECT_TRUE(EndsWith(lines.back(), L" Log stopped")) << Narrow(lines.back());
}

TEST(WindowsWindow, EachModeShowsItsControlsAndCaptions) {
    auto window = Start();
    const std::vector<TControl> batchButtons = {
        kCreateUsersButton,       kDeleteUsersButton,        kCreateLocalGroupsButton,
        kDeleteLocalGroupsButton, kCreateGlobalGroupsButton, kDeleteGlobalGroupsButton};
    struct TMode {
        TControl action;
        TControl target;
        const wchar_t* tab;
        const wchar_t* target_text;
        std::vector<TControl> shown;
        bool password_and_groups;
    };
    const TMode modes[] = {
        {TControl::CreateRadio,
         TControl::UsersRadio,
         L"Create Users",
         L"Users",
         {kCreateUsersButton},
         true},
        {TControl::DeleteRadio,
         TControl::UsersRadio,
         L"Delete Users",
         L"Users",
         {kDeleteUsersButton},
         false},
        {TControl::CreateRadio,
         TControl::GroupsRadio,
         L"Create Groups",
         L"Groups",
         {kCreateLocalGroupsButton, kCreateGlobalGroupsButton},
         false},
        {TControl::DeleteRadio,
         TControl::GroupsRadio,
         L"Delete Groups",
         L"Groups",
         {kDeleteLocalGroupsButton, kDeleteGlobalGroupsButton},
         false},
    };
    // At start no mode is chosen: no batch button, the shared captions.
    for (const TControl button : batchButtons) {
        EXPECT_FALSE(window->IsShown(button));
    }
    EXPECT_EQ(window->Text(window->Control(TControl::NamePasswordBox)),
              L"Users/Groups (minimum 4 characters)");
    for (const TMode& mode : modes) {
        SCOPED_TRACE(Narrow(mode.tab));
        window->Click(mode.action);
        // Choosing the action clears the target: no batch button yet.
        EXPECT_EQ(window->TabText(0), mode.tab == WideString(L"Create Users") ||
                                              mode.tab == WideString(L"Create Groups")
                                          ? L"Create"
                                          : L"Delete");
        EXPECT_FALSE(window->IsShown(mode.shown.front()));
        window->Click(mode.target);
        EXPECT_EQ(window->TabText(0), mode.tab);
        for (const TControl button : batchButtons) {
            const bool expected =
                std::find(mode.shown.begin(), mode.shown.end(), button) != mode.shown.end();
            EXPECT_EQ(window->IsShown(button), expected) << static_cast<int>(button);
        }
        EXPECT_EQ(window->IsShown(TControl::PasswordEdit), mode.password_and_groups);
        EXPECT_EQ(window->IsShown(TControl::GroupPanel), mode.password_and_groups);
        EXPECT_TRUE(window->IsShown(TControl::NameEdit));
        EXPECT_TRUE(window->IsShown(TControl::CountEdit));
        EXPECT_EQ(window->Text(window->Control(TControl::NamePasswordBox)),
                  WideString(mode.target_text) + L" (minimum 4 characters)");
        EXPECT_EQ(window->Text(window->Control(TControl::CountBox)),
                  L"Number of " + WideString(mode.target_text) + L" (minimum 1, maximum 999)");
        if (mode.shown.size() == 2) {
            // The second button sits in the second slot, 4 units below the first.
            RECT first = {};
            RECT second = {};
            GetWindowRect(window->Control(mode.shown[0]), &first);
            GetWindowRect(window->Control(mode.shown[1]), &second);
            EXPECT_EQ(second.top, first.bottom + 4);
            EXPECT_EQ(second.left, first.left);
        }
    }
}

// The dialog keys: the first control has the keyboard at start, and Tab
// walks the visible controls of the active page in reading order, then the
// tab control, then starts again.
TEST(WindowsWindow, TabWalksTheVisibleControlsInReadingOrder) {
    auto window = Start();
    std::vector<HWND> expected = {window->Control(TControl::CreateRadio),
                                  window->Control(TControl::UsersRadio)};
    if (window->IsShown(TControl::ProfileCheck)) {
        expected.push_back(window->Control(TControl::ProfileCheck));
    }
    for (const TControl control :
         {TControl::NameEdit, TControl::CountEdit, TControl::CreateRadio}) {
        expected.push_back(window->Control(control));
    }
    expected.insert(expected.end() - 1, window->PageControl());
    EXPECT_EQ(window->Focus(), expected.front());
    for (std::size_t step = 1; step < expected.size(); ++step) {
        window->PressTab();
        EXPECT_EQ(window->Focus(), expected[step]) << step;
    }
}

TEST(WindowsWindow, CountEntryTakesDigitsAndControlKeysOnly) {
    auto window = Start();
    const HWND count = window->Control(TControl::CountEdit);
    // Letters, a space, punctuation, a non-ASCII digit and a surrogate pair's
    // halves never reach the entry; digits and backspace do; at most 3.
    for (const wchar_t typed :
         {L'1', L'a', L' ', L'2', L'-', L'\x0663', L'\xD83D', L'\xDE00', L'9'}) {
        window->Type(TControl::CountEdit, typed);
    }
    EXPECT_EQ(window->Text(count), L"129");
    window->Type(TControl::CountEdit, L'\b');
    EXPECT_EQ(window->Text(count), L"12");
    for (const wchar_t typed : {L'4', L'5'}) {
        window->Type(TControl::CountEdit, typed);
    }
    EXPECT_EQ(window->Text(count), L"124");
    // The name entry has no such rule.
    window->Type(TControl::NameEdit, L'a');
    EXPECT_EQ(window->Text(window->Control(TControl::NameEdit)), L"a");
}

// The groups come from the test double of the account service
// (group_source_double.cpp); the built-in groups' names come from Wine's
// look-up of their well-known SIDs.
TEST(WindowsWindow, CreateUsersFillsTheGroupListWithTheBuiltInGroupsTicked) {
    auto window = Start();
    // No group is listed before Create + Users asks for them.
    EXPECT_TRUE(window->Rows(TControl::GroupCheckList).empty());
    window->Click(TControl::CreateRadio);
    window->Click(TControl::UsersRadio);
    ASSERT_TRUE(window->IsShown(TControl::GroupCheckList));
    const std::vector<WideString> names = window->Rows(TControl::GroupCheckList);
    const std::vector<WideString> expectedNames = {L"Administrators", L"Guests",
                                                   L"Remote Desktop Users", L"users", L"Users"};
    EXPECT_EQ(names, expectedNames);
    // Ticked by exact name, case included.
    EXPECT_EQ(window->Ticks(TControl::GroupCheckList),
              (std::vector<bool>{false, false, true, false, true}));
    EXPECT_TRUE(HasRowEndingWith(window->Rows(TControl::LogList), L"End: Fill Groups: 5"));

    // Refresh lists them afresh with the same ticks; a tick the user changed
    // is not kept.
    window->SetTick(TControl::GroupCheckList, 0, true);
    ASSERT_TRUE(window->Ticks(TControl::GroupCheckList).front());
    window->Click(TControl::RefreshButton);
    EXPECT_EQ(window->Rows(TControl::GroupCheckList), expectedNames);
    EXPECT_EQ(window->Ticks(TControl::GroupCheckList),
              (std::vector<bool>{false, false, true, false, true}));
}

// An error line stands out by its mark (the system's error icon) and its
// red text; an info line has neither. Create Users without a count logs an
// error line ("no Users to Create").
TEST(WindowsWindow, ErrorLinesStandOutByMarkAndColour) {
    auto window = Start();
    window->Click(TControl::CreateRadio);
    window->Click(TControl::UsersRadio);
    window->Type(TControl::NameEdit, L'z');
    window->Click(kCreateUsersButton);
    const std::vector<WideString> rows = window->Rows(TControl::LogList);
    const auto error = std::find_if(rows.begin(), rows.end(), [](const WideString& row) {
        return row.find(L"|E|.") != WideString::npos;
    });
    ASSERT_NE(error, rows.end());
    const int errorRow = static_cast<int>(error - rows.begin());
    ASSERT_NE(errorRow, window->SelectedRow(TControl::LogList)) << "the newest line is selected";
    EXPECT_EQ(window->ActiveTab(), 1) << "an error shows the Logging page";
    EXPECT_EQ(window->RowImage(TControl::LogList, errorRow), 0);
    EXPECT_EQ(window->RowImage(TControl::LogList, 0), I_IMAGENONE) << Narrow(rows[0]);

    SetForegroundWindow(window->Window());
    const auto reddish = [&](int row) {
        int count = 0;
        for (const COLORREF c : ScreenPixels(window->RowTextOnScreen(TControl::LogList, row))) {
            count += GetRValue(c) > GetGValue(c) + 60 && GetRValue(c) > GetBValue(c) + 60 ? 1 : 0;
        }
        return count;
    };
    EXPECT_GT(reddish(errorRow), 0);
    EXPECT_EQ(reddish(0), 0);
    PostMessageW(window->Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window->WaitForExit(), 0);
}

// A DLL of a system library's name that another account put next to the
// program (here: a copy of it in a folder of the test's own, with the
// planted double of netapi32.dll beside it) is never loaded: the groups
// still come from the system's netapi32.dll.
TEST(WindowsWindow, NeverLoadsALibraryPlantedNextToIt) {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const WideString folder =
        WideString(temporary) + L"nomvera-planted-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const WideString program = folder + L"\\nomvera.exe";
    const WideString planted = folder + L"\\netapi32.dll";
    ASSERT_TRUE(CopyFileW(NomveraPath().c_str(), program.c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(PlantedDoublePath().c_str(), planted.c_str(), TRUE));
    {
        TRunningWindow window(program, kCaption);
        window.Click(TControl::CreateRadio);
        window.Click(TControl::UsersRadio);
        const std::vector<WideString> names = window.Rows(TControl::GroupCheckList);
        EXPECT_EQ(std::count(names.begin(), names.end(), WideString(L"Planted")), 0);
        EXPECT_EQ(names.size(), 5u);
        PostMessageW(window.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(window.WaitForExit(), 0);
    }
    DeleteFileW(planted.c_str());
    DeleteFileW(program.c_str());
    RemoveDirectoryW(folder.c_str());
}

// The DLLs nomvera.exe names in its import table, read from the file.
std::vector<std::string> ImportedLibraries(const WideString& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string image;
    if (file != INVALID_HANDLE_VALUE) {
        char chunk[65536];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
            image.append(chunk, read);
        }
        CloseHandle(file);
    }
    std::vector<std::string> names;
    if (image.size() < sizeof(IMAGE_DOS_HEADER)) {
        return names;
    }
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image.data(), sizeof(dos));
    IMAGE_NT_HEADERS64 nt;
    if (static_cast<std::size_t>(dos.e_lfanew) + sizeof(nt) > image.size()) {
        return names;
    }
    std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof(nt));
    const std::size_t sections = static_cast<std::size_t>(dos.e_lfanew) +
                                 offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                 nt.FileHeader.SizeOfOptionalHeader;
    // A relative address as an offset into the file.
    const auto offsetOf = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            std::memcpy(&section, image.data() + sections + i * sizeof(section), sizeof(section));
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.Misc.VirtualSize) {
                return rva - section.VirtualAddress + section.PointerToRawData;
            }
        }
        return image.size();
    };
    const DWORD imports =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (std::size_t at = offsetOf(imports); at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR entry;
        std::memcpy(&entry, image.data() + at, sizeof(entry));
        if (entry.Name == 0) {
            break;
        }
        const std::size_t name = offsetOf(entry.Name);
        if (name < image.size()) {
            names.emplace_back(image.c_str() + name);
        }
    }
    return names;
}

// Windows loads the DLLs of the import table before the program runs, from
// the program's own folder first unless they are known DLLs (or ntdll, or
// common controls 6 through the manifest): every other system DLL must be
// delay-loaded (winapp/delayload), so that it comes from the system folder.
TEST(WindowsWindow, ImportsOnlyLibrariesThatNeverComeFromItsFolder) {
    const std::vector<std::string> names = ImportedLibraries(NomveraPath());
    ASSERT_FALSE(names.empty());
    const std::vector<std::string> allowed = {
        "advapi32.dll", "comctl32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll",
        "ntdll.dll",    "ole32.dll",    "shell32.dll", "shlwapi.dll",  "user32.dll"};
    for (std::string name : names) {
        for (char& character : name) {
            character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        }
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end()) << name;
    }
}

class WindowsWindowExitCode : public ::testing::TestWithParam<int> {};

TEST_P(WindowsWindowExitCode, ItsButtonEndsTheProgramWithThatCodeAndTheLogClosed) {
    const int code = GetParam();
    auto window = Start();
    window->ShowPage(TControl::ExitCodePage);
    ASSERT_TRUE(window->IsShown(TControl::ExitCode0Button));
    const TControl button =
        static_cast<TControl>(static_cast<int>(TControl::ExitCode0Button) + code);
    // Posted: the window ends while handling it.
    PostMessageW(window->Control(button), BM_CLICK, 0, 0);
    EXPECT_EQ(window->WaitForExit(), code);
    const std::vector<WideString> lines = LastRunLines(RingFilePath());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(HasRowEndingWith(lines, L"|I|ExitCode: " + std::to_wstring(code)));
    EXPECT_TRUE(HasRowEndingWith(lines, L"|I|End: Create"));
    EXPECT_TRUE(EndsWith(lines.back(), L" Log stopped")) << Narrow(lines.back());
}

INSTANTIATE_TEST_SUITE_P(Codes, WindowsWindowExitCode, ::testing::Values(0, 1, 2));

TEST(WindowsWindow, ReadsItsOwnVersionFromItsFile) {
    const WideString path = NomveraPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 2u);
    EXPECT_EQ(fixed->dwFileVersionLS, (205u << 16) | 1u);
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(WideString(text), L"2.2.205.1");

    // The application manifest: common controls 6, started as the invoker.
    HMODULE file = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(file, found)));
    const std::string manifest(bytes, SizeofResource(file, found));
    FreeLibrary(file);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

} // namespace
} // namespace nomvera::winapp::test

// "--screenshot FILE": no tests; starts a copy of nomvera.exe in the run's
// own Wine prefix (C:\Program Files\Nomvera, so the banner line shows no
// path of the build machine), chooses Create + Users, clicks Create Users
// without a count (an error line, so the window shows its Logging page) and
// writes the window's picture to FILE (a BMP) for the documentation.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--screenshot") {
        using namespace nomvera::winapp::test;
        const WideString folder = L"C:\\Program Files\\Nomvera";
        const WideString program = folder + L"\\nomvera.exe";
        CreateDirectoryW(folder.c_str(), nullptr);
        if (!CopyFileW(NomveraPath().c_str(), program.c_str(), FALSE)) {
            return 1;
        }
        auto window = std::make_unique<TRunningWindow>(program, kCaption);
        window->Click(nomvera::form::TControl::CreateRadio);
        window->Click(nomvera::form::TControl::UsersRadio);
        window->Type(nomvera::form::TControl::NameEdit, L't');
        window->Click(kCreateUsersButton);
        SetForegroundWindow(window->Window());
        Sleep(1500);
        const bool saved = SaveWindowPicture(window->Window(), WindowsPath(argv[2]));
        PostMessageW(window->Window(), WM_CLOSE, 0, 0);
        window->WaitForExit();
        return saved ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with("--planted=")) {
            nomvera::winapp::test::g_plantedDouble =
                nomvera::winapp::test::WindowsPath(argument.substr(10));
        }
    }
    return RUN_ALL_TESTS();
}
