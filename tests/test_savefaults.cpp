#include "data/failure.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>

using Runes = QList<int>;

namespace {

// Slot 6 holds runes 13 and 14 under the name "old six" before every save attempted here.
const QString oldSlot =
    QStringLiteral("INSERT INTO ownedRunes VALUES (6, 14), (5, 1), (6, 13);"
                   "UPDATE saves SET saveName = 'old six' WHERE savenumber = 6;");
const Runes oldRunes{13, 14};
const Runes newRunes{2, 30, 46};
// The two sets that the child process of killedDuringSave saves in turn.
const Runes setA{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const Runes &setB = newRunes;

// Saves the board into slot 6 as the save menu does, and returns what was reported. A failed
// save leaves the dialog open; it is closed here as the user would.
QStringList saveSlotSix(Form1 &form, FailureRecorder &failures)
{
    whenModal<Dialog>([](Dialog *dialog) {
        dialog->Text1->setText(QStringLiteral("new six"));
        dialog->OKButton->click();
        if (dialog->isVisible())
            dialog->reject();
    });
    form.mnuSave[6]->trigger();
    return std::exchange(failures.texts, {});
}

// The slot as a fresh connection reads it, and the file's own verdict on itself.
void verifySlotKept(TestFolder &folder)
{
    const QStringList runes = folder.column(
        QStringLiteral("SELECT runenumber FROM ownedRunes WHERE savenumber = 6 ORDER BY 1"));
    QCOMPARE(runes, (QStringList{QStringLiteral("13"), QStringLiteral("14")}));
    QCOMPARE(folder.scalar(QStringLiteral("SELECT saveName FROM saves WHERE savenumber = 6")),
             QVariant(QStringLiteral("old six")));
    QCOMPARE(folder.scalar(QStringLiteral("PRAGMA integrity_check")),
             QVariant(QStringLiteral("ok")));
}

void verifyFailedSave(TestFolder &folder, Form1 &form, const QStringList &reported,
                      const QString &reason)
{
    QCOMPARE(reported.size(), 1);
    QVERIFY2(reported.first().contains(reason), qPrintable(reported.first()));
    QVERIFY2(reported.first().contains(folder.dataFile()), qPrintable(reported.first()));
    verifySlotKept(folder);
    QCOMPARE(form.mnuload[6]->text(), QStringLiteral("old six"));
}

// A tmpfs of its own with a test folder on it, where the test may fill the disk or make it
// read-only. Mounting needs root with CAP_SYS_ADMIN; elsewhere the cases that need it are
// skipped.
class SmallDisk {
public:
    SmallDisk()
    {
        if (::mount("tmpfs", mountPoint(), "tmpfs", 0, "size=2m") != 0) {
            reason_ = QStringLiteral("cannot mount a tmpfs (needs root with CAP_SYS_ADMIN): %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        // The support library makes its templates once, and they belong in the ordinary
        // temporary folder.
        const TestFolder templatesFirst(TestFolder::Pictures::Left);
        const QByteArray previous = qgetenv("TMPDIR");
        qputenv("TMPDIR", mountPoint());
        folder_ = std::make_unique<TestFolder>();
        if (previous.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", previous);
    }
    ~SmallDisk()
    {
        // Unmounted first: the folder went with the disk, and a read-only one cannot be emptied.
        if (reason_.isEmpty())
            ::umount2(mountPoint(), MNT_DETACH);
    }
    const QString &unavailable() const { return reason_; }
    TestFolder &folder() { return *folder_; }
    QString path() const { return dir_.path(); }
    bool makeReadOnly()
    {
        return ::mount("tmpfs", mountPoint(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=2m") == 0;
    }

private:
    QByteArray mountPoint() const { return QFile::encodeName(dir_.path()); }

    QTemporaryDir dir_;
    QString reason_;
    std::unique_ptr<TestFolder> folder_;
};

// The child process of killedDuringSave: saves two sets into slot 6 in turn until killed.
int saveUntilKilled(const QString &folder)
{
    setFailureHandler([](const Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        std::_Exit(3);
    });
    auto form = startForm(folder);
    std::puts("saving");
    std::fflush(stdout);
    for (int round = 0;; ++round) {
        setBoard(*form, round % 2 ? setB : setA);
        Dialog dialog(form.get());
        dialog.Tag = QStringLiteral(" 6");
        dialog.Text1->setText(round % 2 ? QStringLiteral("set B") : QStringLiteral("set A"));
        dialog.OKButton->click();
    }
}

} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT
    FailureRecorder failures;

private Q_SLOTS:
    void refusedWrite_data();
    void refusedWrite();
    void rowsBeyondAnySlotStay();
    void writeAheadLogFileSaves();
    void readOnlyFile();
    void readOnlyDisk();
    void diskFull();
    void killedDuringSave();
};

// The file counts the save's writes and refuses the one at "at": the delete of each old rune
// row, the add of each new one, the rename.
void TestSaveFaults::refusedWrite_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("reason");

    const QString counted = QStringLiteral(
        "CREATE TABLE fault (at INTEGER, seen INTEGER); INSERT INTO fault VALUES (%1, 0);"
        "CREATE TRIGGER refuseDelete BEFORE DELETE ON ownedRunes BEGIN"
        " UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'delete refused') FROM fault WHERE seen = at; END;"
        "CREATE TRIGGER refuseAdd BEFORE INSERT ON ownedRunes BEGIN"
        " UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'add refused') FROM fault WHERE seen = at; END;"
        "CREATE TRIGGER refuseRename BEFORE UPDATE ON saves BEGIN"
        " UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'rename refused') FROM fault WHERE seen = at; END;");
    const QStringList writes{QStringLiteral("delete"), QStringLiteral("delete"),
                             QStringLiteral("add"),    QStringLiteral("add"),
                             QStringLiteral("add"),    QStringLiteral("rename")};
    for (int at = 1; at <= writes.size(); ++at) {
        QTest::addRow("write %d (%s)", at, qPrintable(writes[at - 1]))
            << counted.arg(at) << writes[at - 1] + QStringLiteral(" refused");
    }
    // A file's trigger may not reach outside the engine while the program writes.
    QTest::newRow("trigger that loads a library")
        << QStringLiteral("CREATE TRIGGER loader AFTER INSERT ON ownedRunes BEGIN"
                          " SELECT load_extension('/tmp/x.so'); END;")
        << QStringLiteral("unsafe use of load_extension()");
}

void TestSaveFaults::refusedWrite()
{
    QFETCH(QString, refusal);
    QFETCH(QString, reason);
    TestFolder folder;
    folder.sql(oldSlot + refusal);
    auto form = startForm(folder.path());
    setBoard(*form, newRunes);

    verifyFailedSave(folder, *form, saveSlotSix(*form, failures), reason);
    QCOMPARE(form->ownedState, decltype(form->ownedState){});
}

// A damaged file's rune rows with numbers too large for any slot are left alone by a save.
void TestSaveFaults::rowsBeyondAnySlotStay()
{
    TestFolder folder;
    folder.sql(oldSlot + QStringLiteral("INSERT INTO ownedRunes VALUES (1e300, 3), (-1e300, 4);"));
    auto form = startForm(folder.path());
    setBoard(*form, newRunes);
    QCOMPARE(saveSlotSix(*form, failures), QStringList());
    QCOMPARE(folder.column(QStringLiteral("SELECT savenumber || ':' || runenumber FROM ownedRunes "
                                          "WHERE savenumber IN (6, 1e300, -1e300) ORDER BY rowid")),
             (QStringList{QStringLiteral("1.0e+300:3"), QStringLiteral("-1.0e+300:4"),
                          QStringLiteral("6:2"), QStringLiteral("6:30"), QStringLiteral("6:46")}));
}

// A file in WAL journal mode saves through the dialog's own connection like any other, and a
// fresh connection sees the whole save.
void TestSaveFaults::writeAheadLogFileSaves()
{
    TestFolder folder;
    folder.sql(oldSlot + QStringLiteral("PRAGMA journal_mode = WAL;"));
    auto form = startForm(folder.path());
    setBoard(*form, newRunes);
    QCOMPARE(saveSlotSix(*form, failures), QStringList());
    QCOMPARE(form->mnuload[6]->text(), QStringLiteral("new six"));
    QCOMPARE(folder.column(QStringLiteral(
                 "SELECT runenumber FROM ownedRunes WHERE savenumber = 6 ORDER BY 1")),
             (QStringList{QStringLiteral("2"), QStringLiteral("30"), QStringLiteral("46")}));
    QCOMPARE(folder.scalar(QStringLiteral("PRAGMA journal_mode")), QVariant(QStringLiteral("wal")));
}

// Root writes whatever the file's mode says, so under root the case runs as an ordinary user.
void TestSaveFaults::readOnlyFile()
{
    if (::geteuid() == 0) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), QDir::tempPath());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("readOnlyFile")});
        if (!child.waitForStarted())
            QSKIP("setpriv is not available to run the case as an ordinary user");
        QVERIFY(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        if (output.contains("Permission denied") && child.exitCode() == 126)
            QSKIP("the ordinary user may not run this test's executable");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
        QVERIFY2(output.contains("PASS   : TestSaveFaults::readOnlyFile()"), output.constData());
        return;
    }
    TestFolder folder;
    folder.sql(oldSlot);
    QVERIFY(QFile::setPermissions(folder.dataFile(), QFileDevice::ReadOwner |
                                                         QFileDevice::ReadGroup |
                                                         QFileDevice::ReadOther));
    auto form = startForm(folder.path());
    setBoard(*form, newRunes);
    verifyFailedSave(folder, *form, saveSlotSix(*form, failures),
                     QStringLiteral("attempt to write a readonly database"));
}

