#include "app/program.h"

#include "app/application.h"
#include "app/close_signals.h"
#include "app/main_form.h"
#include "app/program_state.h"
#include "cli/command_line.h"
#include "form/exception_hook.h"

#include "support/text.h"

#include <QMessageLogContext>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace nomvera::app {
namespace {

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
