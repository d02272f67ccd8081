#include "closest/closestwindow.h"
#include "gamedata.h"
#include "testsupport.h"

#include <QIcon>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableView>

#include <map>

namespace {

// The boxes a search is given, as bits of filterBoxes(): the nine item types by their column
// from bit 0, then the socket counts 1 to 6.
constexpr int firstSocketBit = 9;
constexpr int everyType = (1 << firstSocketBit) - 1;
constexpr int type(ItemTypeIndex column)
{
    return 1 << column;
}
constexpr int sockets(std::initializer_list<int> counts)
{
    int ticked = 0;
    for (const int count : counts)
        ticked |= 1 << (firstSocketBit + count - 1);
    return ticked;
}
constexpr int everyBox = everyType | sockets({1, 2, 3, 4, 5, 6});

QList<QStringList> rows(const QAbstractItemModel *model)
{
    QList<QStringList> table;
    for (int row = 0; row < model->rowCount(); ++row) {
        table.append(QStringList());
        for (int column = 0; column < model->columnCount(); ++column)
            table.last() << model->index(row, column).data().toString();
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

// Sorting by any column orders its texts (sockets as numbers, Missing by the number missing),
// ties by name; sorting by Missing again gives back the first order.
void checkSorting(QTableView *view, const QList<QStringList> &first)
{
    for (int column = 0; column < 5; ++column) {
        const auto key = [column](const QStringList &line) {
            return QStringList{column == 4   ? line[4].rightJustified(3, u'0')
                               : column == 1 ? QString::number(line[1].count(u' '))
                                             : line[column],
                               line[0]};
        };
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            view->sortByColumn(column, order);
            QList<QStringList> sorted = rows(view->model());
            if (order == Qt::DescendingOrder)
                std::reverse(sorted.begin(), sorted.end());
            QVERIFY(std::is_sorted(sorted.begin(), sorted.end(),
                                   [&](const auto &a, const auto &b) { return key(a) < key(b); }));
        }
    }
    view->sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(rows(view->model()), first);
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

// The search, the one-rune search and the closest runewords, against one model of one data set.
class TestSearch : public QObject {
    Q_OBJECT
    struct Expected {
        QStringList listed;                 // sorted
        QList<QStringList> closest, wanted; // the rows of table 1, and of table 2 (rune, count)
    };
    ClosestWindow *window() const { return form->closestWindow; }
    FailureRecorder failures;
    TestFolder folder;
    std::unique_ptr<Form1> form;
    QList<RunewordSource> words;
    QStringList runeNames, trace;

    // Worked out from the data as written: a runeword is listed when it names only owned runes, and
    // close when owning its missing runes would list it. The first seven rows hold values the
    // sources cannot (text, fractions), which no search can ever list.
    Expected model(int ticked, const QList<int> &owned, int maximum) const
    {
        std::map<std::pair<qsizetype, QString>, QStringList> closest;
        std::map<int, int> completes;
        Expected expected;
        for (const RunewordSource &w : words.mid(7)) {
            const int n = w.nrrunesNull ? -1 : w.nrrunes;
            bool pass = n == 1 || (n >= 2 && n <= 6 && (ticked & sockets({n})));
            bool typePass = false;
            QStringList types, names, missing;
            for (const ItemType &shown : itemTypes) {
                if (w.types[shown.type] && !w.typesNull[shown.type]) {
                    types << QLatin1String(shown.caption);
                    typePass = typePass || (ticked & type(shown.type));
                }
            }
            for (const auto &slot : w.runes) {
                pass = pass && slot && *slot >= 0 && *slot <= 46;
                if (!pass || *slot == 0)
                    continue;
                names << runeNames[*slot - 1];
                if (!owned.contains(*slot) && !missing.contains(names.last()))
                    missing << names.last();
            }
            if (!pass || !typePass || missing.size() > 3)
                continue;
            if (missing.isEmpty())
                expected.listed << w.name;
            if (missing.size() == 1)
                ++completes[int(runeNames.indexOf(missing[0]))];
            if (!missing.isEmpty() && missing.size() <= maximum)
                closest[{missing.size(), w.name}] =
                    QStringList{w.name, missing.join(u' '), names.join(u' '), types.join(", "_q),
                                QString::number(n)};
        }
        expected.listed.sort();
        for (const auto &entry : closest)
            expected.closest << entry.second;
        for (const auto &[rune, count] : completes)
            expected.wanted << QStringList{runeNames[rune], QString::number(count)};
        std::stable_sort(expected.wanted.begin(), expected.wanted.end(),
                         [](const auto &a, const auto &b) { return a[1].toInt() > b[1].toInt(); });
        return expected;
    }

    QString search(int ticked, const QList<int> &owned)
    {
        setBoard(*form, owned);
        const QList<QCheckBox *> boxes = filterBoxes(*form);
        for (int i = 0; i < boxes.size(); ++i)
            boxes[i]->setChecked(ticked >> i & 1);
        trace.clear();
        form->CommandSearch_Click();
        return trace.join(u'\n');
    }

private Q_SLOTS:
    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }

    void initTestCase()
    {
        // Null slots and nrrunes, empty slots anywhere, repeats, runes beyond the board, nrrunes
        // from 0 to 7 and not counting the filled slots, Null item types.
        // Names that agree in their first twelve characters, and a character beyond U+FFFF, which
        // comes before U+FF21 in the order of texts.
        static const char16_t *const prefixes[] = {u"Near", u"Near the same twelve",
                                                   u"Near \U0001D504", u"Near \uFF21"};
        QRandomGenerator rng(4242);
        for (int i = 0; i < 400; ++i) {
            RunewordSource w;
            // Not in the order of names, as the file gives them.
            w.name = QString::fromUtf16(prefixes[i < 8 ? 0 : i % 4]) +
                     " %1"_q.arg(i < 8 ? i : 400 + i * 37 % 400, 3, 10, QLatin1Char('0'));
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
            // The first eight, armor runewords of rune 1 but the last, are damaged below; the
            // tenth, close with rune 46 alone, gets an odd name.
            if (i < 8)
                w = {w.name, {}, {1, 0, 0, 0, 0, 0}, 1, false, {i < 7}};
            if (i == 9)
                w = {w.name, {}, {46, 0, 0, 0, 0, 0}, 1, false, w.types, w.typesNull};
            words << w;
        }
        GameData data = readGameData(gameDataSources());
        data.runewords = words;
        writeDataFile(data, readSchema(gameDataSources()), folder.dataFile());
        // Values the sources cannot hold; each row would be close without its damage. armor, the
        // only item type, holds 2 in the last: not true for the search, whatever a display would
        // make of it.
        const char *damage[] = {"rune2 = 'two'",   "rune1 = 2.5",   "rune1 = -1",
                                "rune1 = 1e300",   "rune1 = -4032", "nrrunes = 1.5",
                                "nrrunes = 'one'", "armor = 2"};
        for (int i = 0; i < 8; ++i)
            folder.sql("UPDATE RuneWords SET %1 WHERE RuneWordName = 'Near 00%2'"_q.arg(
                QLatin1String(damage[i]), QString::number(i)));
        // Names as the file may hold them: with a byte order mark and a byte that is not UTF-8, and
        // as a blob. Each shows as any other read of the name shows it.
        const QByteArray odd = QByteArray::fromHex("efbbbf4e656172ff");
        folder.sql(
            "UPDATE RuneWords SET RuneWordName = CAST(x'%1' AS TEXT) WHERE RuneWordName = '%2'; "
            "UPDATE RuneWords SET RuneWordName = x'426c6f62' WHERE RuneWordName = '%3'"_q.arg(
                QLatin1String(odd.toHex()), words[9].name, words[8].name));
        words[9].name = QString::fromUtf8(odd);
        words[8].name = "Blob"_q;
        form = startForm(folder.path());
        for (QLabel *label : form->Label1)
            runeNames << label->text();
        form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
    }

    // "1 socket" has no piece of its own; Body Armor's piece alone is joined by " OR ".
    void queryTexts()
    {
        QCOMPARE(
            search(everyType | sockets({1, 2, 3, 6}), {1, 5}),
            "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1 "
            "Or nrrunes = 2 Or nrrunes = 3 Or nrrunes = 6) and (false  OR armor = true Or helm = "
            "true Or belt = true Or boots = true Or shield = true Or gloves = true Or "
            "meleeweapon = true Or missileweapon = true Or Other = true) and (rune1 in (0, 1, 5) "
            "AND rune2 in (0, 1, 5) AND rune3 in (0, 1, 5) AND rune4 in (0, 1, 5) AND rune5 in "
            "(0, 1, 5) AND rune6 in (0, 1, 5));"_q);
    }

    void lifeOfTheClosestWindow()
    {
        // A second choice brings the same window forward.
        form->show();
        form->mnuClosest->trigger();
        const QPointer<ClosestWindow> first = window();
        form->mnuClosest->trigger();
        QCOMPARE(window(), first);
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(first->font(), form->font());
        QCOMPARE(first->missingAtMost->value(), 1);
        for (QWidget *control :
             QList<QWidget *>{first->missingAtMost, first->closestView, first->wantedView})
            QVERIFY(!control->accessibleName().isEmpty());

        // It shows what the last Search was given, and only a Search changes that.
        setBoard(*form, {1, 2, 3, 4});
        form->CommandSearch_Click();
        const QList<QStringList> shown = rows(first->closestTable);
        QVERIFY(!shown.isEmpty());
        setBoard(*form, {5});
        for (QCheckBox *box : filterBoxes(*form))
            box->setChecked(false);
        first->missingAtMost->setValue(3);
        first->missingAtMost->setValue(1);
        QCOMPARE(rows(first->closestTable), shown);

        // A double-click shows the runeword as picking it in the list would, keeping the board for
        // Revert first; the list and the tables stay.
        const QStringList listBefore = listed(*form);
        form->Commandrevert_Click();
        setBoard(*form, {1, 2, 3, 4});
        const int row = int(shown.size()) / 2;
        doubleClick(first->closestView, row);
        QCOMPARE(listed(*form), listBefore);
        QCOMPARE(rows(first->closestTable), shown);
        QCOMPARE(savedTiles(*form), (QList<int>{1, 2, 3, 4}));
        const auto display = [this] {
            return std::pair(QStringList{form->Text1->toPlainText(), form->TextRunes->text(),
                                         tickedFilters(*form)},
                             ownedTiles(*form));
        };
        const auto fromWindow = display();
        form->List1->addItem(shown[row][0]);
        form->List1->setCurrentRow(form->List1->count() - 1);
        QCOMPARE(display(), fromWindow);

        // Enter on a wanted rune, or a double-click, selects the runewords lacking it, and marks
        // nothing. With one rune missing at most, the rune the last row lacks: the rows lacking it
        // run to the table's end.
        form->Commandrevert_Click();
        form->CommandSearch_Click();
        for (const int maximum : {1, 3}) {
            first->missingAtMost->setValue(maximum);
            QVERIFY(first->wantedTable->rowCount() > 0);
            const ClosestTable *table = first->closestTable;
            const quint64 lastLacks = table->runeword(table->rowCount() - 1).missing;
            int wanted = 0;
            while (maximum == 1 && !(lastLacks >> first->wantedTable->rune(wanted) & 1))
                ++wanted;
            const QString rune = runeNames[first->wantedTable->rune(wanted) - 1];
            if (maximum == 1) {
                first->wantedView->setCurrentIndex(first->wantedTable->index(wanted, 0));
                QTest::keyClick(first->wantedView, Qt::Key_Return);
            } else {
                doubleClick(first->wantedView, wanted);
            }
            const QItemSelectionModel *selection = first->closestView->selectionModel();
            for (int row = 0; row < table->rowCount(); ++row)
                QCOMPARE(selection->isRowSelected(row),
                         table->index(row, 1).data().toString().split(u' ').contains(rune));
            QVERIFY(selection->hasSelection());
        }
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 4}));

