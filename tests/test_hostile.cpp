#include "data/failure.h"
#include "mainwindow/form1.h"
#include "testsupport.h"

#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using Damage = std::function<void(TestFolder &)>;
Q_DECLARE_METATYPE(Damage)

namespace {

// Start-up as main() runs it, then everything a session reads. Returns what went wrong: each
// failure and a change to the file. A session that would not end is ended by the engine's work
// limit, and so shows as a failure that names it.
QStringList runSession(const TestFolder &folder)
{
    QStringList wrong;
    const FailureRecorder reported;
    const QByteArray before = fileBytes(folder.dataFile());
    try {
        readEverything(*startForm(folder.path()));
    } catch (const Failure &failure) {
        wrong << failure.text();
    }
    wrong << reported.texts;
    if (fileBytes(folder.dataFile()) != before)
        wrong << QStringLiteral("the file changed");
    return wrong;
}

Damage write(qint64 offset, const QByteArray &bytes, qint64 cutTo = -1)
{
    return [=](TestFolder &folder) {
        QFile file(folder.dataFile());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(offset));
        QVERIFY(file.write(bytes) == bytes.size() && (cutTo < 0 || file.resize(cutTo)));
    };
}

Damage change(const QString &statements)
{
    return [statements](TestFolder &folder) { folder.sql(statements); };
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostileFiles_data();
    void hostileFiles();
};

