#include "data/failure.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

namespace {

// The item-type boxes ticked, by the name of their column.
QStringList tickedTypes(const Form1 &form)
{
    const std::pair<const char *, QCheckBox *> boxes[] = {
        {"armor", form.CheckBodyArmor},
        {"helm", form.CheckHelm},
        {"belt", form.CheckBelt},
        {"boots", form.CheckBoots},
        {"shield", form.CheckShield},
        {"gloves", form.CheckGloves},
        {"meleeweapon", form.CheckMeleeWeapon},
        {"missileweapon", form.CheckmissileWeapon},
        {"other", form.Checkother},
    };
    QStringList ticked;
    for (const auto &[name, box] : boxes) {
        if (box->isChecked())
            ticked << QLatin1String(name);
    }
    return ticked;
}

QList<int> tickedSockets(const Form1 &form)
{
    QList<int> ticked;
    for (int k = 0; k < 6; ++k) {
        if (form.Checksockets[size_t(k)]->isChecked())
            ticked << k;
    }
    return ticked;
}

} // namespace

class TestDisplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void display_data();
    void display();
    void keyboardAndMouse();
    void queryTexts_data();
    void queryTexts();
    void revertAfterBrowsing_data();
    void revertAfterBrowsing();
    void eventWithoutSelection();

private:
    void select(const QString &name);
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Form1> form;
    QStringList trace;
    // A display must never fail, whatever the data holds.
    FailureRecorder failures;
};

void TestDisplay::initTestCase()
{
    folder = std::make_unique<TestFolder>();
    folder->sql(QStringLiteral(
        "INSERT INTO RuneWords (RuneWordName, runewordText, nrrunes, rune1, rune2, rune3, rune4, "
        "rune5, rune6, armor, helm, belt, boots, shield, gloves, meleeweapon, missileweapon, "
        "Other) VALUES "
        "('Tq Primer', 'primer', 6, 40, 41, 42, 43, 44, 45, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
        "('Tq Gap', 'Line one' || char(10) || 'Line two', 4, 3, 0, 7, 0, 0, 0, 0, 1, 0, 0, 0, 0, "
        "0, 0, 1),"
        "('Tq Twice', 'twice', 7, 5, 9, 5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Tq Bare', NULL, 0, 0, 0, 0, 0, 0, NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Tq Nulls', 'nulls', NULL, 12, NULL, NULL, 0, 0, 46, NULL, 1, NULL, 1, 1, 1, 1, 1, 1),"
        "('Tq Keeper''s Vow', 'vow', 1, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0),"
        "('Tq Hollow ', 'hollow', 2, 8, 9, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
        "('Tq Stray', 'stray', 2, 99, 12, -3, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0),"
        "('Tq Silent', 'silent', 3, 19, 20, 21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0);"));
    form = startForm(folder->path());
    // Start-up refuses a rune without a name; the display reads the file afresh each time.
    folder->sql(QStringLiteral("UPDATE runes SET Runename = NULL WHERE Runenumber = 20;"
                               "INSERT INTO runes (Runenumber, Runename) VALUES (99, 'Phantom');"));
    form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void TestDisplay::init()
{
    trace.clear();
    failures.texts.clear();
}

void TestDisplay::cleanup()
{
    QCOMPARE(failures.texts, QStringList());
}

void TestDisplay::select(const QString &name)
{
    const QList<QListWidgetItem *> items = form->List1->findItems(name, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    form->List1->setCurrentRow(form->List1->row(items.first()));
}

void TestDisplay::display_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("names"); // rune numbers whose names TextRunes joins
    QTest::addColumn<QList<int>>("tiles");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<int>>("sockets");

    QTest::newRow("gap between slots, multi-line text")
        << QStringLiteral("Tq Gap") << QStringLiteral("Line one\nLine two") << QList<int>{3, 7}
        << QList<int>{3, 7} << QStringList{QStringLiteral("helm"), QStringLiteral("other")}
        << QList<int>{3};
    QTest::newRow("repeated rune, nrrunes 7")
        << QStringLiteral("Tq Twice") << QStringLiteral("twice") << QList<int>{5, 9, 5}
        << QList<int>{5, 9} << QStringList{QStringLiteral("armor")} << QList<int>{};
    QTest::newRow("no filled slot, Null text, nrrunes 0")
        << QStringLiteral("Tq Bare") << QString() << QList<int>{} << QList<int>{} << QStringList{}
        << QList<int>{};
    QTest::newRow("Null slots, types and nrrunes")
        << QStringLiteral("Tq Nulls") << QStringLiteral("nulls") << QList<int>{12, 46}
        << QList<int>{12, 46}
        << QStringList{QStringLiteral("helm"),        QStringLiteral("boots"),
                       QStringLiteral("shield"),      QStringLiteral("gloves"),
                       QStringLiteral("meleeweapon"), QStringLiteral("missileweapon"),
                       QStringLiteral("other")}
        << QList<int>{};
    QTest::newRow("apostrophe in the name")
        << QStringLiteral("Tq Keeper's Vow") << QStringLiteral("vow") << QList<int>{46}
        << QList<int>{46} << QStringList{QStringLiteral("shield")} << QList<int>{0};
    QTest::newRow("name with a blank at its end finds no row")
        << QStringLiteral("Tq Hollow ") << QString() << QList<int>{} << QList<int>{}
        << QStringList{} << QList<int>{};
    // 99 has a name but no tile; -3 has neither.
    QTest::newRow("slots outside the board")
        << QStringLiteral("Tq Stray") << QStringLiteral("stray") << QList<int>{99, 12}
        << QList<int>{12} << QStringList{QStringLiteral("gloves")} << QList<int>{1};
    QTest::newRow("rune without a name")
        << QStringLiteral("Tq Silent") << QStringLiteral("silent") << QList<int>{19, 20, 21}
        << QList<int>{19, 20, 21} << QStringList{QStringLiteral("meleeweapon")} << QList<int>{2};
}

void TestDisplay::display()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QList<int>, names);
    QFETCH(QList<int>, tiles);
    QFETCH(QStringList, types);
    QFETCH(QList<int>, sockets);

    // Every control starts out filled by another runeword, so nothing may be left over.
    select(QStringLiteral("Tq Primer"));
    QCOMPARE(ownedTiles(*form), (QList<int>{40, 41, 42, 43, 44, 45}));
    select(name);

    QCOMPARE(form->Text1->toPlainText(), text);
    QStringList runeNames;
    for (int n : names)
        runeNames << folder
                         ->scalar(QStringLiteral("SELECT Runename FROM runes WHERE Runenumber = %1")
                                      .arg(n))
                         .toString();
    QCOMPARE(form->TextRunes->text(), runeNames.join(QLatin1Char(' ')));
    QCOMPARE(ownedTiles(*form), tiles);
    QVERIFY2(inconsistentTile(*form).isEmpty(), qPrintable(inconsistentTile(*form)));
    QCOMPARE(tickedTypes(*form), types);
    QCOMPARE(tickedSockets(*form), sockets);
    QVERIFY_THROWS_EXCEPTION(Failure, form->currentRecordset->recordCount());
    QVERIFY_THROWS_EXCEPTION(Failure, form->currentQueryDef->openRecordset());
}

