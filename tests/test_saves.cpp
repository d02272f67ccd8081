#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>
#include <utility>

using Runes = QList<int>;

namespace {

template <typename Owned> Runes runesWhere(Owned owned)
{
    Runes runes;
    for (int k = 1; k <= 46; ++k)
        if (owned(k))
            runes << k;
    return runes;
}

Runes boardRunes(const Form1 &form)
{
    return runesWhere([&](int k) { return form.PictureRunes[size_t(k)]->Appearance() == 1; });
}

Runes ownedStateRunes(const Form1 &form)
{
    return runesWhere([&](int k) { return form.ownedState[size_t(k - 1)] == 1; });
}

Runes slotRunes(TestFolder &folder, int slot)
{
    Runes runes;
    const QStringList texts = folder.column(
        QStringLiteral(
            "SELECT runenumber FROM ownedRunes WHERE savenumber = %1 ORDER BY runenumber")
            .arg(slot));
    for (const QString &text : texts)
        runes << text.toInt();
    return runes;
}

QString slotName(TestFolder &folder, int slot)
{
    return folder
        .scalar(QStringLiteral("SELECT saveName FROM saves WHERE savenumber = %1").arg(slot))
        .toString();
}

// Everything a save may write, read through a connection of its own.
QStringList slotsContent(TestFolder &folder)
{
    return folder.column(QStringLiteral("SELECT savenumber || ':' || runenumber FROM ownedRunes "
                                        "ORDER BY rowid")) +
           folder.column(QStringLiteral("SELECT saveName FROM saves ORDER BY savenumber"));
}

const QString slotRows = QStringLiteral(
    "DELETE FROM ownedRunes WHERE savenumber < 10;"
    "INSERT INTO ownedRunes VALUES (4, 11), (3, 9), (2, 4), (3, 7), (2, 5), (6, 14), (6, 13);"
    "UPDATE saves SET saveName = 'old six' WHERE savenumber = 6;");

} // namespace

class TestSaves : public QObject {
    Q_OBJECT
    // A failure would otherwise end in a message box that nobody closes.
    FailureRecorder failures;

private Q_SLOTS:
    void cleanup();
    void load_data();
    void load();
    void save_data();
    void save();
    void saveWhileRunewordShown();
    void refuseBlankName_data();
    void refuseBlankName();
    void saveMenu_data();
    void saveMenu();
    void failedSaveKeepsSlot_data();
    void failedSaveKeepsSlot();
};

void TestSaves::cleanup()
{
    QCOMPARE(failures.texts, QStringList());
    failures.texts.clear();
}

void TestSaves::load_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<Runes>("before");
    QTest::addColumn<Runes>("expected");
    QTest::newRow("empty slot") << 1 << Runes{3, 40} << Runes{};
    QTest::newRow("between other slots") << 3 << Runes{} << Runes{7, 9};
    QTest::newRow("over owned tiles") << 2 << Runes{1, 4, 46} << Runes{4, 5};
    Runes all;
    for (int k = 1; k <= 46; ++k)
        all << k;
    QTest::newRow("slot ten, last rows") << 10 << Runes{} << all;
}

void TestSaves::load()
{
    QFETCH(int, slot);
    QFETCH(Runes, before);
    QFETCH(Runes, expected);
    TestFolder folder;
    folder.sql(slotRows);
    auto form = startForm(folder.path());
    QStringList trace;
    form->runeDb->setTraceHook([&](const QString &sql) { trace << sql; });
    setBoard(*form, before);
    form->SaveOwned();
    form->ownedSaved = true;

    form->mnuload[size_t(slot)]->trigger();

    QCOMPARE(boardRunes(*form), expected);
    QCOMPARE(ownedStateRunes(*form), expected);
    QVERIFY(!form->ownedSaved);
    for (int k = 1; k <= 46; ++k) {
        const RuneTile *tile = form->PictureRunes[size_t(k)];
        QCOMPARE(tile->BackColor(), expected.contains(k) ? 0 : tile->Tag.toInt());
    }
    QVERIFY(
        trace.join(QLatin1Char('\n')).contains(QStringLiteral("WHERE SaveNumber =  %1").arg(slot)));

    // Revert brings back the loaded set, not the one from before the load.
    form->PictureRunes_Click(20);
    form->Commandrevert_Click();
    QCOMPARE(boardRunes(*form), expected);
}

