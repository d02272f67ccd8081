#include "closest/closestwindow.h"
#include "gamedata.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <map>
#include <utility>

namespace {

// The item types by their place among the data's columns, in the order the main window shows
// them, with their captions.
const std::pair<int, const char *> shownTypes[] = {
    {0, "Body Armor"}, {1, "Helm"},         {2, "Belt"},           {3, "Boots"}, {5, "Gloves"},
    {4, "Shield"},     {6, "Melee Weapon"}, {7, "Missile Weapon"}, {8, "Other"}};

struct Expected {
    QList<QStringList> closest; // table 1, row by row
    QList<QStringList> wanted;  // table 2: rune name, count
};

// Worked out from the data as written: a runeword is close when owning its missing runes would
// let the search list it. Bit i of ticked ticks filterBoxes()[i]. damaged names rows the file
// holds values the sources cannot (text, fractions), which no search can ever list.
Expected model(const QList<RunewordSource> &words, const QStringList &damaged,
               const QStringList &runeNames, int ticked, const QList<int> &owned, int maximum)
{
    std::map<std::pair<int, QString>, QStringList> closest;
    std::map<int, int> completes;
    for (const RunewordSource &w : words) {
        const int n = w.nrrunesNull ? -1 : w.nrrunes;
        bool pass = !damaged.contains(w.name) &&
                    (n == 1 || (n >= 2 && n <= 6 && (ticked & (1 << (8 + n)))));
        bool typePass = false;
        QStringList types;
        for (const auto &[column, caption] : shownTypes) {
            const bool yes = w.types[size_t(column)] && !w.typesNull[size_t(column)];
            typePass = typePass || (yes && (ticked & (1 << column)));
            if (yes)
                types << QLatin1String(caption);
        }
        QList<int> missing;
        QStringList names, missingNames;
        for (const auto &slot : w.runes) {
            pass = pass && slot && *slot >= 0 && *slot <= 46;
            if (!pass || *slot == 0)
                continue;
            names << runeNames[*slot - 1];
            if (!owned.contains(*slot) && !missing.contains(*slot)) {
                missing << *slot;
                missingNames << runeNames[*slot - 1];
            }
        }
        if (!pass || !typePass || missing.isEmpty() || missing.size() > 3)
            continue;
        if (missing.size() == 1)
            ++completes[missing[0]];
        if (missing.size() <= maximum)
            closest[{int(missing.size()), w.name}] =
                QStringList{w.name, missingNames.join(u' '), names.join(u' '),
                            types.join(QStringLiteral(", ")), QString::number(n)};
    }
    Expected expected;
    for (const auto &entry : closest)
        expected.closest << entry.second;
    std::multimap<int, int> byCount; // -count, rune
    for (const auto &[rune, count] : completes)
        byCount.emplace(-count, rune);
    for (const auto &[count, rune] : byCount)
        expected.wanted << QStringList{runeNames[rune - 1], QString::number(-count)};
    return expected;
}

QList<QStringList> rows(const QAbstractItemModel *model)
{
    QList<QStringList> table;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        table << cells;
    }
    return table;
}

// As a player double-clicks: the view wants the press before the double-click.
void doubleClick(QTableView *view, int row)
{
    view->scrollTo(view->model()->index(row, 0));
    const QPoint point = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
}

// Sorting by any column orders its texts (sockets as numbers), ties by name; sorting by Missing
// again gives back the first order.
void checkSorting(QTableView *view, const QList<QStringList> &first)
{
    for (int column = 0; column < 5; ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            view->sortByColumn(column, order);
            const QList<QStringList> sorted = rows(view->model());
            for (qsizetype i = 1; i < sorted.size(); ++i) {
                const QStringList &a = sorted[order == Qt::AscendingOrder ? i - 1 : i];
                const QStringList &b = sorted[order == Qt::AscendingOrder ? i : i - 1];
                const auto key = [column](const QStringList &line) {
                    return column == 4   ? line[4].rightJustified(3, u'0')
                           : column == 1 ? QString::number(line[1].count(u' '))
                                         : line[column];
                };
                QVERIFY2(key(a) < key(b) || (key(a) == key(b) && a[0] < b[0]),
                         qPrintable(a.join(u'|') + QStringLiteral(" before ") + b.join(u'|')));
            }
            QCOMPARE(sorted.size(), first.size());
        }
    }
    view->sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(rows(view->model()), first);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestClosest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }
    void tablesMatchModel();
    void lifeOfTheWindow();
    void keyboard();
    void damagedFile();

private:
    ClosestWindow *window() const { return form->closestWindow; }
    void tick(int ticked);
    FailureRecorder failures;
    TestFolder folder;
    QByteArray original;
    std::unique_ptr<Form1> form;
    QList<RunewordSource> words;
    QStringList damaged;
    QStringList runeNames;
};

