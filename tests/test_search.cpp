#include "gamedata.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>

namespace {

// The item-type boxes in the order of the data's columns (armor, helm, belt, ...).
std::array<QCheckBox *, 9> typeBoxes(const Form1 &form)
{
    return {form.CheckBodyArmor,   form.CheckHelm,          form.CheckBelt,
            form.CheckBoots,       form.CheckShield,        form.CheckGloves,
            form.CheckMeleeWeapon, form.CheckmissileWeapon, form.Checkother};
}

// sockets: bit k ticks Checksockets(k); types: bit i ticks typeBoxes()[i].
void setFilters(Form1 &form, int sockets, int types)
{
    for (int k = 0; k < 6; ++k)
        form.Checksockets[size_t(k)]->setChecked(sockets & (1 << k));
    const auto boxes = typeBoxes(form);
    for (int i = 0; i < 9; ++i)
        boxes[size_t(i)]->setChecked(types & (1 << i));
}

QStringList listed(const Form1 &form)
{
    QStringList names;
    for (int row = 0; row < form.List1->count(); ++row)
        names << form.List1->item(row)->text();
    return names;
}

// What the search should find, worked out from the data as written.
bool found(const RunewordSource &word, int sockets, int types, const QSet<int> &owned)
{
    const bool socketsPass = word.nrrunes == 1 || (word.nrrunes >= 2 && word.nrrunes <= 6 &&
                                                   (sockets & (1 << (word.nrrunes - 1))));
    bool typePass = false;
    for (int i = 0; i < 9; ++i)
        typePass = typePass || (word.types[size_t(i)] && (types & (1 << i)));
    bool runesPass = true;
    for (const auto &slot : word.runes)
        runesPass = runesPass && slot && (*slot == 0 || owned.contains(*slot));
    return socketsPass && typePass && runesPass;
}

RunewordSource word(const QString &name, std::array<std::optional<int>, 6> runes, int nrrunes)
{
    RunewordSource w;
    w.name = name;
    w.runes = runes;
    w.nrrunes = nrrunes;
    w.types.fill(true);
    return w;
}

// Runewords with Null slots, repeated runes, gaps between filled slots, slots out of range
// and nrrunes that does not always count the filled slots; a few fixed ones around rune 12.
QList<RunewordSource> generatedRunewords()
{
    QList<RunewordSource> words{
        word(QStringLiteral("Fixed First"), {12, 4, 0, 0, 0, 0}, 2),
        word(QStringLiteral("Fixed Sixth"), {3, 5, 0, 0, 0, 12}, 3),
        word(QStringLiteral("Fixed Twice"), {12, 0, 12, 7, 0, 0}, 3),
        word(QStringLiteral("Fixed Solo"), {0, 12, 0, 0, 0, 0}, 1),
        word(QStringLiteral("Fixed Pair"), {12, 12, 0, 0, 0, 0}, 2),
    };
    QRandomGenerator rng(1729);
    for (int i = 0; i < 300; ++i) {
        RunewordSource w;
        w.name = QStringLiteral("Gen %1").arg(i);
        w.runes.fill(0);
        const int filled = rng.bounded(1, 7);
        std::array<int, 6> order{0, 1, 2, 3, 4, 5};
        std::shuffle(order.begin(), order.end(), rng);
        for (int j = 0; j < filled; ++j) {
            const int roll = rng.bounded(100);
            int rune = rng.bounded(1, 47);
            if (roll < 20 && j > 0)
                rune = *w.runes[size_t(order[0])];
            else if (roll < 22)
                rune = 47;
            w.runes[size_t(order[size_t(j)])] = rune;
        }
        for (auto &slot : w.runes) {
            if (rng.bounded(100) < 4)
                slot.reset();
        }
        w.nrrunes = rng.bounded(8) == 0 ? rng.bounded(0, 8) : filled;
        for (bool &type : w.types)
            type = rng.bounded(3) == 0;
        words << w;
    }
    return words;
}

const QString allRunes = QStringLiteral(
    "0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, "
    "25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46");

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void queryText_data();
    void queryText();
    void resultsMatchModel();
    void oneRuneQueryText_data();
    void oneRuneQueryText();
    void oneRuneResultsMatchModel();
    void oneRuneResetsWindow();
    void searchAfterOneRune();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Form1> form;
    QList<RunewordSource> words;
    QStringList trace;
};

void TestSearch::initTestCase()
{
    folder = std::make_unique<TestFolder>();
    GameData data = readGameData(gameDataSources());
    words = generatedRunewords();
    data.runewords = words;
    writeDataFile(data, readSchema(gameDataSources()), folder->dataFile());
    form = startForm(folder->path());
    form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
}

