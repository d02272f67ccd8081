#include "data/failure.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "testsupport.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <utility>

namespace {

const char *const itemColumns[] = {"armor",  "helm",        "belt",          "boots", "shield",
                                   "gloves", "meleeweapon", "missileweapon", "other"};

} // namespace

class TestDisplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }
    void display_data();
    void display();
    void browsingKeepsOwnedSet();

private:
    void select(const QString &name) { form->List1->setCurrentRow(form->List1->find(name)); }
    TestFolder folder;
    std::unique_ptr<Form1> form;
    QStringList trace;
    // A display must never fail, whatever the data holds.
    FailureRecorder failures;
};

void TestDisplay::initTestCase()
{
    folder.sql(QStringLiteral(
        "INSERT INTO RuneWords (RuneWordName, runewordText, nrrunes, rune1, rune2, rune3, rune4, "
        "rune5, rune6, armor, helm, belt, boots, shield, gloves, meleeweapon, missileweapon, "
        "Other) VALUES "
        "('Tq Primer', 'primer', 6, 40, 41, 42, 43, 44, 45, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
        "('Tq Gap', 'Line one' || char(10) || 'Line two', 4, 3, 0, 20, 0, 21, 0, 0, 1, 0, 0, 0, "
        "0, 0, 0, 1),"
        "('Tq Twice', 'twice', 7, 5, 99, 5, -3, 12, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0),"
        "('Tq Bare', 'bare', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Tq Nulls', NULL, NULL, 12, NULL, NULL, 0, 0, 46, NULL, 1, NULL, 0, 0, 0, 0, 0, 0),"
        "('Tq Keeper''s Vow', 'vow', 1, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0),"
        "('Tq Hollow ', 'hollow', 2, 8, 9, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
        "('Tq Fraction', 'fraction', 3, 3.7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);"));
    // One runeword for each item type alone, each with the socket count of its place.
    for (int i = 0; i < 9; ++i) {
        const QString column = QString::fromLatin1(itemColumns[i]);
        folder.sql(QStringLiteral("INSERT INTO RuneWords (RuneWordName, nrrunes, rune1, rune2, "
                                  "rune3, rune4, rune5, rune6, %1) VALUES ('Tq Only %1', %2, 1, "
                                  "0, 0, 0, 0, 0, 1)")
                       .arg(column)
                       .arg(i % 6 + 1));
    }
    form = startForm(folder.path());
    // Start-up refuses a rune without a name; the display reads the file afresh each time.
    folder.sql(QStringLiteral("UPDATE runes SET Runename = NULL WHERE Runenumber = 20;"
                              "INSERT INTO runes (Runenumber, Runename) VALUES (99, 'Phantom');"));
    form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void TestDisplay::display_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("looked"); // rune numbers whose names are looked up
    QTest::addColumn<QList<int>>("tiles");
    QTest::addColumn<QString>("filters");
    const struct {
        const char *name, *text;
        QList<double> looked;
        QList<int> tiles;
        const char *filters;
    } rows[] = {
        // Rune 20 has no name.
        {"Tq Gap", "Line one\nLine two", {3, 20, 21}, {3, 20, 21}, "helm other 4"},
        // 99 has a name but no tile, -3 has neither.
        {"Tq Twice", "twice", {5, 99, 5, -3, 12}, {5, 12}, "gloves"},
        {"Tq Bare", "bare", {}, {}, ""},
        {"Tq Nulls", "", {12, 46}, {12, 46}, "helm"},
        {"Tq Keeper's Vow", "vow", {46}, {46}, "shield 1"},
        // The name goes in without the blank and finds no row.
        {"Tq Hollow ", "", {}, {}, ""},
        // The stored number goes into the SQL as written, its whole part marks the tile.
        {"Tq Fraction", "fraction", {3.7}, {3}, "other 3"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromUtf8(row.name) << QString::fromUtf8(row.text)
                                << row.looked << row.tiles << QString::fromUtf8(row.filters);
    for (int i = 0; i < 9; ++i) {
        const QString name = QStringLiteral("Tq Only %1").arg(QLatin1String(itemColumns[i]));
        QTest::newRow(qPrintable(name))
            << name << QString() << QList<double>{1} << QList<int>{1}
            << QStringLiteral("%1 %2").arg(QLatin1String(itemColumns[i])).arg(i % 6 + 1);
    }
}

void TestDisplay::display()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QList<double>, looked);
    QFETCH(QList<int>, tiles);
    QFETCH(QString, filters);
    // Every control starts out filled by another runeword, so nothing may be left over, and
    // the cursor at the end of its text.
    select(QStringLiteral("Tq Primer"));
    form->Text1->moveCursor(QTextCursor::End);
    trace.clear();
    select(name);

    // The name goes in without its end blanks and with its apostrophe doubled.
    QStringList queries{
        QStringLiteral("Select * from RuneWords Where runewords.RuneWordName = '%1'")
            .arg(name.trimmed().replace(QLatin1Char('\''), QLatin1String("''")))};
    QStringList names;
    for (double n : looked) {
        queries << QStringLiteral("Select runes.runename from runes Where runes.Runenumber = %1")
                       .arg(n);
        names << folder.column(
            QStringLiteral("SELECT Runename FROM runes WHERE Runenumber = %1").arg(n));
    }
    QCOMPARE(trace, queries);
    QCOMPARE(form->Text1->toPlainText(), text);
    QCOMPARE(form->Text1->textCursor().position(), 0);
    QCOMPARE(form->TextRunes->text(), names.join(QLatin1Char(' ')));
    QCOMPARE(ownedTiles(*form), tiles);
    QCOMPARE(inconsistentTile(*form), QString());
    QCOMPARE(tickedFilters(*form), filters);
    QVERIFY_THROWS_EXCEPTION(Failure, form->currentRecordset->recordCount());
}