void TestSaves::save_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("slot");
    QTest::addColumn<Runes>("board");
    QTest::addColumn<QString>("name");
    QTest::newRow("name with blanks")
        << slotRows << 2 << Runes{1, 5, 46} << QStringLiteral("  my set ");
    QTest::newRow("empty board empties the slot")
        << slotRows << 3 << Runes{} << QStringLiteral("none");
    QTest::newRow("no rune rows at all")
        << QStringLiteral("DELETE FROM ownedRunes") << 9 << Runes{2, 3} << QStringLiteral("two");
}

void TestSaves::save()
{
    QFETCH(QString, setup);
    QFETCH(int, slot);
    QFETCH(Runes, board);
    QFETCH(QString, name);
    TestFolder folder;
    folder.sql(setup);
    const QString otherRows = QStringLiteral("SELECT group_concat(savenumber || ':' || runenumber) "
                                             "FROM ownedRunes WHERE savenumber <> %1")
                                  .arg(slot);
    const QVariant othersBefore = folder.scalar(otherRows);
    auto form = startForm(folder.path());
    setBoard(*form, board);

    Dialog dialog(form.get());
    dialog.Tag = QStringLiteral(" %1").arg(slot);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.Text1->text(), slotName(folder, slot));
    dialog.Text1->setText(name);
    dialog.OKButton->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(slotRunes(folder, slot), board);
    QCOMPARE(folder.scalar(otherRows), othersBefore);
    QCOMPARE(slotName(folder, slot), name);
    QCOMPARE(form->mnuload[size_t(slot)]->text(), name);
    QCOMPARE(form->mnuSave[size_t(slot)]->text(), name);
    QCOMPARE(ownedStateRunes(*form), board);

    // The main window's own connection sees the save at once.
    setBoard(*form, {17});
    form->mnuload_Click(slot);
    QCOMPARE(boardRunes(*form), board);
}

void TestSaves::saveWhileRunewordShown()
{
    TestFolder folder;
    auto form = startForm(folder.path());
    setBoard(*form, {1});
    form->List1->setCurrentRow(0);
    const Runes shown = boardRunes(*form);
    QVERIFY(!shown.isEmpty() && shown != Runes{1});

    Dialog dialog(form.get());
    dialog.Tag = QStringLiteral(" 5");
    dialog.show();
    dialog.OKButton->click();

    QCOMPARE(slotRunes(folder, 5), shown);
    QCOMPARE(ownedStateRunes(*form), shown);
    QVERIFY(form->ownedSaved);
}

void TestSaves::refuseBlankName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ");
}

void TestSaves::refuseBlankName()
{
    QFETCH(QString, name);
    TestFolder folder;
    folder.sql(slotRows);
    const QStringList before = slotsContent(folder);
    auto form = startForm(folder.path());
    setBoard(*form, {8});
    Dialog dialog(form.get());
    dialog.Tag = QStringLiteral(" 6");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.Text1->setText(name);

    QString seen;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        seen = QStringLiteral("%1|%2|%3|%4")
                   .arg(box->text(), box->windowTitle())
                   .arg(int(box->icon()))
                   .arg(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    dialog.OKButton->click();

    QCOMPARE(seen, QStringLiteral("illigal name|Stupid|0|1"));
    // Back in the dialog, the name being corrected is not replaced by the stored one.
    dialog.activateWindow();
    QTRY_VERIFY(dialog.isActiveWindow());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.Text1->text(), name);
    QCOMPARE(slotsContent(folder), before);
}

void TestSaves::saveMenu_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("saves");
    QTest::newRow("Enter saves") << QStringLiteral("enter") << true;
    QTest::newRow("Cancel") << QStringLiteral("cancel") << false;
    QTest::newRow("close box") << QStringLiteral("close") << false;
    QTest::newRow("Escape") << QStringLiteral("escape") << false;
}

