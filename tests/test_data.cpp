#include "data/database.h"
#include "data/querydef.h"
#include "data/recordset.h"
#include "gamedata.h"
#include "gifwriter.h"
#include "mainwindow/programicon.h"
#include "runepictures.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QtEndian>

#include <SQLiteCpp/Database.h>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <thread>

using Damage = std::function<void(TestFolder &)>;
Q_DECLARE_METATYPE(Damage)

namespace {

Damage write(qint64 offset, const QByteArray &bytes, qint64 cutTo = -1)
{
    return [=](TestFolder &folder) {
        QFile file(folder.dataFile());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(offset));
        QVERIFY(file.write(bytes) == bytes.size() && (cutTo < 0 || file.resize(cutTo)));
    };
}

// The folder's files, the file's structure and every table's rows as text; a slot's rows in
// order, their row ids aside.
QStringList contents(TestFolder &folder)
{
    QStringList all =
        filesIn(folder.path()) + folder.column("SELECT sql FROM sqlite_schema ORDER BY name"_q);
    const QString quoted = "SELECT group_concat('quote(\"' || name || '\")', ' || "
                           "''|'' || ') FROM pragma_table_info('%1')"_q;
    for (const QString &table : {"RuneWords"_q, "runes"_q, "saves"_q, "ownedRunes"_q}) {
        const QString first = table == "ownedRunes"_q ? "savenumber"_q : "quote(rowid)"_q;
        all << folder.column("SELECT %1 || '|' || %2 FROM %3 ORDER BY %1, rowid"_q.arg(
            first, folder.column(quoted.arg(table)).value(0), table));
    }
    return all;
}

int runTool(const QStringList &arguments, QString &output)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
    if (!tool.waitForFinished(30000))
        qFatal("tessaly-data did not finish");
    output = QString::fromLocal8Bit(tool.readAll());
    return tool.exitCode();
}

// The image as 32-bit colours, every transparent pixel alike whatever colour it hides (the
// pictures are opaque or transparent, nothing between).
QImage plain(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Random pixels of so many colours: 0 is transparent over a random colour, 1 is opaque black.
QImage noise(int width, int height, int colours)
{
    QRandomGenerator random(quint32(width * height));
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i) {
        const int c = int(random.bounded(colours)) - 1;
        const QRgb hidden = random.generate() & 0xffffffu;
        image.setPixel(i % width, i / width, c < 0 ? hidden : qRgb(c, c * 37 & 255, c * 101 & 255));
    }
    return image;
}

} // namespace