void TestSaveFaults::readOnlyDisk()
{
    SmallDisk disk;
    if (!disk.unavailable().isEmpty())
        QSKIP(qPrintable(disk.unavailable()));
    disk.folder().sql(oldSlot);
    QVERIFY(disk.makeReadOnly());
    auto form = startForm(disk.folder().path());
    setBoard(*form, newRunes);
    verifyFailedSave(disk.folder(), *form, saveSlotSix(*form, failures),
                     QStringLiteral("attempt to write a readonly database"));
}

void TestSaveFaults::diskFull()
{
    SmallDisk disk;
    if (!disk.unavailable().isEmpty())
        QSKIP(qPrintable(disk.unavailable()));
    TestFolder &folder = disk.folder();
    folder.sql(oldSlot);
    auto form = startForm(folder.path());
    setBoard(*form, newRunes);

    QFile filler(disk.path() + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    verifyFailedSave(folder, *form, saveSlotSix(*form, failures),
                     QStringLiteral("database or disk is full"));

    // Once there is room again the same save succeeds.
    QVERIFY(filler.remove());
    QVERIFY(saveSlotSix(*form, failures).isEmpty());
    QCOMPARE(folder.column(QStringLiteral(
                 "SELECT runenumber FROM ownedRunes WHERE savenumber = 6 ORDER BY 1")),
             (QStringList{QStringLiteral("2"), QStringLiteral("30"), QStringLiteral("46")}));
}

// A child process saves two sets into slot 6 in turn and is killed at a random moment. The
// program, starting afresh, must find slot 6 whole: as before, or with one of the two sets.
void TestSaveFaults::killedDuringSave()
{
    TestFolder folder;
    folder.sql(oldSlot);
    const QMap<QString, Runes> whole{{QStringLiteral("old six"), oldRunes},
                                     {QStringLiteral("set A"), setA},
                                     {QStringLiteral("set B"), setB}};
    QRandomGenerator random(4711);
    int interrupted = 0;
    constexpr int kills = 20;
    for (int round = 0; round < kills; ++round) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TESSALY_SAVE_UNTIL_KILLED"), folder.path());
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForReadyRead(60000));
        QTest::qSleep(random.bounded(5, 200)); // the moment of the kill is the fault
        QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
        child.kill();
        QVERIFY(child.waitForFinished());

        if (QFileInfo(folder.dataFile() + QStringLiteral("-journal")).size() > 0)
            ++interrupted;
        auto form = startForm(folder.path());
        form->mnuload_Click(6);
        const QString name = form->mnuload[6]->text();
        QVERIFY2(whole.contains(name), qPrintable(name));
        QCOMPARE(ownedTiles(*form), whole[name]);
        form.reset();
        QCOMPARE(folder.scalar(QStringLiteral("PRAGMA integrity_check")),
                 QVariant(QStringLiteral("ok")));
    }
    qInfo("%d kills, %d of them in the middle of a save; slot 6 was whole every time", kills,
          interrupted);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString saveFolder = qEnvironmentVariable("TESSALY_SAVE_UNTIL_KILLED");
    if (!saveFolder.isEmpty())
        return saveUntilKilled(saveFolder);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestSaveFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_savefaults.moc"
