// The shared part of the window tests (one file per page, and the window as
// a whole): the real main window, built offscreen over a sandbox system root,
// with the real account-service and profile-service stand-ins and the real
// log writer.
#pragma once

#include "accounts/admin_check.h"
#include "accounts/profile_service.h"
#include "app/application.h"
#include "app/close_signals.h"
#include "app/count_entry.h"
#include "app/log_list_view.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/program_state.h"
#include "log/diagnostic_log.h"
#include "platform/wide_text.h"
#include "shortcuts/shortcuts.h"
#include "support/files.h"
#include "tests/app/shown_form.h"
#include "tests/app/window_test_main.h"
#include "tests/common/test_environment.h"

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <tuple>

namespace nomvera::test {

using app::TMainForm;

inline const QRegularExpression
    kStampedInfo(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\|I\\|"));

inline QStringList LogLines(TMainForm& form) {
    QStringList lines;
    const auto* model = form.LogList->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        lines << model->index(row, 0).data().toString();
    }
    return lines;
}

inline QString LastLogLine(TMainForm& form) {
    const QStringList lines = LogLines(form);
    return lines.isEmpty() ? QString() : lines.last();
}

inline int SelectedLogRow(TMainForm& form) {
    const QModelIndexList selected = form.LogList->selectionModel()->selectedIndexes();
    return selected.size() == 1 ? selected.first().row() : -1;
}

inline QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

// The title the window system shows: Qt's platform windows append the
// application's display name, when one was set, to every window title that
// does not already end with it (QPlatformWindow::formatWindowTitle, the same
// on X11, Wayland and Windows). An unset display name reads as the
// application name.
inline QString ShownTitle(QWidget& window) {
    const QString title =
        window.windowHandle() != nullptr ? window.windowHandle()->title() : window.windowTitle();
    const QString displayName = QGuiApplication::applicationDisplayName();
    if (displayName == QCoreApplication::applicationName() || title.endsWith(displayName)) {
        return title;
    }
    return title + QString::fromUtf8(" \u2014 ") + displayName;
}

// Lets a resize of a shown window reach its layouts.
inline void Settle(QWidget& window, const QSize& size) {
    window.resize(size);
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The widgets of a page in reading order: the page's columns (its direct
// children) from left to right, within a column from top to bottom, within a
// row from left to right.
inline QWidgetList InReadingOrder(QWidget* page, QWidgetList widgets) {
    const auto key = [page](QWidget* widget) {
        QWidget* column = widget;
        while (column->parentWidget() != page) {
            column = column->parentWidget();
        }
        const QPoint at = widget->mapTo(page, QPoint(0, 0));
        return std::tuple(column->x(), at.y(), at.x());
    };
    std::stable_sort(widgets.begin(), widgets.end(),
                     [&key](QWidget* a, QWidget* b) { return key(a) < key(b); });
    return widgets;
}

inline QStringList ObjectNames(const QWidgetList& widgets) {
    QStringList names;
    for (const QWidget* widget : widgets) {
        names << widget->objectName();
    }
    return names;
}

inline std::string AdminLogPath(const TWindowTestEnvironment& environment) {
    return environment.StateFolder() + "/kelRostery.utf8.log";
}

// What every window test class shares: a fresh test environment per test
// (Init and Cleanup, called from the class's init and cleanup slots), the
// window built on first use, and the user's acts on it.
class TWindowFixture {
protected:
    std::unique_ptr<TWindowTestEnvironment> environment_;
    std::unique_ptr<TMainForm> form_;

    void Init() {
        environment_ = std::make_unique<TWindowTestEnvironment>();
        nomvera::app::ChosenExitCode = 0;
    }
    void Cleanup() {
        form_.reset();
        environment_.reset();
    }

    TMainForm& Form() { return nomvera::test::ShowFormOnce(form_); }
    void Click(QAbstractButton* button) { nomvera::test::ClickButton(button); }
    // On the indicator: a radio button or check box reacts to clicks on its
    // indicator and caption only.
    void Click(QRadioButton* radio) {
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    }
    void ClickPage(QWidget* page) {
        QTabBar* bar = Form().PageControl->tabBar();
        const int index = Form().PageControl->indexOf(page);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    void ChooseMode(const QString& clicks) {
        const std::map<QString, QRadioButton*> radios = {{"Create", Form().CreateRadio},
                                                         {"Delete", Form().DeleteRadio},
                                                         {"Users", Form().UsersRadio},
                                                         {"Groups", Form().GroupsRadio}};
        for (const QString& caption : clicks.split(WIDE(' '), Qt::SkipEmptyParts)) {
            Click(radios.at(caption));
        }
    }
    QStringList VisibleBatchButtons() {
        QStringList shown;
        for (QPushButton* button : Form().BatchButtons) {
            if (!button->isHidden()) {
                shown << button->text();
            }
        }
        return shown;
    }
    QStringList CheckedGroups() {
        QStringList checked;
        for (int row = 0; row < Form().GroupCheckList->count(); ++row) {
            if (Form().GroupCheckList->item(row)->checkState() == Qt::Checked) {
                checked << Form().GroupCheckList->item(row)->text();
            }
        }
        return checked;
    }
    QStringList GroupEntries() {
        QStringList entries;
        for (int row = 0; row < Form().GroupCheckList->count(); ++row) {
            entries << Form().GroupCheckList->item(row)->text();
        }
        return entries;
    }
};

} // namespace nomvera::test
