#include "about/frmabout.h"
#include "closest/closestwindow.h"
#include "gamedatawin/gamedatawindow.h"
#include "mainwindow/datalocation.h"
#include "rebuild.h"
#include "testsupport.h"

#include <QProcess>
#include <QStringEncoder>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace {

// The first column of a query's rows; statements that return none are run in turn.
QStringList query(const QString &file, const QString &sql)
{
    SQLite::Database db(file.toUtf8().toStdString(), SQLite::OPEN_READWRITE);
    if (!sql.startsWith("SELECT"_q)) {
        db.exec(sql.toStdString());
        return {};
    }
    SQLite::Statement statement(db, sql.toStdString());
    QStringList values;
    while (statement.executeStep())
        values << QString::fromUtf8(statement.getColumn(0).getText());
    return values;
}

// Each slot as "name:runes", in the order of the rows.
QStringList slotsOf(const QString &file)
{
    return query(file, "SELECT saveName || ':' || ifnull((SELECT group_concat(runenumber, ' ') "
                       "FROM (SELECT * FROM ownedRunes ORDER BY rowid) o WHERE o.savenumber = "
                       "s.savenumber), '') FROM saves s ORDER BY savenumber"_q);
}

void replaceIn(const QString &path, const QString &old, const QString &replacement)
{
    QString text = QString::fromUtf8(fileBytes(path));
    QVERIFY2(text.contains(old), qPrintable(old));
    text = old.isEmpty() ? text + replacement : text.replace(old, replacement);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) > 0);
}

// A mod's text sources: a runeword renamed, one added, a rune renamed, and the data named.
QString modSources(const QString &folder)
{
    QDir().mkpath(folder);
    for (const char *name : {"runes.txt", "runewords.txt", "saves.txt", "schema.sql"})
        QFile::copy(QDir(gameDataSources()).filePath(QLatin1String(name)),
                    QDir(folder).filePath(QLatin1String(name)));
    const QString runewords = folder + "/runewords.txt"_q;
    replaceIn(runewords, "runeword Driftglass"_q, "runeword Éclatglass"_q);
    replaceIn(runewords, {}, "\nruneword Sturmglück\n  runes: 1 2\n  types: helm\n"_q);
    replaceIn(folder + "/runes.txt"_q, "name: Ebb"_q, "name: Ébb"_q);
    replaceIn(folder + "/schema.sql"_q, "PRAGMA"_q, "-- name: Stormcoast 2.6\nPRAGMA"_q);
    return runewords;
}

} // namespace

// Bringing game data in and back: an install whose shipped file and pictures stand in one
// folder, and the player's copy in a folder named as a player may name it.
class TestImport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestFolder> shared;
    QTemporaryDir base;
    QString user, mine, sources;
    std::unique_ptr<Form1> form;
    std::unique_ptr<FailureRecorder> told;

    // The player's copy holds saves of their own; the board shows runes owned.
    void startInstalled()
    {
        form = std::make_unique<Form1>(shared->path());
        form->dataFile = mine;
        form->Form_Load();
        form->chooseImportFile = [this](QWidget *) { return chosen; };
        setBoard(*form, {2, 9});
    }
    QString chosen;

