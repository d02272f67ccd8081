#include "data/database.h"
#include "data/failure.h"
#include "data/querydef.h"
#include "data/recordset.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <thread>

namespace {

// The failure's text when the call fails, a null string when it does not.
template <typename Call> QString failureOf(Call &&call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return failure.text();
    }
    return {};
}

QStringList values(Recordset &rows, const QString &field)
{
    QStringList result;
    if (!rows.eof())
        rows.moveFirst();
    for (; !rows.eof(); rows.moveNext())
        result << rows.field(field).toString();
    return result;
}

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

class TestData : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void namesMatchWithoutRegardToCase_data();
    void namesMatchWithoutRegardToCase();
    void movingThroughRows();
    void nullStaysDistinct();
    void findFirstPositionsOnTheSlot();
    void writesReachTheFileAtOnce();
    void snapshotIsFixedWhenOpened();
    void keptStatementsFollowTheFile();
    void deleteThroughStoredQuerySeenByOtherConnection();
    void busyFileIsWaitedOn();
    void quotedSqlRunsUnchanged_data();
    void quotedSqlRunsUnchanged();
    void unusableFilesAreRefused_data();
    void unusableFilesAreRefused();
    void schemaCannotRunCode();
    void failuresNameWhatWasAttempted();
    void unfinishedTransactionRollsBack();

private:
    // Read by the tests that change nothing; the others make their own.
    std::unique_ptr<TestFolder> shared;
};

void TestData::initTestCase()
{
    shared = std::make_unique<TestFolder>();
    // For the search: only the first is found; one has a Null slot, one the wrong type, one
    // too many runes.
    shared->sql(QStringLiteral(
        "INSERT INTO RuneWords (RuneWordName, nrrunes, rune1, rune2, rune3, rune4, rune5, rune6, "
        "armor, helm, belt, boots, shield, gloves, meleeweapon, missileweapon, Other) VALUES "
        "('Pair Ward', 2, 5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Gap Ward', 2, 1, NULL, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Lone Helm', 1, 5, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0),"
        "('Wide Ward', 4, 1, 5, 1, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0);"));
}

void TestData::namesMatchWithoutRegardToCase_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("sameData");

    QTest::newRow("runewords") << "runewords"
                               << "runewordName"
                               << "SELECT RuneWordName FROM RuneWords ORDER BY rowid";
    QTest::newRow("Runewords") << "Runewords"
                               << "RUNEWORDTEXT"
                               << "SELECT runewordText FROM RuneWords ORDER BY rowid";
    QTest::newRow("RUNES") << "RUNES"
                           << "runename"
                           << "SELECT Runename FROM runes";
    QTest::newRow("runesquery") << "runesquery"
                                << "RuneName"
                                << "SELECT Runename FROM runesQuery";
    QTest::newRow("RuneWordList") << "RuneWordList"
                                  << "RuneWordName"
                                  << "SELECT runewordName FROM runewordList";
    QTest::newRow("SAVESQUERY2") << "SAVESQUERY2"
                                 << "savename"
                                 << "SELECT saveName FROM savesQuery2";
    QTest::newRow("savesquery") << "savesquery"
                                << "RuneNumber"
                                << "SELECT runenumber FROM savesQuery";
    QTest::newRow("OwnedRunes") << "OwnedRunes"
                                << "SaveNumber"
                                << "SELECT savenumber FROM ownedRunes";
}

void TestData::namesMatchWithoutRegardToCase()
{
    TestFolder &folder = *shared;
    QFETCH(QString, object);
    QFETCH(QString, field);
    QFETCH(QString, sameData);

    Database db(folder.dataFile());
    const std::unique_ptr<Recordset> rows = db.openRecordset(object);
    const QStringList expected = folder.column(sameData);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(rows->recordCount(), expected.size());
    // Positioned on its first row without being asked.
    QCOMPARE(rows->field(field).toString(), expected.first());
    QCOMPARE(values(*rows, field), expected);
}

