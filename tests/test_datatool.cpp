#include "gamedata.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every table's rows and the structure, as text, to compare two files.
QStringList contents(TestFolder &folder)
{
    QStringList all;
    for (const char *table : {"RuneWords", "runes", "saves", "ownedRunes"}) {
        const QString name = QLatin1String(table);
        all << name;
        // A slot's rows keep their order; their row ids are the engine's own business.
        const bool owned = name == QLatin1String("ownedRunes");
        QStringList values{owned ? QStringLiteral("savenumber") : QStringLiteral("quote(rowid)")};
        const QString columns =
            QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(name);
        for (const QString &column : folder.column(columns))
            values << QStringLiteral("quote(\"%1\")").arg(column);
        const QString order = owned ? QStringLiteral("savenumber, rowid") : QStringLiteral("rowid");
        all += folder.column(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                 .arg(values.join(QStringLiteral(" || '|' || ")), name, order));
    }
    all += folder.column(QStringLiteral("SELECT sql FROM sqlite_schema ORDER BY name"));
    return all;
}

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun runTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
    if (!tool.waitForFinished(30000))
        qFatal("tessaly-data did not finish");
    return {tool.exitCode(), QString::fromLocal8Bit(tool.readAll())};
}

QByteArray bytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

} // namespace

class TestDataTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exportAndBuildRoundTrip();
    void checkFindsWhatTheProgramReliesOn_data();
    void checkFindsWhatTheProgramReliesOn();
    void sourceErrorsNameFileAndLine();
    void toolGuardsAnExistingFile();
};

void TestDataTool::exportAndBuildRoundTrip()
{
    TestFolder original(TestFolder::Pictures::Left);
    // Values the sources must carry through unchanged, beside the shipped data.
    original.sql(QStringLiteral(
        "UPDATE RuneWords SET runewordText = NULL, belt = NULL, rune6 = NULL WHERE RunewordID = 2;"
        "UPDATE RuneWords SET runewordText = '', nrrunes = NULL WHERE RunewordID = 3;"
        "UPDATE RuneWords SET runewordText = 'first' || char(13, 10) || char(13, 10) || '  third "
        "', "
        "  nrrunes = 5 WHERE RunewordID = 4;"
        "UPDATE RuneWords SET RuneWordName = 'Звезда 星', RunewordID = 900 WHERE RunewordID = 5;"
        "UPDATE runes SET Runefunction2 = 'a' || char(13, 10) || 'b' WHERE Runenumber = 9;"
        "UPDATE saves SET saveName = '  spaced  ' WHERE savenumber = 3;"
        "INSERT INTO ownedRunes VALUES (3, 17), (3, 2);"));

    QTemporaryDir sources;
    QVERIFY(runTool({QStringLiteral("export"), original.dataFile(), sources.path()}).exitCode == 0);
    // The build itself refuses the Null values the program cannot use; the sources keep them.
    TestFolder rebuilt(TestFolder::Pictures::Left);
    QFile::remove(rebuilt.dataFile());
    writeDataFile(readGameData(sources.path()), readSchema(sources.path()), rebuilt.dataFile());
    QCOMPARE(contents(rebuilt), contents(original));
}

void TestDataTool::checkFindsWhatTheProgramReliesOn_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("problem");
    QTest::newRow("rune slot out of range")
        << QStringLiteral("UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5")
        << QStringLiteral("RuneWords, RunewordID 5, rune3");
    QTest::newRow("Null rune slot")
        << QStringLiteral("UPDATE RuneWords SET rune6 = NULL WHERE RunewordID = 8")
        << QStringLiteral("RuneWords, RunewordID 8, rune6");
    QTest::newRow("apostrophe")
        << QStringLiteral("UPDATE RuneWords SET RuneWordName = 'Bard''s' WHERE RunewordID = 1")
        << QStringLiteral("apostrophe");
    QTest::newRow("blank at an end")
        << QStringLiteral("UPDATE RuneWords SET RuneWordName = 'Tail ' WHERE RunewordID = 1")
        << QStringLiteral("blanks at its ends");
    QTest::newRow("nrrunes") << QStringLiteral(
                                    "UPDATE RuneWords SET nrrunes = 7 WHERE RunewordID = 6")
                             << QStringLiteral("RuneWords, RunewordID 6, nrrunes");
    QTest::newRow("yes/no") << QStringLiteral("UPDATE RuneWords SET helm = 2 WHERE RunewordID = 6")
                            << QStringLiteral("RuneWords, RunewordID 6, helm");
    QTest::newRow("rune without name")
        << QStringLiteral("UPDATE runes SET Runename = NULL WHERE Runenumber = 30")
        << QStringLiteral("runes, Runenumber 30, Runename");
    QTest::newRow("missing rune") << QStringLiteral("DELETE FROM runes WHERE Runenumber = 46")
                                  << QStringLiteral("rune 46 is missing");
    QTest::newRow("nine slots") << QStringLiteral("DELETE FROM saves WHERE savenumber = 4")
                                << QStringLiteral("savesQuery2: gives 9 rows");
    QTest::newRow("runes out of order")
        << QStringLiteral("DROP VIEW runesQuery; CREATE VIEW runesQuery AS SELECT * FROM runes "
                          "ORDER BY Runenumber DESC")
        << QStringLiteral("runesQuery, row 1");
    QTest::newRow("missing query")
        << QStringLiteral("DROP VIEW runewordList") << QStringLiteral("runewordList: missing");
    QTest::newRow("slot rows apart")
        << QStringLiteral("INSERT INTO ownedRunes VALUES (2, 5), (1, 4), (2, 6);"
                          "DROP VIEW savesQuery; CREATE VIEW savesQuery AS SELECT rowid AS rowid, "
                          "* FROM ownedRunes")
        << QStringLiteral("do not stand together");
    QTest::newRow("no delete through savesQuery")
        << QStringLiteral("DROP TRIGGER savesQuery_delete") << QStringLiteral("cannot be deleted");
}

