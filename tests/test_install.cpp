#include "about/frmabout.h"
#include "data/failure.h"
#include "gamedata.h"
#include "mainwindow/datalocation.h"
#include "mainwindow/form1.h"
#include "rebuild.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>

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

// The failure a start meets, or an empty text.
QString failureOf(const std::function<void()> &start)
{
    try {
        start();
    } catch (const Failure &failure) {
        return failure.object() + QLatin1Char('|') + failure.reason();
    }
    return QString();
}

} // namespace

// An install: the program's folder without a data file, the shared folder with the shipped
// file and pictures, and the player's folder, which holds a copy where a case needs one.
class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir program;
    std::unique_ptr<TestFolder> shared;
    std::unique_ptr<TestFolder> user;

    DataLocation start() { return locateData(program.path(), user->path(), {shared->path()}); }

private Q_SLOTS:
    void init()
    {
        shared = std::make_unique<TestFolder>();
        user = std::make_unique<TestFolder>(TestFolder::Pictures::Left);
    }
    void portableFolderIsUsedAsItIs();
    void firstStartCopiesTheShippedFile();
    void existingCopy_data();
    void existingCopy();
    void copyThatCannotBeUpgradedIsLeftAlone();
    void failuresNameThePath_data();
    void failuresNameThePath();
    void aboutShowsTheDataFile();
};

void TestInstall::portableFolderIsUsedAsItIs()
{
    const DataLocation location = locateData(shared->path(), user->path() + QStringLiteral("/x"),
                                             {QStringLiteral("/nowhere")});
    QCOMPARE(location.dataFile, shared->dataFile());
    QCOMPARE(location.shippedFolder, shared->path());
    QVERIFY(!QFileInfo::exists(user->path() + QStringLiteral("/x")));
}

void TestInstall::firstStartCopiesTheShippedFile()
{
    const QString userFolder = user->path() + QStringLiteral("/made/on/first/start");
    const QByteArray shipped = bytes(shared->dataFile());
    const DataLocation location = locateData(program.path(), userFolder, {shared->path()});
    QCOMPARE(location.dataFile, userFolder + QStringLiteral("/newRunewords.mdb"));
    QCOMPARE(bytes(location.dataFile), shipped);
    QCOMPARE(filesIn(userFolder), QStringList{QStringLiteral("newRunewords.mdb")});
    // The window opens on the copy, with the pictures of the shipped folder.
    Form1 form(program.path());
    form.dataFile = location.dataFile;
    form.picturesFolder = location.shippedFolder;
    form.Form_Load();
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
    const bool upgraded = shippedVersion > copyVersion;
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

    QCOMPARE(start().dataFile, user->dataFile());
    if (!upgraded) {
        QCOMPARE(bytes(user->dataFile()), before);
        return;
    }
    QCOMPARE(user->column(saves), playersSaves);
    QCOMPARE(user->scalar(QStringLiteral("SELECT RuneWordName FROM RuneWords WHERE RunewordID = 1"))
                 .toString(),
             QStringLiteral("Renamed"));
    QCOMPARE(gameDataVersion(user->dataFile()), shippedVersion);
    QCOMPARE(checkDataFile(user->dataFile()), QStringList());
    // Neither the new file under its temporary name nor the backup is left behind.
    QCOMPARE(filesIn(user->path()), QStringList{QStringLiteral("newRunewords.mdb")});
    // The next start finds it up to date.
    const QByteArray after = bytes(user->dataFile());
    start();
    QCOMPARE(bytes(user->dataFile()), after);
}

void TestInstall::copyThatCannotBeUpgradedIsLeftAlone()
{
    shared->sql(QStringLiteral("PRAGMA user_version = 2"));
    // A save name the rebuild cannot carry over.
    user->sql(QStringLiteral("UPDATE saves SET saveName = 'two' || char(10) || 'lines' WHERE "
                             "savenumber = 3"));
    const QByteArray before = bytes(user->dataFile());
    const QString failure = failureOf([this] { start(); });
    QVERIFY2(failure.startsWith(QDir::toNativeSeparators(user->dataFile()) + QLatin1Char('|')),
             qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("line break")), qPrintable(failure));
    QCOMPARE(bytes(user->dataFile()), before);
    QCOMPARE(filesIn(user->path()), QStringList{QStringLiteral("newRunewords.mdb")});
}

void TestInstall::failuresNameThePath_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("named");
    QTest::newRow("nothing shipped") << "remove shipped"
                                     << "shared";
    QTest::newRow("shipped file cut short") << "cut shipped"
                                            << "shipped";
    QTest::newRow("shipped file lacks a query") << "drop query"
                                                << "shipped";
    QTest::newRow("no folder for the copy") << "user folder is a file"
                                            << "user";
}

void TestInstall::failuresNameThePath()
{
    QFETCH(QString, damage);
    QFETCH(QString, named);
    QString userFolder = user->path() + QStringLiteral("/tessaly");
    QFile::remove(user->dataFile());
    if (damage == QLatin1String("remove shipped")) {
        QFile::remove(shared->dataFile());
    } else if (damage == QLatin1String("cut shipped")) {
        QFile::resize(shared->dataFile(), 3000);
    } else if (damage == QLatin1String("drop query")) {
        shared->sql(QStringLiteral("DROP VIEW runesQuery"));
    } else {
        QFile file(userFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        userFolder += QStringLiteral("/below");
    }
    const QString path = named == QLatin1String("shared")    ? shared->path()
                         : named == QLatin1String("shipped") ? shared->dataFile()
                                                             : userFolder;
    const QString failure =
        failureOf([&] { locateData(program.path(), userFolder, {shared->path()}); });
    QVERIFY2(failure.startsWith(QDir::toNativeSeparators(path) + QLatin1Char('|')),
             qPrintable(failure));
    QVERIFY(!QFileInfo::exists(userFolder + QStringLiteral("/newRunewords.mdb")));
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