void TestData::movingThroughRows()
{
    TestFolder &folder = *shared;
    const QString schema = QStringLiteral("SELECT count(*) FROM sqlite_schema");
    const QVariant objects = folder.scalar(schema);
    Database db(folder.dataFile());
    const std::unique_ptr<QueryDef> three = db.createQueryDef(
        QStringLiteral("SELECT Runenumber FROM runes WHERE Runenumber <= 3 ORDER BY Runenumber"));
    const std::unique_ptr<Recordset> rows = three->openRecordset();
    QCOMPARE(rows->recordCount(), 3);
    for (int expected = 1; expected <= 3; ++expected) {
        QVERIFY(!rows->eof());
        QCOMPARE(rows->field(QStringLiteral("runenumber")).toInt(), expected);
        rows->moveNext();
    }
    QVERIFY(rows->eof());
    QVERIFY_THROWS_EXCEPTION(Failure, rows->field(QStringLiteral("Runenumber")));
    QVERIFY_THROWS_EXCEPTION(Failure, rows->moveNext());
    rows->moveFirst();
    QCOMPARE(rows->field(QStringLiteral("Runenumber")).toInt(), 1);

    const std::unique_ptr<Recordset> none =
        db.createQueryDef(QStringLiteral("SELECT * FROM runes WHERE Runenumber > 46"))
            ->openRecordset();
    QCOMPARE(none->recordCount(), 0);
    QVERIFY(none->eof());
    QVERIFY_THROWS_EXCEPTION(Failure, none->moveFirst());

    rows->close();
    QVERIFY_THROWS_EXCEPTION(Failure, rows->moveFirst());
    three->close();
    QVERIFY_THROWS_EXCEPTION(Failure, three->openRecordset());

    // A query definition is never stored in the file.
    QCOMPARE(folder.scalar(schema), objects);
}

void TestData::nullStaysDistinct()
{
    TestFolder &folder = *shared;
    Database db(folder.dataFile());
    const std::unique_ptr<Recordset> row =
        db.createQueryDef(QStringLiteral("SELECT NULL AS absent, 0 AS zero, '' AS empty"))
            ->openRecordset();
    QVERIFY(row->field(QStringLiteral("absent")).isNull());
    QVERIFY(!row->field(QStringLiteral("zero")).isNull());
    QCOMPARE(row->field(QStringLiteral("zero")).toInt(), 0);
    QVERIFY(!row->field(QStringLiteral("empty")).isNull());
    QCOMPARE(row->field(QStringLiteral("empty")).toString(), QString());

    const QString textless =
        folder
            .scalar(QStringLiteral("SELECT RuneWordName FROM RuneWords WHERE runewordText IS NULL"))
            .toString();
    QVERIFY(!textless.isEmpty());
    const std::unique_ptr<Recordset> word = db.openRecordset(QStringLiteral("RuneWords"));
    QVERIFY(word->findFirst(QStringLiteral("RuneWordName = '%1'").arg(textless)));
    QVERIFY(word->field(QStringLiteral("runewordText")).isNull());
}

void TestData::findFirstPositionsOnTheSlot()
{
    TestFolder folder;
    folder.sql(QStringLiteral(
        "INSERT INTO ownedRunes (savenumber, runenumber) VALUES (7, 5), (3, 1), (7, 9);"));
    Database db(folder.dataFile());
    const std::unique_ptr<Recordset> rows = db.openRecordset(QStringLiteral("savesquery"));

    // The slot's rows stand together, so walking on from the first one reaches them all.
    QVERIFY(rows->findFirst(QStringLiteral("SaveNumber =  7")));
    QCOMPARE(rows->field(QStringLiteral("savenumber")).toInt(), 7);
    QCOMPARE(rows->field(QStringLiteral("runenumber")).toInt(), 5);
    rows->moveNext();
    QCOMPARE(rows->field(QStringLiteral("savenumber")).toInt(), 7);
    QCOMPARE(rows->field(QStringLiteral("runenumber")).toInt(), 9);
    rows->moveNext();
    QCOMPARE(rows->field(QStringLiteral("savenumber")).toInt(), 10);

    QVERIFY(!rows->findFirst(QStringLiteral("SaveNumber =  4")));
    QVERIFY(rows->eof());
    QVERIFY_THROWS_EXCEPTION(Failure, rows->field(QStringLiteral("savenumber")));
}

