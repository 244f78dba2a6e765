// Batches run from the real window, offscreen, over a sandbox system root
// with the real account and profile stand-ins.
#include "app/application.h"
#include "app/log_list_view.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/program_state.h"
#include "tests/app/shown_form.h"
#include "tests/app/window_test_main.h"
#include "tests/common/temp_folder.h"
#include "tests/common/test_environment.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <string>
#include <sys/stat.h>

using nomvera::app::TMainForm;
using nomvera::test::ReadTextFile;
using nomvera::test::TWindowTestEnvironment;

namespace {

QStringList LogLines(TMainForm& form) {
    QStringList lines;
    const auto* model = form.LogList->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        lines << model->index(row, 0).data().toString();
    }
    return lines;
}

// The shown lines (time stamp, level and indent in front) that end with text.
int CountEndingWith(const QStringList& lines, const QString& text) {
    int count = 0;
    for (const QString& line : lines) {
        count += line.endsWith(text) ? 1 : 0;
    }
    return count;
}

int IndexEndingWith(const QStringList& lines, const QString& text, int from = 0) {
    for (int i = from; i < lines.size(); ++i) {
        if (lines[i].endsWith(text)) {
            return i;
        }
    }
    return -1;
}

bool HasAccount(const TWindowTestEnvironment& environment, const std::string& name) {
    const std::string passwd = ReadTextFile(environment.Root() / "etc/passwd");
    return passwd.find("\n" + name + ":") != std::string::npos || passwd.rfind(name + ":", 0) == 0;
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

class TBatchWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TWindowTestEnvironment> environment_;
    std::unique_ptr<TMainForm> form_;

    TMainForm& Form() { return nomvera::test::ShowFormOnce(form_); }
    void Click(QAbstractButton* button) { nomvera::test::ClickButton(button); }
    void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Create or Delete, then Users; the name, password and count typed in.
    void PrepareUsers(QRadioButton* action, const QString& count) {
        TMainForm& form = Form();
        Click(action);
        Click(form.UsersRadio);
        Type(form.NameEdit, QStringLiteral("test"));
        if (!form.PasswordEdit->isHidden()) {
            Type(form.PasswordEdit, QStringLiteral("pass"));
        }
        Type(form.CountEdit, count);
    }
    std::string Home(const std::string& user) const {
        return environment_->Root() / ("home/" + user);
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

    void createsAndDeletesUsersWithProfilesFromTheButtons() {
        if (geteuid() != 0) {
            QSKIP("needs root: shadow-utils change account files only as root");
        }
        TMainForm& form = Form();
        PrepareUsers(form.CreateRadio, QStringLiteral("2"));
        QVERIFY(form.ProfileCheck->isChecked());
        // Only the Remote Desktop Users group stays ticked among several entries.
        for (int row = 0; row < form.GroupCheckList->count(); ++row) {
            QListWidgetItem* item = form.GroupCheckList->item(row);
            item->setCheckState(item->text() == QStringLiteral("tsusers") ? Qt::Checked
                                                                          : Qt::Unchecked);
        }
        QVERIFY(form.GroupCheckList->count() > 1);
        Click(form.BatchButton("create-users"));

        QCOMPARE(form.PageControl->currentWidget(), form.LoggingPage);
        QStringList lines = LogLines(form);
        const int begin = IndexEndingWith(lines, QStringLiteral("Begin: Create Users"));
        QVERIFY(begin >= 0);
        int at = begin;
        for (const char* name : {"test001", "test002"}) {
            const QString user = QString::fromLatin1(name);
            const QString number = user.right(3);
            for (const QString& text :
                 {QStringLiteral("Created User[%1] Password[pass%2]").arg(user, number),
                  QStringLiteral("] is a member of [tsusers]"),
                  QStringLiteral("[%1]").arg(QString::fromStdString(Home(name)))}) {
                const int next = IndexEndingWith(lines, text, at + 1);
                QVERIFY2(next > at, qPrintable(text));
                at = next;
            }
            QVERIFY(HasAccount(*environment_, name));
            QVERIFY(FolderExists(Home(name)));
        }
        QVERIFY(IndexEndingWith(lines, QStringLiteral("End: Create Users"), at + 1) > at);
        for (const QString& line : lines) {
            QVERIFY2(!line.contains(QStringLiteral("Error")), qPrintable(line));
        }

        PrepareUsers(form.DeleteRadio, QStringLiteral("2"));
        QVERIFY(form.ProfileCheck->isChecked());
        Click(form.BatchButton("delete-users"));
        lines = LogLines(form);
        const int deleteBegin = IndexEndingWith(lines, QStringLiteral("Begin: Delete Users"));
        QVERIFY(deleteBegin > at);
        at = deleteBegin;
        for (const char* name : {"test001", "test002"}) {
            const QString user = QString::fromLatin1(name);
            for (const QString& text :
                 {QStringLiteral("Comment User[1][Generated by OKAV]"),
                  QStringLiteral("ProfilePath User[2][%1]").arg(QString::fromStdString(Home(name))),
                  QStringLiteral("Deleted User[%1]").arg(user),
                  QStringLiteral("Delete Profile[%1] SID[").arg(user)}) {
                const int next = [&] {
                    for (int i = at + 1; i < lines.size(); ++i) {
                        if (lines[i].contains(text)) {
                            return i;
                        }
                    }
                    return -1;
                }();
                QVERIFY2(next > at, qPrintable(text));
                at = next;
            }
            QVERIFY(!HasAccount(*environment_, name));
            QVERIFY(!FolderExists(Home(name)));
        }
        QVERIFY(IndexEndingWith(lines, QStringLiteral("End: Delete Users"), at + 1) > at);

        // Every shown line went through the log file as well.
        const auto fileLines =
            nomvera::test::LogFileLines(environment_->StateFolder() + "/kelRostery.utf8.log");
        int found = 0;
        for (const auto& line : fileLines) {
            found += QString::fromStdString(line).endsWith(QStringLiteral("Deleted User[test002]"));
        }
        QCOMPARE(found, 1);
    }

    // The close request arrives while the batch processes messages after
    // test002: nothing more is created, and the End line still comes.
    void aCloseRequestDuringABatchStopsAtTheNextAccount() {
        if (geteuid() != 0) {
            QSKIP("needs root: shadow-utils change account files only as root");
        }
        TMainForm& form = Form();
        PrepareUsers(form.CreateRadio, QStringLiteral("5"));
        form.ProfileCheck->setChecked(false);
        bool closeSent = false;
        connect(form.LogList->model(), &QAbstractItemModel::rowsInserted, &form,
                [&form, &closeSent](const QModelIndex&, int first, int) {
                    const QString line = form.LogList->model()->index(first, 0).data().toString();
                    if (!closeSent && line.contains(QStringLiteral("Created User[test002]"))) {
                        closeSent = true;
                        QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
                    }
                });
        Click(form.BatchButton("create-users"));

        QVERIFY(closeSent);
        QVERIFY(form.ClosingRequested());
        const QStringList lines = LogLines(form);
        QVERIFY(lines.last().endsWith(QStringLiteral("End: Create Users")));
        QCOMPARE(CountEndingWith(lines, QStringLiteral("Password[pass003]")), 0);
        QVERIFY(HasAccount(*environment_, "test002"));
        for (const char* name : {"test003", "test004", "test005"}) {
            QVERIFY2(!HasAccount(*environment_, name), name);
        }
    }
};

int main(int argc, char** argv) {
    return nomvera::test::RunWindowTests<TBatchWindowTest>(argc, argv);
}

#include "batch_window_test.moc"