void TestDisplay::keyboardAndMouse()
{
    select(QStringLiteral("Tq Stray"));
    form->List1->setFocus();
    QTest::keyClick(form->List1, Qt::Key_Down);
    QCOMPARE(form->List1->currentItem()->text(), QStringLiteral("Tq Twice"));
    QCOMPARE(form->Text1->toPlainText(), QStringLiteral("twice"));
    QCOMPARE(ownedTiles(*form), (QList<int>{5, 9}));
    QTest::keyClick(form->List1, Qt::Key_Up);
    QCOMPARE(form->Text1->toPlainText(), QStringLiteral("stray"));
    QCOMPARE(ownedTiles(*form), QList<int>{12});

    QListWidgetItem *gap =
        form->List1->findItems(QStringLiteral("Tq Gap"), Qt::MatchExactly).first();
    form->List1->scrollToItem(gap);
    QTest::mouseClick(form->List1->viewport(), Qt::LeftButton, {},
                      form->List1->visualItemRect(gap).center());
    QCOMPARE(form->Text1->toPlainText(), QStringLiteral("Line one\nLine two"));
}

void TestDisplay::queryTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    const QString rune =
        QStringLiteral("Select runes.runename from runes Where runes.Runenumber = ");
    QTest::newRow("slots in order, out of range too")
        << QStringLiteral("Tq Stray")
        << QStringList{
               QStringLiteral("Select * from RuneWords Where runewords.RuneWordName = 'Tq Stray'"),
               rune + QStringLiteral("99"), rune + QStringLiteral("12"),
               rune + QStringLiteral("-3")};
    QTest::newRow("apostrophe doubled")
        << QStringLiteral("Tq Keeper's Vow")
        << QStringList{
               QStringLiteral(
                   "Select * from RuneWords Where runewords.RuneWordName = 'Tq Keeper''s Vow'"),
               rune + QStringLiteral("46")};
    QTest::newRow("Null slots skipped")
        << QStringLiteral("Tq Nulls")
        << QStringList{
               QStringLiteral("Select * from RuneWords Where runewords.RuneWordName = 'Tq Nulls'"),
               rune + QStringLiteral("12"), rune + QStringLiteral("46")};
}

void TestDisplay::queryTexts()
{
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    select(QStringLiteral("Tq Primer"));
    trace.clear();
    select(name);
    QCOMPARE(trace, expected);
}

void TestDisplay::revertAfterBrowsing_data()
{
    QTest::addColumn<QList<int>>("board");
    QTest::addColumn<QList<int>>("toggles"); // tiles clicked by hand between the two selections
    QTest::newRow("browse two runewords") << QList<int>{1, 2, 5} << QList<int>{};
    QTest::newRow("hand toggles between them") << QList<int>{1, 2} << QList<int>{5, 3, 30};
}

void TestDisplay::revertAfterBrowsing()
{
    QFETCH(QList<int>, board);
    QFETCH(QList<int>, toggles);
    form->Commandrevert_Click();
    setBoard(*form, board);

    select(QStringLiteral("Tq Gap"));
    QVERIFY(form->ownedSaved);
    for (int k : toggles)
        form->PictureRunes_Click(k);
    select(QStringLiteral("Tq Twice"));
    QCOMPARE(ownedTiles(*form), (QList<int>{5, 9}));

    form->Commandrevert_Click();
    QCOMPARE(ownedTiles(*form), board);
}

void TestDisplay::eventWithoutSelection()
{
    select(QStringLiteral("Tq Gap"));
    form->Commandrevert_Click();
    setBoard(*form, {6, 7});
    form->TextRunes->setText(QStringLiteral("kept"));
    trace.clear();

    form->List1->clearSelection();
    QVERIFY(form->ownedSaved);
    for (int i = 0; i < 46; ++i)
        QCOMPARE(form->ownedState[size_t(i)], qint16(i == 5 || i == 6 ? 1 : 0));
    QCOMPARE(ownedTiles(*form), (QList<int>{6, 7}));
    QCOMPARE(form->TextRunes->text(), QStringLiteral("kept"));
    QVERIFY(trace.isEmpty());
}

QTEST_MAIN(TestDisplay)
#include "test_display.moc"