void TestSearch::init()
{
    trace.clear();
}

void TestSearch::queryText_data()
{
    QTest::addColumn<int>("sockets");
    QTest::addColumn<int>("types");
    QTest::addColumn<QList<int>>("owned");
    QTest::addColumn<QString>("expected");

    const QString start = QStringLiteral(
        "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1");
    QTest::newRow("worked example")
        << 0b000110 << 0b1 << QList<int>{1, 5}
        << start + QStringLiteral(" Or nrrunes = 2 Or nrrunes = 3) and (false  OR armor = true) "
                                  "and (rune1 in (0, 1, "
                                  "5) AND rune2 in (0, 1, 5) AND rune3 in (0, 1, 5) AND rune4 in "
                                  "(0, 1, 5) AND rune5 "
                                  "in (0, 1, 5) AND rune6 in (0, 1, 5));");
    QTest::newRow("no item type")
        << 0b111111 << 0 << QList<int>{46}
        << start + QStringLiteral(" Or nrrunes = 2 Or nrrunes = 3 Or nrrunes = 4 Or nrrunes = 5 Or "
                                  "nrrunes = 6) and "
                                  "(false ) and (rune1 in (0, 46) AND rune2 in (0, 46) AND rune3 "
                                  "in (0, 46) AND rune4 "
                                  "in (0, 46) AND rune5 in (0, 46) AND rune6 in (0, 46));");
    QTest::newRow("no socket box, only 1 socket")
        << 0b000001 << 0b111111111 << QList<int>{9, 10}
        << start +
               QStringLiteral(
                   ") and (false  OR armor = true Or helm = true Or belt = true Or boots = true Or "
                   "shield = true Or gloves = true Or meleeweapon = true Or missileweapon = true "
                   "Or "
                   "Other = true) and (rune1 in (0, 9, 10) AND rune2 in (0, 9, 10) AND rune3 in "
                   "(0, "
                   "9, 10) AND rune4 in (0, 9, 10) AND rune5 in (0, 9, 10) AND rune6 in (0, 9, "
                   "10));");
    QTest::newRow("no tile owned")
        << 0b100000 << 0b100000000 << QList<int>{}
        << start + QStringLiteral(" Or nrrunes = 6) and (false  Or Other = true) and (rune1 in "
                                  "(0) AND rune2 in (0) AND rune3 in (0) AND rune4 in (0) AND "
                                  "rune5 in (0) AND rune6 in (0));");
    QList<int> all;
    for (int k = 1; k <= 46; ++k)
        all << k;
    QTest::newRow("all owned")
        << 0b010000 << 0b010000010 << all
        << start +
               QStringLiteral(" Or nrrunes = 5) and (false  Or helm = true Or missileweapon = "
                              "true) and (rune1 in (%1) AND rune2 in (%1) AND rune3 in (%1) AND "
                              "rune4 in (%1) AND rune5 in (%1) AND rune6 in (%1));")
                   .arg(allRunes);
}

void TestSearch::queryText()
{
    QFETCH(int, sockets);
    QFETCH(int, types);
    QFETCH(QList<int>, owned);
    QFETCH(QString, expected);
    setBoard(*form, owned);
    setFilters(*form, sockets, types);
    form->CommandSearch_Click();
    QCOMPARE(trace, QStringList{expected});
    if (types == 0)
        QCOMPARE(form->List1->count(), 0);
}

void TestSearch::resultsMatchModel()
{
    QRandomGenerator rng(31337);
    int nonEmpty = 0;
    for (int round = 0; round < 400; ++round) {
        const double share = rng.bounded(4) == 0 ? 1.0 : 0.3 + 0.7 * rng.generateDouble();
        QSet<int> owned;
        for (int k = 1; k <= 46; ++k) {
            if (rng.generateDouble() < share)
                owned.insert(k);
        }
        const int sockets = rng.bounded(64);
        const int types = rng.bounded(20) == 0 ? 0 : rng.bounded(1, 512);
        const QList<int> board(owned.begin(), owned.end());
        setBoard(*form, board);
        setFilters(*form, sockets, types);

        form->CommandSearch_Click();

        const QStringList names = listed(*form);
        QSet<QString> expected;
        for (const RunewordSource &w : std::as_const(words)) {
            if (found(w, sockets, types, owned))
                expected.insert(w.name);
        }
        const QSet<QString> got(names.begin(), names.end());
        QCOMPARE(names.size(), got.size());
        if (got != expected)
            QFAIL(qPrintable(
                QStringLiteral("round %1: missing %2, extra %3")
                    .arg(round)
                    .arg(QStringList((expected - got).values()).join(QLatin1Char(',')),
                         QStringList((got - expected).values()).join(QLatin1Char(',')))));
        // The search reads the board; it never changes it.
        const QList<int> after = ownedTiles(*form);
        QCOMPARE(QSet<int>(after.begin(), after.end()), owned);
        nonEmpty += names.isEmpty() ? 0 : 1;
    }
    QVERIFY(nonEmpty > 100);
}

