#include "data/failure.h"
#include "mainwindow/form1.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

namespace {

using Damage = std::function<void(TestFolder &)>;
using Check = std::function<void(Form1 &)>;

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

void overwrite(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray randomBytes(QRandomGenerator &random, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

struct Outcome {
    QString failure; // empty when the whole session ran
    qint64 milliseconds = 0;
    bool fileUnchanged = false;
    std::unique_ptr<Form1> form;
};

// Start-up exactly as main() runs it, then everything a session reads.
Outcome runSession(const TestFolder &folder)
{
    Outcome outcome;
    const QByteArray before = fileHash(folder.dataFile());
    QElapsedTimer timer;
    timer.start();
    try {
        outcome.form = startForm(folder.path());
        readEverything(*outcome.form);
    } catch (const Failure &failure) {
        outcome.failure = failure.text();
    }
    outcome.milliseconds = timer.elapsed();
    outcome.fileUnchanged = fileHash(folder.dataFile()) == before;
    return outcome;
}

// SQLite cannot drop a NOT NULL constraint; the schema's text is edited instead.
void dropNotNull(TestFolder &folder, const QString &table, const QString &column)
{
    folder.sql(QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = "
                              "replace(sql, '%2 TEXT NOT NULL', '%2 TEXT') WHERE name = '%1';")
                   .arg(table, column));
}

// About a megabyte of text: 20,000 lines ended by carriage return and line feed.
const char *const megabyteText =
    "replace(printf('%.20000c', 'x'), 'x', "
    "'forty-eight characters of a very long rune text' || char(13, 10))";

} // namespace

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(Check)

class TestHostile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void damagedFileFails_data();
    void damagedFileFails();
    void singleByteFlips();
    void toleratedValuesWork_data();
    void toleratedValuesWork();
};

void TestHostile::damagedFileFails_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("reason");

    auto sql = [](const QString &statements) {
        return [statements](TestFolder &f) { f.sql(statements); };
    };
    auto resize = [](qint64 (*size)(qint64)) {
        return [size](TestFolder &f) {
            QFile file(f.dataFile());
            QVERIFY(file.resize(size(file.size())));
        };
    };

    QTest::newRow("not an SQLite file") << Damage([](TestFolder &f) {
        QFile file(f.dataFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("runes: fire water earth\n").repeated(400));
    }) << QStringLiteral("file is not a database");
    QTest::newRow("zero bytes") << Damage(resize([](qint64) { return qint64(0); }))
                                << QStringLiteral("The file is empty.");
    QTest::newRow("truncated to half")
        << Damage(resize([](qint64 size) { return size / 2; })) << QStringLiteral("malformed");
    QTest::newRow("truncated inside the header")
        << Damage(resize([](qint64) { return qint64(60); })) << QStringLiteral("malformed");
    QTest::newRow("truncated by its last page")
        << Damage(resize([](qint64 size) { return size - 4096; })) << QStringLiteral("malformed");
    QTest::newRow("truncated by one byte") << Damage(resize([](qint64 size) { return size - 1; }))
                                           << QStringLiteral("The file is damaged");

    const int pages = int(QFileInfo(TestFolder().dataFile()).size() / 4096);
    for (int page = 1; page <= pages; ++page) {
        QTest::addRow("page %d overwritten with random bytes", page)
            << Damage([page](TestFolder &f) {
                   QRandomGenerator random{quint32(page)};
                   overwrite(f.dataFile(), (page - 1) * 4096LL, randomBytes(random, 4096));
               })
            << (page == 1 ? QStringLiteral("file is not a database")
                          : QStringLiteral("The file is damaged"));
    }

    QTest::newRow("view runesQuery missing")
        << Damage(sql(QStringLiteral("DROP VIEW runesQuery;")))
        << QStringLiteral("no table or stored query of that name");
    QTest::newRow("view savesQuery2 missing")
        << Damage(sql(QStringLiteral("DROP VIEW savesQuery2;")))
        << QStringLiteral("no table or stored query of that name");
    QTest::newRow("table saves missing") << Damage(sql(QStringLiteral("DROP TABLE saves;")))
                                         << QStringLiteral("no such table: main.saves");
    QTest::newRow("column Runename missing")
        << Damage(sql(QStringLiteral("ALTER TABLE runes RENAME COLUMN Runename TO Name;")))
        << QStringLiteral("Runename of runesQuery");
    QTest::newRow("column saveName missing")
        << Damage(sql(QStringLiteral("ALTER TABLE saves RENAME COLUMN saveName TO title;")))
        << QStringLiteral("saveName of savesQuery2");
    QTest::newRow("column runewordName missing")
        << Damage(
               sql(QStringLiteral("DROP VIEW runewordList; "
                                  "CREATE VIEW runewordList AS SELECT RuneWordName FROM RuneWords;"
                                  "ALTER TABLE RuneWords RENAME COLUMN RuneWordName TO title;")))
        << QStringLiteral("runewordName of runewordList");
    QTest::newRow("column nrrunes missing, which the display needs")
        << Damage(sql(QStringLiteral("ALTER TABLE RuneWords DROP COLUMN nrrunes;")))
        << QStringLiteral("nrrunes of Select * from RuneWords");
    QTest::newRow("savesQuery2 with nine rows")
        << Damage(sql(QStringLiteral("DELETE FROM saves WHERE savenumber = 10;")))
        << QStringLiteral("ends after 9 rows");
    QTest::newRow("runesQuery with 45 rows")
        << Damage(sql(QStringLiteral("DELETE FROM runes WHERE Runenumber = 46;")))
        << QStringLiteral("ends after 45 rows");
    QTest::newRow("Null Runename")
        << Damage(sql(QStringLiteral("UPDATE runes SET Runename = NULL WHERE Runenumber = 17;")))
        << QStringLiteral("Runename is Null");
    QTest::newRow("Null saveName") << Damage([](TestFolder &f) {
        dropNotNull(f, QStringLiteral("saves"), QStringLiteral("saveName"));
        f.sql(QStringLiteral("UPDATE saves SET saveName = NULL WHERE savenumber = 4;"));
    }) << QStringLiteral("saveName is Null");

    // Functions that reach outside the engine are refused in anything the file itself defines.
    QTest::newRow("view that loads a library")
        << Damage(sql(
               QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS "
                              "SELECT RuneWordName AS runewordName, load_extension('/tmp/x.so') "
                              "FROM RuneWords;")))
        << QStringLiteral("unsafe use of load_extension()");
    QTest::newRow("view that registers a tokenizer")
        << Damage(sql(QStringLiteral(
               "DROP VIEW runesQuery; CREATE VIEW runesQuery AS "
               "SELECT *, fts3_tokenizer('simple', x'4141414141414141') FROM runes;")))
        << QStringLiteral("unsafe use of fts3_tokenizer()");
    QTest::newRow("view that reads the raw pages")
        << Damage(sql(QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS "
                                     "SELECT name AS runewordName FROM dbstat;")))
        << QStringLiteral("unsafe use of virtual table");
    // A view that never ends, and one that asks for a gigabyte, must still end in a message.
    QTest::newRow("view without end")
        << Damage(
               sql(QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS "
                                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                                  "SELECT i AS runewordName FROM n;")))
        << QStringLiteral("did not end within the work allowed");
    QTest::newRow("view of a gigabyte")
        << Damage(sql(QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS "
                                     "SELECT zeroblob(900000000) AS runewordName;")))
        << QStringLiteral("string or blob too big");
    QTest::newRow("view of many large values")
        << Damage(sql(
               QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS "
                              "SELECT zeroblob(10000000) AS runewordName FROM RuneWords, runes;")))
        << QStringLiteral("larger than the program allows");
}

