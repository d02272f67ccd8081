#include "about/frmabout.h"
#include "closest/findwindow.h"
#include "gamedatawin/gamedatawindow.h"
#include "mainwindow/datalocation.h"
#include "testsupport.h"

#include <QProcess>
#include <QStringEncoder>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace {

// The first column of a query's rows; other statements are run in turn.
QStringList query(const QString &file, const QString &sql)
{
    SQLite::Database db(file.toUtf8().toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    QStringList values;
    if (!sql.startsWith("SELECT"_q))
        db.exec(sql.toStdString());
    else
        for (SQLite::Statement rows(db, sql.toStdString()); rows.executeStep();)
            values << QString::fromUtf8(rows.getColumn(0).getText());
    return values;
}

// Each slot as "name:runes", in the order of the rows.
QStringList slotsOf(const QString &file)
{
    return query(file, "SELECT saveName || ':' || ifnull((SELECT group_concat(runenumber, ' ') "
                       "FROM (SELECT * FROM ownedRunes ORDER BY rowid) o WHERE o.savenumber = "
                       "s.savenumber), '') FROM saves s ORDER BY savenumber"_q);
}

// "old=>new" in a file (no old: new added at the end), written in the encoding given.
void change(const QString &path, const QString &edit,
            QStringConverter::Encoding encoding = QStringConverter::Utf8)
{
    const QStringList parts = edit.split("=>"_q);
    QString text = QString::fromUtf8(fileBytes(path));
    QVERIFY2(text.contains(parts[0]), qPrintable(edit));
    text = parts[0].isEmpty() ? text + parts[1] : text.replace(parts[0], parts[1]);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(QStringEncoder(encoding).encode(text)) > 0);
}

// A mod's text sources: a runeword renamed, one added, a rune renamed, the data named.
QString modSources(const QString &folder)
{
    QDir().mkpath(folder);
    for (const QString &name : {"runes.txt"_q, "runewords.txt"_q, "saves.txt"_q, "schema.sql"_q})
        QFile::copy(QDir(gameDataSources()).filePath(name), QDir(folder).filePath(name));
    change(folder + "/runewords.txt"_q, "runeword Driftglass=>runeword Éclatglass"_q);
    change(folder + "/runewords.txt"_q, "=>\nruneword Sturmglück\n  runes: 1 2\n  types: helm\n"_q);
    change(folder + "/runes.txt"_q, "name: Ebb=>name: Ébb"_q);
    change(folder + "/schema.sql"_q, "PRAGMA=>-- name: Stormcoast 2.6\nPRAGMA"_q);
    return folder + "/runewords.txt"_q;
}

// What the data tool wrote; "failed" when it did not succeed.
QString runDataTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
    const bool done = tool.waitForFinished(30000) && tool.exitCode() == 0;
    return done ? QString::fromUtf8(tool.readAll()) : "failed"_q;
}

} // namespace

// Bringing game data in and back. An install: the shipped file and the pictures in one folder,
// the player's copy, with saves of their own, in a folder named as a player may name it.
class TestImport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestFolder> shared;
    std::unique_ptr<QTemporaryDir> base;
    QString user, mine, sources, chosen;
    std::unique_ptr<Form1> form;
    std::unique_ptr<FailureRecorder> told;

    void start()
    {
        form = std::make_unique<Form1>(shared->path());
        form->dataFile = mine;
        form->Form_Load();
        form->chooseImportFile = [this](QWidget *) { return chosen; };
        setBoard(*form, {2, 9});
    }

