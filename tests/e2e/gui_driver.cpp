// A GUI-automation agent for the end-to-end tests and the start-up benchmark.
// Preloaded into the real program (LD_PRELOAD), it registers itself with the
// application object and waits for the main window's first paint. Then:
//   NOMVERA_DRIVER_REPORT=<file>  gets "shown_ns <CLOCK_MONOTONIC ns>",
//                                 "rss_kb <resident KiB>" and "page <caption
//                                 of the active page's tab>" at that moment;
//   NOMVERA_DRIVER_STEPS=<steps>  are played one after the other, separated
//                                 by ";":
//     page:<tab caption>          click that page's tab
//     click:<accessible name>     click the visible button of that name
//     type:<accessible name>=<t>  type t into the entry of that name
//     wait:<ms>                   let ms pass before the next step
//     until:<file>                wait until that file exists
//     close                       ask the window to close (title-bar button)
// Every step is scheduled before the one in front of it runs, so a step after
// a long handler (a batch) runs inside that handler's message processing, as
// a tester's click would. Controls are found the way screen readers and GUI
// automation find them: by their accessible names. A step that finds nothing
// ends the process with exit code 97.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

constexpr int kStepNotFound = 97;

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : widget->accessibleName();
}

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

[[noreturn]] void Fail(const QString& step) {
    std::fprintf(stderr, "gui driver: step failed: %s\n", qPrintable(step));
    std::fflush(stderr);
    _exit(kStepNotFound);
}

class TDriver : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!started_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            if (window->objectName() == QLatin1String("MainForm")) {
                started_ = true;
                form_ = window;
                Report(MonotonicNanoseconds());
                steps_ = QString::fromLocal8Bit(qgetenv("NOMVERA_DRIVER_STEPS"))
                             .split(QLatin1Char(';'), Qt::SkipEmptyParts);
                QTimer::singleShot(0, this, [this] { Next(); });
            }
        }
        return false;
    }

private:
    void Report(long long shownNs) {
        const QString path = QString::fromLocal8Bit(qgetenv("NOMVERA_DRIVER_REPORT"));
        if (path.isEmpty()) {
            return;
        }
        const QString partial = path + QStringLiteral(".part");
        QFile file(partial);
        if (file.open(QIODevice::WriteOnly)) {
            auto* pages = form_->findChild<QTabWidget*>(QStringLiteral("PageControl"));
            const QString page =
                pages != nullptr ? pages->tabText(pages->currentIndex()) : QString();
            file.write(QStringLiteral("shown_ns %1\nrss_kb %2\npage %3\n")
                           .arg(shownNs)
                           .arg(ResidentKiB())
                           .arg(page)
                           .toUtf8());
            file.close();
            std::rename(qPrintable(partial), qPrintable(path));
        }
    }

    void Next() {
        if (steps_.isEmpty() || form_.isNull()) {
            return;
        }
        const QString step = steps_.takeFirst();
        int delay = 0;
        if (step.startsWith(QLatin1String("wait:"))) {
            delay = step.mid(5).toInt();
        } else if (step.startsWith(QLatin1String("until:"))) {
            if (!QFile::exists(step.mid(6))) {
                steps_.prepend(step);
                QTimer::singleShot(50, this, [this] { Next(); });
                return;
            }
            delay = -1;
        }
        QTimer::singleShot(std::max(delay, 0), this, [this] { Next(); });
        if (delay == 0) {
            Play(step);
        }
    }

    void Play(const QString& step) {
        if (step.startsWith(QLatin1String("page:"))) {
            auto* pages = form_->findChild<QTabWidget*>(QStringLiteral("PageControl"));
            const QString caption = step.mid(5);
            for (int i = 0; pages != nullptr && i < pages->count(); ++i) {
                if (pages->tabText(i) == caption) {
                    QTabBar* bar = pages->tabBar();
                    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
                    return;
                }
            }
            Fail(step);
        }
        if (step.startsWith(QLatin1String("click:"))) {
            const QString name = step.mid(6);
            for (QAbstractButton* button : form_->findChildren<QAbstractButton*>()) {
                if (button->isVisible() && AccessibleName(button) == name) {
                    // Radio buttons and check boxes take clicks on their
                    // indicator and caption only; the indicator is at the left.
                    const bool indicator =
                        button->inherits("QRadioButton") || button->inherits("QCheckBox");
                    const QPoint at =
                        indicator ? QPoint(6, button->height() / 2) : button->rect().center();
                    QTest::mouseClick(button, Qt::LeftButton, {}, at);
                    return;
                }
            }
            Fail(step);
        }
        if (step.startsWith(QLatin1String("type:"))) {
            const qsizetype equals = step.indexOf(QLatin1Char('='));
            const QString name = step.mid(5, equals - 5);
            for (QLineEdit* entry : form_->findChildren<QLineEdit*>()) {
                if (entry->isVisible() && AccessibleName(entry) == name) {
                    entry->setFocus();
                    QTest::keyClicks(entry, step.mid(equals + 1));
                    return;
                }
            }
            Fail(step);
        }
        if (step == QLatin1String("close")) {
            form_->close();
            return;
        }
        Fail(step);
    }

    bool started_ = false;
    QPointer<QWidget> form_;
    QStringList steps_;
};

void StartDriver() {
    qApp->installEventFilter(new TDriver(qApp));
}

// Runs when the library is loaded, before the program's main().
[[maybe_unused]] const bool kRegistered = [] {
    qAddPreRoutine(&StartDriver);
    return true;
}();

} // namespace
