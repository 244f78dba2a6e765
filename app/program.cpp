#include "app/program.h"

#include "accounts/account_server.h"
#include "app/application.h"
#include "app/close_signals.h"
#include "app/main_form.h"
#include "app/program_state.h"
#include "cli/command_line.h"
#include "form/exception_hook.h"

#include "support/text.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMessageLogContext>
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

constexpr char kCommandsWithoutWindow[] =
    "'nomvera --help' lists the commands that run without a window";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A display to open the window on, as far as can be told before the toolkit
// tries: a platform named in QT_QPA_PLATFORM (offscreen, vnc, ...) needs none.
bool DisplayNamed() {
    return !Variable("QT_QPA_PLATFORM").empty() || !Variable("DISPLAY").empty() ||
           !Variable("WAYLAND_DISPLAY").empty();
}

void SayNoWindowAndLeave(const std::string& why) {
    const std::string line = "nomvera: " + why + "; " + kCommandsWithoutWindow + "\n";
    (void)!write(STDERR_FILENO, line.data(), line.size());
    // Nothing is open yet that needs closing; no core dump, no toolkit message.
    _exit(cli::kExitUsage);
}

// The toolkit's messages while the application object is made. A fatal one
// (no platform plugin could be started: the display cannot be reached)
// ends the program with one line of ours instead of an abort; the others
// are held back and given to the usual handler once the object exists.
struct THeldMessage {
    QtMsgType type;
    std::string file;
    int line;
    std::string function;
    std::string category;
    QString text;
};
std::vector<THeldMessage> g_heldMessages;
QtMessageHandler g_usualHandler = nullptr;

void HoldToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::string display = Variable("WAYLAND_DISPLAY").empty()
                                  ? "DISPLAY=" + Variable("DISPLAY")
                                  : "WAYLAND_DISPLAY=" + Variable("WAYLAND_DISPLAY");
        SayNoWindowAndLeave("the window cannot open: the display cannot be reached (" +
                            support::ShownText(std::string_view(display)) + ")");
    }
    g_heldMessages.push_back({type, context.file != nullptr ? context.file : "", context.line,
                              context.function != nullptr ? context.function : "",
                              context.category != nullptr ? context.category : "", text});
}

void ReleaseToolkitMessages() {
    qInstallMessageHandler(g_usualHandler);
    for (const THeldMessage& held : g_heldMessages) {
        const QMessageLogContext context(held.file.c_str(), held.line, held.function.c_str(),
                                         held.category.c_str());
        if (g_usualHandler != nullptr) {
            g_usualHandler(held.type, context, held.text);
        }
    }
    g_heldMessages.clear();
}

} // namespace

int RunProgram(int argc, char** argv) {
    // Any argument means command mode: no window, no display needed.
    if (argc > 1) {
        return cli::RunCommandLine(argc, argv);
    }
    // Over ssh or in a job there is no display: say so before anything starts.
    if (!DisplayNamed()) {
        SayNoWindowAndLeave("no display to open the window on (neither DISPLAY nor "
                            "WAYLAND_DISPLAY is set)");
    }
    KeepPluginsToTheSystem();
    accounts::SetAccountServerFromEnvironment();
    StartSupportUnits();
    BindWindowModule();

    int exitCode = 0;
    {
        g_usualHandler = qInstallMessageHandler(HoldToolkitMessage);
        TNomveraApplication application(argc, argv);
        ReleaseToolkitMessages();
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
