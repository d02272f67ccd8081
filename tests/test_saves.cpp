#include "saves/dialog.h"
#include "testsupport.h"

#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTextStream>

#include <numeric>
#include <optional>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

namespace {

// The rows of a slot out of order and apart; slot 6 holds runes 13 and 14 under the name
// "old six", slot 10 every rune. Rows that name no rune follow in slot 4 (5.7 is rune 5), and in
// slot 10 as the file's last.
const QString savedSlots =
    "DELETE FROM ownedRunes WHERE savenumber < 10;"
    "INSERT INTO ownedRunes VALUES (4, 11), (3, 9), (2, 4), (3, 7), (2, 5), (6, 14), (6, 13), "
    "(4, 0), (4, 47), (4, -3), (4, 'abc'), (4, 1e300), (4, 5.7), (10, 47);"
    "UPDATE saves SET saveName = 'old six' WHERE savenumber = 6;"_q;
const QList<int> setA{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, setB{2, 30, 46};

// How the save dialog is left: a button, the close box, or a key in the name.
enum class Leave { OK, Cancel, CloseBox, Enter = Qt::Key_Return, Escape = Qt::Key_Escape };

// The child process of killedDuringSave: saves set A and set B into slot 6 in turn until killed.
int saveUntilKilled(const QString &folder)
{
    setFailureHandler([](const Failure &failure) { qFatal("%s", failure.what()); });
    auto form = startForm(folder);
    QTextStream(stdout) << "saving";
    for (int round = 0;; ++round) {
        setBoard(*form, round % 2 ? setB : setA);
        Dialog dialog(form.get());
        dialog.Tag = " 6"_q;
        dialog.Text1->setText(round % 2 ? "set B"_q : "set A"_q);
        dialog.OKButton->click();
    }
}

} // namespace

Q_DECLARE_METATYPE(Leave)

class TestSaves : public QObject {
    Q_OBJECT
    // Made afresh for each test, which may let the message boxes show: a failure would otherwise
    // end in a message box that nobody closes.
    std::optional<FailureRecorder> failures;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;
    QStringList before;
private Q_SLOTS:
    void init()
    {
        failures.emplace();
        form.reset();
        folder = std::make_unique<TestFolder>();
        folder->sql(savedSlots);
        before = folder->slots();
        form = startForm(folder->path());
    }

    void cleanup() { QCOMPARE(failures->texts + failures->notices, QStringList()); }

    // A slot followed by another, an empty one over a shown one, the last rows of the file. Rows
    // that name no rune are named in a notice, five of them or one, the file's last too, and
    // nothing is written; the sound rows are loaded.
    void load()
    {
        QList<int> all(46);
        std::iota(all.begin(), all.end(), 1);
        for (const auto &[slot, expected, told] :
             {std::tuple{2, QList<int>{4, 5}, QString()},
              {1, QList<int>{}, QString()},
              {4, QList<int>{5, 11},
               "slot 4 (“empty 4”) holds rows that name no rune: 0, 47, -3, 'abc', 1e+300."_q},
              {10, all, "slot 10 (“all”) holds rows that name no rune: 47."_q}}) {
            form->ownedState.fill(1);
            form->ownedSaved = true;
            form->mnuload[size_t(slot)]->trigger();
            // The board, then the set kept for revert: the loaded one, not the one from before.
            QCOMPARE(ownedTiles(*form) + savedTiles(*form), expected + expected);
            QCOMPARE(inconsistentTile(*form), QString());
            QVERIFY(!form->ownedSaved);
            const QStringList notices = std::exchange(failures->notices, {});
            QCOMPARE(notices.size(), told.isEmpty() ? 0 : 1);
            QVERIFY2(told.isEmpty() || notices[0].contains(told), qPrintable(notices.join(u'\n')));
        }
        QCOMPARE(folder->slots(), before);
        // As the player sees the notice: the slot's name as stored, never read as markup.
        setNoticeHandler(nullptr);
        whenModal<QMessageBox>([](QMessageBox *box) {
            box->accept();
            QCOMPARE(box->textFormat(), Qt::PlainText);
        });
        form->mnuload[4]->trigger();
    }

    void saveMenu_data()
    {
        // The name put in place of the slot's, and how the dialog is left; "shown" is saved while
        // a runeword is shown on the board. Escape leaves the dialog open, and the test cancels it.
        QTest::addColumn<QString>("name");
        QTest::addColumn<Leave>("leave");
        QTest::newRow("Enter, name with blanks") << "  my set "_q << Leave::Enter;
        QTest::newRow("ampersands") << "Tom & Jerry&co &&"_q << Leave::OK;
        QTest::newRow("apostrophe, another script") << "Zoë's セーブ"_q << Leave::Enter;
        QTest::newRow("OK while a runeword is shown") << "shown"_q << Leave::OK;
        QTest::newRow("Escape does nothing") << "new six"_q << Leave::Escape;
        QTest::newRow("Cancel") << "new six"_q << Leave::Cancel;
        QTest::newRow("close box") << "new six"_q << Leave::CloseBox;
        QTest::newRow("blank name refused") << "   "_q << Leave::OK;
        QTest::newRow("empty name refused") << QString() << Leave::Enter;
    }

