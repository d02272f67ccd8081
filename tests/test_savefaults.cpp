#include "data/failure.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Before every save attempted here, slot 6 holds runes 13 and 14 under the name "old six".
const QString oldSlot =
    QStringLiteral("INSERT INTO ownedRunes VALUES (6, 14), (5, 1), (6, 13);"
                   "UPDATE saves SET saveName = 'old six' WHERE savenumber = 6;");
const QList<int> setA{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, setB{2, 30, 46};

// Saves the board into slot 6 under name, as the save dialog does when OK is pressed.
void save(Dialog &dialog, const char *name)
{
    dialog.Tag = QStringLiteral(" 6");
    dialog.Text1->setText(QLatin1String(name));
    dialog.OKButton->click();
}

// The child process of killedDuringSave: saves set A and set B into slot 6 in turn until killed.
int saveUntilKilled(const QString &folder)
{
    setFailureHandler([](const Failure &failure) { qFatal("%s", failure.what()); });
    auto form = startForm(folder);
    std::puts("saving");
    std::fflush(stdout);
    for (int round = 0;; ++round) {
        setBoard(*form, round % 2 ? setB : setA);
        Dialog dialog(form.get());
        save(dialog, round % 2 ? "set B" : "set A");
    }
}

// Slot 6 as a fresh connection reads it, and the file's verdict on itself: "runes name ok".
QString slotSix(TestFolder &folder)
{
    return folder
        .scalar(QStringLiteral("SELECT group_concat(runenumber) || (SELECT ' ' || saveName FROM "
                               "saves WHERE savenumber = 6) || ' ' || (SELECT * FROM "
                               "pragma_integrity_check) FROM ownedRunes WHERE savenumber = 6"))
        .toString();
}

} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The templates the support library makes once belong in the ordinary temporary folder.
    void initTestCase() { TestFolder(TestFolder::Pictures::Left); }
    void failedSave_data();
    void failedSave();
    void killedDuringSave();
};

// The file refuses the save's write number "at" (delete two rows, add three, rename); then the
// faults of the file and the disk.
void TestSaveFaults::failedSave_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    const QString counted = QStringLiteral(
        "CREATE TABLE fault (at, seen); INSERT INTO fault VALUES (%1, 0);"
        "CREATE TRIGGER d BEFORE DELETE ON ownedRunes BEGIN UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'delete refused') FROM fault WHERE seen = at; END;"
        "CREATE TRIGGER a BEFORE INSERT ON ownedRunes BEGIN UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'add refused') FROM fault WHERE seen = at; END;"
        "CREATE TRIGGER r BEFORE UPDATE ON saves BEGIN UPDATE fault SET seen = seen + 1;"
        " SELECT RAISE(ABORT, 'rename refused') FROM fault WHERE seen = at; END;");
    const char *writes[] = {"delete", "delete", "add", "add", "add", "rename"};
    for (int at = 1; at <= 6; ++at)
        QTest::addRow("write %d (%s)", at, writes[at - 1])
            << counted.arg(at) << QLatin1String(writes[at - 1]) + QStringLiteral(" refused");
    QTest::newRow("read-only file") << QString() << "attempt to write a readonly database";
    QTest::newRow("read-only disk") << QString() << "attempt to write a readonly database";
    QTest::newRow("disk full") << QString() << "database or disk is full";
    // Since the program started: the save is refused before anything is written.
    QTest::newRow("file moved away") << QString() << "The file does not exist.";
    QTest::newRow("file replaced") << QString() << "Another file has been put in its place";
    QTest::newRow("file damaged") << QString() << "The file is damaged";
}