void TestDisplay::browsingKeepsOwnedSet()
{
    // Three entries, so that there is room below the last one.
    form->List1->clear();
    form->List1->addItems(
        {QStringLiteral("Tq Gap"), QStringLiteral("Tq Primer"), QStringLiteral("Tq Twice")});
    select(QStringLiteral("Tq Gap"));
    form->Commandrevert_Click();
    setBoard(*form, {6, 7});
    // The first list event keeps the owned set, even one without a selection, which shows nothing.
    form->List1->clearSelection();
    QCOMPARE(savedTiles(*form), (QList<int>{6, 7}));
    QCOMPARE(ownedTiles(*form), (QList<int>{6, 7}));
    form->Commandrevert_Click();
    select(QStringLiteral("Tq Gap"));
    form->Commandrevert_Click();

    // None of these selects anything new: the selection stays and no display runs, so the
    // board is still the player's own set.
    QWidget *area = form->List1->viewport();
    const auto entry = [this](int row) {
        return form->List1->visualRect(form->List1->model()->index(row, 0)).center();
    };
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(5, area->height() - 5));
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, entry(0));
    QTest::mouseClick(area, Qt::LeftButton, {}, entry(0));
    form->List1->setFocus();
    QTest::keyClick(form->List1, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(form->List1->selectedTexts(), QStringList{QStringLiteral("Tq Gap")});
    QVERIFY(!form->ownedSaved);

    // The next selection keeps the board with the mark made since; later ones, from the
    // keyboard too, and tile clicks between them do not replace it.
    form->PictureRunes_Click(9);
    QTest::mouseClick(area, Qt::LeftButton, {}, entry(1));
    form->PictureRunes_Click(5);
    QTest::keyClick(form->List1, Qt::Key_Down);
    QCOMPARE(form->Text1->toPlainText(), QStringLiteral("twice"));
    QCOMPARE(ownedTiles(*form), (QList<int>{5, 12}));
    form->Commandrevert_Click();
    QCOMPARE(ownedTiles(*form), (QList<int>{6, 7, 9}));
    // Filling the list afresh leaves nothing selected.
    form->CommandSearch_Click();
    QVERIFY(form->List1->selectedTexts().isEmpty());
}

QTEST_MAIN(TestDisplay)
#include "test_display.moc"