void TestHostile::hostileFiles_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("reason"); // empty: the file works
    const auto row = [](const char *tag, const Damage &damage, const char *reason) {
        QTest::newRow(tag) << damage << QString::fromUtf8(reason);
    };
    const auto sql = [&](const char *tag, const char *statements, const char *reason = "") {
        row(tag, change(QString::fromUtf8(statements)), reason);
    };
    const auto view = [&](const char *tag, const char *select, const char *reason) {
        const QString replace =
            QStringLiteral("DROP VIEW runewordList; CREATE VIEW runewordList AS ");
        row(tag, change(replace + QLatin1String(select)), reason);
    };
    const qint64 size = QFile(TestFolder(TestFolder::Pictures::Left).dataFile()).size();
    row("empty", write(0, {}, 0), "The file is empty.");
    row("cut in the header", write(0, {}, 60), "malformed");
    row("cut by its last page", write(0, {}, size - 4096), "malformed");
    row("cut by one byte", write(0, {}, size - 1), "The file is damaged");
    for (int page = 1; page <= size / 4096; ++page) {
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator(page).fillRange(reinterpret_cast<quint32 *>(noise.data()), 1024);
        QTest::addRow("page %d random", page)
            << write((page - 1) * 4096LL, noise)
            << QString::fromLatin1(page == 1 ? "file is not a database" : "The file is damaged");
    }
    sql("no runesQuery", "DROP VIEW runesQuery;", "no table or stored query");
    sql("no savesQuery2", "DROP VIEW savesQuery2;", "no table or stored query");
    sql("no saves", "DROP TABLE saves;", "no such table: main.saves");
    sql("no Runename", "ALTER TABLE runes RENAME Runename TO a;", "Runename of runesQuery");
    sql("no saveName", "ALTER TABLE saves RENAME saveName TO a;", "saveName of savesQuery2");
    view("no runewordName", "SELECT 1 AS a", "runewordName of runewordList");
    sql("no nrrunes", "ALTER TABLE RuneWords DROP nrrunes;", "nrrunes of Select * from");
    sql("nine slots", "DELETE FROM saves WHERE savenumber = 10;", "ends after 9 rows");
    sql("Null Runename", "UPDATE runes SET Runename = NULL WHERE Runenumber = 17;",
        "Runename is Null");
    // SQLite cannot drop a NOT NULL constraint; the schema's text is edited instead.
    sql("Null saveName",
        "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = replace(sql, "
        "'NOT NULL', '') WHERE name = 'saves'; PRAGMA writable_schema = RESET; "
        "UPDATE saves SET saveName = NULL WHERE savenumber = 4;",
        "saveName is Null");
    // Side effects are refused in what the file defines; work and sizes are bounded.
    view("loads a library", "SELECT load_extension('/tmp/x.so') AS runewordName",
         "unsafe use of load_extension()");
    view("never ends",
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i FROM n) SELECT i FROM n",
         "did not end within the work allowed");
    view("a gigabyte", "SELECT zeroblob(900000000) AS runewordName", "too big");
    view("many large values", "SELECT zeroblob(1e7) AS runewordName FROM RuneWords, runes",
         "larger than the program allows");

    sql("Nulls and numbers out of range",
        "UPDATE RuneWords SET nrrunes = CASE RunewordID % 6 WHEN 0 THEN 0 WHEN 1 THEN 7 WHEN 2 "
        "THEN -3 WHEN 3 THEN 1e300 WHEN 4 THEN NULL ELSE 'four' END, rune2 = NULL, helm = NULL, "
        "armor = NULL, Other = NULL, runewordText = NULL; UPDATE RuneWords SET rune1 = 47, rune2 "
        "= -1, rune3 = 9223372036854775807, rune4 = 1e300, rune5 = 2.5, rune6 = 'five' WHERE "
        "RunewordID % 2 = 0; INSERT INTO ownedRunes VALUES (1, 0), (1, 47), (1, -8), (1, 1e300), "
        "(1e300, 4);");
    sql("names with apostrophes, blanks, other scripts",
        "UPDATE RuneWords SET RuneWordName = CASE RunewordID WHEN 1 THEN 'Hunter''s '' Moon' "
        "WHEN 2 THEN '  spaced  out ' ELSE 'Ночь' END WHERE RunewordID < 4; UPDATE runes SET "
        "Runename = CASE Runenumber WHEN 1 THEN 'ᚠᛖᚺᚢ' WHEN 2 THEN 'Ωμέγα' WHEN 3 THEN 'ملح' "
        "WHEN 4 THEN '鉄🜂' ELSE ' O''Dell ' END WHERE Runenumber < 6; UPDATE saves SET "
        "saveName = CASE savenumber WHEN 1 THEN 'セーブ' ELSE ' it''s mine ' END WHERE "
        "savenumber < 3;");
    sql("a megabyte",
        "UPDATE RuneWords SET runewordText = replace(printf('%.20000c', 'x'), 'x', 'forty-"
        "eight characters of a very long rune text' || char(13, 10)) WHERE RunewordID % 10 "
        "= 1; UPDATE runes SET Runename = printf('%.1000000c', 'r') WHERE Runenumber = 1; "
        "UPDATE saves SET saveName = printf('%.1000000c', 's') WHERE savenumber = 3;");
    sql("WAL journal mode", "PRAGMA journal_mode = WAL;");
}

// One message naming the file and what is wrong; for a working file none, and its names shown.
void TestHostile::hostileFiles()
{
    QFETCH(Damage, damage);
    QFETCH(QString, reason);
    TestFolder folder;
    damage(folder);
    const QStringList wrong = runSession(folder);
    QVERIFY2(reason.isEmpty() ? wrong.isEmpty()
                              : wrong.size() == 1 && wrong[0].contains(folder.dataFile()) &&
                                    wrong[0].contains(reason),
             qPrintable(wrong.join(u'\n')));
    if (!reason.isEmpty())
        return;
    const auto form = startForm(folder.path());
    const QStringList runes = folder.column(QStringLiteral("SELECT Runename FROM runes"));
    for (int k = 1; k <= 46; ++k)
        QCOMPARE(form->Label1[size_t(k - 1)]->text(), runes[k - 1]);
    const QStringList saves = folder.column(QStringLiteral("SELECT saveName FROM saves"));
    for (int k = 1; k <= 10; ++k)
        QCOMPARE(form->mnuload[size_t(k)]->text(), saves[k - 1]);
}

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