private Q_SLOTS:
    void init()
    {
        form.reset(); // Windows removes no file that a connection holds open
        told.reset(); // before the next one takes the handlers
        told = std::make_unique<FailureRecorder>();
        shared = std::make_unique<TestFolder>();
        base = std::make_unique<QTemporaryDir>();
        user = base->filePath("Zoë"_q);
        mine = user + "/newRunewords.mdb"_q;
        sources = base->filePath("Stürme"_q);
        QVERIFY(QDir().mkpath(user) && QFile::copy(shared->dataFile(), mine));
        query(mine, "UPDATE saves SET saveName = 'Zoë''s set' WHERE savenumber = 3;"
                    "INSERT INTO ownedRunes VALUES (3, 46), (3, 9), (3, 3);"_q);
        start();
    }

    // Whatever an import meets, it fails nothing: it goes on or refuses.
    void cleanup() { QCOMPARE(told->texts, QStringList()); }

    // From the menu, a data file built by the data tool from a mod's sources or the sources
    // themselves: the main window shows the new data at once with the player's saves, the
    // replaced file is kept, the data is named and marked, and the windows that showed the old
    // data are gone. A newer program's data leaves it alone; Restore brings the shipped data back
    // with the saves. In a portable folder the first import keeps the shipped data for Restore; a
    // second leaves it.
    void importAndRestore_data()
    {
        QTest::addColumn<bool>("portable");
        QTest::newRow("data file, installed") << false;
        QTest::newRow("text sources, portable") << true;
    }
    void importAndRestore()
    {
        QFETCH(bool, portable);
        chosen = modSources(sources);
        if (portable) {
            form.reset();
            QVERIFY(QFile::remove(shared->dataFile()) && QFile::rename(mine, shared->dataFile()));
            user = shared->path();
            mine = shared->dataFile();
            start();
        } else {
            chosen = user + "/S.mdb"_q;
            QVERIFY(runDataTool({"build"_q, sources, chosen}) != "failed"_q);
            QVERIFY(runDataTool({"check"_q, chosen})
                        .contains("game data \"Stormcoast 2.6\", version 1, not imported"_q));
        }
        const QStringList saves = slotsOf(mine), names = listed(*form);
        const QByteArray before = fileBytes(mine);
        form->mnuFind_Click();
        form->mnuGameData->trigger();
        const QPointer<QWidget> closest = form->findWindow.data();
        form->mnuImport->trigger();
        QVERIFY(listed(*form).contains("Éclatglass"_q) && listed(*form).contains("Sturmglück"_q));
        QCOMPARE(form->Label1[0]->text(), "Ébb"_q);
        QCOMPARE(slotsOf(mine), saves);
        QCOMPARE(ownedTiles(*form), QList<int>{});
        form->mnuload_Click(3);
        QCOMPARE(ownedTiles(*form), (QList<int>{3, 9, 46}));
        QCOMPARE(fileBytes(mine + ".before-import"_q), before);
        QTRY_VERIFY(!closest);
        GameDataWindow *window = form->gameDataWindow;
        QCOMPARE(window->lblGameData->text(), "Stormcoast 2.6, version 1"_q);
        QVERIFY(window->lblImported->text().startsWith("yes, on "_q));
        if (portable) {
            QCOMPARE(fileBytes(mine + ".shipped"_q), before);
            form->mnuImport->trigger();
            QCOMPARE(fileBytes(mine + ".shipped"_q), before);
        } else {
            shared->sql("PRAGMA user_version = 2"_q);
            const QByteArray imported = fileBytes(mine);
            QCOMPARE(locateData(base->path(), user, {shared->path()}).dataFile, mine);
            QCOMPARE(fileBytes(mine), imported);
        }
        window->cmdRestore->click();
        QCOMPARE(listed(*form), names);
        QCOMPARE(slotsOf(mine), saves);
        QCOMPARE(window->lblGameData->text(),
                 "Tessaly's own game data, version %1"_q.arg(portable ? 1 : 2));
        QVERIFY(window->lblImported->text() == "no"_q && !window->cmdRestore->isEnabled());
        QCOMPARE(window->lblDataFile->text(), QDir::toNativeSeparators(mine));
        QCOMPARE(told->notices.size(), portable ? 2 : 1);
    }

    // Refused with one message naming the file and every problem, and nothing changed: not the
    // player's file, nor its folder, nor the window, which goes on working.
    void refusals_data()
    {
        QTest::addColumn<QString>("source");  // below
        QTest::addColumn<QString>("edit");    // SQL, or "old=>new" in a source (see change())
        QTest::addColumn<QString>("reasons"); // each apart by "|"
        const auto row = [](const char *tag, const char *source, const char *edit,
                            const char *reasons) {
            QTest::newRow(tag) << QString::fromLatin1(source) << QString::fromUtf8(edit)
                               << QString::fromUtf8(reasons);
        };
        // mdb: the shipped file changed by SQL; new: a new file made by SQL; blocked: a folder
        // stands where the new file is made; a source file's name: the mod's sources changed
        // there, then written in the encoding that follows the name, if any.
        row("another program's file", "new", "CREATE TABLE notes (body TEXT)",
            "runes: missing|RuneWords: missing|saves: missing");
        row("every problem", "mdb",
            "UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5; UPDATE runes SET Runename "
            "= NULL WHERE Runenumber = 30",
            "RuneWords, RunewordID 5, rune3|runes, Runenumber 30, Runename");
#define VIEW "DROP VIEW runewordList; CREATE VIEW runewordList AS "
        row("loops without end", "mdb",
            VIEW "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i FROM n) SELECT i AS "
                 "runewordName FROM n",
            "runewordList: did not end within the work allowed");
        row("a gigabyte", "mdb", VIEW "SELECT zeroblob(900000000) AS runewordName", "too big");
        row("many large values", "mdb",
            VIEW "SELECT zeroblob(1e7) AS runewordName FROM RuneWords, runes",
            "larger than the program allows");
        row("trigger on a table", "mdb",
            "CREATE TRIGGER t AFTER INSERT ON ownedRunes BEGIN DELETE FROM ownedRunes; END",
            "a trigger on the table ownedRunes");
        row("half way", "blocked", "", "could not open it|Your data file was left as it was");
        row("rune out of range", "runewords.txt", "  runes: 3\n=>  runes: 3 51\n",
            "runewords.txt:6: \"51\" is not a number from 0 to 46");
        row("47 runes", "runes.txt", "rune 46\n=>rune 47\n", "runes.txt:288: \"47\" is not a");
        row("rune without a name", "runes.txt", "  name: Ébb\n=>",
            "runes, Runenumber 1, Runename: the rune has no name");
        row("Windows code page", "runewords.txt ISO-8859-1", "=>",
            "runewords.txt:5: not UTF-8 text; save the file as UTF-8");
        row("UTF-16 without a mark", "runewords.txt UTF-16LE", "=>",
            "runewords.txt:1: not UTF-8 text; save the file as UTF-8");
    }
    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, edit);
        QFETCH(QString, reasons);
        QString path = user + "/Fremd.mdb"_q;
        if (source == "mdb"_q || source == "blocked"_q)
            QVERIFY(QFile::copy(shared->dataFile(), path));
        if (source == "mdb"_q || source == "new"_q)
            query(path, edit);
        if (source == "blocked"_q)
            QVERIFY(QDir().mkpath(mine + ".partial/in the way"_q));
        if (source.contains(".txt"_q)) {
            path = modSources(sources);
            change(QDir(sources).filePath(source.section(u' ', 0, 0)), edit,
                   QStringConverter::encodingForName(qPrintable(source.section(u' ', 1)))
                       .value_or(QStringConverter::Utf8));
        }
        const QByteArray before = fileBytes(mine);
        const QStringList files = filesIn(user), names = listed(*form);
        form->importGameData(path);
        QCOMPARE(told->notices.size(), 1);
        const QStringList expected = reasons.split(u'|') << QDir::toNativeSeparators(path);
        for (const QString &reason : expected)
            QVERIFY2(told->notices[0].contains(reason), qPrintable(told->notices[0]));
        QCOMPARE(fileBytes(mine), before);
        QCOMPARE(filesIn(user), files);
        QCOMPARE(listed(*form), names);
        QCOMPARE(ownedTiles(*form), (QList<int>{2, 9}));
        form->mnuload_Click(3);
        QCOMPARE(ownedTiles(*form), (QList<int>{3, 9, 46}));
    }

    // The about box is its design again: its own size, no data file.
    void aboutBox()
    {
        QCOMPARE(frmAbout(form.get()).size(), QSize(136, 75));
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
