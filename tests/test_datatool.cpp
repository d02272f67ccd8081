#include "gamedata.h"
#include "gifwriter.h"
#include "runepictures.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

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
        all << folder.column(QStringLiteral("SELECT %1 || '|' || %2 FROM %3 ORDER BY %1, rowid")
                                 .arg(first, folder.scalar(quoted.arg(table)).toString(), table));
    }
    return all;
}

QStringList files(const TestFolder &folder)
{
    return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
}

// The tool's exit code; what it wrote goes to output.
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

// The image as 32-bit colours, every transparent pixel alike whatever colour it hides.
QImage plain(const QImage &image)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRgb *pixels = reinterpret_cast<QRgb *>(argb.bits());
    for (int i = 0; i < argb.width() * argb.height(); ++i)
        pixels[i] = qAlpha(pixels[i]) ? pixels[i] : 0;
    return argb;
}

// Random pixels of so many colours: 0 is transparent over a random colour, 1 is opaque black.
QImage noise(int width, int height, int colours)
{
    QRandomGenerator random(quint32(width * height));
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i) {
        const int c = int(random.bounded(colours)) - 1;
        image.setPixel(i % width, i / width,
                       c < 0 ? random.generate() & 0xffffffu
                             : qRgb(c, (c * 37) & 0xff, (c * 101) & 0xff));
    }
    return image;
}

} // namespace

class TestDataTool : public QObject {
    Q_OBJECT
    QString output;

private Q_SLOTS:
    void exportAndBuildRoundTrip()
    {
        TestFolder original(TestFolder::Pictures::Left);
        // Values the sources must carry through unchanged, beside the shipped data.
        original.sql(QStringLiteral(
            "UPDATE RuneWords SET runewordText = NULL, belt = NULL, rune6 = NULL WHERE RunewordID "
            "= 2; UPDATE RuneWords SET runewordText = '', nrrunes = NULL WHERE RunewordID = 3;"
            "UPDATE RuneWords SET runewordText = 'first' || char(13, 10) || char(13, 10) || '  "
            "third ', nrrunes = 5 WHERE RunewordID = 4;"
            "UPDATE RuneWords SET RuneWordName = 'Звезда 星', RunewordID = 900 WHERE RunewordID = "
            "5;"
            "UPDATE runes SET Runefunction2 = 'a' || char(13, 10) || 'b' WHERE Runenumber = 9;"
            "UPDATE saves SET saveName = '  spaced  ' WHERE savenumber = 3;"
            "INSERT INTO ownedRunes VALUES (3, 17), (3, 2);"));
        QTemporaryDir sources;
        QCOMPARE(runTool({QStringLiteral("export"), original.dataFile(), sources.path()}, output),
                 0);
        // The build itself refuses the Null values the program cannot use; the sources keep them.
        TestFolder rebuilt(TestFolder::Pictures::Left);
        writeDataFile(readGameData(sources.path()), readSchema(sources.path()), rebuilt.dataFile());
        QCOMPARE(contents(rebuilt), contents(original));
    }

