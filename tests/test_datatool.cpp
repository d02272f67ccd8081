#include "gamedata.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// A copy of the project's sources with one change: text replaced by another, or added at the
// end when text is empty. Returns the line on which marker stands after the change.
int copySources(const QString &to, const QString &file, const QString &text,
                const QString &replacement, const QString &marker)
{
    for (const char *name : {"runes.txt", "runewords.txt", "saves.txt", "schema.sql"}) {
        if (!QFile::copy(QDir(gameDataSources()).filePath(QLatin1String(name)),
                         QDir(to).filePath(QLatin1String(name))))
            qFatal("cannot copy the sources");
    }
    QFile changed(QDir(to).filePath(file));
    if (!changed.open(QIODevice::ReadWrite))
        qFatal("cannot open %s", qPrintable(file));
    QString contents = QString::fromUtf8(changed.readAll());
    if (text.isEmpty())
        contents += replacement;
    else if (contents.contains(text))
        contents.replace(contents.indexOf(text), text.size(), replacement);
    else
        qFatal("no \"%s\" in %s", qPrintable(text), qPrintable(file));
    changed.resize(0);
    changed.write(contents.toUtf8());
    return int(contents.left(contents.indexOf(marker)).count(QLatin1Char('\n'))) + 1;
}

// Whether this process still holds open a file whose name starts with prefix.
bool holdsOpen(const QString &prefix)
{
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &name : descriptors.entryList(QDir::Files | QDir::System)) {
        if (QFileInfo(descriptors.filePath(name)).symLinkTarget().startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

class TestDataTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exportAndBuildRoundTrip();
    void checkFindsWhatTheProgramReliesOn();
    void exportRefusesWhatTheSourcesCannotHold_data();
    void exportRefusesWhatTheSourcesCannotHold();
    void failedBuildLeavesTheTarget_data();
    void failedBuildLeavesTheTarget();
    void failedWriteClosesItsFile();
    void buildKeepsAnExistingFile();
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

void TestDataTool::exportRefusesWhatTheSourcesCannotHold_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("line feed alone")
        << "UPDATE runes SET Runefunction1 = 'a' || char(10) || 'b' WHERE Runenumber = 2"
        << "runes, row 2, Runefunction1: a line break other than CR LF";
    QTest::newRow("beyond a whole number") << "UPDATE RuneWords SET rune1 = 4294967299 WHERE "
                                              "RunewordID = 1"
                                           << "RuneWords, row 1, rune1: not a whole number";
    QTest::newRow("rune of no slot") << "INSERT INTO ownedRunes (rowid, savenumber, runenumber) "
                                        "VALUES (500, 11, 3)"
                                     << "ownedRunes, row 500, savenumber: no slot 11";
    QTest::newRow("id below 1") << "UPDATE RuneWords SET RunewordID = 0 WHERE RunewordID = 1"
                                << "RuneWords, row 0, RunewordID: not a whole number from 1";
}

void TestDataTool::exportRefusesWhatTheSourcesCannotHold()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    TestFolder folder(TestFolder::Pictures::Left);
    folder.sql(change);
    QTemporaryDir sources;
    QString output;
    QCOMPARE(runTool({QStringLiteral("export"), folder.dataFile(), sources.path()}, &output), 1);
    QVERIFY2(output.contains(message), qPrintable(output));
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

void TestDataTool::failedBuildLeavesTheTarget_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("marker"); // the line the message names; none: the message itself
    QTest::addColumn<QString>("message");
    // What the table's columns would refuse is refused by the reader, by file and line.
    QTest::newRow("number out of range") << "runewords.txt"
                                         << ""
                                         << "\nruneword Broken\n  runes: 3 51\n  types: helm\n"
                                         << "  runes: 3 51"
                                         << "\"51\" is not a number from 0 to 46";
    QTest::newRow("save without a name") << "saves.txt"
                                         << "  name: empty 3\n"
                                         << ""
                                         << "save 3"
                                         << "the field \"name\" is missing";
    QTest::newRow("id taken") << "runewords.txt"
                              << ""
                              << "\nruneword Copy\n  id: 1\n  runes: 3\n  types: helm\n"
                              << "  id: 1"
                              << "the id 1 is taken";
    QTest::newRow("place taken") << "runewords.txt"
                                 << "runeword Driftglass\n"
                                 << "runeword Driftglass\n  id: 2\n"
                                 << "runeword Pebble Oath"
                                 << "its place, 2,";
    // The engine refuses a row halfway through, or the finished file fails the check.
    QTest::newRow("row refused")
        << "schema.sql"
        << ""
        << "\nCREATE TRIGGER refuse BEFORE INSERT ON ownedRunes BEGIN SELECT RAISE(ABORT, "
           "'refused'); END;\n"
        << ""
        << "row 1 of ownedRunes: refused";
    QTest::newRow("check refuses") << "runes.txt"
                                   << "  name: Ebb\n"
                                   << ""
                                   << ""
                                   << "runes, Runenumber 1, Runename: the rune has no name";
}

void TestDataTool::failedBuildLeavesTheTarget()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, marker);
    QFETCH(QString, message);
    QTemporaryDir sources;
    const int line = copySources(sources.path(), file, text, replacement, marker);
    TestFolder folder(TestFolder::Pictures::Left);
    folder.sql(QStringLiteral("INSERT INTO ownedRunes VALUES (1, 9);"));
    const QStringList before = contents(folder);
    const QStringList files = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    QString output;
    QCOMPARE(runTool({QStringLiteral("build"), QStringLiteral("--keep-saves"), sources.path(),
                      folder.dataFile()},
                     &output),
             1);
    QVERIFY2(output.contains(message), qPrintable(output));
    if (!marker.isEmpty())
        QVERIFY2(output.contains(QStringLiteral("/%1:%2: ").arg(file).arg(line)),
                 qPrintable(output));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), files);
    QCOMPARE(contents(folder), before);
}

void TestDataTool::failedWriteClosesItsFile()
{
    // A Null the engine refuses half way: every statement must be finished, or the file
    // stays open and its journal beside it.
    GameData data = readGameData(gameDataSources());
    data.saves[9].name = QString();
    TestFolder folder(TestFolder::Pictures::Left);
    const QStringList before = contents(folder);
    try {
        writeDataFile(data, readSchema(gameDataSources()), folder.dataFile());
        QFAIL("the write succeeded");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("row 10 of saves")),
                 error.what());
    }
    QVERIFY(!holdsOpen(folder.dataFile()));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("newRunewords.mdb")});
    QCOMPARE(contents(folder), before);
}

void TestDataTool::buildKeepsAnExistingFile()
{
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
    // What a killed build left beside the target does not reach the new file.
    for (const char *leftover : {".partial", ".partial-journal"})
        QVERIFY(QFile::copy(folder.dataFile(), folder.dataFile() + QLatin1String(leftover)));
    QCOMPARE(build({QStringLiteral("--keep-saves")}), 0);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("newRunewords.mdb")});
    QCOMPARE(
        folder.column(QStringLiteral(
            "SELECT saveName || runenumber FROM saves NATURAL JOIN ownedRunes WHERE savenumber "
            "= 1 UNION ALL SELECT Runename = 'Old' FROM runes WHERE Runenumber = 1")),
        (QStringList{QStringLiteral("mine9"), QStringLiteral("0")}));
}

QTEST_GUILESS_MAIN(TestDataTool)
#include "test_datatool.moc"
