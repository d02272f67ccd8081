#include "about/frmabout.h"
#include "data/failure.h"
#include "mainwindow/datalocation.h"
#include "mainwindow/form1.h"
#include "rebuild.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>

namespace {

QByteArray bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

// An install: the program's folder without a data file, the shared folder with the shipped
// file and pictures, and the player's folder, which holds a copy where a case needs one.
class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir program;
    std::unique_ptr<TestFolder> shared;
    std::unique_ptr<TestFolder> user;

private Q_SLOTS:
    void init()
    {
        shared = std::make_unique<TestFolder>();
        user = std::make_unique<TestFolder>(TestFolder::Pictures::Left);
    }
    void portableAndFirstStart();
    void existingCopy_data();
    void existingCopy();
    void failureLeavesThePlayersFolder_data();
    void failureLeavesThePlayersFolder();
    void aboutShowsTheDataFile();
};

void TestInstall::portableAndFirstStart()
{
    // A folder with a writable data file beside the program is used as it is.
    const QString elsewhere = user->path() + QStringLiteral("/made/on/first/start");
    DataLocation location = locateData(shared->path(), elsewhere, {QStringLiteral("/nowhere")});
    QCOMPARE(location.dataFile, shared->dataFile());
    QCOMPARE(location.shippedFolder, shared->path());
    QVERIFY(!QFileInfo::exists(elsewhere));
    // Otherwise the first start copies the shipped file into a folder it makes.
    location = locateData(program.path(), elsewhere, {shared->path()});
    QCOMPARE(location.dataFile, elsewhere + QStringLiteral("/newRunewords.mdb"));
    QCOMPARE(location.shippedFolder, shared->path());
    QCOMPARE(bytes(location.dataFile), bytes(shared->dataFile()));
    QCOMPARE(filesIn(elsewhere), QStringList{QStringLiteral("newRunewords.mdb")});
}

void TestInstall::existingCopy_data()
{
    QTest::addColumn<int>("shippedVersion");
    QTest::addColumn<int>("copyVersion");
    QTest::newRow("same game data: kept") << 1 << 1;
    QTest::newRow("newer game data shipped: upgraded") << 2 << 1;
    QTest::newRow("older game data shipped: kept") << 1 << 2;
}

void TestInstall::existingCopy()
{
    QFETCH(int, shippedVersion);
    QFETCH(int, copyVersion);
    shared->sql(QStringLiteral("PRAGMA user_version = %1; UPDATE RuneWords SET RuneWordName = "
                               "'Renamed' WHERE RunewordID = 1; UPDATE saves SET saveName = "
                               "'shipped';")
                    .arg(shippedVersion));
    user->sql(QStringLiteral("PRAGMA user_version = %1; UPDATE saves SET saveName = 'mine' || "
                             "savenumber; DELETE FROM ownedRunes WHERE savenumber = 2; "
                             "INSERT INTO ownedRunes VALUES (2, 9), (2, 3), (2, 46);")
                  .arg(copyVersion));
    const QString saves = QStringLiteral(
        "SELECT saveName || ':' || group_concat(runenumber) FROM saves LEFT JOIN (SELECT * FROM "
        "ownedRunes ORDER BY rowid) USING (savenumber) GROUP BY savenumber ORDER BY savenumber");
    const QStringList playersSaves = user->column(saves);
    const QByteArray before = bytes(user->dataFile());

    QCOMPARE(locateData(program.path(), user->path(), {shared->path()}).dataFile, user->dataFile());
    if (shippedVersion <= copyVersion) {
        QCOMPARE(bytes(user->dataFile()), before);
        return;
    }
    QCOMPARE(user->column(saves), playersSaves);
    QCOMPARE(user->scalar(QStringLiteral("SELECT RuneWordName FROM RuneWords WHERE RunewordID = 1"))
                 .toString(),
             QStringLiteral("Renamed"));
    QCOMPARE(gameDataVersion(user->dataFile()), shippedVersion);
    // Neither the new file under its temporary name nor the backup is left behind.
    QCOMPARE(filesIn(user->path()), QStringList{QStringLiteral("newRunewords.mdb")});
}

// A start that cannot go on names the path at fault, and the player's folder stays as it was.
void TestInstall::failureLeavesThePlayersFolder_data()
{
    QTest::addColumn<QString>("damage");
    for (const char *damage :
         {"nothing shipped", "shipped file cut short", "shipped file lacks a query",
          "no folder for the copy", "copy cannot be upgraded"})
        QTest::newRow(damage) << QString::fromLatin1(damage);
}

void TestInstall::failureLeavesThePlayersFolder()
{
    QFETCH(QString, damage);
    QString userFolder = user->path();
    QString path = shared->dataFile();
    if (damage == QLatin1String("copy cannot be upgraded")) {
        // A save name the rebuild cannot carry over.
        shared->sql(QStringLiteral("PRAGMA user_version = 2"));
        user->sql(QStringLiteral("UPDATE saves SET saveName = 'two' || char(10) || 'lines' "
                                 "WHERE savenumber = 3"));
        path = user->dataFile();
    } else {
        QFile::remove(user->dataFile());
    }
    if (damage == QLatin1String("nothing shipped")) {
        QFile::remove(shared->dataFile());
        path = shared->path();
    } else if (damage == QLatin1String("shipped file cut short")) {
        QFile::resize(shared->dataFile(), 3000);
    } else if (damage == QLatin1String("shipped file lacks a query")) {
        shared->sql(QStringLiteral("DROP VIEW runesQuery"));
    } else if (damage == QLatin1String("no folder for the copy")) {
        QFile file(userFolder += QStringLiteral("/file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        path = userFolder += QStringLiteral("/below");
    }
    const QStringList files = filesIn(user->path());
    const QByteArray before = bytes(user->dataFile());
    QString failure;
    try {
        locateData(program.path(), userFolder, {shared->path()});
    } catch (const Failure &caught) {
        failure = caught.object() + QLatin1Char('|') + caught.reason();
    }
    QVERIFY2(failure.startsWith(QDir::toNativeSeparators(path) + QLatin1Char('|')),
             qPrintable(failure));
    QVERIFY2(path != user->dataFile() || failure.contains(QStringLiteral("line break")),
             qPrintable(failure));
    QCOMPARE(filesIn(user->path()), files);
    QCOMPARE(bytes(user->dataFile()), before);
}

void TestInstall::aboutShowsTheDataFile()
{
    const auto form = startForm(shared->path());
    QStringList shown;
    whenModal<frmAbout>([&](frmAbout *about) {
        shown << about->lblTitle->text() << about->lblVersion->text() << about->lblDataFile->text();
        about->close();
    });
    form->mnuAbout->trigger();
    QCOMPARE(shown,
             (QStringList{QStringLiteral("Tessaly by Quillane"), QStringLiteral("Version 1.3.2"),
                          QStringLiteral("Data file: ") +
                              QDir::toNativeSeparators(shared->dataFile())}));
}

QTEST_MAIN(TestInstall)
#include "test_install.moc"