void TestData::writesReachTheFileAtOnce()
{
    TestFolder folder;
    Database db(folder.dataFile());

    const std::unique_ptr<Recordset> saves = db.openRecordset(QStringLiteral("Saves"));
    QVERIFY(saves->findFirst(QStringLiteral("savenumber = 3")));
    saves->edit();
    saves->setField(QStringLiteral("SAVENAME"), QStringLiteral("gathered"));
    saves->update();
    QCOMPARE(saves->field(QStringLiteral("saveName")).toString(), QStringLiteral("gathered"));
    QCOMPARE(
        folder.scalar(QStringLiteral("SELECT saveName FROM saves WHERE savenumber = 3")).toString(),
        QStringLiteral("gathered"));

    const std::unique_ptr<Recordset> owned = db.openRecordset(QStringLiteral("ownedrunes"));
    owned->addNew();
    owned->setField(QStringLiteral("SaveNumber"), 4);
    owned->setField(QStringLiteral("RuneNumber"), 17);
    owned->update();
    QCOMPARE(
        folder.column(QStringLiteral("SELECT runenumber FROM ownedRunes WHERE savenumber = 4")),
        QStringList{QStringLiteral("17")});

    QVERIFY(owned->findFirst(QStringLiteral("savenumber = 10 AND runenumber = 1")));
    owned->deleteRow();
    QCOMPARE(folder
                 .scalar(QStringLiteral("SELECT count(*) FROM ownedRunes WHERE savenumber = 10 "
                                        "AND runenumber = 1"))
                 .toString(),
             QStringLiteral("0"));
    owned->moveNext();
    QCOMPARE(owned->field(QStringLiteral("runenumber")).toInt(), 2);

    const std::unique_ptr<Recordset> snapshot =
        db.createQueryDef(QStringLiteral("SELECT * FROM saves"))->openRecordset();
    QVERIFY_THROWS_EXCEPTION(Failure, snapshot->edit());
    QVERIFY_THROWS_EXCEPTION(Failure, snapshot->addNew());
    QVERIFY_THROWS_EXCEPTION(Failure, snapshot->deleteRow());
}

void TestData::snapshotIsFixedWhenOpened()
{
    TestFolder folder;
    Database db(folder.dataFile());
    const QString sql = QStringLiteral("SELECT saveName FROM saves WHERE savenumber = 1");
    const std::unique_ptr<QueryDef> query = db.createQueryDef(sql);
    const std::unique_ptr<Recordset> before = query->openRecordset();
    const QString original = before->field(QStringLiteral("saveName")).toString();

    const std::unique_ptr<Recordset> saves = db.openRecordset(QStringLiteral("saves"));
    saves->edit();
    saves->setField(QStringLiteral("saveName"), QStringLiteral("changed"));
    saves->update();

    QCOMPARE(before->field(QStringLiteral("saveName")).toString(), original);
    QCOMPARE(query->openRecordset()->field(QStringLiteral("saveName")).toString(),
             QStringLiteral("changed"));
}

void TestData::keptStatementsFollowTheFile()
{
    TestFolder folder;
    Database db(folder.dataFile());
    const QString sql = QStringLiteral("SELECT * FROM savesQuery2");
    QCOMPARE(db.createQueryDef(sql)->openRecordset()->field(QStringLiteral("saveName")).toString(),
             QStringLiteral("empty 1"));

    // The same text again, after another program gave the stored query other columns.
    folder.sql(QStringLiteral("DROP VIEW savesQuery2; CREATE VIEW savesQuery2 AS SELECT "
                              "savenumber, upper(saveName) AS label FROM saves;"));
    const std::unique_ptr<Recordset> changed = db.createQueryDef(sql)->openRecordset();
    QCOMPARE(changed->field(QStringLiteral("label")).toString(), QStringLiteral("EMPTY 1"));
    QVERIFY_THROWS_EXCEPTION(Failure, changed->field(QStringLiteral("saveName")));

    // More texts than are kept, each used twice, some after they were let go.
    for (int i = 0; i < 600; ++i) {
        const std::unique_ptr<Recordset> row =
            db.createQueryDef(QStringLiteral("SELECT %1 AS n").arg(i % 300))->openRecordset();
        QCOMPARE(row->field(QStringLiteral("n")).toInt(), i % 300);
    }
}