    void saveMenu()
    {
        QFETCH(QString, name);
        QFETCH(Leave, leave);
        const bool browsing = name == "shown"_q;
        const bool blank = name.count(u' ') == name.size();
        const bool saves = !blank && (leave == Leave::OK || leave == Leave::Enter);
        setBoard(*form, {21, 22});
        // The board is saved as it stands, not the owned set kept while a runeword is shown.
        if (browsing)
            form->List1->setCurrentRow(0);
        const QList<int> board = ownedTiles(*form);
        QString shownName, refusal, shownAgain = "(closed)"_q;
        whenModal<Dialog>([&](Dialog *dialog) {
            shownName = dialog->Text1->text();
            dialog->Text1->setText(name);
            if (blank)
                whenModal<QMessageBox>([&](QMessageBox *box) {
                    refusal = box->windowTitle() + u'|' + box->text();
                    box->button(QMessageBox::Ok)->click();
                });
            if (leave == Leave::OK || leave == Leave::Cancel)
                (leave == Leave::OK ? dialog->OKButton : dialog->CancelButton)->click();
            else if (leave == Leave::CloseBox)
                dialog->close();
            else
                QTest::keyClick(dialog->Text1, Qt::Key(leave));
            // Still up after Escape or the refusal, with the name being corrected not replaced.
            if (blank || leave == Leave::Escape) {
                dialog->activateWindow();
                if (QTest::qWaitFor([dialog] { return dialog->isActiveWindow(); }))
                    shownAgain = dialog->Text1->text();
                dialog->reject();
            }
            if (!QTest::qWaitFor([dialog] { return !dialog->isVisible(); }))
                QVERIFY(!dialog->close()); // it stayed open
        });
        form->mnuSave[6]->trigger();
        QCOMPARE((QStringList{shownName, refusal, shownAgain}),
                 (QStringList{"old six"_q, blank ? "Stupid|illigal name"_q : QString(),
                              blank || leave == Leave::Escape ? name : "(closed)"_q}));
        // The name stored as UTF-8, whatever the script; the runes are loaded below.
        if (saves)
            before[5] = name + u':' + folder->slots()[5].section(u':', -1);
        QCOMPARE(folder->slots(), before);
        // Shown as stored, character for character: "&&" shows one "&", a single "&" marks the
        // access key, which no name makes.
        for (const QAction *entry : {form->mnuload[6], form->mnuSave[6]})
            QCOMPARE(entry->text().replace("&&"_q, "\n"_q).remove(u'&').replace(u'\n', u'&'),
                     saves ? name : "old six"_q);
        // The owned set follows the save; the main window's own connection sees it at once.
        QCOMPARE(form->ownedSaved, browsing);
        QCOMPARE(savedTiles(*form), saves ? board : QList<int>());
        form->mnuload_Click(6);
        QCOMPARE(ownedTiles(*form), (saves ? board : QList<int>{13, 14}));
    }

    // The file refuses the save's write number "at" (delete two rows, add three, update the name);
    // then the faults of the file and the disk.
    void failedSave_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QString counted = "CREATE TABLE fault (at, seen); INSERT INTO fault VALUES (%1, 0);"_q;
        for (const QString &write :
             {"DELETE ON ownedRunes"_q, "INSERT ON ownedRunes"_q, "UPDATE ON saves"_q})
            counted +=
                "CREATE TRIGGER \"%1\" BEFORE %1 BEGIN UPDATE fault SET seen = seen + 1; "
                "SELECT RAISE(ABORT, 'refused: %1') FROM fault WHERE seen = at; END;"_q.arg(write);
        const char *writes[] = {"DELETE", "DELETE", "INSERT", "INSERT", "INSERT", "UPDATE"};
        for (int at = 1; at <= 6; ++at)
            QTest::addRow("write %d (%s)", at, writes[at - 1])
                << counted.arg(at) << "refused: "_q + QLatin1String(writes[at - 1]);
        QTest::newRow("read-only disk") << QString() << "attempt to write a readonly database";
        QTest::newRow("full disk") << QString() << "database or disk is full";
        // Since the program started: the save is refused before anything is written.
        QTest::newRow("file moved away") << QString() << "The file does not exist.";
        QTest::newRow("file replaced") << QString() << "Another file has been put in its place";
        QTest::newRow("file damaged") << QString() << "The file is damaged";
    }