void TestClosest::initTestCase()
{
    // Null slots and nrrunes, empty slots anywhere, repeats, runes beyond the board, nrrunes
    // from 0 to 7 and not counting the filled slots, Null item types.
    QRandomGenerator rng(4242);
    for (int i = 0; i < 400; ++i) {
        RunewordSource w;
        w.name = QStringLiteral("Near %1").arg(i, 3, 10, QLatin1Char('0'));
        int filled = 0;
        for (auto &slot : w.runes) {
            const int roll = rng.bounded(100);
            slot = roll < 3    ? std::optional<int>()
                   : roll < 30 ? 0
                   : roll < 40 ? w.runes[0]
                   : roll < 43 ? rng.bounded(47, 64)
                               : rng.bounded(1, 47);
            filled += slot.value_or(0) > 0 ? 1 : 0;
        }
        w.nrrunes = rng.bounded(6) == 0 ? rng.bounded(0, 8) : std::max(filled, 1);
        w.nrrunesNull = rng.bounded(40) == 0;
        for (size_t t = 0; t < 9; ++t) {
            w.types[t] = rng.bounded(3) == 0;
            w.typesNull[t] = rng.bounded(30) == 0;
        }
        words << w;
    }
    GameData data = readGameData(gameDataSources());
    data.runewords = words;
    writeDataFile(data, readSchema(gameDataSources()), folder.dataFile());
    // Values the sources cannot hold; each row would be close without its damage.
    folder.sql(QStringLiteral(
        "UPDATE RuneWords SET rune1 = 1, rune2 = 0, rune3 = 0, rune4 = 0, rune5 = 0, rune6 = 0, "
        "nrrunes = 1, armor = 1 WHERE RuneWordName < 'Near 007';"
        "UPDATE RuneWords SET rune2 = 'two' WHERE RuneWordName = 'Near 000';"
        "UPDATE RuneWords SET rune1 = 2.5 WHERE RuneWordName = 'Near 001';"
        "UPDATE RuneWords SET rune1 = -1 WHERE RuneWordName = 'Near 002';"
        "UPDATE RuneWords SET rune1 = 1e300 WHERE RuneWordName = 'Near 003';"
        "UPDATE RuneWords SET rune1 = -4032 WHERE RuneWordName = 'Near 004';"
        "UPDATE RuneWords SET nrrunes = 1.5 WHERE RuneWordName = 'Near 005';"
        "UPDATE RuneWords SET nrrunes = 'one' WHERE RuneWordName = 'Near 006';"));
    damaged = {QStringLiteral("Near 000"), QStringLiteral("Near 001"), QStringLiteral("Near 002"),
               QStringLiteral("Near 003"), QStringLiteral("Near 004"), QStringLiteral("Near 005"),
               QStringLiteral("Near 006")};
    // armor holds 2 here: not true for the search, whatever a display would make of it.
    folder.sql(QStringLiteral("UPDATE RuneWords SET armor = 2 WHERE RuneWordName = 'Near 007'"));
    words[7].types[0] = false;
    original = contents(folder.dataFile());
    form = startForm(folder.path());
    for (QLabel *label : form->Label1)
        runeNames << label->text();
}

void TestClosest::tick(int ticked)
{
    const QList<QCheckBox *> boxes = filterBoxes(*form);
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(ticked & (1 << i));
}

void TestClosest::tablesMatchModel()
{
    form->mnuClosest->trigger();
    QRandomGenerator rng(8080);
    for (int round = 0; round < 120; ++round) {
        QList<int> board;
        const double share = rng.generateDouble() * 0.8;
        for (int k = 1; k <= 46; ++k) {
            if (rng.generateDouble() < share)
                board << k;
        }
        const int ticked = rng.bounded(64) << 9 | (rng.bounded(15) == 0 ? 0 : rng.bounded(1, 512));
        setBoard(*form, board);
        tick(ticked);
        form->CommandSearch_Click();
        const int maximum = rng.bounded(1, 4);
        window()->missingAtMost->setValue(maximum);
        const Expected expected = model(words, damaged, runeNames, ticked, board, maximum);
        QCOMPARE(rows(window()->closestTable), expected.closest);
        QCOMPARE(rows(window()->wantedTable), expected.wanted);
        if (round % 20 == 0)
            checkSorting(window()->closestView, expected.closest);
        if (expected.wanted.isEmpty())
            continue;
        // Owning the most wanted rune adds exactly its count to the search's list.
        const int before = form->List1->count();
        const int rune = runeNames.indexOf(expected.wanted[0][0]) + 1;
        const QModelIndex wanted = window()->wantedTable->index(0, 0);
        QCOMPARE(wanted.data(Qt::DecorationRole).value<QPixmap>().toImage(),
                 form->PictureRunes[size_t(rune)]->Picture().toImage());
        form->markOwned(rune);
        form->CommandSearch_Click();
        QCOMPARE(form->List1->count() - before, expected.wanted[0][1].toInt());
    }
    QCOMPARE(contents(folder.dataFile()), original);
}

