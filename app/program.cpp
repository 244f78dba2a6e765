#include "app/program.h"

#include "app/application.h"
#include "app/close_signals.h"
#include "app/main_form.h"
#include "app/program_state.h"
#include "cli/command_line.h"
#include "form/exception_hook.h"

#include <memory>

namespace nomvera::app {

int RunProgram(int argc, char** argv) {
    // Any argument means command mode: no window, no display needed.
    if (argc > 1) {
        return cli::RunCommandLine(argc, argv);
    }
    StartSupportUnits();
    BindWindowModule();

    int exitCode = 0;
    {
        TNomveraApplication application(argc, argv);
        // No application display name: Qt appends it to every window title
        // that does not end with it, and the window's caption (or, after a
        // failed start, its design caption) must stand alone.
        // Before the window, so that a signal during its creation waits in
        // the pipe instead of ending the process without the log's closing lines.
        TCloseSignals closeSignals;
        auto window = std::make_unique<TMainForm>();
        QObject::connect(&closeSignals, &TCloseSignals::CloseRequested, window.get(),
                         [&window] { form::RunGuarded([&] { window->close(); }); });
        window->show();
        application.exec();
        exitCode = ChosenExitCode;
        ReleaseWindowModule();
        window.reset();
    }
    StopSupportUnits();
    return exitCode;
}

} // namespace nomvera::app