    // Export refuses what the sources cannot hold; the check names, in one run, all that the
    // program cannot live with.
    void refusedData_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char *tag, const char *command, const char *change,
                            const QStringList &messages) {
            QTest::newRow(tag) << command << QString::fromUtf8(change) << messages;
        };
        row("line feed alone", "export",
            "UPDATE runes SET Runefunction1 = 'a' || char(10) || 'b' WHERE Runenumber = 2",
            {QStringLiteral("runes, row 2, Runefunction1: a line break other than CR LF")});
        row("beyond a whole number", "export",
            "UPDATE RuneWords SET rune1 = 4294967299 WHERE RunewordID = 1",
            {QStringLiteral("RuneWords, row 1, rune1: not a whole number")});
        row("rune of no slot", "export",
            "INSERT INTO ownedRunes (rowid, savenumber, runenumber) VALUES (500, 11, 3)",
            {QStringLiteral("ownedRunes, row 500, savenumber: no slot 11")});
        row("id below 1", "export", "UPDATE RuneWords SET RunewordID = 0 WHERE RunewordID = 1",
            {QStringLiteral("RuneWords, row 0, RunewordID: not a whole number from 1")});
        row("what the program relies on", "check",
            "UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5;"
            "UPDATE runes SET Runename = NULL WHERE Runenumber = 30;"
            "UPDATE runes SET Runenumber = 0 WHERE Runenumber = 1;"
            "DELETE FROM saves WHERE savenumber = 4;"
            "INSERT INTO ownedRunes VALUES (2, 5), (1, 4), (2, 6); DROP VIEW savesQuery;"
            "CREATE VIEW savesQuery AS SELECT rowid AS rowid, * FROM ownedRunes;",
            QStringLiteral("RuneWords, RunewordID 5, rune3|runes, Runenumber 30, Runename|rune 1 "
                           "is missing|runesQuery, row 1|savesQuery2: gives 9 rows|do not stand "
                           "together|cannot be deleted")
                .split(u'|'));
    }

    void refusedData()
    {
        QFETCH(QString, command);
        QFETCH(QString, change);
        QFETCH(QStringList, messages);
        TestFolder folder(TestFolder::Pictures::Left);
        folder.sql(change);
        QTemporaryDir sources;
        QStringList arguments{command, folder.dataFile()};
        if (command == QLatin1String("export"))
            arguments << sources.path();
        QCOMPARE(runTool(arguments, output), 1);
        for (const QString &message : messages)
            QVERIFY2(output.contains(message), qPrintable(output));
    }

    void failedBuildLeavesTheTarget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text"); // replaced; none: the replacement is added at the end
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("marker"); // the line the message names; none: names none
        QTest::addColumn<QString>("message");
        const auto row = [](const char *tag, const char *file, const char *text,
                            const char *replacement, const char *marker, const char *message) {
            QTest::newRow(tag) << file << text << replacement << marker << message;
        };
        // What the table's columns would refuse is refused by the reader, by file and line.
        row("number out of range", "runewords.txt", "",
            "\nruneword Broken\n  runes: 3 51\n  types: helm\n", "  runes: 3 51",
            "\"51\" is not a number from 0 to 46");
        row("save without a name", "saves.txt", "  name: empty 3\n", "", "save 3",
            "the field \"name\" is missing");
        row("id taken", "runewords.txt", "",
            "\nruneword Copy\n  id: 1\n  runes: 3\n  types: helm\n", "  id: 1",
            "the id 1 is taken");
        row("place taken", "runewords.txt", "runeword Driftglass\n",
            "runeword Driftglass\n  id: 2\n", "runeword Pebble Oath", "its place, 2,");
        // The engine refuses a row halfway through, or the finished file fails the check.
        row("row refused", "schema.sql", "",
            "\nCREATE TRIGGER refuse BEFORE INSERT ON ownedRunes BEGIN SELECT RAISE(ABORT, "
            "'refused'); END;\n",
            "", "row 1 of ownedRunes: refused");
        row("check refuses", "runes.txt", "  name: Ebb\n", "", "",
            "runes, Runenumber 1, Runename: the rune has no name");
    }

    void failedBuildLeavesTheTarget()
    {
        QFETCH(QString, file);
        QFETCH(QString, text);
        QFETCH(QString, replacement);
        QFETCH(QString, marker);
        QFETCH(QString, message);
        QTemporaryDir sources;
        for (const char *name : {"runes.txt", "runewords.txt", "saves.txt", "schema.sql"})
            QVERIFY(QFile::copy(QDir(gameDataSources()).filePath(QLatin1String(name)),
                                sources.filePath(QLatin1String(name))));
        QFile changed(sources.filePath(file));
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QString source = QString::fromUtf8(changed.readAll());
        QVERIFY(source.contains(text));
        source.replace(text.isEmpty() ? source.size() : source.indexOf(text), text.size(),
                       replacement);
        changed.resize(0);
        changed.write(source.toUtf8());
        changed.close();
        TestFolder folder(TestFolder::Pictures::Left);
        folder.sql(QStringLiteral("INSERT INTO ownedRunes VALUES (1, 9);"));
        const QStringList before = contents(folder), names = files(folder);
        QCOMPARE(runTool({QStringLiteral("build"), QStringLiteral("--keep-saves"), sources.path(),
                          folder.dataFile()},
                         output),
                 1);
        QVERIFY2(output.contains(message), qPrintable(output));
        const auto line = source.left(source.indexOf(marker)).count(u'\n') + 1;
        QVERIFY2(marker.isEmpty() ||
                     output.contains(QStringLiteral("/%1:%2: ").arg(file).arg(line)),
                 qPrintable(output));
        QCOMPARE(files(folder), names);
        QCOMPARE(contents(folder), before);
    }

    void failedWriteClosesItsFile()
    {
        // A Null the engine refuses half way: every statement must be finished, or the file
        // stays open and its journal beside it.
        GameData data = readGameData(gameDataSources());
        data.saves[9].name = QString();
        TestFolder folder(TestFolder::Pictures::Left);
        const QStringList before = contents(folder);
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            writeDataFile(data, readSchema(gameDataSources()), folder.dataFile()));
        const QDir descriptors(QStringLiteral("/proc/self/fd"));
        for (const QString &fd : descriptors.entryList(QDir::Files | QDir::System))
            QVERIFY(
                !QFileInfo(descriptors.filePath(fd)).symLinkTarget().startsWith(folder.dataFile()));
        QCOMPARE(files(folder), QStringList{QStringLiteral("newRunewords.mdb")});
        QCOMPARE(contents(folder), before);
    }

    void buildKeepsAnExistingFile()
    {
        // An existing file is left alone, or rebuilt from the sources keeping the player's saves.
        TestFolder folder(TestFolder::Pictures::Left);
        folder.sql(QStringLiteral("UPDATE saves SET saveName = 'mine' WHERE savenumber = 1;"
                                  "INSERT INTO ownedRunes VALUES (1, 9);"
                                  "UPDATE runes SET Runename = 'Old' WHERE Runenumber = 1;"));
        const QStringList before = contents(folder);
        const auto build = [&](const char *option) {
            QStringList arguments{QStringLiteral("build"), QLatin1String(option), gameDataSources(),
                                  folder.dataFile()};
            arguments.removeAll(QString());
            return runTool(arguments, output);
        };
        QCOMPARE(build(""), 1);
        QCOMPARE(build("--if-missing"), 0);
        QCOMPARE(contents(folder), before);
        // What a killed build left beside the target does not reach the new file.
        for (const char *leftover : {".partial", ".partial-journal"})
            QVERIFY(QFile::copy(folder.dataFile(), folder.dataFile() + QLatin1String(leftover)));
        QCOMPARE(build("--keep-saves"), 0);
        QCOMPARE(files(folder), QStringList{QStringLiteral("newRunewords.mdb")});
        QCOMPARE(folder.column(QStringLiteral(
                     "SELECT saveName || runenumber FROM saves NATURAL JOIN ownedRunes WHERE "
                     "savenumber = 1 UNION ALL SELECT Runename = 'Old' FROM runes WHERE "
                     "Runenumber = 1")),
                 (QStringList{QStringLiteral("mine9"), QStringLiteral("0")}));
    }

    void encoderRoundTrip()
    {
        // Enough pixels that the code table fills and is cleared many times, at the widest and at
        // the narrowest code size; the hidden colours of transparent pixels must not count.
        for (const QImage &image : {noise(1, 1, 2), noise(200, 200, 256), noise(1000, 3, 2)}) {
            QBuffer buffer;
            buffer.setData(encodeGif(image));
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QCOMPARE(plain(QImageReader(&buffer, "gif").read()), plain(image));
        }
    }

    void runePictures()
    {
        QTemporaryDir dir;
        const QDir folder(dir.filePath(QStringLiteral("not/yet/there")));
        writeRunePictures(folder.path());
        for (int rune = 1; rune <= runePictureCount; ++rune)
            QCOMPARE(plain(QImage(folder.filePath(QStringLiteral("crune%1.gif").arg(rune)), "gif")),
                     plain(drawRunePicture(rune)));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawRunePicture(runePictureCount + 1));
        // A plain file where a folder should be makes the folder impossible to create.
        const QString blocked = folder.filePath(QStringLiteral("crune1.gif/runes"));
        try {
            writeRunePictures(blocked);
            QFAIL("no error for an impossible folder");
        } catch (const std::runtime_error &error) {
            QVERIFY2(QString::fromStdString(error.what()).contains(blocked), error.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestDataTool)
#include "test_datatool.moc"
