// Renders the pages of the real window to PNG files: nomvera_screenshots
// <folder>. The window runs over a sandbox system root with a temporary home,
// like the window tests, so the pictures show the sandbox's groups and user.
// scripts/screenshots runs a copy of it from a short folder, so that the
// banner line shows no path of the machine it was built on.
#include "app/application.h"
#include "app/main_form.h"
#include "app/program.h"
#include "tests/common/test_environment.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

bool Save(nomvera::app::TMainForm& form, const QString& folder, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = folder + QStringLiteral("/") + name;
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void ShowPage(nomvera::app::TMainForm& form, QWidget* page) {
    form.PageControl->setCurrentWidget(page);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nomvera_screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    nomvera::test::TWindowTestEnvironment environment;
    nomvera::app::StartSupportUnits();
    nomvera::app::BindWindowModule();
    bool saved = true;
    {
        nomvera::app::TNomveraApplication application(argc, argv);
        nomvera::app::TMainForm form;
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) {
            std::fprintf(stderr, "the window was not shown\n");
            return 1;
        }
        saved = Save(form, folder, QStringLiteral("page-create-delete.png")) && saved;

        QTest::mouseClick(form.CreateRadio, Qt::LeftButton);
        QTest::mouseClick(form.UsersRadio, Qt::LeftButton);
        QTest::keyClicks(form.NameEdit, QStringLiteral("test"));
        QTest::keyClicks(form.PasswordEdit, QStringLiteral("pass"));
        QTest::keyClicks(form.CountEdit, QStringLiteral("3"));
        saved = Save(form, folder, QStringLiteral("page-create-users.png")) && saved;

        // Two users made and three deleted in the sandbox: the third is not
        // there, so the Logging page shows an error line among the others.
        form.CountEdit->clear();
        QTest::keyClicks(form.CountEdit, QStringLiteral("2"));
        QTest::mouseClick(form.BatchButton("create-users"), Qt::LeftButton);
        ShowPage(form, form.CreateDeletePage);
        QTest::mouseClick(form.DeleteRadio, Qt::LeftButton);
        QTest::mouseClick(form.UsersRadio, Qt::LeftButton);
        form.CountEdit->clear();
        QTest::keyClicks(form.CountEdit, QStringLiteral("3"));
        QTest::mouseClick(form.BatchButton("delete-users"), Qt::LeftButton);
        ShowPage(form, form.LoggingPage);
        saved = Save(form, folder, QStringLiteral("page-logging.png")) && saved;
        ShowPage(form, form.ControlPanelPage);
        saved = Save(form, folder, QStringLiteral("page-control-panel.png")) && saved;
        ShowPage(form, form.ExitCodePage);
        saved = Save(form, folder, QStringLiteral("page-exitcode.png")) && saved;
    }
    nomvera::app::ReleaseWindowModule();
    nomvera::app::StopSupportUnits();
    return saved ? 0 : 1;
}