        // Alt+M reaches the spin box, whose arrow keys change it; Tab reaches table 1, where Enter
        // shows the current runeword; Escape closes the window.
        QTest::keyClick(first, Qt::Key_M, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), first->missingAtMost);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(first->closestTable->maximumMissing(), 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), first->closestView);
        first->closestView->setCurrentIndex(first->closestTable->index(2, 0));
        QTest::keyClick(first->closestView, Qt::Key_Return);
        QCOMPARE(form->TextRunes->text(), first->closestTable->index(2, 2).data().toString());
        QTest::keyClick(first->closestView, Qt::Key_Escape);
        QTRY_VERIFY(first.isNull());

        // Exit takes it along.
        form->mnuClosest->trigger();
        form->mnuExit->trigger();
        QTRY_VERIFY(!window());
    }

    // One rune owned at a time with every box ticked, results of every size down to a single row
    // and none; then random boards and boxes.
    void resultsMatchModel()
    {
        form->mnuClosest->trigger();
        const WantedTable *wanted = window()->wantedTable;
        QList<qsizetype> sizes;
        QRandomGenerator rng(8080);
        for (int round = 0; round < 246; ++round) {
            const double share = rng.bounded(4) == 0 ? 1.0 : rng.generateDouble();
            QList<int> board;
            for (int k = 1; k <= 46; ++k) {
                if (round < 46 ? k == round + 1 : rng.generateDouble() < share)
                    board << k;
            }
            const int ticked = round < 46 ? everyBox
                                          : rng.bounded(64) << firstSocketBit |
                                                (rng.bounded(15) == 0 ? 0 : rng.bounded(1, 512));
            search(ticked, board);
            const int maximum = round < 46 ? 1 : rng.bounded(1, 4);
            window()->missingAtMost->setValue(maximum);
            const Expected expected = model(ticked, board, maximum);
            QCOMPARE(sorted(listed(*form)), expected.listed);
            sizes << expected.listed.size();
            QCOMPARE(rows(window()->closestTable), expected.closest);
            QCOMPARE(rows(wanted), expected.wanted);
            // Each wanted rune's bar is its count's share of the largest.
            for (int row = 0; row < expected.wanted.size(); ++row)
                QCOMPARE(wanted->index(row, WantedTable::Completes)
                             .data(WantedTable::ShareRole)
                             .toDouble(),
                         expected.wanted[row][1].toDouble() / expected.wanted[0][1].toDouble());
            if (round % 20 == 0)
                checkSorting(window()->closestView, expected.closest);
            if (expected.wanted.isEmpty())
                continue;
            // Owning the most wanted rune, shown with its picture, adds exactly its count to the
            // search's list.
            const int before = form->List1->count();
            const int rune = int(runeNames.indexOf(expected.wanted[0][0])) + 1;
            const QIcon icon = wanted->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
            QCOMPARE(icon.pixmap(27, 26).toImage(),
                     form->PictureRunes[size_t(rune)]->Picture().toImage());
            form->markOwned(rune);
            form->CommandSearch_Click();
            QCOMPARE(form->List1->count() - before, expected.wanted[0][1].toInt());
        }
        QVERIFY(sizes.contains(1) && sizes.contains(0));
    }

    void oneRune()
    {
        form->ownedState = {0, 0, 0, 0, 0, 0, 0, 1};
        form->ownedSaved = false;
        search(type(Helm) | sockets({2}), {1, 2, 3, 12});
        form->Text1->setPlainText("earlier text"_q);
        form->TextRunes->setText("earlier runes"_q);
        form->mnuRunename->Tag = "0"_q; // no rune: nothing changes
        form->mnuSearch_Click();
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 12}));
        QVERIFY(!form->ownedSaved);
        for (int r = 1; r <= 46; ++r) {
            trace.clear();
            form->mnuRunename->Tag = QString::number(r);
            form->mnuSearch_Click();
            QCOMPARE(trace.join(QString()),
                     "Select * from runewords Where (runewords.rune1 = %1 OR "
                     "Runewords.rune2 = %1 OR Runewords.rune3 = %1 OR Runewords.rune4 "
                     "= %1 OR Runewords.rune5 = %1 OR Runewords.rune6 = %1)"_q.arg(r));
            QCOMPARE(
                sorted(listed(*form)),
                sorted(folder.column("SELECT RuneWordName FROM RuneWords WHERE %1 "
                                     "IN (rune1, rune2, rune3, rune4, rune5, rune6)"_q.arg(r))));
            QCOMPARE(ownedTiles(*form), QList<int>{r});
        }
        // Each search reset the window; the first kept the player's set for revert, the later
        // ones left that copy alone.
        QCOMPARE(tickedFilters(*form).split(u' ').size(), 15);
        QCOMPARE(form->Text1->toPlainText() + form->TextRunes->text(), QString());
        form->Commandrevert_Click();
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 12}));
    }

    // Reading the runewords fails only on a file whose structure is wrong, with the message that
    // names the file, the query and the engine's words; the window does not open.
    void damagedFile()
    {
        TestFolder broken;
        const auto brokenForm = startForm(broken.path());
        broken.sql("ALTER TABLE RuneWords DROP rune6"_q);
        brokenForm->mnuClosest->trigger();
        const QStringList texts = std::exchange(failures.texts, {});
        QCOMPARE(texts.size(), 1);
        for (const QString &part : {broken.dataFile(), "no such column: rune6"_q,
                                    "SELECT RuneWordName, nrrunes, rune1"_q})
            QVERIFY2(texts[0].contains(part), qPrintable(texts[0]));

        // Columns with no declared type keep a whole number written as a real: it counts as the
        // search's "=" counts it, and a fraction still does not.
        broken.sql(
            "DROP TABLE RuneWords; CREATE TABLE RuneWords (RuneWordName, nrrunes, rune1, rune2, "
            "rune3, rune4, rune5, rune6, %1); INSERT INTO RuneWords VALUES "
            "('Whole', 2.0, 1.0, 2.0, 0.0, 0, 0, 0, 1.0, 0, 0, 0, 0, 0, 0, 0, 0), "
            "('Fraction', 2.0, 1.5, 2.0, 0, 0, 0, 0, 1.0, 0, 0, 0, 0, 0, 0, 0, 0)"_q.arg(
                itemTypeColumnList()));
        setBoard(*brokenForm, {1});
        for (QCheckBox *box : filterBoxes(*brokenForm))
            box->setChecked(true);
        brokenForm->mnuClosest->trigger();
        QCOMPARE(rows(brokenForm->closestWindow->closestTable),
                 (QList<QStringList>{{"Whole"_q, runeNames[1], runeNames[0] + u' ' + runeNames[1],
                                      "Body Armor"_q, "2"_q}}));
        // More rows than one batch: none lost, none read twice.
        broken.sql(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO RuneWords SELECT 'Many ' || i, 1, 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, "
            "0, 0, 0 FROM n"_q);
        brokenForm->closestWindow->refresh();
        QCOMPARE(brokenForm->closestWindow->closestTable->rowCount(), 3001);
    }
};

QTEST_MAIN(TestSearch)
#include "test_search.moc"