// The data file: the layer that reads it, damaged copies read through a whole session, and the
// tool that makes it from the sources.
class TestData : public QObject {
    Q_OBJECT
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;
    QString output; // what the data tool wrote

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>(TestFolder::Pictures::Left);
        // A view of a function that is not innocuous (not load_extension(), which SQLite refuses
        // in views even in a trusted schema).
        folder->sql("CREATE VIEW peek AS SELECT name FROM pragma_table_info('runes');"_q);
        db = std::make_unique<Database>(folder->dataFile());
    }

    // Reading through the main window's connection. First what fails: a query the engine
    // refuses, two statements in one, and a view (peek) that only a trusted schema may run; each
    // failure names what was attempted, the engine's reason and the file, and the connection
    // goes on.
    void reading()
    {
        for (const auto &[argument, reason] :
             {std::pair{"SELECT Runenam FROM runes"_q, "no such column: Runenam"_q},
              {"SELECT ';'; DELETE FROM runes -- x"_q, "more than one statement"_q},
              {"SELECT * FROM peek"_q, "unsafe use"_q}}) {
            const QString failure =
                failureOf([&, &sql = argument] { db->createQueryDef(sql)->openRecordset(); });
            for (const QString &part : {argument, reason, db->path()})
                QVERIFY2(failure.contains(part), qPrintable(failure));
            QCOMPARE(db->openRecordset("ownedRunes"_q)->recordCount(), 46);
        }

        // Then the rows of a query.
        const auto query = db->createQueryDef("SELECT Runenumber, NULL AS absent, '' AS empty FROM "
                                              "runes WHERE Runenumber <= 3 ORDER BY Runenumber"_q);
        const auto rows = query->openRecordset();
        // Positioned on its first row without being asked; Null and "" stay apart.
        QVERIFY(rows->field("absent"_q).isNull());
        QVERIFY(!rows->field("empty"_q).isNull() && rows->field("empty"_q).toString().isEmpty());
        QString numbers;
        for (rows->moveFirst(); !rows->eof(); rows->moveNext())
            numbers += rows->field("runenumber"_q).toString();
        QCOMPARE(numbers, "123"_q);
        QVERIFY_THROWS_EXCEPTION(Failure, rows->moveNext());
        rows->close();
        QVERIFY_THROWS_EXCEPTION(Failure, rows->moveFirst());
        const auto none = db->createQueryDef("SELECT 1 WHERE 0"_q)->openRecordset();
        QVERIFY_THROWS_EXCEPTION(Failure, none->moveFirst());

        // The statement is finished: another connection may write at once.
        folder->sql("DELETE FROM ownedRunes WHERE runenumber = 1"_q);
        query->close();
        QVERIFY_THROWS_EXCEPTION(Failure, query->openRecordset());

        // The same text again, after another program gave the stored query other columns, and
        // more of them than this connection last knew.
        const QString sql = "SELECT * FROM savesQuery2"_q;
        QCOMPARE(db->createQueryDef(sql)->openRecordset()->field("saveName"_q).toString(),
                 "empty 1"_q);
        folder->sql("DROP VIEW savesQuery2; CREATE VIEW savesQuery2 AS SELECT "
                    "savenumber, upper(saveName) AS label, 'new' AS added FROM saves;"_q);
        const auto changed = db->createQueryDef(sql)->openRecordset();
        QCOMPARE(changed->field("label"_q).toString() + changed->field("added"_q).toString(),
                 "EMPTY 1new"_q);
        QVERIFY_THROWS_EXCEPTION(Failure, changed->field("saveName"_q));
    }

    // Written on a second connection, as another program might write, while the main window's
    // stays open: its stored query reads the change at once; a snapshot keeps what it read, and
    // cannot be changed.
    void writing()
    {
        const auto query = db->createQueryDef("SELECT saveName FROM saves WHERE savenumber = 3"_q);
        const auto snapshot = query->openRecordset();
        Database dialog(folder->dataFile());
        const auto saves = dialog.openRecordset("Saves"_q);
        QVERIFY(saves->findFirst("savenumber = 3"_q));
        saves->edit();
        saves->setField("SAVENAME"_q, "gathered"_q);
        saves->update();
        QCOMPARE(query->openRecordset()->field("saveName"_q).toString(), "gathered"_q);
        QCOMPARE(snapshot->field("saveName"_q).toString(), "empty 3"_q);
        for (auto change : {&Recordset::edit, &Recordset::addNew, &Recordset::deleteRow})
            QVERIFY_THROWS_EXCEPTION(Failure, (snapshot.get()->*change)());
        // Rows added with their fields set in another order each.
        const auto owned = dialog.openRecordset("ownedRunes"_q);
        for (const QString &order : {"savenumber runenumber"_q, "runenumber savenumber"_q}) {
            owned->addNew();
            for (const QString &field : order.split(u' '))
                owned->setField(field, field == "savenumber"_q ? 2 : 7 + order.startsWith(u'r'));
            owned->update();
        }
        QCOMPARE(folder->slots().value(1), "empty 2:7 8"_q);

        // Another program that holds the file for a moment delays a write; it does not fail it.
        SQLite::Database other(folder->dataFile().toUtf8().toStdString(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN IMMEDIATE");
        // Let go only once the write has begun, so that the write surely meets the lock.
        std::thread release;
        db->setTraceHook([&](const QString &) {
            release = std::thread([&other] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                other.exec("COMMIT");
            });
        });
        const QString failure = failureOf(
            [&] { db->execute("DELETE FROM ownedRunes WHERE runenumber = 1"_q, {}, {}); });
        release.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(folder->column("SELECT count(*) FROM ownedRunes"_q), QStringList{"47"_q});
    }

    void hostileFiles_data();
    void hostileFiles();

    // What the sources must carry through an export and a build; then a build over that file, in
    // a folder named as a player named Zoë may have it: the file is left alone, or its game data
    // rebuilt from the shipped sources keeping its saves.
    void exportAndBuild()
    {
        // Values the sources must carry through unchanged, beside the shipped data.
        folder->sql(
            "UPDATE RuneWords SET runewordText = NULL, belt = NULL, rune6 = NULL WHERE rowid = 2;"
            "UPDATE RuneWords SET runewordText = '', nrrunes = NULL WHERE rowid = 3;"
            "UPDATE RuneWords SET runewordText = 'first' || char(13, 10, 13, 10) || '  third ', "
            "nrrunes = 5 WHERE rowid = 4; UPDATE RuneWords SET RuneWordName = 'Звезда 星', "
            "RunewordID = 900 WHERE rowid = 5; UPDATE runes SET Runefunction2 = 'a' || char(13, "
            "10) "
            "|| 'b' WHERE rowid = 9; UPDATE saves SET saveName = '  spaced  ' WHERE rowid = 3;"
            "INSERT INTO ownedRunes VALUES (3, 17), (3, 2);"_q);
        QTemporaryDir sources;
        QCOMPARE(runTool({"export"_q, folder->dataFile(), sources.path()}, output), 0);
        // The build itself refuses the Null values the program cannot use; the sources keep them.
        const QTemporaryDir players(QDir::tempPath() + "/Zoë-XXXXXX"_q);
        TestFolder player(TestFolder::Pictures::Left, players.path());
        writeDataFile(readGameData(sources.path()), readSchema(sources.path()), player.dataFile());
        const QStringList before = contents(player), saves = player.slots();
        QCOMPARE(before, contents(*folder));
        const auto build = [&](const QStringList &options) {
            return runTool(
                QStringList{"build"_q} + options << gameDataSources() << player.dataFile(), output);
        };
        QCOMPARE(build({}), 1);
        QCOMPARE(build({"--if-missing"_q}), 0);
        QCOMPARE(contents(player), before);
        // What a killed build left beside the target does not reach the new file.
        for (const char *leftover : {".partial", ".partial-journal"})
            QVERIFY(QFile::copy(player.dataFile(), player.dataFile() + QLatin1String(leftover)));
        QCOMPARE(build({"--keep-saves"_q}), 0);
        QCOMPARE(filesIn(player.path()), QStringList{"newRunewords.mdb"_q});
        QCOMPARE(player.slots(), saves);
        QCOMPARE(player.column("SELECT count(*) FROM RuneWords WHERE rowid = 900"_q), {"0"_q});
    }

    // The data tool refuses, and leaves the data file and its folder as they were: export what the
    // sources cannot hold; check, in one run, all that the program cannot live with; build a
    // source that the reader refuses, by file and line, or that the engine or the finished file's
    // check refuses.
    void toolRefuses_data()
    {
        // The command (export, check, or the source a build reads changed), the change (SQL run
        // on the file, or the source's new text), the messages (each apart by "|"), the source's
        // text replaced (none: the change added at the end) and the line the message names (none:
        // it names none).
        QTest::addColumn<QStringList>("refusal");
        const auto row = [](const char *tag, const char *command, const char *change,
                            const char *messages, const char *text = "", const char *marker = "") {
            QTest::newRow(tag) << QStringList{QString::fromUtf8(command), QString::fromUtf8(change),
                                              QString::fromUtf8(messages), QString::fromUtf8(text),
                                              QString::fromUtf8(marker)};
        };
        row("past 32 bits", "export", "UPDATE RuneWords SET rune1 = 4294967299 WHERE rowid = 1",
            "RuneWords, row 1, rune1: not a whole number");
        row("rune of no slot", "export", "INSERT INTO ownedRunes VALUES (11, 3)",
            "ownedRunes, row 47, savenumber: no slot 11");
        row("id below 1", "export", "UPDATE RuneWords SET RunewordID = 0 WHERE rowid = 1",
            "RuneWords, row 0, RunewordID: not a whole number from 1");
        // Values out of range are the import tests', through the same check.
        row("what the program relies on", "check",
            "UPDATE runes SET Runenumber = 0 WHERE rowid = 1; DELETE FROM saves WHERE rowid = 4;"
            "INSERT INTO ownedRunes VALUES (2, 5), (1, 4), (2, 6); DROP VIEW savesQuery;"
            "CREATE VIEW savesQuery AS SELECT rowid AS rowid, * FROM ownedRunes;",
            "rune 1 is missing|runesQuery, row 1|savesQuery2: gives 9 rows|do not stand together|"
            "cannot be deleted");
        row("save without a name", "saves.txt", "", "the field \"name\" is missing",
            "  name: empty 3\n", "save 3");
        row("id taken", "runewords.txt", "\nruneword Copy\n  id: 1\n  runes: 3\n  types: helm\n",
            "the id 1 is taken", "", "  id: 1");
        row("place taken", "runewords.txt", "runeword Driftglass\n  id: 2\n", "its place, 2,",
            "runeword Driftglass\n", "runeword Pebble Oath");
        row("row refused", "schema.sql",
            "CREATE TRIGGER t BEFORE INSERT ON ownedRunes BEGIN SELECT RAISE(ABORT, 'nay'); END;",
            "row 1 of ownedRunes: nay");
        row("check refuses", "runes.txt", "", "runes, Runenumber 1, Runename: the rune has no name",
            "  name: Ebb\n");
    }

    void toolRefuses()
    {
        QFETCH(QStringList, refusal);
        const QString command = refusal[0], change = refusal[1], text = refusal[3];
        const QString messages = refusal[2], marker = refusal[4];
        TestFolder folder(TestFolder::Pictures::Left);
        QTemporaryDir sources;
        QStringList arguments{command, folder.dataFile(), sources.path()};
        QString source;
        if (command == "export"_q || command == "check"_q) {
            folder.sql(change);
        } else {
            // The sources of the file itself, with a rune saved.
            folder.sql("INSERT INTO ownedRunes VALUES (1, 9);"_q);
            QCOMPARE(runTool({"export"_q, folder.dataFile(), sources.path()}, output), 0);
            source = QString::fromUtf8(fileBytes(sources.filePath(command)));
            QVERIFY(source.contains(text));
            source = text.isEmpty() ? source + change : source.replace(text, change);
            QFile changed(sources.filePath(command));
            QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write(source.toUtf8()) > 0);
            arguments = QStringList{"build"_q, "--keep-saves"_q, sources.path(), folder.dataFile()};
        }
        if (command == "check"_q)
            arguments.removeLast();
        const QStringList before = contents(folder);
        QCOMPARE(runTool(arguments, output), 1);
        for (const QString &message : messages.split(u'|'))
            QVERIFY2(output.contains(message), qPrintable(output));
        const auto line = source.left(source.indexOf(marker)).count(u'\n') + 1;
        QVERIFY2(marker.isEmpty() || output.contains("/%1:%2: "_q.arg(command).arg(line)),
                 qPrintable(output));
        QCOMPARE(contents(folder), before);
    }

    // A write that fails is reported with its reason, and leaves the target and its folder as
    // they were: a Null the engine refuses half way (every statement must be finished, or the
    // file stays open and its journal beside it), and a folder in the way of the rename into
    // place.
    void failedWriteClosesItsFile()
    {
        const QString isAFolder = QString::fromLocal8Bit(
            std::make_error_code(std::errc::is_a_directory).message().c_str());
        const QDir descriptors("/proc/self/fd"_q);
        for (const auto &[inTheWay, reason] :
             {std::pair{false, "NOT NULL constraint failed: saves"_q}, {true, isAFolder}}) {
            GameData data = readGameData(gameDataSources());
            TestFolder folder(TestFolder::Pictures::Left);
            QString target = folder.dataFile();
            if (inTheWay)
                QVERIFY(QDir().mkpath((target = folder.path() + "/taken"_q) + "/kept"_q));
            else
                data.saves[9].name = QString();
            const QStringList before = contents(folder);
            const QString message =
                failureOf([&] { writeDataFile(data, readSchema(gameDataSources()), target); });
            QVERIFY2(message.startsWith(target + u':') && message.contains(reason),
                     qPrintable(message));
            for (const QString &fd : descriptors.entryList(QDir::Files | QDir::System))
                QVERIFY(!QFileInfo(descriptors.filePath(fd)).symLinkTarget().startsWith(target));
            QCOMPARE(contents(folder), before);
            QVERIFY(!inTheWay || QFileInfo(target + "/kept"_q).isDir());
        }
        if (!descriptors.exists())
            QSKIP("needs /proc/self/fd (Linux) to see that no file was left open");
    }

    // The rune pictures, and the Windows icon: a directory whose entries each point at their own
    // image, a PNG of the entry's size drawn as the program draws its icon.
    void pictures()
    {
        // Enough pixels that the code table fills and is cleared many times, at the widest and at
        // the narrowest code size; the hidden colours of transparent pixels must not count.
        for (const QImage &image : {noise(1, 1, 2), noise(200, 200, 256), noise(1000, 3, 2)})
            QCOMPARE(plain(QImage::fromData(encodeGif(image), "gif")), plain(image));
        QTemporaryDir dir;
        const QDir folder(dir.filePath("not/yet/there"_q));
        writeRunePictures(folder.path());
        // Each picture also at twice the size, drawn at that size rather than enlarged.
        for (int rune = 1; rune <= runePictureCount; ++rune) {
            QCOMPARE(plain(QImage(folder.filePath("crune%1.gif"_q.arg(rune)), "gif")),
                     plain(drawRunePicture(rune)));
            const auto large = plain(QImage(folder.filePath("crune%1@2x.gif"_q.arg(rune)), "gif"));
            QCOMPARE(large, plain(drawRunePicture(rune, 2)));
            QCOMPARE(large.size(), QSize(54, 52));
            QVERIFY(large != plain(drawRunePicture(rune).scaled(large.size())));
        }
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawRunePicture(runePictureCount + 1));
        // A plain file where a folder should be makes the folder impossible to create.
        const QString blocked = folder.filePath("crune1.gif/runes"_q);
        QVERIFY(failureOf([&] { writeRunePictures(blocked); }).contains(blocked));

        // The icon, under a non-ASCII file name.
        const QString path = dir.filePath("Zoë.ico"_q);
        QCOMPARE(QProcess::execute(QStringLiteral(TESSALY_MAKEICON), {path}), 0);
        const QByteArray icon = fileBytes(path);
        const char *bytes = icon.constData();
        const int count = qFromLittleEndian<quint16>(bytes + 4);
        QVERIFY(qFromLittleEndian<quint16>(bytes + 2) == 1 && count > 1); // an icon of sizes
        for (int entry = 0; entry < count; ++entry) {
            const char *at = bytes + 6 + 16 * entry;
            const int size = quint8(*at) ? quint8(*at) : 256;
            const QByteArray png =
                icon.mid(qFromLittleEndian<quint32>(at + 12), qFromLittleEndian<quint32>(at + 8));
            QCOMPARE(plain(QImage::fromData(png, "PNG")), programIconImage(size));
        }
    }
};

