#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAction>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <numeric>
#include <utility>

namespace {

// The caption a menu entry shows: "&&" shows one "&", a single "&" marks the access key.
QString shown(const QAction *entry)
{
    const QString raw = entry->text();
    QString caption;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('&') && ++i == raw.size())
            break;
        caption += raw[i];
    }
    return caption;
}

} // namespace

class TestSaves : public QObject {
    Q_OBJECT
    // A failure would otherwise end in a message box that nobody closes.
    FailureRecorder failures;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;
    QStringList before;
private Q_SLOTS:
    void init();
    void cleanup()
    {
        QCOMPARE(std::exchange(failures.texts, {}), QStringList());
        QCOMPARE(std::exchange(failures.notices, {}), QStringList());
    }
    void load();
    void saveMenu_data();
    void saveMenu();
    void damagedRowsAreTold();

private:
    // Each slot as the file holds it, read through a connection of its own: "name:runes".
    QStringList slots()
    {
        return folder->column(QStringLiteral(
            "SELECT saveName || ':' || ifnull((SELECT group_concat(runenumber, ' ') FROM "
            "ownedRunes o WHERE o.savenumber = s.savenumber), '') FROM saves s ORDER BY "
            "savenumber"));
    }
};

void TestSaves::init()
{
    form.reset();
    folder = std::make_unique<TestFolder>();
    // The rows of a slot out of order and apart; slot 10 holds every rune in the last rows.
    folder->sql(QStringLiteral(
        "DELETE FROM ownedRunes WHERE savenumber < 10;"
        "INSERT INTO ownedRunes VALUES (4, 11), (3, 9), (2, 4), (3, 7), (2, 5), (6, 14), (6, 13);"
        "UPDATE saves SET saveName = 'old six' WHERE savenumber = 6;"));
    before = slots();
    form = startForm(folder->path());
}

void TestSaves::load()
{
    // A slot followed by another, an empty one over a shown one, the last rows of the file.
    QList<int> all(46);
    std::iota(all.begin(), all.end(), 1);
    for (const auto &[slot, expected] :
         {std::pair{2, QList<int>{4, 5}}, {1, QList<int>{}}, {10, all}}) {
        form->ownedState.fill(1);
        form->ownedSaved = true;
        form->mnuload[size_t(slot)]->trigger();
        QCOMPARE(ownedTiles(*form), expected);
        QCOMPARE(inconsistentTile(*form), QString());
        QVERIFY(!form->ownedSaved);
        // Revert brings back the loaded set, not the one from before the load.
        form->PictureRunes_Click(20);
        form->Commandrevert_Click();
        QCOMPARE(ownedTiles(*form), expected);
    }
}

void TestSaves::saveMenu_data()
{
    QTest::addColumn<QString>("name");  // put in place of the slot's name
    QTest::addColumn<int>("action");    // a key; 0 the OK button, 1 Cancel, 2 the close box
    QTest::addColumn<bool>("browsing"); // a runeword is shown on the board
    QTest::addColumn<bool>("saves");
    QTest::newRow("Enter, name with blanks")
        << QStringLiteral("  my set ") << int(Qt::Key_Return) << false << true;
    QTest::newRow("ampersands") << QStringLiteral("Tom & Jerry&co &&") << 0 << false << true;
    QTest::newRow("OK while a runeword is shown") << QStringLiteral("shown") << 0 << true << true;
    QTest::newRow("Escape") << QStringLiteral("new six") << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Cancel") << QStringLiteral("new six") << 1 << false << false;
    QTest::newRow("close box") << QStringLiteral("new six") << 2 << false << false;
    QTest::newRow("blank name refused") << QStringLiteral("   ") << 0 << false << false;
    QTest::newRow("empty name refused") << QString() << int(Qt::Key_Return) << false << false;
}

void TestSaves::saveMenu()
{
    QFETCH(QString, name);
    QFETCH(int, action);
    QFETCH(bool, browsing);
    QFETCH(bool, saves);
    setBoard(*form, {21, 22});
    // The board is saved as it stands, not the owned set kept while a runeword is shown.
    if (browsing)
        form->List1->setCurrentRow(0);
    const QList<int> board = ownedTiles(*form);
    QStringList runes;
    for (const int k : board)
        runes << QString::number(k);
    const bool blank = name.count(QLatin1Char(' ')) == name.size();
    QString shownName, refusal, corrected = name;
    whenModal<Dialog>([&](Dialog *dialog) {
        shownName = dialog->Text1->text();
        dialog->Text1->setText(name);
        if (blank)
            whenModal<QMessageBox>([&](QMessageBox *box) {
                refusal = box->windowTitle() + QLatin1Char('|') + box->text();
                box->button(QMessageBox::Ok)->click();
            });
        if (action == 2)
            dialog->close();
        else if (action < 2)
            (action == 0 ? dialog->OKButton : dialog->CancelButton)->click();
        else
            QTest::keyClick(dialog->Text1, Qt::Key(action));
        // Back in the dialog after the refusal, the name being corrected is not replaced.
        if (blank) {
            dialog->activateWindow();
            if (QTest::qWaitFor([dialog] { return dialog->isActiveWindow(); }))
                corrected = dialog->Text1->text();
            dialog->reject();
        }
        if (!QTest::qWaitFor([dialog] { return !dialog->isVisible(); }))
            QVERIFY(!dialog->close()); // it stayed open
    });
    form->mnuSave[6]->trigger();
    QCOMPARE(shownName, QStringLiteral("old six"));
    QCOMPARE(refusal, blank ? QStringLiteral("Stupid|illigal name") : QString());
    QCOMPARE(corrected, name);
    if (saves)
        before[5] = name + QLatin1Char(':') + runes.join(QLatin1Char(' '));
    QCOMPARE(slots(), before);
    // Shown as stored, character for character; no name makes an access key.
    for (const QAction *entry : {form->mnuload[6], form->mnuSave[6]}) {
        QCOMPARE(shown(entry), saves ? name : QStringLiteral("old six"));
        QVERIFY(QKeySequence::mnemonic(entry->text()).isEmpty());
    }
    // The owned set follows the save; the main window's own connection sees it at once.
    QCOMPARE(form->ownedSaved, browsing);
    QCOMPARE(savedTiles(*form), saves ? board : QList<int>());
    form->mnuload_Click(6);
    QCOMPARE(ownedTiles(*form), (saves ? board : QList<int>{13, 14}));
}

void TestSaves::damagedRowsAreTold()
{
    // The sound rows are loaded (5.7 is rune 5); the others are named, and nothing is written.
    folder->sql(QStringLiteral("INSERT INTO ownedRunes VALUES (4, 0), (4, 47), (4, -3), "
                               "(4, 'abc'), (4, 1e300), (4, 5.7);"));
    const QStringList stored = slots();
    form->mnuload[4]->trigger();
    QCOMPARE(ownedTiles(*form), (QList<int>{5, 11}));
    QCOMPARE(savedTiles(*form), (QList<int>{5, 11}));
    const QStringList notices = std::exchange(failures.notices, {});
    QCOMPARE(notices.size(), 1);
    const QString name = stored[3].section(QLatin1Char(':'), 0, 0);
    QVERIFY2(notices[0].contains(QStringLiteral("slot 4 (\u201c%1\u201d)").arg(name)) &&
                 notices[0].contains(QLatin1String(": 0, 47, -3, 'abc', 1e+300.")),
             qPrintable(notices[0]));
    QCOMPARE(slots(), stored);
}

QTEST_MAIN(TestSaves)
#include "test_saves.moc"
