#include "gamedata.h"
#include "mainwindow/form1.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

// What the search should find, worked out from the data as written.
QStringList model(const QList<RunewordSource> &words, int ticked, const QList<int> &owned)
{
    QStringList names;
    for (const RunewordSource &w : words) {
        const int n = w.nrrunes;
        bool pass = n == 1 || (n >= 2 && n <= 6 && (ticked & (1 << (8 + n))));
        bool typePass = false;
        for (int i = 0; i < 9; ++i)
            typePass = typePass || (w.types[size_t(i)] && (ticked & (1 << i)));
        for (const auto &slot : w.runes)
            pass = pass && slot && (*slot == 0 || owned.contains(*slot));
        if (pass && typePass)
            names << w.name;
    }
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void queryTexts();
    void resultsMatchModel();
    void oneRune();

private:
    QString search(int ticked, const QList<int> &owned);
    TestFolder folder;
    std::unique_ptr<Form1> form;
    QList<RunewordSource> words;
    QStringList trace;
};

void TestSearch::initTestCase()
{
    // Null slots, gaps, repeats, a rune beyond the board, nrrunes not counting the filled slots.
    QRandomGenerator rng(1729);
    for (int i = 0; i < 300; ++i) {
        RunewordSource w;
        w.name = QStringLiteral("Gen %1").arg(i);
        int filled = 0;
        for (auto &slot : w.runes) {
            const int roll = rng.bounded(100);
            slot = roll < 4    ? std::optional<int>()
                   : roll < 40 ? 0
                   : roll < 50 ? w.runes[0]
                   : roll < 52 ? 47
                               : rng.bounded(1, 47);
            filled += slot.value_or(0) > 0 ? 1 : 0;
        }
        w.nrrunes = rng.bounded(8) == 0 ? rng.bounded(0, 8) : filled;
        for (bool &type : w.types)
            type = rng.bounded(3) == 0;
        words << w;
    }
    GameData data = readGameData(gameDataSources());
    data.runewords = words;
    writeDataFile(data, readSchema(gameDataSources()), folder.dataFile());
    // Names as the file may hold them: with a byte order mark and a byte that is not UTF-8, and
    // as a blob. Each is listed as any other read of the name shows it.
    folder.sql(QStringLiteral("UPDATE RuneWords SET RuneWordName = CAST(x'efbbbf47656eff' AS TEXT) "
                              "WHERE RuneWordName = 'Gen 5'"));
    folder.sql(QStringLiteral("UPDATE RuneWords SET RuneWordName = x'426c6f62' "
                              "WHERE RuneWordName = 'Gen 6'"));
    words[5].name = QString::fromUtf8("\xef\xbb\xbfGen\xff");
    words[6].name = QStringLiteral("Blob");
    form = startForm(folder.path());
    form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
}

// Bit i of ticked ticks filterBoxes()[i]: the nine item types from bit 0, the sockets from bit 9.
QString TestSearch::search(int ticked, const QList<int> &owned)
{
    setBoard(*form, owned);
    const QList<QCheckBox *> boxes = filterBoxes(*form);
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(ticked & (1 << i));
    trace.clear();
    form->CommandSearch_Click();
    return trace.join(QLatin1Char('\n'));
}

void TestSearch::queryTexts()
{
    const QString start = QStringLiteral(
        "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1");
    QCOMPARE(search(0b000110'000000001, {1, 5}),
             start + QStringLiteral(" Or nrrunes = 2 Or nrrunes = 3) and (false  OR armor = true) "
                                    "and (rune1 in (0, 1, 5) AND rune2 in (0, 1, 5) AND rune3 in "
                                    "(0, 1, 5) AND rune4 in (0, 1, 5) AND rune5 in (0, 1, 5) AND "
                                    "rune6 in (0, 1, 5));"));
    // "1 socket" has no piece of its own.
    QCOMPARE(search(0b111111'111111111, {}),
             start + QStringLiteral(
                         " Or nrrunes = 2 Or nrrunes = 3 Or nrrunes = 4 Or nrrunes = 5 Or nrrunes "
                         "= 6) and (false  OR armor = true Or helm = true Or belt = true Or boots "
                         "= true Or shield = true Or gloves = true Or meleeweapon = true Or "
                         "missileweapon = true Or Other = true) and (rune1 in (0) AND rune2 in (0) "
                         "AND rune3 in (0) AND rune4 in (0) AND rune5 in (0) AND rune6 in (0));"));
}

void TestSearch::resultsMatchModel()
{
    // One rune owned at a time: results of every size, down to a single row and none.
    QList<int> sizes;
    for (int k = 1; k <= 46; ++k) {
        search(0b111111'111111111, {k});
        QCOMPARE(sorted(listed(*form)), sorted(model(words, 0b111111'111111111, {k})));
        sizes << int(listed(*form).size());
    }
    QVERIFY(sizes.contains(1) && sizes.contains(0));
    QRandomGenerator rng(31337);
    for (int round = 0; round < 200; ++round) {
        const double share = rng.bounded(4) == 0 ? 1.0 : 0.3 + 0.7 * rng.generateDouble();
        QList<int> board;
        for (int k = 1; k <= 46; ++k) {
            if (rng.generateDouble() < share)
                board << k;
        }
        const int ticked = rng.bounded(64) << 9 | (rng.bounded(20) == 0 ? 0 : rng.bounded(1, 512));
        search(ticked, board);
        QCOMPARE(sorted(listed(*form)), sorted(model(words, ticked, board)));
        // The search reads the board; it never changes it.
        QCOMPARE(ownedTiles(*form), board);
    }
}

void TestSearch::oneRune()
{
    form->ownedState = {0, 0, 0, 0, 0, 0, 0, 1};
    form->ownedSaved = false;
    search(0b000010'000000010, {1, 2, 3, 12});
    form->Text1->setPlainText(QStringLiteral("earlier text"));
    form->TextRunes->setText(QStringLiteral("earlier runes"));
    form->mnuRunename->Tag = QStringLiteral("0"); // no rune: nothing changes
    form->mnuSearch_Click();
    QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 12}));
    QVERIFY(!form->ownedSaved);
    for (int r = 1; r <= 46; ++r) {
        trace.clear();
        form->mnuRunename->Tag = QString::number(r);
        form->mnuSearch_Click();
        QCOMPARE(trace.join(QString()),
                 QStringLiteral("Select * from runewords Where (runewords.rune1 = %1 OR "
                                "Runewords.rune2 = %1 OR Runewords.rune3 = %1 OR Runewords.rune4 "
                                "= %1 OR Runewords.rune5 = %1 OR Runewords.rune6 = %1)")
                     .arg(r));
        QStringList expected;
        for (const RunewordSource &w : std::as_const(words)) {
            if (std::count(w.runes.begin(), w.runes.end(), std::optional<int>(r)) > 0)
                expected << w.name;
        }
        QCOMPARE(sorted(listed(*form)), sorted(expected));
        QCOMPARE(ownedTiles(*form), QList<int>{r});
    }
    // Each search reset the window; the first kept the player's set for revert, the later
    // ones left that copy alone.
    QCOMPARE(tickedFilters(*form).split(QLatin1Char(' ')).size(), 15);
    QCOMPARE(form->Text1->toPlainText() + form->TextRunes->text(), QString());
    QVERIFY(form->ownedSaved);
    form->Commandrevert_Click();
    QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 12}));
}

QTEST_MAIN(TestSearch)
#include "test_search.moc"