void TestHostile::damagedFileFails()
{
    QFETCH(Damage, damage);
    QFETCH(QString, reason);
    TestFolder folder;
    damage(folder);
    const Outcome outcome = runSession(folder);
    QVERIFY2(!outcome.failure.isEmpty(), "the damaged file was accepted");
    QVERIFY2(outcome.failure.contains(folder.dataFile()), qPrintable(outcome.failure));
    QVERIFY2(outcome.failure.contains(reason), qPrintable(outcome.failure));
    QVERIFY2(outcome.milliseconds < 2000, qPrintable(QString::number(outcome.milliseconds)));
    QVERIFY(outcome.fileUnchanged);
}

// Each file differs from the shipped one by one byte. Most bytes are text or free space and
// the file still works; the others must fail cleanly.
void TestHostile::singleByteFlips()
{
    TestFolder folder;
    QFile shipped(folder.dataFile());
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QByteArray original = shipped.readAll();
    shipped.close();

    QRandomGenerator random(20240611);
    int failed = 0;
    constexpr int flips = 1000;
    for (int i = 0; i < flips; ++i) {
        QByteArray damaged = original;
        const int offset = random.bounded(damaged.size());
        damaged[offset] = char(damaged[offset] ^ (1 << random.bounded(8)));
        {
            QFile file(folder.dataFile());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(file.write(damaged), damaged.size());
        }
        const Outcome outcome = runSession(folder);
        const QString context = QStringLiteral("byte %1: %2").arg(offset).arg(outcome.failure);
        if (!outcome.failure.isEmpty()) {
            ++failed;
            QVERIFY2(outcome.failure.contains(folder.dataFile()), qPrintable(context));
        }
        QVERIFY2(outcome.milliseconds < 2000, qPrintable(context));
        QVERIFY2(outcome.fileUnchanged, qPrintable(context));
    }
    qInfo("%d files with one flipped bit: %d failed with a message, %d worked", flips, failed,
          flips - failed);
}