// The message is shown, and the slot as a fresh connection reads it is whole and as it was. The
// dialog stays up, and once the file takes writes again its next OK saves.
void TestSaveFaults::failedSave()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const QString tag = QLatin1String(QTest::currentDataTag());
    QTemporaryDir mountPoint; // for a tmpfs that the test may fill or make read-only
    const QByteArray disk = QFile::encodeName(mountPoint.path()), tmp = qgetenv("TMPDIR");
    const bool onDisk = tag.contains(QLatin1String("disk"));
    if (onDisk && ::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=2m") != 0)
        QSKIP("cannot mount a tmpfs (needs root with CAP_SYS_ADMIN)");
    qputenv("TMPDIR", onDisk ? disk : tmp);
    TestFolder folder;
    qputenv("TMPDIR", tmp);
    // Unmounted first, which takes the folder with it: a read-only one could not be emptied.
    const auto unmount = qScopeGuard([&] { onDisk && ::umount2(disk.constData(), MNT_DETACH); });
    folder.sql(oldSlot + fault);
    if (tag == QLatin1String("read-only file"))
        QVERIFY(::chmod(QFile::encodeName(folder.dataFile()).constData(), 0444) == 0 &&
                ::chmod(QFile::encodeName(folder.path()).constData(), 0755) == 0);
    if (tag == QLatin1String("read-only disk"))
        QVERIFY(::mount("tmpfs", disk.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    QFile filler(mountPoint.filePath(QStringLiteral("filler")));
    if (tag == QLatin1String("disk full") && filler.open(QIODevice::WriteOnly)) {
        while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
        }
    }
    auto form = startForm(folder.path());
    setBoard(*form, setB);
    const QByteArray file = QFile::encodeName(folder.dataFile()), other = file + ".other";
    if (tag.startsWith(QLatin1String("file ")))
        QVERIFY(QFile::copy(folder.dataFile(), QFile::decodeName(other)));
    if (tag == QLatin1String("file damaged")) {
        // In place, as another program writing it would; it also counts the change in the header.
        QFile damaged(folder.dataFile());
        QVERIFY(damaged.open(QIODevice::ReadWrite) && damaged.seek(24));
        QVERIFY(damaged.write("\xff\xff\xff\xff") == 4 && damaged.seek(4096));
        QByteArray page(4096, 0);
        QRandomGenerator(2).fillRange(reinterpret_cast<quint32 *>(page.data()), 1024);
        QVERIFY(damaged.write(page) == 4096);
    }
    if (tag == QLatin1String("file moved away") || tag == QLatin1String("file replaced"))
        QVERIFY(::rename(file.constData(), (file + ".away").constData()) == 0);
    if (tag == QLatin1String("file replaced"))
        QVERIFY(::rename(other.constData(), file.constData()) == 0);
    // Root may write whatever a file's mode says; the save runs as an ordinary user.
    const bool asUser = tag == QLatin1String("read-only file") && ::geteuid() == 0;
    const FailureRecorder failures;
    if (asUser && ::seteuid(65534) != 0)
        QSKIP("cannot act as an ordinary user (uid 65534)");
    std::unique_ptr<Dialog> dialog;
    runGuarded([&] {
        dialog = std::make_unique<Dialog>(form.get());
        save(*dialog, "new six");
    });
    QVERIFY(!asUser || ::seteuid(0) == 0);
    const QStringList &shown = failures.texts;
    QVERIFY2(shown.size() == 1 && shown[0].contains(reason) && shown[0].contains(folder.dataFile()),
             qPrintable(shown.join(u'\n')));
    // The file as it was when the program started.
    if (tag.startsWith(QLatin1String("file ")))
        QVERIFY(
            ::rename((tag == QLatin1String("file damaged") ? other : file + ".away").constData(),
                     file.constData()) == 0);
    QCOMPARE(slotSix(folder), QStringLiteral("14,13 old six ok"));
    // A file changed under the program is refused as the dialog opens; a refused write leaves
    // the dialog up.
    if (tag.startsWith(QLatin1String("file ")))
        QVERIFY(!dialog);
    else
        QVERIFY(dialog && dialog->result() != QDialog::Accepted);
    QCOMPARE(form->mnuSave[6]->text(), QStringLiteral("old six"));
    if (fault.isEmpty())
        return;
    folder.sql(QStringLiteral("DROP TRIGGER d; DROP TRIGGER a; DROP TRIGGER r;"));
    dialog->OKButton->click();
    QCOMPARE(slotSix(folder), QStringLiteral("2,30,46 new six ok"));
}

// A child saving two sets into slot 6 in turn is killed at random; slot 6 is found whole after.
void TestSaveFaults::killedDuringSave()
{
    TestFolder folder;
    folder.sql(oldSlot);
    const QStringList whole =
        QStringLiteral("14,13 old six ok|1,2,3,4,5,6,7,8,9,10 set A ok|2,30,46 set B ok")
            .split(u'|');
    QRandomGenerator random(4711);
    int interrupted = 0;
    for (int round = 0; round < 20; ++round) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--save-until-killed"), folder.path()});
        QVERIFY(child.waitForReadyRead(60000));
        QTest::qSleep(random.bounded(5, 200)); // the moment of the kill is the fault
        QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
        child.kill();
        QVERIFY(child.waitForFinished());
        interrupted += QFileInfo(folder.dataFile() + QStringLiteral("-journal")).size() > 0;
        startForm(folder.path()); // which refuses a damaged file
        QVERIFY2(whole.contains(slotSix(folder)), qPrintable(slotSix(folder)));
    }
    qInfo("20 kills, %d of them in the middle of a save; slot 6 was whole every time", interrupted);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-until-killed") == 0)
        return saveUntilKilled(QFile::decodeName(argv[2]));
    TestSaveFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_savefaults.moc"
