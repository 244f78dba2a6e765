// The activity log of the real window as assistive technology sees it,
// through Qt's own accessibility API, and the log view's keyboard use.
#include "app/application.h"
#include "app/log_list_accessible.h"
#include "app/log_list_view.h"
#include "app/main_form.h"
#include "app/program.h"
#include "tests/app/shown_form.h"
#include "tests/app/window_test_main.h"
#include "tests/common/test_environment.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <memory>
#include <vector>

using nomvera::app::TLogListAccessible;
using nomvera::app::TMainForm;

namespace {

QStringList ShownLines(TMainForm& form) {
    QStringList lines;
    for (int row = 0; row < form.LogList->model()->rowCount(); ++row) {
        lines << form.LogList->model()->index(row, 0).data().toString();
    }
    return lines;
}

QList<int> SelectedRows(TMainForm& form) {
    QList<int> rows;
    for (const QModelIndex& index : form.LogList->selectionModel()->selectedIndexes()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

class TLogAccessibilityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<nomvera::test::TWindowTestEnvironment> environment_;
    std::unique_ptr<TMainForm> form_;

    TMainForm& Form() { return nomvera::test::ShowFormOnce(form_); }
    QAccessibleInterface* LogFace() {
        return QAccessible::queryAccessibleInterface(Form().LogList);
    }
    // Shows the Logging page and logs lines until the list holds count.
    void FillTo(int count) {
        Form().ShowLoggingPage();
        for (int i = Form().LogList->model()->rowCount(); i < count; ++i) {
            Form().LogInfo(WIDE("line ") + QString::number(i).toStdU16String());
        }
    }

private slots:
    void init() { environment_ = std::make_unique<nomvera::test::TWindowTestEnvironment>(); }
    void cleanup() {
        form_.reset();
        environment_.reset();
    }

    void isAListWithOneItemPerLineAsShown() {
        TMainForm& form = Form();
        form.LogInfo(WIDE(""));
        form.LogWarning(WIDE("a warning"));
        QAccessibleInterface* face = LogFace();
        QVERIFY(face != nullptr);
        QCOMPARE(face->role(), QAccessible::List);
        QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Log"));
        QVERIFY(face->state().multiSelectable);

        const QStringList lines = ShownLines(form);
        QVERIFY(lines.size() >= 5);
        QVERIFY2(lines.first().endsWith(QStringLiteral("|I|Begin: Create")), qPrintable(lines[0]));
        QCOMPARE(face->childCount(), lines.size());
        QAccessibleTableInterface* table = face->tableInterface();
        QVERIFY(table != nullptr);
        QCOMPARE(table->rowCount(), lines.size());
        QCOMPARE(table->columnCount(), 1);
        for (int row = 0; row < lines.size(); ++row) {
            QAccessibleInterface* item = face->child(row);
            QVERIFY(item != nullptr);
            QCOMPARE(item->text(QAccessible::Name), lines[row]);
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->parent(), face);
            QCOMPARE(face->indexOfChild(item), row);
            QCOMPARE(table->cellAt(row, 0), item);
            QCOMPARE(item->tableCellInterface()->rowIndex(), row);
            // The newest line, and only it, is selected.
            QCOMPARE(item->state().selected, row == lines.size() - 1);
        }
        QCOMPARE(table->selectedRows(), QList<int>{static_cast<int>(lines.size()) - 1});
        QVERIFY(face->child(static_cast<int>(lines.size())) == nullptr);
        QVERIFY(face->child(-1) == nullptr);
        QVERIFY(table->cellAt(0, 1) == nullptr);

        // The item under a point of the screen is the line painted there;
        // lines of the page in the back are invisible.
        QAccessibleInterface* newest = face->child(static_cast<int>(lines.size()) - 1);
        QVERIFY(newest->state().invisible);
        form.ShowLoggingPage();
        QVERIFY(!newest->state().invisible && !newest->state().offscreen);
        // A line may be wider than the view (the banner holds the program's
        // path): the point is taken inside the part of it that is shown.
        const QRect viewport(form.LogList->viewport()->mapToGlobal(QPoint(0, 0)),
                             form.LogList->viewport()->size());
        const QRect shown = newest->rect().intersected(viewport);
        QVERIFY(!shown.isEmpty());
        QCOMPARE(face->childAt(shown.center().x(), shown.center().y()), newest);
        QVERIFY(face->childAt(viewport.right() + 1, shown.center().y()) == nullptr);

        // Selecting through the interface selects in the view.
        QVERIFY(table->selectRow(1));
        QVERIFY(face->child(1)->state().selected);
        QVERIFY(table->isRowSelected(1));
        QVERIFY(!table->selectRow(static_cast<int>(lines.size())));
    }

    void makesLineItemsOnlyWhenAskedAndKeepsFew() {
        TMainForm& form = Form();
        auto* face = static_cast<TLogListAccessible*>(LogFace());
        FillTo(3000);
        QCOMPARE(face->CachedItems(), 0);

        // A tool that walks every line gets every line; the items it no
        // longer holds go once the event loop runs.
        const int rows = face->childCount();
        for (int row = 0; row < rows; ++row) {
            QVERIFY(face->child(row) != nullptr);
        }
        QCOMPARE(face->CachedItems(), rows);
        QTRY_VERIFY(face->CachedItems() <= TLogListAccessible::kCachedItems);
        QCOMPARE(face->child(rows - 1)->text(QAccessible::Name), ShownLines(form).last());
        QCOMPARE(face->child(0)->text(QAccessible::Name), ShownLines(form).first());
        // An item kept across new lines still stands for its own line.
        QAccessibleInterface* first = face->child(0);
        FillTo(rows + 10);
        QCOMPARE(face->child(0), first);
        QCOMPARE(first->text(QAccessible::Name), ShownLines(form).first());
        QCOMPARE(face->childCount(), rows + 10);
    }

    void movesTheSelectionAndCopiesFromTheKeyboard_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("selected");
        const auto key = [](int code, Qt::KeyboardModifiers modifiers = {}) {
            return code | static_cast<int>(modifiers);
        };
        // Rows as offsets: "first+n", "last-n", "page" stands for one page.
        QTest::newRow("home") << QList<int>{key(Qt::Key_Home)} << "0"
                              << "0";
        QTest::newRow("end") << QList<int>{key(Qt::Key_Home), key(Qt::Key_End)} << "last"
                             << "last";
        QTest::newRow("down up") << QList<int>{key(Qt::Key_Home), key(Qt::Key_Down),
                                               key(Qt::Key_Down), key(Qt::Key_Up)}
                                 << "1"
                                 << "1";
        QTest::newRow("up at the top stays")
            << QList<int>{key(Qt::Key_Home), key(Qt::Key_Up)} << "0"
            << "0";
        QTest::newRow("down at the end stays") << QList<int>{key(Qt::Key_Down)} << "last"
                                               << "last";
        QTest::newRow("page down") << QList<int>{key(Qt::Key_Home), key(Qt::Key_PageDown)} << "page"
                                   << "page";
        QTest::newRow("page up") << QList<int>{key(Qt::Key_PageUp)} << "last-page"
                                 << "last-page";
        QTest::newRow("shift extends") << QList<int>{key(Qt::Key_Home), key(Qt::Key_Down),
                                                     key(Qt::Key_Down, Qt::ShiftModifier),
                                                     key(Qt::Key_Down, Qt::ShiftModifier)}
                                       << "3"
                                       << "1,2,3";
        QTest::newRow("select all") << QList<int>{key(Qt::Key_A, Qt::ControlModifier)} << "last"
                                    << "all";
    }