private Q_SLOTS:
    void init()
    {
        shared = std::make_unique<TestFolder>();
        user = base.path() + "/Zoë"_q;
        mine = user + "/newRunewords.mdb"_q;
        QDir(user).removeRecursively();
        QVERIFY(QDir().mkpath(user) && QFile::copy(shared->dataFile(), mine));
        query(mine, "UPDATE saves SET saveName = 'Zoë''s set' WHERE savenumber = 3;"
                    "INSERT INTO ownedRunes VALUES (3, 46), (3, 9), (3, 3);"_q);
        sources = base.path() + "/Stürme"_q;
        QDir(sources).removeRecursively();
        told.reset(); // before the next one takes the handlers
        told = std::make_unique<FailureRecorder>();
        startInstalled();
    }

    // From the menu, a data file made from a mod's sources or the sources themselves: the main
    // window shows the new data at once, the saves are the player's, the replaced file is kept,
    // the data is named and marked imported, and the windows that showed the old data are gone.
    void importsKeepingTheSaves_data()
    {
        QTest::addColumn<bool>("textSources");
        QTest::newRow("data file") << false;
        QTest::newRow("text sources") << true;
    }
    void importsKeepingTheSaves()
    {
        QFETCH(bool, textSources);
        chosen = modSources(sources);
        if (!textSources) {
            chosen = user + "/Stürme.mdb"_q;
            writeDataFile(readGameData(sources), readSchema(sources), chosen);
        }
        const QStringList saves = slotsOf(mine);
        const QByteArray before = fileBytes(mine);
        form->mnuClosest_Click();
        form->mnuGameData->trigger();
        const QPointer<QWidget> closest = form->closestWindow.data();
        form->mnuImport->trigger();
        QVERIFY2(told->notices.size() == 1 && told->notices[0].contains("is in use now"_q),
                 qPrintable(told->notices.join(u'\n')));
        QVERIFY(told->texts.isEmpty());
        QCOMPARE(listed(*form), query(mine, "SELECT runewordName FROM runewordList"_q));
        QVERIFY(listed(*form).contains("Éclatglass"_q) && listed(*form).contains("Sturmglück"_q));
        QCOMPARE(form->Label1[0]->text(), "Ébb"_q);
        QCOMPARE(slotsOf(mine), saves);
        QCOMPARE(form->mnuload[3]->text(), "Zoë's set"_q);
        QCOMPARE(ownedTiles(*form), QList<int>{});
        QCOMPARE(fileBytes(mine + ".before-import"_q), before);
        QTRY_VERIFY(!closest);
        const GameDataInfo info = gameDataInfo(mine);
        QCOMPARE(info.name, "Stormcoast 2.6"_q);
        QVERIFY(!info.imported.isEmpty());
        QCOMPARE(form->gameDataWindow->lblGameData->text(), "Stormcoast 2.6, version 1"_q);
        QVERIFY(form->gameDataWindow->lblImported->text().startsWith("yes, on "_q));
    }

    // Refused with one message naming the file and every problem, and nothing changed: neither
    // the player's file, nor its folder, nor the window.
    void refusals_data()
    {
        QTest::addColumn<QString>("source");  // what is imported, below
        QTest::addColumn<QString>("change");  // SQL, or "old=>new" in a source (no old: added)
        QTest::addColumn<QString>("reasons"); // each apart by "|"
        const auto row = [](const char *tag, const char *source, const char *change,
                            const char *reasons) {
            QTest::newRow(tag) << QString::fromLatin1(source) << QString::fromUtf8(change)
                               << QString::fromUtf8(reasons);
        };
        const char *view = "DROP VIEW runewordList; CREATE VIEW runewordList AS ";
        // "mdb": the shipped file changed by SQL; "foreign": a new file made by SQL; "bytes":
        // a file of these bytes; a source file's name: the sources changed there; "latin1" and
        // "utf16": runewords.txt in that encoding; "blocked": the new file cannot be made.
        row("another program's file", "foreign", "CREATE TABLE notes (body TEXT);",
            "runes: missing|RuneWords: missing|saves: missing");
        row("not a database", "bytes", "Dear diary, today I found a rune.",
            "file is not a database");
        row("45 runes", "mdb", "DELETE FROM runes WHERE Runenumber = 46", "rune 46 is missing");
        row("47 runes", "mdb", "INSERT INTO runes VALUES (47, 'Extra', 'a', 'b', 'c')",
            "Runenumber 47: not a rune number 1 to 46");
        row("every problem", "mdb",
            "UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5;"
            "UPDATE runes SET Runename = NULL WHERE Runenumber = 30",
            "RuneWords, RunewordID 5, rune3|runes, Runenumber 30, Runename");
        row("loops without end", "mdb",
            (QByteArray(view) + "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i FROM n) "
                                "SELECT i AS runewordName FROM n")
                .constData(),
            "runewordList: did not end within the work allowed");
        row("a gigabyte", "mdb",
            (QByteArray(view) + "SELECT zeroblob(900000000) AS runewordName").constData(),
            "too big");
        row("many large values", "mdb",
            (QByteArray(view) + "SELECT zeroblob(1e7) AS runewordName FROM RuneWords, runes")
                .constData(),
            "larger than the program allows");
        row("trigger on a table", "mdb",
            "CREATE TRIGGER wipe AFTER INSERT ON ownedRunes BEGIN DELETE FROM ownedRunes; END",
            "a trigger on the table ownedRunes");
        row("rune out of range", "runewords.txt", "  runes: 3\n=>  runes: 3 51\n",
            "runewords.txt:6: \"51\" is not a number from 0 to 46");
        row("47 runes in the sources", "runes.txt", "rune 46\n=>rune 47\n",
            "runes.txt:288: \"47\" is not a number from 1 to 46");
        row("rune without a name", "runes.txt", "  name: Ébb\n=>",
            "runes, Runenumber 1, Runename: the rune has no name");
        row("schema refuses the saves", "schema.sql",
            "=>CREATE TRIGGER refuse BEFORE INSERT ON ownedRunes BEGIN SELECT RAISE(ABORT, "
            "'refused'); END;",
            "row 1 of ownedRunes: refused");
        row("Windows code page", "latin1", "",
            "runewords.txt:5: not UTF-8 text; save the file as UTF-8");
        row("UTF-16", "utf16", "", "runewords.txt:1: not UTF-8 text; save the file as UTF-8");
        row("half way", "blocked", "", "could not open it|Your data file was left as it was");
    }
    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, change);
        QFETCH(QString, reasons);
        QString path = user + "/Fremd.mdb"_q;
        if (source == "mdb"_q || source == "blocked"_q)
            QVERIFY(QFile::copy(shared->dataFile(), path));
        if (source == "mdb"_q || source == "foreign"_q)
            SQLite::Database(path.toUtf8().toStdString(),
                             SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
                .exec(change.toStdString());
        if (source == "blocked"_q)
            QVERIFY(QDir().mkpath(mine + ".partial/in the way"_q));
        if (source == "bytes"_q) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(change.toUtf8()) > 0);
        }
        if (!QStringList{"mdb"_q, "foreign"_q, "bytes"_q, "blocked"_q}.contains(source)) {
            path = modSources(sources);
            const QString changed = source.contains(u'.') ? QDir(sources).filePath(source) : path;
            const QStringList parts = change.split("=>"_q);
            if (!change.isEmpty())
                replaceIn(changed, parts[0], parts[1]);
            if (source == "latin1"_q || source == "utf16"_q) {
                const auto encoding =
                    source == "utf16"_q ? QStringConverter::Utf16LE : QStringConverter::Latin1;
                QStringEncoder encode(encoding, QStringConverter::Flag::WriteBom);
                const QByteArray bytes = encode(QString::fromUtf8(fileBytes(path)));
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        file.write(bytes) > 0);
            }
        }
        const QByteArray before = fileBytes(mine);
        const QStringList files = filesIn(user), names = listed(*form);
        form->importGameData(path);
        QCOMPARE(told->notices.size(), 1);
        const QString message = told->notices[0];
        QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
        for (const QString &reason : reasons.split(u'|'))
            QVERIFY2(message.contains(reason), qPrintable(message));
        QCOMPARE(fileBytes(mine), before);
        QCOMPARE(filesIn(user), files);
        QCOMPARE(listed(*form), names);
        QCOMPARE(ownedTiles(*form), (QList<int>{2, 9}));
        // The program goes on with its file.
        form->mnuload_Click(3);
        QCOMPARE(ownedTiles(*form), (QList<int>{3, 9, 46}));
    }

    // Imported data outlives an update of the program; Restore brings the shipped data back with
    // the saves, and with it the updates. In a portable folder the first import keeps the
    // shipped data for Restore, and a second import leaves that copy alone.
    void restore_data()
    {
        QTest::addColumn<bool>("portable");
        QTest::newRow("installed") << false;
        QTest::newRow("portable") << true;
    }
    void restore()
    {
        QFETCH(bool, portable);
        if (portable) {
            mine = shared->dataFile();
            user = shared->path();
            startInstalled();
            query(mine, "UPDATE saves SET saveName = 'Zoë''s set' WHERE savenumber = 3"_q);
        }
        const QByteArray shipped = fileBytes(shared->dataFile());
        const QStringList names = listed(*form);
        form->importGameData(modSources(sources));
        QVERIFY(!gameDataInfo(mine).imported.isEmpty());
        if (portable) {
            QCOMPARE(fileBytes(mine + ".shipped"_q), shipped);
            form->importGameData(sources + "/runewords.txt"_q);
            QCOMPARE(fileBytes(mine + ".shipped"_q), shipped);
        } else {
            // A newer program ships newer data: the imported data stays.
            shared->sql("PRAGMA user_version = 2"_q);
            const QByteArray imported = fileBytes(mine);
            QTemporaryDir program;
            QCOMPARE(locateData(program.path(), user, {shared->path()}).dataFile, mine);
            QCOMPARE(fileBytes(mine), imported);
        }
        const QStringList saves = slotsOf(mine);
        form->mnuGameData_Click();
        QVERIFY(form->gameDataWindow->cmdRestore->isEnabled());
        form->gameDataWindow->cmdRestore->click();
        QCOMPARE(listed(*form), names);
        QCOMPARE(slotsOf(mine), saves);
        QVERIFY(saves.contains("Zoë's set:3 9 46"_q) || portable);
        QVERIFY(gameDataInfo(mine).imported.isEmpty());
        QCOMPARE(form->gameDataWindow->lblGameData->text(),
                 "Tessaly's own game data, version %1"_q.arg(portable ? 1 : 2));
        QCOMPARE(form->gameDataWindow->lblImported->text(), "no"_q);
        QVERIFY(!form->gameDataWindow->cmdRestore->isEnabled());
        QCOMPARE(form->gameDataWindow->lblDataFile->text(), QDir::toNativeSeparators(mine));
        QVERIFY2(told->notices.size() == (portable ? 2 : 1) && told->texts.isEmpty(),
                 qPrintable((told->notices + told->texts).join(u'\n')));
    }

    // The data tool stores the sources' name and says it, with the version and the mark; it
    // refuses a source in a Windows code page by file and line.
    void dataTool()
    {
        const QString runewords = modSources(sources), built = base.path() + "/Stürme.mdb"_q;
        QProcess tool;
        const auto run = [&](const QStringList &arguments) {
            tool.setProcessChannelMode(QProcess::MergedChannels);
            tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
            return tool.waitForFinished(30000) ? tool.exitCode() : -1;
        };
        QFile::remove(built);
        QCOMPARE(run({"build"_q, sources, built}), 0);
        QCOMPARE(run({"check"_q, built}), 0);
        QVERIFY(QString::fromUtf8(tool.readAll())
                    .contains("game data \"Stormcoast 2.6\", version 1, not imported"_q));
        form->importGameData(built);
        QCOMPARE(run({"check"_q, mine}), 0);
        QVERIFY(QString::fromUtf8(tool.readAll()).contains(" imported 20"_q));
        QFile file(runewords);
        const QByteArray latin1 = QString::fromUtf8(fileBytes(runewords)).toLatin1();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(latin1) > 0);
        file.close();
        QFile::remove(built);
        QCOMPARE(run({"build"_q, sources, built}), 1);
        QVERIFY(QString::fromUtf8(tool.readAll())
                    .contains("runewords.txt:5: not UTF-8 text; save the file as UTF-8"_q));
        QVERIFY(!QFile::exists(built));
    }

    // The about box is its design again: its own size and texts, no data file.
    void aboutBox()
    {
        frmAbout about(form.get());
        QCOMPARE(about.size(), QSize(136, 75));
        QCOMPARE(about.findChildren<QLabel *>().size(), 3);
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
