// The Create/Delete page: the modes of the operation panel, its layout, the
// entries and the group list.
#include "tests/app/window_fixture.h"

using namespace nomvera::test;

class TCreateDeletePageTest : public QObject, public TWindowFixture {
    Q_OBJECT

private slots:
    void init() { Init(); }
    void cleanup() { Cleanup(); }

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
        QCOMPARE(form.BatchButton("create-local-groups")->pos(), QPoint(8, 8));
        QCOMPARE(form.BatchButton("create-global-groups")->pos(), QPoint(8, 37));
        ChooseMode(QStringLiteral("Delete Groups"));
        QCOMPARE(form.BatchButton("delete-local-groups")->pos(), QPoint(8, 8));
        QCOMPARE(form.BatchButton("delete-global-groups")->pos(), QPoint(8, 37));
        ChooseMode(QStringLiteral("Delete Users"));
        QCOMPARE(form.BatchButton("delete-users")->pos(), QPoint(8, 8));
        ChooseMode(QStringLiteral("Create Users"));
        QCOMPARE(form.BatchButton("create-users")->pos(), QPoint(8, 8));
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
};

int main(int argc, char** argv) {
    return RunWindowTests<TCreateDeletePageTest>(argc, argv);
}

#include "create_delete_page_test.moc"