void TestData::deleteThroughStoredQuerySeenByOtherConnection()
{
    TestFolder folder;
    Database main(folder.dataFile());
    Database dialog(folder.dataFile());
    // Loading a slot leaves its row set open; that must not keep the other connection out.
    const std::unique_ptr<Recordset> leftOpen = main.openRecordset(QStringLiteral("savesQuery"));
    QCOMPARE(leftOpen->recordCount(), 46);

    const std::unique_ptr<Recordset> rows = dialog.openRecordset(QStringLiteral("savesquery"));
    QVERIFY(rows->findFirst(QStringLiteral("SaveNumber =  10")));
    QCOMPARE(rows->field(QStringLiteral("runenumber")).toInt(), 1);
    rows->deleteRow();
    rows->moveNext();
    QCOMPARE(rows->field(QStringLiteral("runenumber")).toInt(), 2);

    const std::unique_ptr<Recordset> reread = main.openRecordset(QStringLiteral("savesQuery"));
    QCOMPARE(reread->recordCount(), 45);
    QVERIFY(!values(*reread, QStringLiteral("runenumber")).contains(QStringLiteral("1")));
    QCOMPARE(folder.scalar(QStringLiteral("SELECT count(*) FROM ownedRunes")).toString(),
             QStringLiteral("45"));
}

void TestData::busyFileIsWaitedOn()
{
    TestFolder folder;
    Database db(folder.dataFile());
    const std::unique_ptr<Recordset> saves = db.openRecordset(QStringLiteral("saves"));

    // Another program holds the write lock for a moment; our write waits for it to finish.
    QSemaphore locked;
    std::thread holder([path = QFile::encodeName(folder.dataFile()), &locked] {
        sqlite3 *other = nullptr;
        sqlite3_open(path.constData(), &other);
        sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        locked.release();
        QThread::msleep(300);
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    });
    locked.acquire();
    const QString failure = failureOf([&] {
        saves->edit();
        saves->setField(QStringLiteral("saveName"), QStringLiteral("waited"));
        saves->update();
    });
    holder.join();
    QVERIFY2(failure.isNull(), qPrintable(failure));
    QCOMPARE(
        folder.scalar(QStringLiteral("SELECT saveName FROM saves WHERE savenumber = 1")).toString(),
        QStringLiteral("waited"));
}

void TestData::quotedSqlRunsUnchanged_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("sameData");

    QTest::newRow("search")
        << "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1 "
           "Or nrrunes = 2 Or nrrunes = 3) and (false  OR armor = true) and (rune1 in (0, 1, 5) "
           "AND rune2 in (0, 1, 5) AND rune3 in (0, 1, 5) AND rune4 in (0, 1, 5) AND rune5 in (0, "
           "1, 5) AND rune6 in (0, 1, 5));"
        << "runewordName"
        << "SELECT 'Pair Ward'";
    QTest::newRow("runewords containing one rune")
        << "Select * from runewords Where (runewords.rune1 = 12 OR Runewords.rune2 = 12 OR "
           "Runewords.rune3 = 12 OR Runewords.rune4 = 12 OR Runewords.rune5 = 12 OR "
           "Runewords.rune6 = 12)"
        << "runewordName"
        << "SELECT RuneWordName FROM RuneWords WHERE 12 IN (rune1, rune2, rune3, rune4, rune5, "
           "rune6)";
    QTest::newRow("runeword by name")
        << "Select * from RuneWords Where runewords.RuneWordName = 'Driftglass'"
        << "runewordText"
        << "SELECT runewordText FROM RuneWords WHERE RuneWordName = 'Driftglass'";
    QTest::newRow("rune name") << "Select runes.runename from runes Where runes.Runenumber = 7"
                               << "Runename"
                               << "SELECT Runename FROM runes WHERE Runenumber = 7";
    QTest::newRow("rune name, number after a sign blank")
        << "Select runes.runename from runes Where runes.Runenumber =  46"
        << "Runename"
        << "SELECT Runename FROM runes WHERE Runenumber = 46";
    QTest::newRow("rune look-up") << "Select * from runes Where runes.Runenumber = 7"
                                  << "Runefunction3"
                                  << "SELECT Runefunction3 FROM runes WHERE Runenumber = 7";
}

