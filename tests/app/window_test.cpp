// The real main window, built offscreen over a sandbox system root, with the
// real account-service and profile-service stand-ins and the real log writer.
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

using nomvera::app::TMainForm;
using nomvera::test::LogFileLines;
using nomvera::test::TWindowTestEnvironment;

namespace {

// A widget whose handler fails, as any handler of the tool might.
class TFailingWidget : public QWidget {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("handler failed on purpose");
        }
        return QWidget::event(event);
    }
};

const QRegularExpression
    kStampedInfo(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\|I\\|"));

QStringList LogLines(TMainForm& form) {
    QStringList lines;
    const auto* model = form.LogList->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        lines << model->index(row, 0).data().toString();
    }
    return lines;
}

QString LastLogLine(TMainForm& form) {
    const QStringList lines = LogLines(form);
    return lines.isEmpty() ? QString() : lines.last();
}

int SelectedLogRow(TMainForm& form) {
    const QModelIndexList selected = form.LogList->selectionModel()->selectedIndexes();
    return selected.size() == 1 ? selected.first().row() : -1;
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

// The title the window system shows: Qt's platform windows append the
// application's display name, when one was set, to every window title that
// does not already end with it (QPlatformWindow::formatWindowTitle, the same
// on X11, Wayland and Windows). An unset display name reads as the
// application name.
QString ShownTitle(QWidget& window) {
    const QString title =
        window.windowHandle() != nullptr ? window.windowHandle()->title() : window.windowTitle();
    const QString displayName = QGuiApplication::applicationDisplayName();
    if (displayName == QCoreApplication::applicationName() || title.endsWith(displayName)) {
        return title;
    }
    return title + QString::fromUtf8(" \u2014 ") + displayName;
}

// Lets a resize of a shown window reach its layouts.
void Settle(QWidget& window, const QSize& size) {
    window.resize(size);
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The widgets of a page in reading order: the page's columns (its direct
// children) from left to right, within a column from top to bottom, within a
// row from left to right.
QWidgetList InReadingOrder(QWidget* page, QWidgetList widgets) {
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

QStringList ObjectNames(const QWidgetList& widgets) {
    QStringList names;
    for (const QWidget* widget : widgets) {
        names << widget->objectName();
    }
    return names;
}

std::string AdminLogPath(const TWindowTestEnvironment& environment) {
    return environment.StateFolder() + "/kelRostery.utf8.log";
}

} // namespace

class TWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TWindowTestEnvironment> environment_;
    std::unique_ptr<TMainForm> form_;

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
        for (QPushButton* button :
             {Form().CreateUsersButton, Form().DeleteUsersButton, Form().CreateLocalGroupsButton,
              Form().DeleteLocalGroupsButton, Form().CreateGlobalGroupsButton,
              Form().DeleteGlobalGroupsButton}) {
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

private slots:
    void init() {
        environment_ = std::make_unique<TWindowTestEnvironment>();
        nomvera::app::ChosenExitCode = 0;
    }
    void cleanup() {
        form_.reset();
        environment_.reset();
    }

    void opensOnCreateDeletePageWithItsPagesAndCaption() {
        TMainForm& form = Form();
        QCOMPARE(form.PageControl->count(), 4);
        QCOMPARE(form.PageControl->widget(0), form.CreateDeletePage);
        QCOMPARE(form.PageControl->tabText(0), QStringLiteral("Create/Delete"));
        QCOMPARE(form.PageControl->tabText(1), QStringLiteral("Logging"));
        QCOMPARE(form.PageControl->tabText(2), QStringLiteral("Control Panel"));
        QCOMPARE(form.PageControl->tabText(3), QStringLiteral("ExitCode"));
        QCOMPARE(form.PageControl->currentWidget(), form.CreateDeletePage);
        const QString caption =
            QStringLiteral("Vantrel :: TestTool Nomvera and Groups :: build 01-Jan-2023");
        QCOMPARE(form.windowTitle(), caption);
        QCOMPARE(ShownTitle(form), caption);
        QCOMPARE(form.UserNameText->text(),
                 QStringLiteral(" ") +
                     QString::fromStdU16String(nomvera::support::GetSamUserName()) +
                     QStringLiteral(" "));
    }

    void aFailedStartKeepsTheDesignCaptionAlone() {
        // After a window that started well: nothing it set may decorate the
        // next one's title.
        QCOMPARE(ShownTitle(Form()), Form().windowTitle());
        form_.reset();
        nomvera::app::BeforeCaptionStepTestSeam = [] {
            throw std::runtime_error("window creation failed on purpose");
        };
        struct Unset {
            ~Unset() { nomvera::app::BeforeCaptionStepTestSeam = nullptr; }
        } unset;
        TMainForm& form = Form();
        const QString design = QStringLiteral("TestTool Nomvera and/or Groups");
        QCOMPARE(form.windowTitle(), design);
        QCOMPARE(ShownTitle(form), design);
        // The handler stopped there: the steps after the caption did not run.
        QCOMPARE(form.UserNameText->text(), QStringLiteral("---"));
        QVERIFY(!LastLogLine(form).endsWith(QStringLiteral("End: Create")));
        QCOMPARE(form.NameEdit->maxLength(), 9);
    }

    void startsWithEveryControlInItsInitialState() {
        TMainForm& form = Form();
        for (QRadioButton* radio :
             {form.CreateRadio, form.DeleteRadio, form.UsersRadio, form.GroupsRadio}) {
            QVERIFY(!radio->isChecked());
        }
        QCOMPARE(form.CreateRadio->text(), QStringLiteral("Create"));
        QCOMPARE(form.DeleteRadio->text(), QStringLiteral("Delete"));
        QCOMPARE(form.UsersRadio->text(), QStringLiteral("Users"));
        QCOMPARE(form.GroupsRadio->text(), QStringLiteral("Groups"));
        QCOMPARE(form.NameEdit->maxLength(), 17);
        QCOMPARE(form.PasswordEdit->maxLength(), 17);
        QCOMPARE(form.PasswordEdit->echoMode(), QLineEdit::Normal);
        QCOMPARE(form.CountEdit->maxLength(), 3);
        QVERIFY(form.NameEdit->text().isEmpty() && form.CountEdit->text().isEmpty());
        QCOMPARE(form.NamePasswordBox->title(),
                 QStringLiteral("Users/Groups (minimum 4 characters)"));
        QCOMPARE(form.CountBox->title(),
                 QStringLiteral("Number of Users/Groups (minimum 1, maximum 999)"));
        QVERIFY(VisibleBatchButtons().isEmpty());
        QVERIFY(form.PasswordEdit->isHidden() && form.PasswordLabel->isHidden());
        QVERIFY(form.GroupPanel->isHidden());
        QCOMPARE(form.GroupCheckList->count(), 0);
        QCOMPARE(form.ProfileCheck->text(), QStringLiteral("-"));
        QVERIFY(!form.ProfileCheck->isEnabled());
        if (nomvera::accounts::ProfileServiceComplete()) {
            QVERIFY(form.ProfileCheck->isChecked());
            QVERIFY(!form.ProfileCheck->isHidden());
        }
        QCOMPARE(form.CreateUsersButton->text(), QStringLiteral("Create Users"));
        QCOMPARE(form.DeleteGlobalGroupsButton->text(), QStringLiteral("Delete Global Groups"));
        QVERIFY(!form.CreateUsersButton->icon().isNull());

        // ExitCode page: the user's name on top, then "0", "1", "2" downwards.
        QCOMPARE(form.ExitCodeButtons[0]->text(), QStringLiteral("0"));
        QCOMPARE(form.ExitCodeButtons[1]->text(), QStringLiteral("1"));
        QCOMPARE(form.ExitCodeButtons[2]->text(), QStringLiteral("2"));
        ClickPage(form.ExitCodePage);
        QVERIFY(form.UserNameText->y() < form.ExitCodeButtons[0]->y());
        QVERIFY(form.ExitCodeButtons[0]->y() < form.ExitCodeButtons[1]->y());
        QVERIFY(form.ExitCodeButtons[1]->y() < form.ExitCodeButtons[2]->y());

        const auto& shortcuts = nomvera::shortcuts::ShortcutButtons();
        QCOMPARE(form.ShortcutButtons.size(), shortcuts.size());
        for (std::size_t i = 0; i < shortcuts.size(); ++i) {
            QCOMPARE(form.ShortcutButtons[i]->text(),
                     QString::fromStdU16String(shortcuts[i].caption));
        }
    }

    void logsTheStartBannerBetweenBeginAndEnd() {
        TMainForm& form = Form();
        const QStringList lines = LogLines(form);
        QVERIFY2(lines.size() >= 4, qPrintable(lines.join(WIDE('\n'))));
        QVERIFY(lines.first().contains(kStampedInfo));
        QVERIFY(lines.first().endsWith(QStringLiteral("|I|Begin: Create")));
        const WideString module = nomvera::support::GetModulePath();
        const QString banner = QString::fromStdU16String(
            module + WIDE(" [") + nomvera::support::GetFileVersionText(module) +
            WIDE("][ Build: 01-Jan-2023][unlimited users]"));
        QVERIFY2(lines[1].endsWith(QStringLiteral("|I|.") +
                                   banner.left(static_cast<qsizetype>(nomvera::log::kPieceLength))),
                 qPrintable(lines[1]));
        // This test program carries no file version, unlike the tool itself.
        QCOMPARE(nomvera::support::GetFileVersionText(module),
                 WideString(WIDE(".No FileInfo in file")));
        QVERIFY(lines.last().endsWith(QStringLiteral("|I|.End: Create")));
        QCOMPARE(SelectedLogRow(form), lines.size() - 1);
        QVERIFY2(lines[2].endsWith(QStringLiteral(" (local)")), qPrintable(lines[2]));
        if (nomvera::accounts::IsAdministrator()) {
            QCOMPARE(lines.size(), 4);
        }
    }

    void writesTheLogFileAndEndsItWithTheStopLine() {
        if (!nomvera::accounts::IsAdministrator()) {
            QSKIP("the administrator's log file needs root");
        }
        Form().LogInfo(WIDE("last line of the window"));
        form_.reset();
        const auto lines = LogFileLines(AdminLogPath(*environment_));
        QVERIFY(lines.size() >= 4);
        QVERIFY(lines.front().find(" Log Started[" + AdminLogPath(*environment_) + "]") !=
                std::string::npos);
        QVERIFY(lines.back().ends_with(" Log stopped"));
        bool found = false;
        for (const std::string& line : lines) {
            found = found || line.ends_with("|I|last line of the window");
        }
        QVERIFY(found);
    }

    void showsBareLinesWhenTheLogFileCannotBeOpened() {
        if (!nomvera::accounts::IsAdministrator()) {
            QSKIP("the administrator's log file needs root");
        }
        // A folder in the file's place: the writer exists but is inactive, and
        // the second name is not tried.
        QCOMPARE(mkdir(AdminLogPath(*environment_).c_str(), 0700), 0);
        TMainForm& form = Form();
        QVERIFY(form.LogWriter() != nullptr);
        QVERIFY(!form.LogWriter()->IsActive());
        const QStringList lines = LogLines(form);
        QCOMPARE(lines.first(), QStringLiteral("Begin: Create"));
        QCOMPARE(lines.last(), QStringLiteral("End: Create"));
        QCOMPARE(lines.at(3), QStringLiteral("Log file not written [") +
                                  QString::fromStdString(AdminLogPath(*environment_)) +
                                  QStringLiteral("]: it is not a regular file"));
        struct stat info {};
        QVERIFY(stat((environment_->StateFolder() + "/kelNonAdminRostery.utf8.log").c_str(),
                     &info) != 0);

        const QString longText(300, WIDE('x'));
        form.LogInfo(longText.toStdU16String());
        QCOMPARE(LastLogLine(form), longText);
    }

    void modes_data() {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("countBox");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("passwordAndGroups");
        QTest::addColumn<QString>("profile");

        const QString users = QStringLiteral("Users (minimum 4 characters)");
        const QString groups = QStringLiteral("Groups (minimum 4 characters)");
        const QString both = QStringLiteral("Users/Groups (minimum 4 characters)");
        const QString nUsers = QStringLiteral("Number of Users (minimum 1, maximum 999)");
        const QString nGroups = QStringLiteral("Number of Groups (minimum 1, maximum 999)");
        const QString nBoth = QStringLiteral("Number of Users/Groups (minimum 1, maximum 999)");
        QTest::newRow("Create + Users") << "Create Users" << users << nUsers << "Create Users"
                                        << QStringList{"Create Users"} << true << "Create Profile";
        QTest::newRow("Create + Groups")
            << "Create Groups" << groups << nGroups << "Create Groups"
            << QStringList{"Create Local Groups", "Create Global Groups"} << false << "-";
        QTest::newRow("Create + none")
            << "Create" << both << nBoth << "Create" << QStringList{} << false << "-";
        QTest::newRow("Delete + Users") << "Delete Users" << users << nUsers << "Delete Users"
                                        << QStringList{"Delete Users"} << false << "Delete Profile";
        QTest::newRow("Delete + Groups")
            << "Delete Groups" << groups << nGroups << "Delete Groups"
            << QStringList{"Delete Local Groups", "Delete Global Groups"} << false << "-";
        QTest::newRow("Delete + none")
            << "Delete" << both << nBoth << "Delete" << QStringList{} << false << "-";
        QTest::newRow("none + Users")
            << "Users" << users << nUsers << "Create/Delete" << QStringList{} << false << "-";
        QTest::newRow("none + Groups")
            << "Groups" << groups << nGroups << "Create/Delete" << QStringList{} << false << "-";
        QTest::newRow("none + none")
            << "" << both << nBoth << "Create/Delete" << QStringList{} << false << "-";
        // Choosing an action clears the target that was chosen before it.
        QTest::newRow("Users, then Create")
            << "Users Create" << both << nBoth << "Create" << QStringList{} << false << "-";
        QTest::newRow("Create Groups, then Delete")
            << "Create Groups Delete" << both << nBoth << "Delete" << QStringList{} << false << "-";
        QTest::newRow("Delete Users, then Groups")
            << "Delete Users Groups" << groups << nGroups << "Delete Groups"
            << QStringList{"Delete Local Groups", "Delete Global Groups"} << false << "-";
    }

    void modes() {
        QFETCH(QString, clicks);
        QFETCH(QString, nameBox);
        QFETCH(QString, countBox);
        QFETCH(QString, tab);
        QFETCH(QStringList, buttons);
        QFETCH(bool, passwordAndGroups);
        QFETCH(QString, profile);

        TMainForm& form = Form();
        ChooseMode(clicks);
        QCOMPARE(form.NamePasswordBox->title(), nameBox);
        QCOMPARE(form.CountBox->title(), countBox);
        QCOMPARE(form.PageControl->tabText(0), tab);
        QCOMPARE(VisibleBatchButtons(), buttons);
        QCOMPARE(!form.PasswordEdit->isHidden(), passwordAndGroups);
        QCOMPARE(!form.PasswordLabel->isHidden(), passwordAndGroups);
        QCOMPARE(!form.GroupPanel->isHidden(), passwordAndGroups);
        QVERIFY(!form.NameEdit->isHidden() && !form.CountEdit->isHidden());
        if (nomvera::accounts::ProfileServiceComplete()) {
            QVERIFY(!form.ProfileCheck->isHidden());
            QCOMPARE(form.ProfileCheck->text(), profile);
            QCOMPARE(form.ProfileCheck->isEnabled(), profile != QStringLiteral("-"));
            QVERIFY(form.ProfileCheck->isChecked()); // the tester's tick stays
        } else {
            QVERIFY(form.ProfileCheck->isHidden());
        }
    }

    void placesTheBatchButtonsInTwoSlots() {
        TMainForm& form = Form();
        ChooseMode(QStringLiteral("Create Groups"));
        QCOMPARE(form.CreateLocalGroupsButton->pos(), QPoint(8, 8));
        QCOMPARE(form.CreateGlobalGroupsButton->pos(), QPoint(8, 37));
        ChooseMode(QStringLiteral("Delete Groups"));
        QCOMPARE(form.DeleteLocalGroupsButton->pos(), QPoint(8, 8));
        QCOMPARE(form.DeleteGlobalGroupsButton->pos(), QPoint(8, 37));
        ChooseMode(QStringLiteral("Delete Users"));
        QCOMPARE(form.DeleteUsersButton->pos(), QPoint(8, 8));
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(form.CreateUsersButton->pos(), QPoint(8, 8));
        QCOMPARE(form.GroupCheckList->y(), 37);
        QVERIFY(form.GroupCheckList->height() > 0);
    }

    // Only the password row and the group panel come and go: the controls
    // every mode shows stay where they are, at the smallest size and larger,
    // and Tab walks whatever is shown in reading order.
    void panelHoldsStillAndTabFollowsReadingOrder_data() { modes_data(); }
    void panelHoldsStillAndTabFollowsReadingOrder() {
        QFETCH(QString, clicks);
        TMainForm& form = Form();
        QWidget* page = form.CreateDeletePage;
        const auto positions = [&form] {
            QList<QPoint> at;
            for (QWidget* widget : QWidgetList{form.CreateRadio, form.UsersRadio, form.NameEdit,
                                               form.CountEdit, form.ButtonPanel}) {
                at << widget->mapToGlobal(QPoint(0, 0));
            }
            return at;
        };
        const QList<QSize> sizes = {form.minimumSize(), QSize(900, 640)};
        QList<QList<QPoint>> before;
        for (const QSize& size : sizes) {
            Settle(form, size);
            QCOMPARE(form.size(), size);
            before << positions();
        }
        QWidget* column = form.CreateRadio;
        while (column->parentWidget() != page) {
            column = column->parentWidget();
        }
        const QMargins margins = page->layout()->contentsMargins();
        QCOMPARE(column->pos(), QPoint(margins.left(), margins.top()));
        ChooseMode(clicks);
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            Settle(form, sizes[i]);
            QCOMPARE(positions(), before[i]);
        }

        // A group of radio buttons is one Tab stop, arrows move within it: its
        // checked button, or its first one while none is checked.
        const auto takesTab = [page](QWidget* widget) {
            auto* radio = qobject_cast<QRadioButton*>(widget);
            if (radio == nullptr) {
                return (widget->focusPolicy() & Qt::TabFocus) != 0;
            }
            QWidgetList group;
            for (QRadioButton* member : radio->parentWidget()->findChildren<QRadioButton*>()) {
                if (member->isChecked()) {
                    return member == radio;
                }
                group << member;
            }
            return InReadingOrder(page, group).first() == radio;
        };
        QWidgetList expected;
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            if (widget->isVisible() && widget->isEnabled() && takesTab(widget)) {
                expected << widget;
            }
        }
        expected = InReadingOrder(page, expected);
        QVERIFY(expected.size() >= 4);
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        expected.first()->setFocus(Qt::TabFocusReason);
        QWidgetList walked = {QApplication::focusWidget()};
        for (int step = 0; step < 40; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget() == walked.first()) {
                break;
            }
            if (page->isAncestorOf(QApplication::focusWidget())) {
                walked << QApplication::focusWidget();
            }
        }
        QCOMPARE(ObjectNames(walked), ObjectNames(expected));
    }

    void profileBoxStaysHiddenWithoutTheProfileService() {
        nomvera::accounts::ReleaseProfileService();
        nomvera::accounts::BindProfileService("no-such-userenv.dll");
        struct Rebind {
            ~Rebind() {
                nomvera::accounts::ReleaseProfileService();
                nomvera::accounts::BindProfileService();
            }
        } rebind;
        QVERIFY(!nomvera::accounts::ProfileServiceComplete());
        TMainForm& form = Form();
        for (const QString& mode :
             {QStringLiteral(""), QStringLiteral("Create Users"), QStringLiteral("Delete Users"),
              QStringLiteral("Create Groups")}) {
            ChooseMode(mode);
            QVERIFY(form.ProfileCheck->isHidden());
            QVERIFY(!form.ProfileCheck->isChecked());
            QVERIFY(!form.ProfileCheck->isEnabled());
            QCOMPARE(form.ProfileCheck->text(), QStringLiteral("-"));
        }
    }

    void countEntryTakesTypedDigitsOnlyButPastedTextAsIs() {
        TMainForm& form = Form();
        QTest::keyClicks(form.CountEdit, QStringLiteral("1a2 -"));
        QCOMPARE(form.CountEdit->text(), QStringLiteral("12"));
        QCOMPARE(form.ReadCount(), 12);
        QTest::keyClick(form.CountEdit, Qt::Key_Backspace);
        QCOMPARE(form.CountEdit->text(), QStringLiteral("1"));
        // Keys that type no character edit the entry as usual. Delete comes
        // with the text "\x7f" from an X11 keyboard, which types nothing.
        const auto pressDelete = [&form] {
            QTest::sendKeyEvent(QTest::Click, form.CountEdit, Qt::Key_Delete, QString(QChar(0x7f)),
                                Qt::NoModifier);
        };
        QTest::keyClicks(form.CountEdit, QStringLiteral("23"));
        QTest::keyClick(form.CountEdit, Qt::Key_Home);
        pressDelete();
        QCOMPARE(form.CountEdit->text(), QStringLiteral("23"));
        QTest::keyClick(form.CountEdit, Qt::Key_End);
        QTest::keyClick(form.CountEdit, Qt::Key_Left);
        pressDelete();
        QCOMPARE(form.CountEdit->text(), QStringLiteral("2"));
        // AltGr arrives as Ctrl+Alt on some systems, and the entry would take
        // its character; it is a typed character like any other.
        QTest::sendKeyEvent(QTest::Click, form.CountEdit, Qt::Key_E, QString(QChar(0x20AC)),
                            Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(form.CountEdit->text(), QStringLiteral("2"));
        // Text that an input method composes is typed text too.
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("4x5"));
        QCoreApplication::sendEvent(form.CountEdit, &composed);
        QCOMPARE(form.CountEdit->text(), QStringLiteral("245"));

        form.CountEdit->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("3x"));
        QTest::keyClick(form.CountEdit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form.CountEdit->text(), QStringLiteral("3x"));
        QCOMPARE(form.ReadCount(), 0);
    }

    void readCount_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("digits") << "999" << 999;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("plus sign") << "+12" << 12;
        QTest::newRow("sign only") << "-" << 0;
        QTest::newRow("letters") << "1x" << 0;
        QTest::newRow("blank") << " 5" << 0;
        QTest::newRow("hexadecimal") << "$1F" << 0;
        QTest::newRow("beyond 32 bits") << "99999999999" << 0;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
    }

    void readCount() {
        QFETCH(QString, text);
        QFETCH(int, count);
        TMainForm& form = Form();
        form.CountEdit->setMaxLength(32767); // texts longer than the entry allows, as pasted
        form.CountEdit->setText(text);
        QCOMPARE(form.ReadCount(), count);
    }

    void entriesAreCleanedOnlyWhenTheUserChangesPages() {
        TMainForm& form = Form();
        ChooseMode(QStringLiteral("Create Users"));
        form.NameEdit->setText(QStringLiteral(" test "));
        form.PasswordEdit->setText(QStringLiteral("   "));
        QCOMPARE(form.NameText(), WideString(WIDE(" test ")));

        // A batch's error line switches pages by program: nothing is cleaned.
        form.LogError(WIDE("some failure"));
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        QCOMPARE(form.NameEdit->text(), QStringLiteral(" test "));

        ClickPage(form.CreateDeletePage);
        QCOMPARE(form.NameEdit->text(), QStringLiteral("test"));
        QCOMPARE(form.PasswordEdit->text(), QString());
        // The layout ran again and kept the mode.
        QCOMPARE(form.PageControl->tabText(0), QStringLiteral("Create Users"));
        QCOMPARE(VisibleBatchButtons(), QStringList{"Create Users"});

        form.NameEdit->setText(QString::fromUtf16(WIDE("a\tb c\u0001")));
        ClickPage(form.LoggingPage);
        QCOMPARE(form.NameEdit->text(), QStringLiteral("ab c"));
    }

    void errorLinesBringTheLoggingPageToTheFront() {
        TMainForm& form = Form();
        ClickPage(form.ExitCodePage);
        form.LogInfo(WIDE("an info line"));
        form.LogWarning(WIDE("a warning line"));
        QCOMPARE(form.PageControl->currentWidget(), form.ExitCodePage);
        form.LogError(WIDE("an error line"));
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        ClickPage(form.ControlPanelPage);
        form.LogError(WIDE("another error line"));
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        const QStringList lines = LogLines(form);
        if (form.LogWriter() != nullptr && form.LogWriter()->IsActive()) {
            QVERIFY(lines[lines.size() - 4].endsWith(QStringLiteral("|I|an info line")));
            QVERIFY(lines[lines.size() - 3].endsWith(QStringLiteral("|W|a warning line")));
            QVERIFY(lines[lines.size() - 2].endsWith(QStringLiteral("|E|an error line")));
        } else {
            QCOMPARE(lines.mid(lines.size() - 4, 3),
                     (QStringList{"an info line", "a warning line", "an error line"}));
        }
    }

    void everyLoggedLineIsShownAndSelected() {
        TMainForm& form = Form();
        const int before = LogLines(form).size();
        form.LogInfo(WIDE(""));
        QCOMPARE(LogLines(form).size(), before + 1);
        QCOMPARE(LastLogLine(form), QString());
        QCOMPARE(SelectedLogRow(form), before);

        form.LogInfo(WIDE("twice"));
        form.LogInfo(WIDE("twice"));
        const QStringList lines = LogLines(form);
        QVERIFY(lines[lines.size() - 1].endsWith(QStringLiteral("twice")));
        QVERIFY(lines[lines.size() - 2].endsWith(QStringLiteral("twice")));

        if (form.LogWriter() != nullptr && form.LogWriter()->IsActive()) {
            const QString longText = QString(200, WIDE('a')) + QString(100, WIDE('b'));
            form.LogInfo(longText.toStdU16String());
            QVERIFY(LastLogLine(form).endsWith(QStringLiteral("|I|") + QString(200, WIDE('a')) +
                                               QString(20, WIDE('b'))));
        }
    }

    void keepsThousandsOfLinesWithTheNewestInView() {
        TMainForm& form = Form();
        ClickPage(form.LoggingPage);
        const int before = LogLines(form).size();
        for (int i = 0; i < 3000; ++i) {
            form.LogWarning(WIDE("line ") + QString::number(i).toStdU16String());
        }
        QCOMPARE(form.LogList->model()->rowCount(), before + 3000);
        const int newest = before + 2999;
        QCOMPARE(SelectedLogRow(form), newest);
        QCOMPARE(form.LogList->currentIndex().row(), newest);
        const QRect newestRect = form.LogList->visualRect(form.LogList->model()->index(newest, 0));
        QVERIFY2(newestRect.top() >= 0 && newestRect.bottom() < form.LogList->viewport()->height(),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                .arg(newestRect.x())
                                .arg(newestRect.y())
                                .arg(newestRect.width())
                                .arg(newestRect.height())
                                .arg(form.LogList->viewport()->width())
                                .arg(form.LogList->viewport()->height())));
        QCOMPARE(form.LogList->indexAt(newestRect.center()).row(), newest);

        // Keyboard: Home goes to the first line, End back to the newest.
        form.LogList->setFocus();
        QTest::keyClick(form.LogList, Qt::Key_Home);
        QCOMPARE(form.LogList->currentIndex().row(), 0);
        QCOMPARE(form.LogList->FirstVisibleRow(), 0);
        QTest::keyClick(form.LogList, Qt::Key_Down);
        QCOMPARE(form.LogList->currentIndex().row(), 1);
        QTest::keyClick(form.LogList, Qt::Key_End);
        QCOMPARE(form.LogList->currentIndex().row(), newest);
    }

    // Warning and error lines stand out by colour and by a mark; their text
    // (and so the name assistive technology reads) is the line as logged.
    void warningAndErrorLinesStandOut() {
        TMainForm& form = Form();
        ClickPage(form.LoggingPage);
        form.LogInfo(WIDE("before"));
        form.LogError(WIDE("an error"));
        form.LogWarning(WIDE("a warning"));
        form.LogInfo(WIDE("an info"));
        QAbstractItemModel& lines = *form.LogList->model();
        const int info = lines.rowCount() - 1;
        const int warning = info - 1;
        const int error = info - 2;
        const QString errorLine = lines.index(error, 0).data().toString();
        const QString warningLine = lines.index(warning, 0).data().toString();
        QVERIFY2(errorLine.contains(QStringLiteral("|E|")) &&
                     errorLine.endsWith(QStringLiteral("an error")),
                 qPrintable(errorLine));
        QVERIFY2(warningLine.contains(QStringLiteral("|W|")) &&
                     warningLine.endsWith(QStringLiteral("a warning")),
                 qPrintable(warningLine));
        const auto colour = [&](int row) {
            return lines.index(row, 0).data(Qt::ForegroundRole).value<QBrush>().color();
        };
        const auto mark = [&](int row) {
            return lines.index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(12).toImage();
        };
        QVERIFY(!lines.index(info, 0).data(Qt::ForegroundRole).isValid());
        QVERIFY(colour(error).red() > 2 * colour(error).green());
        QVERIFY(colour(warning) != colour(error) && colour(warning).alpha() == 255);
        QVERIFY(!mark(error).isNull() && !mark(warning).isNull());
        QVERIFY(mark(error) != mark(warning));
        QCOMPARE(mark(info).size(), mark(error).size()); // room kept: the lines line up
        QCOMPARE(mark(info).pixelColor(6, 6).alpha(), 0);

        // Painted: the unselected error line has red text, the info line none.
        const QImage shot = form.LogList->viewport()->grab().toImage();
        const auto reddish = [&](int row) {
            const QRect band = form.LogList->visualRect(lines.index(row, 0));
            int count = 0;
            for (int y = std::max(0, band.top()); y <= std::min(shot.height() - 1, band.bottom());
                 ++y) {
                // Past the mark: only the text's own pixels count.
                for (int x = form.LogList->iconSize().width() + 8; x < shot.width(); ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    count += c.red() > c.green() + 60 && c.red() > c.blue() + 60 ? 1 : 0;
                }
            }
            return count;
        };
        QVERIFY(reddish(error) > 0);
        QCOMPARE(reddish(info - 3), 0);
    }

    void exceptionEscapingAHandlerIsLoggedAndTheProgramGoesOn() {
        TMainForm& form = Form();
        TFailingWidget failing;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&failing, &event);
        QVERIFY(LastLogLine(form).endsWith(QStringLiteral("EXCP: handler failed on purpose")));
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);

        ClickPage(form.CreateDeletePage);
        QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QVERIFY(LastLogLine(form).endsWith(QStringLiteral("EXCP: handler failed on purpose")));
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        // Still running: the window reacts to the next click.
        ClickPage(form.CreateDeletePage);
        ChooseMode(QStringLiteral("Delete Users"));
        QCOMPARE(form.PageControl->tabText(0), QStringLiteral("Delete Users"));
    }

    void exitCodeButtons_data() {
        QTest::addColumn<int>("code");
        QTest::newRow("0") << 0;
        QTest::newRow("1") << 1;
        QTest::newRow("2") << 2;
    }

    void exitCodeButtons() {
        QFETCH(int, code);
        TMainForm& form = Form();
        nomvera::app::ChosenExitCode = 7;
        ClickPage(form.ExitCodePage);
        Click(form.ExitCodeButtons[static_cast<std::size_t>(code)]);
        QCOMPARE(nomvera::app::ChosenExitCode, code);
        QVERIFY(LastLogLine(form).endsWith(QStringLiteral("ExitCode: %1").arg(code)));
        QVERIFY(form.ClosingRequested());
        QVERIFY(!form.isVisible());
    }

    void closeRemovesTheShortcutFolderOnlyWhenEmpty() {
        TMainForm& form = Form();
        const std::string wcpl = environment_->TempFolderPath() + "/wcpl";
        const std::string sub = wcpl + "/Control Panel .{ED7BA470-8E54-465E-825C-99712043E01C}";
        QCOMPARE(mkdir(wcpl.c_str(), 0700), 0);
        QCOMPARE(mkdir(sub.c_str(), 0700), 0);
        form.close();
        QVERIFY(form.ClosingRequested());
        struct stat info {};
        QVERIFY(stat(wcpl.c_str(), &info) != 0);

        // A folder with something in it stays, without a word.
        TMainForm second;
        QCOMPARE(mkdir(wcpl.c_str(), 0700), 0);
        nomvera::test::WriteTextFile(wcpl + "/keep.txt", "kept");
        const int lines = second.LogList->model()->rowCount();
        second.close();
        QVERIFY(stat((wcpl + "/keep.txt").c_str(), &info) == 0);
        QCOMPARE(second.LogList->model()->rowCount(), lines);
    }

    void closeSignalsArriveAsCloseRequests() {
        TMainForm& form = Form();
        nomvera::app::TCloseSignals signalBridge;
        QVERIFY(signalBridge.Installed());
        QSignalSpy spy(&signalBridge, &nomvera::app::TCloseSignals::CloseRequested);
        connect(&signalBridge, &nomvera::app::TCloseSignals::CloseRequested, &form,
                [&form] { form.close(); });
        for (const int signalNumber : {SIGHUP, SIGINT, SIGTERM}) {
            spy.clear();
            QCOMPARE(raise(signalNumber), 0);
            QVERIFY(spy.wait(2000));
            QCOMPARE(spy.first().first().toInt(), signalNumber);
        }
        QVERIFY(form.ClosingRequested());
    }

    void fillsTheGroupListInServiceOrderAndTicksTheBuiltInGroups() {
        // A group named like the built-in Users group but in other letters.
        const std::string group = environment_->Root() / "etc/group";
        const std::string gshadow = environment_->Root() / "etc/gshadow";
        nomvera::test::WriteTextFile(group, nomvera::test::ReadTextFile(group) + "USERS:x:1001:\n");
        nomvera::test::WriteTextFile(gshadow, nomvera::test::ReadTextFile(gshadow) + "USERS:!::\n");

        TMainForm& form = Form();
        ChooseMode(QStringLiteral("Delete Users"));
        ChooseMode(QStringLiteral("Create Groups"));
        QCOMPARE(form.GroupCheckList->count(), 0); // only Create + Users fills it

        ChooseMode(QStringLiteral("Create Users"));
        const QStringList expected = {"root", "sudo", "users", "tsusers", "nogroup", "USERS"};
        QCOMPARE(GroupEntries(), expected);
        QCOMPARE(CheckedGroups(), (QStringList{"users", "tsusers"}));
        QVERIFY(LastLogLine(form).endsWith(QStringLiteral("End: Fill Groups: 6")));
        QVERIFY(LogLines(form)[LogLines(form).size() - 2].endsWith(
            QStringLiteral("Begin: Fill Groups")));
        QCOMPARE(form.GroupCount(), std::size_t{6});
        QCOMPARE(form.GroupName(2), WideString(WIDE("users")));
        QVERIFY(form.GroupChecked(2) && !form.GroupChecked(0));

        // A filled list is not refilled by the layout: hand ticks stay.
        form.GroupCheckList->item(0)->setCheckState(Qt::Checked);
        form.GroupCheckList->item(2)->setCheckState(Qt::Unchecked);
        const int lines = LogLines(form).size();
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(LogLines(form).size(), lines);
        QCOMPARE(CheckedGroups(), (QStringList{"root", "tsusers"}));

        // Refresh rebuilds it and ticks only the built-in groups again.
        Click(form.RefreshButton);
        QCOMPARE(GroupEntries(), expected);
        QCOMPARE(CheckedGroups(), (QStringList{"users", "tsusers"}));
    }

    void refreshShowsTheEmptiedListBeforeItsPauseAndRefill() {
        TMainForm& form = Form();
        ChooseMode(QStringLiteral("Create Users"));
        QVERIFY(form.GroupCheckList->count() > 0);
        // A message waiting when Refresh is pressed is handled once the list
        // is empty, and the refill comes at least 100 ms later.
        int entriesSeen = -1;
        QElapsedTimer sinceSeen;
        QTimer::singleShot(0, &form, [&] {
            entriesSeen = form.GroupCheckList->count();
            sinceSeen.start();
        });
        const int lines = LogLines(form).size();
        form.RefreshButton->click();
        QCOMPARE(entriesSeen, 0);
        QVERIFY2(sinceSeen.elapsed() >= 100, qPrintable(QString::number(sinceSeen.elapsed())));
        QCOMPARE(form.GroupCheckList->count(), 5);
        QCOMPARE(LogLines(form).size(), lines + 2);
    }

    void anEmptyEnumerationLeavesTheListEmptyAndIsRetried() {
        TMainForm& form = Form();
        const int startLines = LogLines(form).size();
        // No local groups at all: nothing to tick, no error line.
        nomvera::test::WriteTextFile(environment_->Root() / "etc/group", "");
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(form.GroupCheckList->count(), 0);
        QVERIFY(LastLogLine(form).endsWith(QStringLiteral("End: Fill Groups: 0")));
        QCOMPARE(form.PageControl->currentWidget(), form.CreateDeletePage);
        for (const QString& line : LogLines(form).mid(startLines)) {
            QVERIFY2(!line.contains(QStringLiteral("|E|")), qPrintable(line));
        }
        const int lines = LogLines(form).size();
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(LogLines(form).size(), lines + 2);
    }

    void controlsExposeTheirCaptionsToAccessibility() {
        TMainForm& form = Form();
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(AccessibleName(form.NameEdit), QStringLiteral("Name"));
        QCOMPARE(AccessibleName(form.PasswordEdit), QStringLiteral("Password:"));
        QCOMPARE(AccessibleName(form.CountEdit), QStringLiteral("Number:"));
        QCOMPARE(AccessibleName(form.LogList), QStringLiteral("Log"));
        QCOMPARE(AccessibleName(form.GroupCheckList), QStringLiteral("Groups"));
        QCOMPARE(AccessibleName(form.CreateRadio), QStringLiteral("Create"));
        QCOMPARE(AccessibleName(form.GroupsRadio), QStringLiteral("Groups"));
        QCOMPARE(AccessibleName(form.CreateUsersButton), QStringLiteral("Create Users"));
        QCOMPARE(AccessibleName(form.RefreshButton), QStringLiteral("Refresh"));
        QCOMPARE(AccessibleName(form.ProfileCheck), form.ProfileCheck->text());
        QCOMPARE(AccessibleName(form.ExitCodeButtons[1]), QStringLiteral("1"));
        QCOMPARE(AccessibleName(form.NamePasswordBox), form.NamePasswordBox->title());
        for (QPushButton* button : form.ShortcutButtons) {
            QCOMPARE(AccessibleName(button), button->text());
        }
    }

    void worksFromTheKeyboard() {
        TMainForm& form = Form();
        form.CreateRadio->setFocus();
        QTest::keyClick(form.CreateRadio, Qt::Key_Space);
        QVERIFY(form.CreateRadio->isChecked());
        QCOMPARE(form.PageControl->tabText(0), QStringLiteral("Create"));
        form.UsersRadio->setFocus();
        QTest::keyClick(form.UsersRadio, Qt::Key_Space);
        QCOMPARE(form.PageControl->tabText(0), QStringLiteral("Create Users"));
        QVERIFY(form.GroupCheckList->count() > 0);

        // Space ticks the current group.
        form.GroupCheckList->setFocus();
        form.GroupCheckList->setCurrentRow(0);
        const Qt::CheckState before = form.GroupCheckList->item(0)->checkState();
        QTest::keyClick(form.GroupCheckList, Qt::Key_Space);
        QVERIFY(form.GroupCheckList->item(0)->checkState() != before);

        // Ctrl+Tab changes pages as the user, which runs the page change handler.
        form.NameEdit->setText(QStringLiteral(" pad "));
        form.NameEdit->setFocus();
        QTest::keyClick(form.NameEdit, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        QCOMPARE(form.NameEdit->text(), QStringLiteral("pad"));

        form.PageControl->setCurrentWidget(form.ExitCodePage);
        form.ExitCodeButtons[2]->setFocus();
        QTest::keyClick(form.ExitCodeButtons[2], Qt::Key_Space);
        QCOMPARE(nomvera::app::ChosenExitCode, 2);
        QVERIFY(form.ClosingRequested());
    }
};

int main(int argc, char** argv) {
    return nomvera::test::RunWindowTests<TWindowTest>(argc, argv);
}

#include "platform/wide_text.h"
#include "window_test.moc"
