#include "closest/findwindow.h"
#include "gamedata.h"
#include "gifwriter.h"
#include "testsupport.h"

#include <QClipboard>
#include <QFileDialog>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTextBlock>

#include <map>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

namespace {

// The boxes a search is given, as bits of filterBoxes(): the nine item types by their column
// from bit 0, then the socket counts 1 to 6.
constexpr int everyType = 0x1ff, everyBox = 0x7fff;
constexpr auto socketBit = [](int count) { return 1 << (8 + count); };

QList<QStringList> rows(const QAbstractItemModel *model)
{
    QList<QStringList> table(model->rowCount());
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column)
            table[row] << model->index(row, column).data().toString();
    }
    return table;
}

// As a player double-clicks: the view wants the press before the double-click.
void doubleClick(QTableView *view, const QModelIndex &index)
{
    view->scrollTo(index);
    const QPoint point = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
}

// Sorting by any column orders its texts, ties by name, and the other way round gives the
// reverse; sorting by Missing gives back the first order, by the number missing then by name.
void checkSorting(QTableView *view, const QList<QStringList> &first)
{
    for (const int column : {0, 2, 3, 4, 1}) {
        QList<QStringList> sorted = first;
        std::stable_sort(sorted.begin(), sorted.end(), [column](const auto &a, const auto &b) {
            return column != 1 && std::pair(a[column], a[0]) < std::pair(b[column], b[0]);
        });
        view->sortByColumn(column, Qt::DescendingOrder);
        QCOMPARE(rows(view->model()), QList(sorted.rbegin(), sorted.rend()));
        view->sortByColumn(column, Qt::AscendingOrder);
        QCOMPARE(rows(view->model()), sorted);
    }
}