void TestData::hostileFiles_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("reason"); // empty: the file works
    const auto row = [](const char *tag, const char *reason, const Damage &damage) {
        QTest::newRow(tag) << damage << QString::fromUtf8(reason);
    };
    const auto sql = [&](const char *tag, const QString &statements, const char *reason = "") {
        row(tag, reason, [statements](TestFolder &folder) { folder.sql(statements); });
    };
    const QString view = "DROP VIEW runewordList; CREATE VIEW runewordList AS "_q;
    const qint64 size = QFile(TestFolder(TestFolder::Pictures::Left).dataFile()).size();
    row("empty", "The file is empty.", write(0, {}, 0));
    row("cut in the header", "malformed", write(0, {}, 60));
    row("cut by its last page", "malformed", write(0, {}, size - 4096));
    row("cut by one byte", "The file is damaged", write(0, {}, size - 1));
    for (int page = 1; page <= size / 4096; ++page) {
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator(page).fillRange(reinterpret_cast<quint32 *>(noise.data()), 1024);
        row(qPrintable("page %1 random"_q.arg(page)),
            page == 1 ? "file is not a database" : "The file is damaged",
            write((page - 1) * 4096LL, noise));
    }
    sql("no runesQuery", "DROP VIEW runesQuery;"_q, "no table or stored query");
    sql("no saves", "DROP TABLE saves;"_q, "no such table: main.saves");
    sql("no Runename", "ALTER TABLE runes RENAME Runename TO a;"_q, "Runename of runesQuery");
    sql("no nrrunes", "ALTER TABLE RuneWords DROP nrrunes;"_q, "nrrunes of Select * from");
    sql("nine slots", "DELETE FROM saves WHERE savenumber = 10;"_q, "ends after 9 rows");
    sql("Null Runename", "UPDATE runes SET Runename = NULL WHERE rowid = 17"_q, "Runename is Null");
    // SQLite cannot drop a NOT NULL constraint; the schema's text is edited instead.
    sql("Null saveName",
        "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = replace(sql, 'NOT NULL', '') "
        "WHERE name = 'saves'; PRAGMA writable_schema = RESET; UPDATE saves SET saveName = NULL "
        "WHERE rowid = 4;"_q,
        "saveName is Null");
    // Work and sizes are bounded in what the file defines.
    sql("never ends",
        view + "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i FROM n) SELECT i FROM n"_q,
        "did not end within the work allowed");
    sql("a gigabyte", view + "SELECT zeroblob(900000000) AS runewordName"_q, "too big");
    sql("many large values", view + "SELECT zeroblob(1e7) AS runewordName FROM RuneWords, runes"_q,
        "larger than the program allows");

    // Each runeword one of six kinds of nrrunes.
    sql("Nulls and numbers out of range",
        "UPDATE RuneWords SET nrrunes = json_array(0, 7, -3, 1e300, NULL, 'four') ->> (rowid % 6), "
        "rune2 = NULL, helm = NULL, armor = NULL, Other = NULL, runewordText = NULL; UPDATE "
        "RuneWords SET rune1 = 47, rune2 = -1, rune3 = 9223372036854775807, rune4 = 1e300, rune5 "
        "= 2.5, rune6 = 'five' WHERE rowid % 2 = 0; INSERT INTO ownedRunes VALUES (1, 0), (1, 47), "
        "(1, -8), (1, 1e300), (1e300, 4);"_q);
    sql("names with apostrophes, blanks, other scripts",
        "UPDATE RuneWords SET RuneWordName = json_array('Hunter''s '' Moon', '  spaced  out ', "
        "'Ночь') ->> (rowid - 1) WHERE rowid < 4; UPDATE runes SET Runename = json_array('ᚠᛖᚺᚢ', "
        "'Ωμέγα', 'ملح', '鉄🜂', ' O''Dell ') ->> (rowid - 1) WHERE rowid < 6; UPDATE saves SET "
        "saveName = json_array('セーブ', ' it''s mine ') ->> (rowid - 1) WHERE rowid < 3;"_q);
    // Lines of 48 characters in every tenth runeword's text.
    sql("a megabyte",
        "UPDATE RuneWords SET runewordText = replace(printf('%.20000c', 'x'), 'x', 'forty-eight "
        "characters of a very long rune text' || char(13, 10)) WHERE rowid % 10 = 1; UPDATE runes "
        "SET Runename = printf('%.1000000c', 'r') WHERE rowid = 1; UPDATE saves SET saveName = "
        "printf('%.1000000c', 's') WHERE rowid = 3;"_q);
    sql("WAL journal mode", "PRAGMA journal_mode = WAL;"_q);
}

