// The window class and the child-window identifiers of the Windows main
// window, shared by the window (winapp/main_window.cpp) and the programs
// that find and drive it from outside (tests/winapp/).
#pragma once

#include "form/form_view.h"

namespace nomvera::winapp {

// The main window's class name.
inline constexpr wchar_t kMainWindowClass[] = L"NomveraMainWindow";
// The class of the pages and the panels that hold controls.
inline constexpr wchar_t kPanelClass[] = L"NomveraPanel";

// A named control's identifier: its place in TControl after this base.
inline constexpr int kControlIdBase = 1000;
constexpr int ControlId(form::TControl control) {
    return kControlIdBase + static_cast<int>(control);
}
// The page control (the tab control) and the Control Panel page's buttons,
// the latter one per entry of shortcuts::ShortcutButtons() from this base.
inline constexpr int kPageControlId = 900;
inline constexpr int kShortcutButtonIdBase = 2000;

} // namespace nomvera::winapp
