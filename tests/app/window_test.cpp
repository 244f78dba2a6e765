// The window as a whole: its start, caption and log file, a failing handler,
// closing, accessibility and the keyboard.
#include "tests/app/window_fixture.h"

using namespace nomvera::test;

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

} // namespace

class TWindowTest : public QObject, public TWindowFixture {
    Q_OBJECT

private slots:
    void init() { Init(); }
    void cleanup() { Cleanup(); }

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
        QCOMPARE(form.BatchButton("create-users")->text(), QStringLiteral("Create Users"));
        QCOMPARE(form.BatchButton("delete-global-groups")->text(),
                 QStringLiteral("Delete Global Groups"));
        QVERIFY(!form.BatchButton("create-users")->icon().isNull());

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
        QCOMPARE(AccessibleName(form.BatchButton("create-users")), QStringLiteral("Create Users"));
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
    return RunWindowTests<TWindowTest>(argc, argv);
}

#include "window_test.moc"