void TestData::quotedSqlRunsUnchanged()
{
    TestFolder &folder = *shared;
    QFETCH(QString, sql);
    QFETCH(QString, field);
    QFETCH(QString, sameData);

    const QStringList expected = folder.column(sameData);
    QVERIFY(!expected.isEmpty());

    Database db(folder.dataFile());
    QStringList traced;
    db.setTraceHook([&traced](const QString &text) { traced << text; });
    const std::unique_ptr<Recordset> rows = db.createQueryDef(sql)->openRecordset();
    QCOMPARE(traced, QStringList{sql});
    QCOMPARE(sorted(values(*rows, field)), sorted(expected));
}

void TestData::unusableFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("content"); // none: no file at all
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << QByteArray() << "does not exist";
    QTest::newRow("not SQLite") << QByteArray("runes and more runes\n").repeated(40)
                                << "not a database";
}

void TestData::unusableFilesAreRefused()
{
    TestFolder &folder = *shared;
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    const bool exists = !content.isEmpty();
    const QString path =
        QDir(folder.path())
            .filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mdb"));
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    const QString failure = failureOf([&] { Database db(path); });
    QVERIFY2(failure.contains(path), qPrintable(failure));
    QVERIFY2(failure.contains(reason), qPrintable(failure));
    // Refusing a file leaves it as it was, and never makes one.
    QCOMPARE(QFile::exists(path), exists);
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void TestData::schemaCannotRunCode()
{
    TestFolder folder;
    // Pragma functions are not innocuous: a view may use them only while the schema is trusted.
    // (load_extension() would prove nothing, SQLite refuses it in views either way.)
    folder.sql(QStringLiteral("CREATE VIEW peek AS SELECT name FROM pragma_table_info('runes');"));
    QVERIFY(!folder.column(QStringLiteral("SELECT name FROM peek")).isEmpty());

    Database db(folder.dataFile());
    const QString failure = failureOf([&] { db.openRecordset(QStringLiteral("peek")); });
    QVERIFY2(failure.contains(QStringLiteral("unsafe use")), qPrintable(failure));
}

void TestData::failuresNameWhatWasAttempted()
{
    TestFolder &folder = *shared;
    Database db(folder.dataFile());

    const QString badSql = QStringLiteral("SELECT Runenam FROM runes");
    QString failure = failureOf([&] { db.createQueryDef(badSql)->openRecordset(); });
    QVERIFY2(failure.contains(badSql), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("no such column: Runenam")), qPrintable(failure));
    QVERIFY2(failure.contains(folder.dataFile()), qPrintable(failure));

    failure = failureOf([&] { db.openRecordset(QStringLiteral("runesQuerx")); });
    QVERIFY2(failure.contains(QStringLiteral("runesQuerx")), qPrintable(failure));

    const std::unique_ptr<Recordset> runes = db.openRecordset(QStringLiteral("runesQuery"));
    failure = failureOf([&] { runes->field(QStringLiteral("Runenam")); });
    QVERIFY2(failure.contains(QStringLiteral("Runenam")), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("runesQuery")), qPrintable(failure));
}

void TestData::unfinishedTransactionRollsBack()
{
    TestFolder folder;
    Database db(folder.dataFile());
    const QString count = QStringLiteral("SELECT count(*) FROM ownedRunes");

    const QString failure = failureOf([&] {
        Database::Transaction transaction(db);
        db.execute(QStringLiteral("DELETE FROM ownedRunes"), {}, QStringLiteral("empty the slots"));
        db.execute(QStringLiteral("INSERT INTO ownedRune VALUES (1, 1)"), {},
                   QStringLiteral("fill a slot"));
        transaction.commit();
    });
    QVERIFY(!failure.isNull());
    QCOMPARE(folder.scalar(count).toString(), QStringLiteral("46"));

    {
        Database::Transaction transaction(db);
        db.execute(QStringLiteral("DELETE FROM ownedRunes WHERE runenumber = ?"), {3},
                   QStringLiteral("empty a slot"));
        transaction.commit();
    }
    QCOMPARE(folder.scalar(count).toString(), QStringLiteral("45"));
}

QTEST_GUILESS_MAIN(TestData)
#include "test_data.moc"