void TestDataTool::checkFindsWhatTheProgramReliesOn()
{
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    TestFolder folder(TestFolder::Pictures::Left);
    QVERIFY2(checkDataFile(folder.dataFile()).isEmpty(),
             qPrintable(checkDataFile(folder.dataFile()).join(u'\n')));
    folder.sql(damage);
    const ToolRun check = runTool({QStringLiteral("check"), folder.dataFile()});
    QCOMPARE(check.exitCode, 1);
    QVERIFY2(check.output.contains(problem), qPrintable(check.output));
}

void TestDataTool::sourceErrorsNameFileAndLine()
{
    QTemporaryDir sources;
    for (const char *name : {"runes.txt", "runewords.txt", "saves.txt", "schema.sql"})
        QVERIFY(QFile::copy(QDir(gameDataSources()).filePath(QLatin1String(name)),
                            QDir(sources.path()).filePath(QLatin1String(name))));
    QFile words(QDir(sources.path()).filePath(QStringLiteral("runewords.txt")));
    QVERIFY(words.open(QIODevice::Append));
    words.write("\nruneword Broken Thing\n  runes: 3 51\n  types: helm\n");
    words.close();
    const int badLine = int(bytes(words.fileName()).count('\n')) - 1;

    QTemporaryDir target;
    const ToolRun build = runTool({QStringLiteral("build"), sources.path(),
                                   QDir(target.path()).filePath(QStringLiteral("x.mdb"))});
    QCOMPARE(build.exitCode, 1);
    QVERIFY2(build.output.contains(QStringLiteral("runewords.txt:%1:").arg(badLine)),
             qPrintable(build.output));
    QVERIFY(QDir(target.path()).isEmpty());
}

void TestDataTool::toolGuardsAnExistingFile()
{
    TestFolder folder(TestFolder::Pictures::Left);
    folder.sql(QStringLiteral("UPDATE saves SET saveName = 'mine' WHERE savenumber = 1;"
                              "INSERT INTO ownedRunes VALUES (1, 9);"
                              "UPDATE runes SET Runename = 'Old' WHERE Runenumber = 1;"));
    const QByteArray before = bytes(folder.dataFile());
    QCOMPARE(runTool({QStringLiteral("build"), QStringLiteral("--if-missing"), gameDataSources(),
                      folder.dataFile()})
                 .exitCode,
             0);
    QCOMPARE(runTool({QStringLiteral("build"), gameDataSources(), folder.dataFile()}).exitCode, 1);
    QCOMPARE(bytes(folder.dataFile()), before);

    // A rebuild takes the game data from the sources and keeps the player's saves.
    QCOMPARE(runTool({QStringLiteral("build"), QStringLiteral("--keep-saves"), gameDataSources(),
                      folder.dataFile()})
                 .exitCode,
             0);
    QCOMPARE(
        folder.scalar(QStringLiteral("SELECT saveName FROM saves WHERE savenumber = 1")).toString(),
        QStringLiteral("mine"));
    QCOMPARE(
        folder.column(QStringLiteral("SELECT runenumber FROM ownedRunes WHERE savenumber = 1")),
        QStringList{QStringLiteral("9")});
    QVERIFY(folder.scalar(QStringLiteral("SELECT Runename FROM runes WHERE Runenumber = 1"))
                .toString() != QLatin1String("Old"));
}

QTEST_GUILESS_MAIN(TestDataTool)
#include "test_datatool.moc"
