// The Logging page: every activity-log line, the newest selected and in view,
// warnings and errors standing out.
#include "tests/app/window_fixture.h"

using namespace nomvera::test;

class TLoggingPageTest : public QObject, public TWindowFixture {
    Q_OBJECT

private slots:
    void init() { Init(); }
    void cleanup() { Cleanup(); }

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
};

int main(int argc, char** argv) {
    return RunWindowTests<TLoggingPageTest>(argc, argv);
}

#include "logging_page_test.moc"
