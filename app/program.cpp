#include "app/program.h"

#include "app/application.h"
#include "app/close_signals.h"
#include "app/main_form.h"
#include "app/program_state.h"
#include "cli/command_line.h"
#include "form/exception_hook.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace nomvera::app {
namespace {

// Whether a variable has the toolkit (or the desktop libraries a platform
// theme brings in) load code from where the variable says, or choose a
// plugin by name.
bool NamesCodeToLoad(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "QT_PLUGIN_PATH",
        "QT_QPA_PLATFORM_PLUGIN_PATH",
        "QT_QPA_PLATFORMTHEME",
        "QT_QPA_GENERIC_PLUGINS",
        "QT_QPA_EGLFS_INTEGRATION",
        "QT_STYLE_OVERRIDE",
        "QT_XCB_GL_INTEGRATION",
        "QT_IM_MODULE",
        "QT_IM_MODULES",
        "GTK_PATH",
        "GTK_MODULES",
        "GTK3_MODULES",
        "GTK_IM_MODULE",
        "GTK_IM_MODULE_FILE",
        "GIO_EXTRA_MODULES",
        "GIO_MODULE_DIR",
    };
    for (const std::string_view known : kNames) {
        if (name == known) {
            return true;
        }
    }
    return name.starts_with("QT_WAYLAND_");
}

// As root, or set-user-id or set-group-id, the window loads plugins only
// from the toolkit's own system folder: su and sudo -E carry another
// account's variables over, and a plugin of its choosing would run as
// root. Before the application object exists, which loads the first ones.
void KeepPluginsToTheSystem() {
    if (geteuid() != 0 && getuid() == geteuid() && getgid() == getegid()) {
        return;
    }
    std::vector<std::string> dropped;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        if (NamesCodeToLoad(name)) {
            dropped.emplace_back(name);
        }
    }
    for (const std::string& name : dropped) {
        unsetenv(name.c_str());
    }
    // Also never the program's own folder, which Qt searches by default.
    QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
}

} // namespace

int RunProgram(int argc, char** argv) {
    // Any argument means command mode: no window, no display needed.
    if (argc > 1) {
        return cli::RunCommandLine(argc, argv);
    }
    KeepPluginsToTheSystem();
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