    // The message is shown, and the slot as a fresh connection reads it is whole and as it was. The
    // dialog stays up, and once the file takes writes again its next OK saves.
    void failedSave()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        const QString tag = QLatin1String(QTest::currentDataTag());
        const bool onDisk = tag.endsWith(" disk"_q), changed = tag.startsWith("file "_q);
        form.reset();
        QTemporaryDir mountPoint; // for a small tmpfs
        const QByteArray disk = mountPoint.path().toUtf8();
#ifdef Q_OS_LINUX
        if (onDisk && ::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=2m") != 0)
            QSKIP("cannot mount a tmpfs (needs root with CAP_SYS_ADMIN)");
        // Unmounted first, which takes the folder on it along.
        const auto undo = qScopeGuard([&] { onDisk && ::umount2(disk.constData(), MNT_DETACH); });
#else
        if (fault.isEmpty())
            QSKIP("needs Linux: a tmpfs, and moving a file that is held open");
#endif
        folder = std::make_unique<TestFolder>(TestFolder::Pictures::Made,
                                              onDisk ? mountPoint.path() : QString());
        folder->sql(savedSlots + fault);
        before = folder->slots();
        const QString file = folder->dataFile();
#ifdef Q_OS_LINUX
        // The disk written up to its end, with more than its 2 MB, or made read-only, which even
        // root cannot write.
        QFile filler(mountPoint.filePath("filler"_q));
        QVERIFY(tag != "full disk"_q || (filler.open(QIODevice::WriteOnly) &&
                                         filler.write(QByteArray(3 * 1024 * 1024, 'x')) > 0));
        QVERIFY(tag != "read-only disk"_q || ::mount("tmpfs", disk.constData(), "tmpfs",
                                                     MS_REMOUNT | MS_RDONLY, "size=2m") == 0);
#endif
        form = startForm(folder->path());
        setBoard(*form, setB);
        QFile damaged(file);
        // In place, as another program writing it would, counting the change in the header.
        if (tag == "file damaged"_q)
            QVERIFY(damaged.open(QIODevice::ReadWrite) && damaged.seek(24) &&
                    damaged.write("\xff\xff\xff\xff") == 4 && damaged.seek(4096) &&
                    damaged.write(QByteArray(4096, 'x')) == 4096 && damaged.flush());
        QVERIFY(tag != "file moved away"_q || QFile::rename(file, file + ".away"_q));
        QVERIFY(tag != "file replaced"_q ||
                (QFile::rename(file, file + ".away"_q) && QFile::copy(file + ".away"_q, file)));
        std::unique_ptr<Dialog> dialog;
        runGuarded([&] {
            dialog = std::make_unique<Dialog>(form.get());
            dialog->Tag = " 6"_q;
            dialog->Text1->setText("new six"_q);
            dialog->OKButton->click();
        });
        const QStringList shown = std::exchange(failures->texts, {});
        QVERIFY2(shown.size() == 1 && shown[0].contains(reason) && shown[0].contains(file),
                 qPrintable(shown.join(u'\n')));
        // A file changed under the program is refused as the dialog opens, before anything is
        // written; a refused write leaves the dialog up and the slot whole and as it was.
        QVERIFY(changed ? !dialog : dialog && dialog->result() != QDialog::Accepted);
        QCOMPARE(form->mnuSave[6]->text(), "old six"_q);
        if (changed)
            return;
        QCOMPARE(folder->slots(), before);
        if (fault.isEmpty())
            return;
        folder->sql("UPDATE fault SET at = 0"_q);
        dialog->OKButton->click();
        before[5] = "new six:2 30 46"_q;
        QCOMPARE(folder->slots(), before);
    }

    // A child saving two sets into slot 6 in turn is killed at random; slot 6 is found whole after.
    // Kills go on until at least one has landed inside a save, which left its journal behind.
    void killedDuringSave()
    {
        form.reset();
        const QStringList whole = {before[5], "set A:1 2 3 4 5 6 7 8 9 10"_q, "set B:2 30 46"_q};
        QRandomGenerator random(4711);
        int interrupted = 0;
        for (int round = 0; round < 20 || (interrupted == 0 && round < 100); ++round) {
            QProcess child;
            child.start(qApp->applicationFilePath(), {"--save-until-killed"_q, folder->path()});
            QVERIFY(child.waitForReadyRead(60000));
            QTest::qSleep(random.bounded(5, 200)); // the moment of the kill is the fault
            QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
            child.kill();
            QVERIFY(child.waitForFinished());
            interrupted += QFile(folder->dataFile() + "-journal"_q).size() > 0;
            startForm(folder->path()); // which refuses a damaged file
            const QStringList now = folder->slots();
            QVERIFY2(whole.contains(now[5]) && now.last() == "ok"_q, qPrintable(now.join(u'|')));
        }
        QVERIFY2(interrupted > 0, "no kill landed inside a save");
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-until-killed") == 0)
        return saveUntilKilled(QCoreApplication::arguments().at(2));
    TestSaves test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_saves.moc"
