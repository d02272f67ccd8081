#include "gamedata.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The structure and every table's rows as text; a slot's rows in order, their row ids aside.
QStringList contents(TestFolder &folder)
{
    QStringList all = folder.column(QStringLiteral("SELECT sql FROM sqlite_schema ORDER BY name"));
    const QString quoted = QStringLiteral("SELECT group_concat('quote(\"' || name || '\")', ' || "
                                          "''|'' || ') FROM pragma_table_info('%1')");
    for (const char *name : {"RuneWords", "runes", "saves", "ownedRunes"}) {
        const QString table = QLatin1String(name);
        const QString first =
            QLatin1String(table == QLatin1String("ownedRunes") ? "savenumber" : "quote(rowid)");
        const QString columns = folder.scalar(quoted.arg(table)).toString();
        all << folder.column(QStringLiteral("SELECT %1 || '|' || %2 FROM %3 ORDER BY %1, rowid")
                                 .arg(first, columns, table));
    }
    return all;
}

int runTool(const QStringList &arguments, QString *output = nullptr)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
    if (!tool.waitForFinished(30000))
        qFatal("tessaly-data did not finish");
    if (output)
        *output = QString::fromLocal8Bit(tool.readAll());
    return tool.exitCode();
}

} // namespace

class TestDataTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exportAndBuildRoundTrip();
    void checkFindsWhatTheProgramReliesOn();
    void buildGuardsFiles();
};

void TestDataTool::exportAndBuildRoundTrip()
{
    TestFolder original(TestFolder::Pictures::Left);
    // Values the sources must carry through unchanged, beside the shipped data.
    original.sql(QStringLiteral(
        "UPDATE RuneWords SET runewordText = NULL, belt = NULL, rune6 = NULL WHERE RunewordID = 2;"
        "UPDATE RuneWords SET runewordText = '', nrrunes = NULL WHERE RunewordID = 3;"
        "UPDATE RuneWords SET runewordText = 'first' || char(13, 10) || char(13, 10) || '  third "
        "', nrrunes = 5 WHERE RunewordID = 4;"
        "UPDATE RuneWords SET RuneWordName = 'Звезда 星', RunewordID = 900 WHERE RunewordID = 5;"
        "UPDATE runes SET Runefunction2 = 'a' || char(13, 10) || 'b' WHERE Runenumber = 9;"
        "UPDATE saves SET saveName = '  spaced  ' WHERE savenumber = 3;"
        "INSERT INTO ownedRunes VALUES (3, 17), (3, 2);"));
    QTemporaryDir sources;
    QCOMPARE(runTool({QStringLiteral("export"), original.dataFile(), sources.path()}), 0);
    // The build itself refuses the Null values the program cannot use; the sources keep them.
    TestFolder rebuilt(TestFolder::Pictures::Left);
    writeDataFile(readGameData(sources.path()), readSchema(sources.path()), rebuilt.dataFile());
    QCOMPARE(contents(rebuilt), contents(original));
}

void TestDataTool::checkFindsWhatTheProgramReliesOn()
{
    TestFolder folder(TestFolder::Pictures::Left);
    // Damage the program cannot live with; one run of the check names all of it, in this order.
    folder.sql(
        QStringLiteral("UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5;"
                       "UPDATE runes SET Runename = NULL WHERE Runenumber = 30;"
                       "UPDATE runes SET Runenumber = 0 WHERE Runenumber = 1;"
                       "DELETE FROM saves WHERE savenumber = 4;"
                       "INSERT INTO ownedRunes VALUES (2, 5), (1, 4), (2, 6); DROP VIEW savesQuery;"
                       "CREATE VIEW savesQuery AS SELECT rowid AS rowid, * FROM ownedRunes;"));
    QString check;
    QCOMPARE(runTool({QStringLiteral("check"), folder.dataFile()}, &check), 1);
    for (const char *problem :
         {"RuneWords, RunewordID 5, rune3", "runes, Runenumber 30, Runename", "rune 1 is missing",
          "runesQuery, row 1", "savesQuery2: gives 9 rows", "do not stand together",
          "cannot be deleted"})
        QVERIFY2(check.contains(QLatin1String(problem)), qPrintable(check));
}

void TestDataTool::buildGuardsFiles()
{
    // A fault in the sources is named by file and line, and nothing is written.
    QTemporaryDir sources;
    for (const char *name : {"runes.txt", "runewords.txt", "saves.txt", "schema.sql"})
        QVERIFY(QFile::copy(QDir(gameDataSources()).filePath(QLatin1String(name)),
                            sources.filePath(QLatin1String(name))));
    QFile words(sources.filePath(QStringLiteral("runewords.txt")));
    QVERIFY(words.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    const int badLine = int(words.readAll().count('\n')) + 3;
    words.write("\nruneword Broken Thing\n  runes: 3 51\n  types: helm\n");
    const QString target = sources.filePath(QStringLiteral("x"));
    QString broken;
    QCOMPARE(runTool({QStringLiteral("build"), sources.path(), target}, &broken), 1);
    QVERIFY2(broken.contains(QStringLiteral("runewords.txt:%1:").arg(badLine)), qPrintable(broken));
    QCOMPARE(QDir(sources.path()).count(), 6u); // the four sources, "." and ".."
    // An existing file is left alone, or rebuilt from the sources keeping the player's saves.
    TestFolder folder(TestFolder::Pictures::Left);
    folder.sql(QStringLiteral("UPDATE saves SET saveName = 'mine' WHERE savenumber = 1;"
                              "INSERT INTO ownedRunes VALUES (1, 9);"
                              "UPDATE runes SET Runename = 'Old' WHERE Runenumber = 1;"));
    const QStringList before = contents(folder);
    const auto build = [&](const QStringList &options) {
        return runTool(QStringList{QStringLiteral("build")} << options << gameDataSources()
                                                            << folder.dataFile());
    };
    QCOMPARE(build({}), 1);
    QCOMPARE(build({QStringLiteral("--if-missing")}), 0);
    QCOMPARE(contents(folder), before);
    QCOMPARE(build({QStringLiteral("--keep-saves")}), 0);
    QCOMPARE(
        folder.column(QStringLiteral(
            "SELECT saveName || runenumber FROM saves NATURAL JOIN ownedRunes WHERE savenumber "
            "= 1 UNION ALL SELECT Runename = 'Old' FROM runes WHERE Runenumber = 1")),
        (QStringList{QStringLiteral("mine9"), QStringLiteral("0")}));
}

QTEST_GUILESS_MAIN(TestDataTool)
#include "test_datatool.moc"