void TestHostile::toleratedValuesWork_data()
{
    QTest::addColumn<QString>("statements");
    QTest::addColumn<Check>("check");

    const Check nothing = [](Form1 &) {};
    QTest::newRow("Null slots")
        << QStringLiteral(
               "UPDATE RuneWords SET rune2 = NULL WHERE RunewordID % 3 = 0;"
               "UPDATE RuneWords SET rune1 = NULL, rune6 = NULL WHERE RunewordID % 3 = 1;")
        << nothing;
    QTest::newRow("Null item types")
        << QStringLiteral("UPDATE RuneWords SET helm = NULL, armor = NULL, Other = NULL;")
        << nothing;
    QTest::newRow("Null text") << QStringLiteral("UPDATE RuneWords SET runewordText = NULL;")
                               << nothing;
    QTest::newRow("nrrunes out of range")
        << QStringLiteral(
               "UPDATE RuneWords SET nrrunes = CASE RunewordID % 6 WHEN 0 THEN 0 WHEN 1 THEN 7 "
               "WHEN 2 THEN -3 WHEN 3 THEN 1e300 WHEN 4 THEN NULL ELSE 'four' END;")
        << nothing;
    QTest::newRow("rune numbers outside the board")
        << QStringLiteral(
               "UPDATE RuneWords SET rune1 = 47, rune2 = -1, rune3 = 9223372036854775807, rune4 = "
               "1e300,"
               " rune5 = 2.5, rune6 = 'five' WHERE RunewordID % 2 = 0;"
               "INSERT INTO ownedRunes VALUES (1, 0), (1, 47), (1, -8), (1, 1e300), (1, 3), "
               "(1e300, 4);")
        << nothing;
    QTest::newRow("apostrophes and blanks in names")
        << QStringLiteral(
               "UPDATE RuneWords SET RuneWordName = 'Hunter''s '' Moon' WHERE RunewordID = 1;"
               "UPDATE RuneWords SET RuneWordName = '  spaced  out ' WHERE RunewordID = 2;"
               "UPDATE runes SET Runename = 'O''Dell' WHERE Runenumber = 5;"
               "UPDATE saves SET saveName = ' it''s mine ' WHERE savenumber = 2;")
        << Check([](Form1 &form) {
               QCOMPARE(form.Label1[4]->text(), QStringLiteral("O'Dell"));
               QCOMPARE(form.mnuload[2]->text(), QStringLiteral(" it's mine "));
           });
    QTest::newRow("texts of a megabyte")
        << QStringLiteral(
               "UPDATE RuneWords SET runewordText = %1 WHERE RunewordID % 10 = 1"
               " OR RuneWordName = (SELECT min(RuneWordName) FROM RuneWords);"
               "UPDATE runes SET Runename = printf('%.1000000c', 'r') WHERE Runenumber = 1;"
               "UPDATE saves SET saveName = printf('%.1000000c', 's') WHERE savenumber = 3;")
               .arg(QLatin1String(megabyteText))
        << Check([](Form1 &form) {
               QCOMPARE(form.Label1[0]->text().size(), 1000000);
               form.Fillrunewordlist();
               form.List1->setCurrentRow(0);
               QVERIFY(form.Text1->toPlainText().size() > 900000);
           });
    QTest::newRow("names in other scripts")
        << QStringLiteral("UPDATE runes SET Runename = 'ᚠᛖᚺᚢ' WHERE Runenumber = 1;"
                          "UPDATE runes SET Runename = 'Ωμέγα' WHERE Runenumber = 2;"
                          "UPDATE runes SET Runename = 'ملح' WHERE Runenumber = 3;"
                          "UPDATE runes SET Runename = '鉄🜂' WHERE Runenumber = 4;"
                          "UPDATE RuneWords SET RuneWordName = 'Ночь' WHERE RunewordID = 1;"
                          "UPDATE saves SET saveName = 'セーブ' WHERE savenumber = 1;")
        << Check([](Form1 &form) {
               QCOMPARE(form.Label1[3]->text(), QStringLiteral("鉄🜂"));
               QCOMPARE(form.mnuSave[1]->text(), QStringLiteral("セーブ"));
               form.Fillrunewordlist();
               QVERIFY(form.List1->find(QStringLiteral("Ночь")) >= 0);
           });
    QTest::newRow("WAL journal mode") << QStringLiteral("PRAGMA journal_mode = WAL;") << nothing;
}

void TestHostile::toleratedValuesWork()
{
    QFETCH(QString, statements);
    QFETCH(Check, check);
    TestFolder folder;
    folder.sql(statements);
    const FailureRecorder reported;
    const Outcome outcome = runSession(folder);
    QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
    QVERIFY(reported.texts.isEmpty());
    QVERIFY(outcome.fileUnchanged);
    check(*outcome.form);
}

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
