// Appending 100,000 lines to the activity log, each selected and scrolled into
// view as the window does it: first the log view on its own, then an
// assistive tool reading every line through the view's accessibility
// interface, then the whole LogInfo path of the real window with its
// diagnostic log file active.
//   bench_app_log_view [lines]    (default 100000)
#include "app/application.h"
#include "app/log_list_accessible.h"
#include "app/log_list_view.h"
#include "app/main_form.h"
#include "app/program.h"
#include "log/diagnostic_log.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

QString Message(int i) {
    return QStringLiteral("Added user [bench%1] to group [Remote Desktop Users]: The operation "
                          "completed successfully [0]")
        .arg(i, 6, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    nomvera::test::TempFolder base("nomvera-bench");
    for (const char* folder : {"home", "state", "runtime"}) {
        mkdir((base / folder).c_str(), 0700);
    }
    setenv("HOME", (base / "home").c_str(), 1);
    setenv("XDG_STATE_HOME", (base / "state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (base / "runtime").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base / "home").c_str(), 1);
    setenv("TMPDIR", base.Path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    nomvera::test::SandboxRoot root;

    nomvera::app::StartSupportUnits();
    nomvera::app::BindWindowModule();
    {
        nomvera::app::TNomveraApplication application(argc, argv);

        nomvera::app::TLogListModel model;
        nomvera::app::TLogListView view;
        view.setModel(&model);
        view.resize(556, 385);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view)) {
            std::printf("the log view was not exposed\n");
        }
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < lines; ++i) {
            view.SelectRow(
                model.Append(QStringLiteral("2023-01-01 15:18:41.705|I|.") + Message(i)));
        }
        const qint64 appendMs = timer.elapsed();
        view.repaint();
        const qint64 totalMs = timer.elapsed();
        std::printf("log view alone: %d lines appended, selected and scrolled in %lld ms, "
                    "%lld ms with the final paint (target < 1000 ms)\n",
                    lines, static_cast<long long>(appendMs), static_cast<long long>(totalMs));

        // Line items exist only while asked for: a tool that reads every line
        // makes them one by one, and the event loop lets all but a few go.
        auto* face = static_cast<nomvera::app::TLogListAccessible*>(
            QAccessible::queryAccessibleInterface(&view));
        timer.restart();
        const int rows = face->childCount();
        qsizetype characters = 0;
        for (int row = 0; row < rows; ++row) {
            characters += face->child(row)->text(QAccessible::Name).size();
        }
        const qint64 walkMs = timer.elapsed();
        const int itemsAfterWalk = face->CachedItems();
        QCoreApplication::processEvents();
        std::printf("accessibility: %d line items named (%lld characters) in %lld ms; %d items "
                    "alive after the walk, %d once the event loop ran (bound %d)\n",
                    rows, static_cast<long long>(characters), static_cast<long long>(walkMs),
                    itemsAfterWalk, face->CachedItems(),
                    nomvera::app::TLogListAccessible::kCachedItems);

        nomvera::app::TMainForm form;
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) {
            std::printf("the window was not exposed\n");
        }
        form.ShowLoggingPage();
        const bool writing = form.LogWriter() != nullptr && form.LogWriter()->IsActive();
        timer.restart();
        for (int i = 0; i < lines; ++i) {
            form.LogInfo(Message(i).toStdU16String());
        }
        const qint64 windowMs = timer.elapsed();
        form.repaint();
        std::printf("window LogInfo with the log file %s: %d lines in %lld ms, %lld ms with the "
                    "final paint\n",
                    writing ? "active" : "inactive", lines, static_cast<long long>(windowMs),
                    static_cast<long long>(timer.elapsed()));
    }
    nomvera::app::ReleaseWindowModule();
    nomvera::app::StopSupportUnits();
    return 0;
}
