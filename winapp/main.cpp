// nomvera.exe: the window program for Windows. The same start-up as the Qt
// program's (app/program.cpp): the support units and the window module's
// bindings, the window until it closes, and the chosen exit code.
#include <windows.h>

#include <commctrl.h>

#include "accounts/account_server.h"
#include "form/exception_hook.h"
#include "form/program_state.h"
#include "form/start_up.h"
#include "winapp/main_window.h"

#include <memory>

namespace nomvera::winapp {
namespace {

int RunWindowProgram(HINSTANCE instance, int showCommand) {
    // The tab control, the list views and the buttons of common controls 6
    // (the manifest asks for that version).
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&classes);

    accounts::SetAccountServerFromEnvironment();
    form::StartSupportUnits();
    form::BindWindowModule();
    int exitCode = 0;
    {
        auto window = std::make_unique<TMainWindow>(instance);
        window->Show(showCommand);
        window->RunMessageLoop();
        exitCode = form::ChosenExitCode;
        form::ReleaseWindowModule();
        window.reset();
    }
    form::StopSupportUnits();
    return exitCode;
}

} // namespace
} // namespace nomvera::winapp

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The exit code of a program that could not start its window: none of
    // the ExitCode page's codes.
    constexpr int kNotStarted = 3;
    // Every library loaded by name from here on (the account service, the
    // profile calls, ...) comes from the system folder only, never from the
    // program's own folder or the current folder, where another account may
    // have put a DLL of that name for a program that runs as administrator.
    // Without that guarantee the program does not start.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return kNotStarted;
    }
    try {
        return nomvera::winapp::RunWindowProgram(instance, showCommand);
    } catch (...) {
        // Only making the window throws (the handlers catch their own): a
        // window that never opened is not a success.
        nomvera::form::ReportEscapedException(nomvera::form::CurrentExceptionMessage());
        return kNotStarted;
    }
}