    void movesTheSelectionAndCopiesFromTheKeyboard() {
        QFETCH(QList<int>, keys);
        QFETCH(QString, current);
        QFETCH(QString, selected);
        TMainForm& form = Form();
        FillTo(200);
        const int last = form.LogList->model()->rowCount() - 1;
        const int page = form.LogList->viewport()->height() / form.LogList->RowHeight() - 1;
        QVERIFY(page > 1 && page < last);
        const auto row = [&](const QString& text) {
            return text == QLatin1String("last")        ? last
                   : text == QLatin1String("page")      ? page
                   : text == QLatin1String("last-page") ? last - page
                                                        : text.toInt();
        };
        form.LogList->setFocus();
        for (int key : keys) {
            QTest::keyClick(form.LogList, static_cast<Qt::Key>(key & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        }
        QCOMPARE(form.LogList->currentIndex().row(), row(current));
        QList<int> expected;
        for (const QString& part : selected.split(WIDE(','))) {
            if (part == QLatin1String("all")) {
                for (int each = 0; each <= last; ++each) {
                    expected << each;
                }
            } else {
                expected << row(part);
            }
        }
        QCOMPARE(SelectedRows(form), expected);
        // The current line is in view.
        const QRect shown = form.LogList->visualRect(form.LogList->currentIndex());
        QVERIFY(shown.top() >= 0 && shown.bottom() < form.LogList->viewport()->height());

        // Ctrl+C: the selected lines as shown, one per line, top to bottom.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(form.LogList, Qt::Key_C, Qt::ControlModifier);
        QStringList copied;
        for (int selectedRow : expected) {
            copied << ShownLines(form)[selectedRow];
        }
        QCOMPARE(QGuiApplication::clipboard()->text(), copied.join(WIDE('\n')));
    }
};

int main(int argc, char** argv) {
    return nomvera::test::RunWindowTests<TLogAccessibilityTest>(argc, argv);
}

#include "log_accessibility_test.moc"
#include "platform/wide_text.h"