void TestSaves::saveMenu()
{
    QFETCH(QString, action);
    QFETCH(bool, saves);
    TestFolder folder;
    folder.sql(slotRows);
    const QStringList before = slotsContent(folder);
    auto form = startForm(folder.path());
    QVERIFY(!form->mnuSave[10]->isEnabled());
    setBoard(*form, {21, 22});

    QString shownName;
    whenModal<Dialog>([&](Dialog *dialog) {
        shownName = dialog->Text1->text();
        dialog->Text1->clear();
        QTest::keyClicks(dialog->Text1, QStringLiteral("kept"));
        if (action == QLatin1String("enter"))
            QTest::keyClick(dialog->Text1, Qt::Key_Return);
        else if (action == QLatin1String("escape"))
            QTest::keyClick(dialog->Text1, Qt::Key_Escape);
        else if (action == QLatin1String("cancel"))
            dialog->CancelButton->click();
        else
            dialog->close();
        if (!QTest::qWaitFor([dialog] { return !dialog->isVisible(); })) {
            dialog->reject();
            QFAIL("the dialog stayed open");
        }
    });
    form->mnuSave[6]->trigger();

    QCOMPARE(shownName, QStringLiteral("old six"));
    if (saves) {
        QCOMPARE(slotRunes(folder, 6), (Runes{21, 22}));
        QCOMPARE(form->mnuload[6]->text(), QStringLiteral("kept"));
    } else {
        QCOMPARE(slotsContent(folder), before);
        QCOMPARE(form->mnuload[6]->text(), QStringLiteral("old six"));
    }
}

void TestSaves::failedSaveKeepsSlot_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("reason");
    QTest::newRow("write lock held elsewhere") << QString() << QStringLiteral("database is locked");
    // Refused part-way: after the delete and the add of rune 2.
    QTest::newRow("add refused")
        << QStringLiteral(
               "CREATE TRIGGER refuse BEFORE INSERT ON ownedRunes WHEN new.runenumber = 30 "
               "BEGIN SELECT RAISE(ABORT, 'add refused'); END;")
        << QStringLiteral("add refused");
    QTest::newRow("rename refused")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON saves "
                          "BEGIN SELECT RAISE(ABORT, 'rename refused'); END;")
        << QStringLiteral("rename refused");
}

void TestSaves::failedSaveKeepsSlot()
{
    QFETCH(QString, refusal);
    QFETCH(QString, reason);
    TestFolder folder;
    folder.sql(slotRows + refusal);
    auto form = startForm(folder.path());
    setBoard(*form, {2, 30});
    Dialog dialog(form.get());
    dialog.Tag = QStringLiteral(" 6");
    dialog.show();
    dialog.Text1->setText(QStringLiteral("new six"));

    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(folder.dataFile()).constData(), &other), SQLITE_OK);
    if (refusal.isEmpty())
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    dialog.OKButton->click();
    const QStringList reported = std::exchange(failures.texts, {});
    QCOMPARE(reported.size(), 1);
    QVERIFY2(reported.first().contains(reason), qPrintable(reported.first()));
    sqlite3_exec(other, refusal.isEmpty() ? "ROLLBACK" : "DROP TRIGGER refuse", nullptr, nullptr,
                 nullptr);
    sqlite3_close(other);

    QVERIFY(dialog.isVisible());
    QCOMPARE(slotRunes(folder, 6), (Runes{13, 14}));
    QCOMPARE(slotName(folder, 6), QStringLiteral("old six"));
    QCOMPARE(folder.scalar(QStringLiteral("PRAGMA integrity_check")),
             QVariant(QStringLiteral("ok")));
    QCOMPARE(form->mnuSave[6]->text(), QStringLiteral("old six"));
    QCOMPARE(ownedStateRunes(*form), Runes{});

    // Nothing of the failed attempt lingers in the dialog's connection.
    dialog.OKButton->click();
    QCOMPARE(slotRunes(folder, 6), (Runes{2, 30}));
}

QTEST_MAIN(TestSaves)
#include "test_saves.moc"