void TestClosest::lifeOfTheWindow()
{
    // The menu sits between File and Help; a second choice brings the same window forward.
    QStringList menus;
    for (QAction *menu : form->menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Runes"),
                                 QStringLiteral("&Help")}));
    form->show();
    form->mnuClosest->trigger();
    const QPointer<ClosestWindow> first = window();
    form->mnuClosest->trigger();
    QCOMPARE(window(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("Closest runewords"));
    QCOMPARE(first->font(), form->font());

    // It shows what the last Search was given, and only a Search changes that.
    form->Commandrevert_Click();
    setBoard(*form, {1, 2, 3, 4});
    window()->missingAtMost->setValue(1);
    form->CommandSearch_Click();
    const QList<QStringList> shown = rows(window()->closestTable);
    QVERIFY(!shown.isEmpty());
    QStringList trace;
    form->runeDb->setTraceHook([&trace](const QString &sql) { trace << sql; });
    const auto untrace = qScopeGuard([this] { form->runeDb->setTraceHook(nullptr); });
    setBoard(*form, {5});
    tick(0);
    window()->missingAtMost->setValue(3);
    window()->missingAtMost->setValue(1);
    QCOMPARE(rows(window()->closestTable), shown);
    QCOMPARE(trace, QStringList());

    // A double-click shows the runeword as the list would; the list and the tables stay.
    const QStringList listBefore = listed(*form);
    setBoard(*form, {1, 2, 3, 4});
    form->Commandrevert_Click();
    form->ownedSaved = false;
    setBoard(*form, {1, 2, 3, 4});
    const int row = int(shown.size()) / 2;
    doubleClick(window()->closestView, row);
    QVERIFY(trace.size() > 1); // the runeword, then each of its runes
    QCOMPARE(listed(*form), listBefore);
    QCOMPARE(rows(window()->closestTable), shown);
    QVERIFY(form->ownedSaved);
    QCOMPARE(savedTiles(*form), (QList<int>{1, 2, 3, 4}));
    const auto display = [this] {
        return QStringList{form->Text1->toPlainText(), form->TextRunes->text(),
                           tickedFilters(*form), QVariant::fromValue(ownedTiles(*form)).toString()};
    };
    const QStringList fromWindow = display();
    form->List1->addItem(shown[row][0]);
    form->List1->setCurrentRow(form->List1->count() - 1);
    QCOMPARE(display(), fromWindow);
    QCOMPARE(form->TextRunes->text(), shown[row][2]);
    // Revert brings back the runes from before the double-click.
    form->Commandrevert_Click();
    QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 4}));

    // A double-click on a wanted rune selects the runewords lacking it, and marks nothing.
    form->CommandSearch_Click();
    window()->missingAtMost->setValue(3);
    QVERIFY(window()->wantedTable->rowCount() > 0);
    const int rune = window()->wantedTable->rune(0);
    doubleClick(window()->wantedView, 0);
    QStringList selected, lacking;
    for (const QModelIndex &index : window()->closestView->selectionModel()->selectedRows())
        selected << index.data().toString();
    for (const QStringList &line : rows(window()->closestTable)) {
        if (line[1].split(u' ').contains(runeNames[rune - 1]))
            lacking << line[0];
    }
    selected.sort();
    lacking.sort();
    QVERIFY(!lacking.isEmpty());
    QCOMPARE(selected, lacking);
    QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 4}));

    // Exit takes it along.
    form->mnuExit->trigger();
    QTRY_VERIFY(first.isNull());
    QCOMPARE(contents(folder.dataFile()), original);
}

void TestClosest::keyboard()
{
    form->show();
    setBoard(*form, {1, 2, 3});
    form->tickAllFilters();
    form->mnuClosest->trigger();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QCOMPARE(window()->missingAtMost->value(), 1);
    for (QWidget *control :
         QList<QWidget *>{window()->missingAtMost, window()->closestView, window()->wantedView})
        QVERIFY(!control->accessibleName().isEmpty());
    // Alt+M reaches the spin box; the arrow keys change it.
    QTest::keyClick(window(), Qt::Key_M, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), window()->missingAtMost);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(window()->closestTable->maximumMissing(), 2);
    // Tab reaches table 1, where Enter shows the current runeword.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), window()->closestView);
    window()->closestView->setCurrentIndex(window()->closestTable->index(2, 0));
    QTest::keyClick(window()->closestView, Qt::Key_Return);
    QCOMPARE(form->TextRunes->text(), window()->closestTable->index(2, 2).data().toString());
    // Escape closes the window.
    QTest::keyClick(window()->closestView, Qt::Key_Escape);
    QTRY_VERIFY(!window());
}

// Reading the runewords fails only on a file whose structure is wrong, with the message that
// names the file, the query and the engine's words; the window does not open.
void TestClosest::damagedFile()
{
    TestFolder broken;
    const auto brokenForm = startForm(broken.path());
    broken.sql(QStringLiteral("ALTER TABLE RuneWords DROP rune6"));
    brokenForm->mnuClosest->trigger();
    const QStringList texts = std::exchange(failures.texts, {});
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].contains(broken.dataFile()) &&
                 texts[0].contains(QLatin1String("no such column: rune6")) &&
                 texts[0].contains(QLatin1String("SELECT RuneWordName, nrrunes, rune1")),
             qPrintable(texts[0]));
    QVERIFY(!brokenForm->closestWindow);
}

QTEST_MAIN(TestClosest)
#include "test_closest.moc"