// Start-up, then everything a session reads: one message naming the file and what is wrong, and
// the file unchanged. A session that would not end is ended by the engine's work limit. For a
// working file no message, and its names shown.
void TestData::hostileFiles()
{
    QFETCH(Damage, damage);
    QFETCH(QString, reason);
    TestFolder damaged;
    damage(damaged);
    const QByteArray before = fileBytes(damaged.dataFile());
    const FailureRecorder reported;
    std::unique_ptr<Form1> form;
    QStringList wrong{failureOf([&] { readEverything(*(form = startForm(damaged.path()))); })};
    wrong << reported.texts;
    wrong.removeAll(QString());
    if (fileBytes(damaged.dataFile()) != before)
        wrong << "the file changed"_q;
    const bool named = wrong.size() == 1 && wrong[0].contains(damaged.dataFile());
    QVERIFY2(reason.isEmpty() ? wrong.isEmpty() : named && wrong[0].contains(reason),
             qPrintable(wrong.join(u'\n')));
    if (!reason.isEmpty())
        return;
    QStringList names;
    for (const QLabel *label : form->Label1)
        names << label->text();
    for (int k = 1; k <= 10; ++k)
        names << form->mnuload[size_t(k)]->text();
    QCOMPARE(names,
             damaged.column("SELECT Runename FROM runes UNION ALL SELECT saveName FROM saves"_q));
}

QTEST_MAIN(TestData)
#include "test_data.moc"
