// The ExitCode page: each button sets the exit code and closes the window.
#include "tests/app/window_fixture.h"

using namespace nomvera::test;

class TExitCodePageTest : public QObject, public TWindowFixture {
    Q_OBJECT

private slots:
    void init() { Init(); }
    void cleanup() { Cleanup(); }

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
};

int main(int argc, char** argv) {
    return RunWindowTests<TExitCodePageTest>(argc, argv);
}

#include "exit_code_page_test.moc"