void TestSearch::oneRuneQueryText_data()
{
    QTest::addColumn<QString>("rune");
    QTest::addColumn<QString>("expected");
    QTest::newRow("12") << QStringLiteral("12")
                        << QStringLiteral(
                               "Select * from runewords Where (runewords.rune1 = 12 OR "
                               "Runewords.rune2 = 12 OR Runewords.rune3 = 12 OR Runewords.rune4 = "
                               "12 OR Runewords.rune5 = 12 OR Runewords.rune6 = 12)");
    QTest::newRow("7") << QStringLiteral("7")
                       << QStringLiteral("Select * from runewords Where (runewords.rune1 = 7 OR "
                                         "Runewords.rune2 = 7 OR Runewords.rune3 = 7 OR "
                                         "Runewords.rune4 = 7 OR Runewords.rune5 = 7 OR "
                                         "Runewords.rune6 = 7)");
}

void TestSearch::oneRuneQueryText()
{
    QFETCH(QString, rune);
    QFETCH(QString, expected);
    form->mnuRunename->Tag = rune;
    form->mnuSearch_Click();
    QCOMPARE(trace, QStringList{expected});
}

void TestSearch::oneRuneResultsMatchModel()
{
    for (int r = 1; r <= 46; ++r) {
        form->mnuRunename->Tag = QString::number(r);
        form->mnuSearch_Click();
        const QStringList names = listed(*form);
        QSet<QString> expected;
        for (const RunewordSource &w : std::as_const(words)) {
            if (std::find(w.runes.begin(), w.runes.end(), std::optional<int>(r)) != w.runes.end())
                expected.insert(w.name);
        }
        const QSet<QString> got(names.begin(), names.end());
        QCOMPARE(names.size(), got.size());
        QCOMPARE(got, expected);
        if (r == 12) {
            for (const char *name : {"Fixed First", "Fixed Sixth", "Fixed Twice"})
                QVERIFY(got.contains(QLatin1String(name)));
        }
    }
}

void TestSearch::oneRuneResetsWindow()
{
    for (const bool saved : {false, true}) {
        setBoard(*form, {1, 2, 3, 12});
        setFilters(*form, 0b000010, 0b10);
        form->Text1->setPlainText(QStringLiteral("earlier text"));
        form->TextRunes->setText(QStringLiteral("earlier runes"));
        form->ownedState.fill(0);
        form->ownedState[7] = 1;
        const auto state = form->ownedState;
        form->ownedSaved = saved;

        // A stored number of 0 or less changes nothing.
        trace.clear();
        form->mnuRunename->Tag = QStringLiteral("0");
        form->mnuSearch_Click();
        QVERIFY(trace.isEmpty());
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 3, 12}));
        QCOMPARE(form->TextRunes->text(), QStringLiteral("earlier runes"));

        form->mnuRunename->Tag = QStringLiteral("3");
        form->mnuSearch_Click();
        QCOMPARE(ownedTiles(*form), QList<int>{3});
        QCOMPARE(form->PictureRunes[3]->BackColor(), 0);
        for (QCheckBox *box : typeBoxes(*form))
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        for (QCheckBox *box : form->Checksockets)
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        QCOMPARE(form->Text1->toPlainText(), QString());
        QCOMPARE(form->TextRunes->text(), QString());
        QVERIFY(form->List1->count() > 0);
        QCOMPARE(form->ownedState, state);
        QCOMPARE(form->ownedSaved, saved);
    }
}

void TestSearch::searchAfterOneRune()
{
    form->mnuRunename->Tag = QStringLiteral("12");
    form->mnuSearch_Click();
    form->CommandSearch_Click();
    const QStringList names = listed(*form);
    QSet<QString> expected;
    for (const RunewordSource &w : std::as_const(words)) {
        if (found(w, 0b111111, 0b111111111, {12}))
            expected.insert(w.name);
    }
    QVERIFY(expected.contains(QStringLiteral("Fixed Solo")));
    QVERIFY(expected.contains(QStringLiteral("Fixed Pair")));
    QCOMPARE(QSet<QString>(names.begin(), names.end()), expected);
    QCOMPARE(names.size(), expected.size());
}

QTEST_MAIN(TestSearch)
#include "test_search.moc"