// Records of RFC 4180 text, each field ended by a comma or, the last of its record, by CR LF.
QList<QStringList> parseCsv(const QString &text)
{
    static const QRegularExpression field(R"re((?:"((?:[^"]|"")*)"|([^,"\r\n]*))(,|\r\n))re"_q);
    QList<QStringList> records{{}};
    for (const QRegularExpressionMatch &match : field.globalMatch(text)) {
        records.last() << match.captured(1).replace("\"\""_q, "\""_q) + match.captured(2);
        if (match.captured(3) == "\r\n"_q)
            records << QStringList();
    }
    records.removeLast();
    return records;
}

// Whether the picture stands pixel for pixel somewhere in the image.
bool holds(const QImage &image, const QImage &picture)
{
    for (int y = 0; y + picture.height() <= image.height(); ++y) {
        for (int x = 0; x + picture.width() <= image.width(); ++x) {
            if (image.copy(x, y, picture.width(), picture.height()) == picture)
                return true;
        }
    }
    return false;
}

} // namespace

// The search, the one-rune search and the Find runewords window, against one model of one data
// set.
class TestSearch : public QObject {
    Q_OBJECT
    // The main window's list, in the order of the file as the search reads it; the rows of table
    // 1; the rows of table 2 (rune, count).
    using Expected = std::tuple<QStringList, QList<QStringList>, QList<QStringList>>;
    FindWindow *window() const { return form->findWindow; }
    FailureRecorder failures;
    TestFolder folder;
    std::unique_ptr<Form1> form;
    QList<RunewordSource> words;
    QStringList runeNames, trace;

    // Worked out from the data as written: a runeword is listed when it names only owned runes,
    // and found when it lacks at most the chosen number, and the last word of its name starts
    // with the last word typed (its text is Null; "NEAR", typed before a number, is in every name
    // that number starts). Bit i of ticked
    // ticks filterBoxes()[i]: the nine item types from bit 0, the sockets from bit 9. The first
    // seven rows hold values the sources cannot (text, fractions), which no search can ever list.
    Expected model(int ticked, const QList<int> &owned, int maximum, const QString &typed) const
    {
        std::map<std::pair<qsizetype, QString>, QStringList> found;
        std::map<int, int> completes;
        QStringList listedNames;
        QList<QStringList> foundRows, wantedRows;
        for (const RunewordSource &w : words.mid(7)) {
            const int n = w.nrrunesNull ? -1 : w.nrrunes;
            bool pass = n == 1 || (n >= 2 && n <= 6 && (ticked & socketBit(n)));
            bool typePass = false;
            QStringList types, names, missing;
            for (const ItemType &shown : itemTypes) {
                if (w.types[shown.type] && !w.typesNull[shown.type]) {
                    types << QLatin1String(shown.caption);
                    typePass = typePass || (ticked >> shown.type & 1);
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
                listedNames << w.name;
            if (!w.name.section(u' ', -1).startsWith(typed.section(u' ', -1)))
                continue;
            if (missing.size() == 1)
                ++completes[int(runeNames.indexOf(missing[0]))];
            if (missing.size() <= maximum)
                found[{missing.size(), w.name}] =
                    QStringList{w.name, missing.join(u' '), names.join(u' '), types.join(", "_q),
                                QString::number(n)};
        }
        for (const auto &entry : found)
            foundRows << entry.second;
        for (const auto &[rune, count] : completes)
            wantedRows << QStringList{runeNames[rune], QString::number(count)};
        std::stable_sort(wantedRows.begin(), wantedRows.end(),
                         [](const auto &a, const auto &b) { return a[1].toInt() > b[1].toInt(); });
        return {listedNames, foundRows, wantedRows};
    }

    // A file of a few runewords, all made of rune 1 but Scold, in a window that shows them all:
    // their texts by name, empty for a Null text.
    const QMap<QString, QString> givesTexts{
        {"Éclat"_q, "Adds 1-3 cold damage\r\n+20 to life\r\néclat of frost"_q},
        {"Cold Shore"_q, "+2 to light radius, \"quoted\""_q},
        {"Scold"_q, "+5 to mana\r\nfaster cast rate"_q},
        {"Ember"_q, "damage cold\r\n+10% ÉCLAT of fire"_q},
        {"Straße"_q, "Löwe strength"_q},
        {"Null text"_q, {}}};
    TestFolder givesFolder;
    std::unique_ptr<Form1> givesForm;
    FindWindow *givesWindow() const { return givesForm->findWindow; }

    QString search(int ticked, const QList<int> &owned)
    {
        setBoard(*form, owned);
        const QList<QCheckBox *> boxes = filterBoxes(*form);
        for (int i = 0; i < boxes.size(); ++i)
            boxes[i]->setChecked(ticked >> i & 1);
        trace.clear();
        form->CommandSearch_Click();
        return std::exchange(trace, {}).join(u'\n');
    }

    // An export that fails says where and why, and leaves the folder as it was.
    void checkRefused(const QString &path)
    {
        const QStringList before = filesIn(QFileInfo(path).path());
        QVERIFY(!givesWindow()->exportTo(path));
        const QStringList notices = std::exchange(failures.notices, {});
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(QDir::toNativeSeparators(path) + ":\n"_q) &&
                     !notices[0].endsWith(u'\n'),
                 qPrintable(notices[0]));
        QCOMPARE(filesIn(QFileInfo(path).path()), before);
    }

private Q_SLOTS:
    void cleanup()
    {
        FindWindow::lastGives.clear();
        delete form->findWindow;
        QCOMPARE(std::exchange(failures.texts, {}), QStringList());
    }

    void initTestCase()
    {
        // Null slots and nrrunes, empty slots anywhere, repeats, runes beyond the board, nrrunes
        // from 0 to 7 and not counting the filled slots, Null item types.
        // Names that agree in their first twelve characters, and a character beyond U+FFFF, which
        // comes before U+FF21 in the order of texts.
        const QString prefixes[] = {"Near"_q, "Near the same twelve"_q, "Near \U0001D504"_q,
                                    "Near \uFF21"_q};
        QRandomGenerator rng(4242);
        for (int i = 0; i < 400; ++i) {
            RunewordSource w;
            // Not in the order of names, as the file gives them.
            w.name = prefixes[i < 8 ? 0 : i % 4] +
                     " %1"_q.arg(i < 8 ? i : 400 + i * 37 % 400, 3, 10, QChar(u'0'));
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
        const QString damage[] = {"rune2 = 'two'"_q,   "rune1 = 2.5"_q,   "rune1 = -1"_q,
                                  "rune1 = 1e300"_q,   "rune1 = -4032"_q, "nrrunes = 1.5"_q,
                                  "nrrunes = 'one'"_q, "armor = 2"_q};
        for (int i = 0; i < 8; ++i)
            folder.sql("UPDATE RuneWords SET %1 WHERE RunewordID = %2"_q.arg(damage[i]).arg(i + 1));
        // Names as the file may hold them: with a byte order mark and a byte that is not UTF-8, and
        // as a blob. Each shows as any other read of the name shows it.
        folder.sql("UPDATE RuneWords SET RuneWordName = CAST(x'efbbbf4e656172ff' AS TEXT) WHERE "
                   "RunewordID = 10; UPDATE RuneWords SET RuneWordName = x'426c6f62' WHERE "
                   "RunewordID = 9"_q);
        words[9].name = QString::fromUtf8("\xEF\xBB\xBFNear\xFF");
        words[8].name = "Blob"_q;
        form = startForm(folder.path());
        for (QLabel *label : form->Label1)
            runeNames << label->text();
        form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });

        // The Gives file, with its window open for the tests that use it.
        data.runewords.clear();
        for (const auto &[name, text] : givesTexts.asKeyValueRange())
            data.runewords << RunewordSource{
                name, text, {name == "Scold"_q ? 2 : 1, 0, 0, 0, 0, 0}, 1, false, {true}};
        writeDataFile(data, readSchema(gameDataSources()), givesFolder.dataFile());
        givesFolder.sql("UPDATE RuneWords SET runewordText = NULL WHERE runewordText = ''"_q);
        givesForm = startForm(givesFolder.path());
        givesForm->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
        setBoard(*givesForm, {1});
        givesForm->mnuFind_Click();
    }

    void lifeOfTheFindWindow()
    {
        // Ctrl+F in the main window opens it with the keyboard in Gives; a second choice brings
        // the same window forward.
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        const QPointer<FindWindow> first = window();
        form->mnuFind->trigger();
        QCOMPARE(window(), first);
        QVERIFY(first && QTest::qWaitForWindowActive(first));
        QTRY_COMPARE(QApplication::focusWidget(), first->gives);
        QCOMPARE(first->font(), form->font());
        QCOMPARE(first->missingAtMost->value(), 1);

        // Enter on a wanted rune, or a double-click, selects the runewords lacking it. The rune the
        // last row lacks with one missing at most: the rows lacking it run to the table's end.
        setBoard(*form, {1, 2, 3, 4});
        form->CommandSearch_Click();
        const FoundTable *table = first->foundTable;
        const QString rune = table->cell(table->rowCount() - 1, FoundTable::Missing);
        const WantedTable *runes = first->wantedTable;
        const QModelIndex wanted =
            runes->match(runes->index(0, 0), Qt::DisplayRole, rune, 1, Qt::MatchExactly).value(0);
        for (const int maximum : {1, 3}) {
            first->missingAtMost->setValue(maximum);
            first->wantedView->setCurrentIndex(wanted);
            if (maximum == 1)
                QTest::keyClick(first->wantedView, Qt::Key_Return);
            else
                doubleClick(first->wantedView, wanted);
            for (int row = 0; row < table->rowCount(); ++row)
                QCOMPARE(first->foundView->selectionModel()->isRowSelected(row),
                         table->cell(row, FoundTable::Missing).split(u' ').contains(rune));
        }

        // A double-click shows the runeword as picking it in the list would, keeping the board for
        // Revert first: still the player's, as choosing a wanted rune marks nothing. The list and
        // the tables stay.
        const QList<QStringList> shown = rows(table) << listed(*form); // the table, then the list
        const int row = int(shown.size()) / 2;
        doubleClick(first->foundView, table->index(row, 0));
        QCOMPARE(form->TextRunes->text(), shown[row][2]);
        QCOMPARE(rows(table) << listed(*form), shown);
        QCOMPARE(savedTiles(*form), (QList<int>{1, 2, 3, 4}));

        // Alt+M reaches the spin box, whose arrow keys change it; Ctrl+F comes back to Gives, and
        // Down from there goes into table 1, where Enter shows the current runeword. Escape
        // empties Gives, then closes the window.
        QTest::keyClick(first, Qt::Key_M, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), first->missingAtMost);
        QTest::keyClick(first->missingAtMost, Qt::Key_Down);
        QCOMPARE(table->maximumMissing(), 2);
        QTest::keyClick(first->missingAtMost, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), first->gives);
        QTest::keyClicks(first->gives, "Near"_q);
        QTest::keyClick(first->gives, Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), first->foundView);
        first->foundView->setCurrentIndex(table->index(2, 0));
        QTest::keyClick(first->foundView, Qt::Key_Return);
        QCOMPARE(form->TextRunes->text(), table->index(2, 2).data().toString());
        QTest::keyClick(first->foundView, Qt::Key_Escape);
        QCOMPARE(first->gives->text(), QString());
        QTest::keyClick(first->foundView, Qt::Key_Escape);
        QTRY_VERIFY(first.isNull());
        // Exit takes the next one along; the one after starts with what was typed.
        form->mnuFind->trigger();
        window()->gives->setText("Near 5"_q);
        form->mnuExit->trigger();
        QTRY_VERIFY(!window());
        form->mnuFind->trigger();
        QCOMPARE(window()->gives->text(), "Near 5"_q);
    }

    // One rune owned at a time with every box ticked, results of every size down to a single row
    // and none; then random boards and boxes, with words in Gives that the names' numbers start.
    void resultsMatchModel()
    {
        form->mnuFind->trigger();
        const WantedTable *wanted = window()->wantedTable;
        QRandomGenerator rng(8080);
        // Words in Gives that the numbers in the names start.
        const QString gives[] = {{}, "4"_q, "5"_q, "7"_q, "45"_q, "NEAR 6"_q};
        for (int round = 0; round < 246; ++round) {
            const double share = rng.bounded(4) == 0 ? 1.0 : rng.generateDouble();
            QList<int> board;
            for (int k = 1; k <= 46; ++k) {
                if (round < 46 ? k == round + 1 : rng.generateDouble() < share)
                    board << k;
            }
            const int ticked = round < 46 ? everyBox
                                          : rng.bounded(64) * socketBit(1) |
                                                (rng.bounded(15) == 0 ? 0 : rng.bounded(1, 512));
            search(ticked, board);
            setBoard(*form, {}); // the window shows what the last Search was given
            const int maximum = round < 46 ? 1 : rng.bounded(0, 4);
            window()->missingAtMost->setValue(maximum);
            const QString &typed = gives[round < 46 ? 0 : rng.bounded(6)];
            window()->gives->setText(typed);
            const auto [names, found, wantedRows] = model(ticked, board, maximum, typed);
            QCOMPARE(listed(*form), names);
            QCOMPARE(rows(window()->foundTable), found);
            QCOMPARE(rows(wanted), wantedRows);
            // Each wanted rune's bar, in the count's column, is its share of the largest count.
            for (int row = 0; row < wantedRows.size(); ++row)
                QCOMPARE(wanted->index(row, 1).data(WantedTable::ShareRole).toDouble(),
                         wantedRows[row][1].toDouble() / wantedRows[0][1].toDouble());
            if (round % 20 == 0)
                checkSorting(window()->foundView, found);
        }
    }

    // Gives on a file of a few runewords with accents, case and punctuation to fold: the rows it
    // leaves in the table's order; typing reads nothing and writes nothing.
    // The pane shows the last runeword found in full, with what Gives matched in bold: the
    // stretches of the text that were folded, accents and all, written apart by "|".
    void givesFinds_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("bold");
        const QStringList none, shore{"Cold Shore"_q}, eclat{"Éclat"_q},
            eclats{"Ember"_q, "Éclat"_q};
        const QStringList cold = shore + eclats, all{"Cold Shore"_q, "Ember"_q, "Null text"_q,
                                                     "Straße"_q,     "Éclat"_q, "Scold"_q};
        QTest::newRow("empty") << QString() << all << QString();
        QTest::newRow("a word's start") << "cold"_q << cold << "cold"_q;
        QTest::newRow("not inside a word") << "old"_q << none << QString();
        QTest::newRow("case") << "COLD"_q << cold << "cold"_q;
        QTest::newRow("accents") << "eclat"_q << eclats << "éclat"_q;
        QTest::newRow("typed accents") << "ÉCLAT"_q << eclats << "éclat"_q;
        QTest::newRow("full case folding") << "STRASSE"_q << QStringList{"Straße"_q} << QString();
        QTest::newRow("every word") << "cold damage"_q << eclats << "cold|damage"_q;
        QTest::newRow("any order and line") << "life cold"_q << eclat << "cold|life"_q;
        QTest::newRow("name and text") << "light shore"_q << shore << "light"_q;
        QTest::newRow("phrase") << "\"cold damage\""_q << eclat << "cold damage"_q;
        QTest::newRow("unclosed phrase") << "+20 \"cold dam"_q << eclat << "cold dam|+20"_q;
        QTest::newRow("a quote alone") << "\""_q << all << QString();
        QTest::newRow("signs and digits") << "+2"_q << shore + eclat << "+2"_q;
        QTest::newRow("pattern") << ".* ( [a-z]+ \\"_q << none << QString();
        QTest::newRow("emoji") << "🔥"_q << none << QString();
    }

    void givesFinds()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        QFETCH(QString, bold);
        FindWindow *find = givesWindow();
        trace.clear();
        find->gives->setText(typed);
        QStringList names;
        for (const QStringList &row : rows(find->foundTable))
            names << row[0];
        QCOMPARE(names, found);
        QCOMPARE(trace, QStringList());
        // With no row, an empty pane.
        find->foundView->setCurrentIndex(find->foundTable->index(int(found.size()) - 1, 0));
        QCOMPARE(find->runewordText->toPlainText(),
                 givesTexts.value(found.value(found.size() - 1)).replace("\r\n"_q, "\n"_q));
        QStringList shownBold;
        for (QTextBlock block = find->runewordText->document()->begin(); block.isValid();
             block = block.next()) {
            for (const QTextLayout::FormatRange &range : block.textFormats()) {
                if (range.format.fontWeight() == QFont::Bold)
                    shownBold << block.text().mid(range.start, range.length);
            }
        }
        QCOMPARE(shownBold.join(u'|'), bold);
    }

    // Ctrl+C and the context menu's Copy give the selected rows as tab-separated lines under the
    // column titles; Export writes every row with its text as CSV that reads back to the same
    // cells. A write that fails says where and why, and leaves nothing behind.
    void copyAndExport()
    {
        FindWindow *find = givesWindow();
        find->gives->clear();
        const QList<QStringList> shown = rows(find->foundTable);
        const QStringList titles{"Runeword"_q, "Missing"_q, "Runes"_q, "Item types"_q, "Sockets"_q};
        find->foundView->selectRow(3);
        find->foundView->selectionModel()->select(
            find->foundTable->index(5, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString copied = titles.join(u'\t') + u'\n' + shown.value(3).join(u'\t') + u'\n' +
                               shown.value(5).join(u'\t') + u'\n';
        QTest::keyClick(find->foundView, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        QGuiApplication::clipboard()->clear();
        QCOMPARE(find->foundView->contextMenuPolicy(), Qt::ActionsContextMenu);
        find->foundView->actions().value(0)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);

        // A home of our own, whose Documents folder exists.
        QTemporaryDir out;
        const QByteArray home = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
        qputenv("HOME", out.path().toUtf8());
        const QString folder = out.filePath("Documents/Zoë's exports"_q);
        QVERIFY(QDir().mkpath(folder));
        // The button offers runewords.csv in the Documents folder.
        const QString path = folder + "/runewords.csv"_q;
        QString offered;
        whenModal<QFileDialog>([&](QFileDialog *dialog) {
            offered = dialog->selectedFiles().value(0);
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        });
        find->exportButton->click();
        QCOMPARE(offered, QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                              .filePath("runewords.csv"_q));
        const QByteArray bytes = fileBytes(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QList<QStringList> expected{titles + QStringList{"Text"_q}};
        for (const QStringList &row : shown)
            expected << row + QStringList{givesTexts[row[0]]};
        QCOMPARE(parseCsv(QString::fromUtf8(bytes.mid(3))), expected);
        QCOMPARE(filesIn(folder), QStringList{"runewords.csv"_q});

        checkRefused(out.filePath("missing/runewords.csv"_q));
        checkRefused(folder);
    }

    // A full disk: the export says so, and leaves no file.
    void exportToFullDisk()
    {
#ifdef Q_OS_LINUX
        QTemporaryDir disk;
        const QByteArray mountPoint = disk.path().toUtf8();
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a tmpfs (needs root with CAP_SYS_ADMIN)");
        const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
        QFile filler(disk.filePath("filler"_q));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        filler.write(QByteArray(128 * 1024, 'x')); // as much as it holds
        checkRefused(disk.filePath("runewords.csv"_q));
        // The data tool's sources and the pictures, too.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 writeSources(readGameData(gameDataSources()), disk.path()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writeRunePictures(disk.filePath("CRunes"_q)));
        QCOMPARE(filesIn(disk.path()) + filesIn(disk.filePath("CRunes"_q)),
                 QStringList{"filler"_q});
#else
        QSKIP("needs Linux: a tmpfs to fill");
#endif
    }

    // The wanted runes show their pictures pixel for pixel; ctest runs this case at twice the
    // density too, where they are the large pictures.
    void wantedPictures()
    {
        form->show();
        search(everyBox, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        form->mnuFind->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        const qreal ratio = window()->devicePixelRatioF();
        QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1"_q).toDouble());
        const WantedTable *wanted = window()->wantedTable;
        QVERIFY(wanted->rowCount() >= 3);
        const QTableView *view = window()->wantedView;
        const QImage shot = view->viewport()->grab().toImage();
        for (int row = 0; row < 3; ++row) {
            QImage file(folder.path() + "/CRunes/crune%1%2.gif"_q.arg(wanted->rune(row))
                                            .arg(ratio > 1 ? "@2x"_q : QString()));
            QVERIFY(!file.isNull());
            file.setDevicePixelRatio(1);
            // On the table's colour, where the picture has none.
            QImage picture(file.size(), shot.format());
            picture.fill(view->palette().color(QPalette::Base));
            QPainter(&picture).drawImage(0, 0, file);
            const QRect cell = view->visualRect(wanted->index(row, 0));
            QVERIFY2(holds(shot.copy(QRect(cell.topLeft() * ratio, cell.size() * ratio)), picture),
                     qPrintable("the picture of rune %1"_q.arg(wanted->rune(row))));
        }
        window()->close();
    }

    // The main window's Search, then its search for the runewords holding one rune. "1 socket"
    // has no piece of its own in Search; Body Armor's piece alone is joined by " OR ".
    void mainWindowSearches()
    {
        form->ownedState = {0, 0, 0, 0, 0, 0, 0, 1};
        form->ownedSaved = false;
        QCOMPARE(
            search(everyBox & ~socketBit(4) & ~socketBit(5), {1, 5}),
            "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1 "
            "Or nrrunes = 2 Or nrrunes = 3 Or nrrunes = 6) and (false  OR armor = true Or helm = "
            "true Or belt = true Or boots = true Or shield = true Or gloves = true Or "
            "meleeweapon = true Or missileweapon = true Or Other = true) and (rune1 in (0, 1, 5) "
            "AND rune2 in (0, 1, 5) AND rune3 in (0, 1, 5) AND rune4 in (0, 1, 5) AND rune5 in "
            "(0, 1, 5) AND rune6 in (0, 1, 5));"_q);
        form->Text1->setPlainText("earlier text"_q);
        form->TextRunes->setText("earlier runes"_q);
        form->mnuRunename->Tag = "0"_q; // no rune: nothing changes
        form->mnuSearch_Click();
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 5}));
        QVERIFY(!form->ownedSaved);
        for (int r = 1; r <= 46; ++r) {
            form->mnuRunename->Tag = QString::number(r);
            form->mnuSearch_Click();
            const QString sql = "Select * from runewords Where (runewords.rune1 = %1 OR "
                                "Runewords.rune2 = %1 OR Runewords.rune3 = %1 OR Runewords.rune4 "
                                "= %1 OR Runewords.rune5 = %1 OR Runewords.rune6 = %1)"_q.arg(r);
            QCOMPARE(std::exchange(trace, {}), QStringList{sql});
            // The list holds what that text finds in a connection of its own.
            QCOMPARE(listed(*form), folder.column("SELECT RuneWordName FROM (%1)"_q.arg(sql)));
            QCOMPARE(ownedTiles(*form), QList<int>{r});
        }
        // Each search reset the window; the first kept the player's set for revert, the later
        // ones left that copy alone.
        QCOMPARE(tickedFilters(*form).split(u' ').size(), 15);
        QCOMPARE(form->Text1->toPlainText() + form->TextRunes->text(), QString());
        form->Commandrevert_Click();
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 5}));
    }

    // Reading the runewords fails only on a file whose structure is wrong, with the message that
    // names the file, the query and the engine's words; the window does not open.
    void damagedFile()
    {
        TestFolder broken;
        const auto brokenForm = startForm(broken.path());
        broken.sql("ALTER TABLE RuneWords DROP rune6"_q);
        brokenForm->mnuFind->trigger();
        const QStringList texts = std::exchange(failures.texts, {});
        for (const QString &part :
             {broken.dataFile(), "no such column: rune6"_q, "SELECT nrrunes, rune1"_q})
            QVERIFY2(texts.size() == 1 && texts[0].contains(part), qPrintable(texts.join(u'\n')));

        // Columns with no declared type keep a whole number written as a real, and a number
        // written as a text: each counts as the search's "=" counts it.
        broken.sql(
            "DROP TABLE RuneWords; CREATE TABLE RuneWords (RuneWordName, runewordText, nrrunes, "
            "rune1, rune2, rune3, rune4, rune5, rune6, %1); INSERT INTO RuneWords VALUES "
            "('Whole', 'a', 2.0, 1.0, 2.0, 0.0, 0, 0, 0, 1.0, 0, 0, 0, 0, 0, 0, 0, 0), "
            "('Text slot', 'b', 2, 1, '2', 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0), "
            "('Text sockets', 'c', '2', 1, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0), "
            "('Text type', 'd', 2, 1, 2, 0, 0, 0, 0, '1', 0, 0, 0, 0, 0, 0, 0, 0)"_q.arg(
                itemTypeColumnList()));
        setBoard(*brokenForm, {1}); // every box is ticked at start
        brokenForm->mnuFind->trigger();
        QCOMPARE(rows(brokenForm->findWindow->foundTable),
                 (QList<QStringList>{{"Whole"_q, runeNames[1], runeNames[0] + u' ' + runeNames[1],
                                      "Body Armor"_q, "2"_q}}));
        // No runewords at all: an empty window.
        broken.sql("DELETE FROM RuneWords"_q);
        brokenForm->findWindow->refresh();
        QCOMPARE(brokenForm->findWindow->foundTable->rowCount(), 0);
    }
};

QTEST_MAIN(TestSearch)
#include "test_search.moc"
