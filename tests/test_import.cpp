#include "about/frmabout.h"
#include "closest/findwindow.h"
#include "gamedatawin/gamedatawindow.h"
#include "mainwindow/datalocation.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QProcess>
#include <QStringEncoder>

#include <map>

#ifdef TESSALY_ACCESSIBILITY_SWITCH
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <private/qguiapplication_p.h>
#endif

namespace {

// "old=>new" in a file (no old: new added at the end), written in the encoding named.
void change(const QString &path, const QString &edit, const QString &encoding = "UTF-8"_q)
{
    const QStringList parts = edit.split("=>"_q);
    QString text = QString::fromUtf8(fileBytes(path));
    QVERIFY2(text.contains(parts[0]), qPrintable(edit));
    text = parts[0].isEmpty() ? text + parts[1] : text.replace(parts[0], parts[1]);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(QStringEncoder(qPrintable(encoding)).encode(text)) > 0);
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

// What assistive tools were told: for each object whose checked state was announced, the state
// it reported when asked at once, as a screen reader asks: "+" checked, "-" not.
std::map<QObject *, QString> announced;

void recordAnnouncement(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::StateChanged &&
        static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().checked)
        announced[event->object()] += event->accessibleInterface()->state().checked ? u'+' : u'-';
}

// The controls under an accessible object that a person has to tell apart by name and that
// have none, a line each.
QString namelessUnder(QAccessibleInterface *node)
{
    static const QList<QAccessible::Role> named{
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::SpinBox,    QAccessible::ComboBox, QAccessible::EditableText,
        QAccessible::List,       QAccessible::Table,    QAccessible::ColumnHeader,
        QAccessible::Grouping,   QAccessible::MenuItem};
    QString nameless;
    if (node->state().invisible)
        return nameless;
    if (named.contains(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        // A header cell has no object of its own; its table has.
        const QObject *object = node->object() ? node->object() : node->parent()->object();
        nameless +=
            "%1 %2\n"_q.arg(QLatin1String(object->metaObject()->className()), object->objectName());
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i))
            nameless += namelessUnder(child);
    }
    return nameless;
}

// Records what assistive tools are told, and says whether anything will be: Qt tells them of a
// change only while one listens, and only its platform layer can say that one does. With that
// layer's headers the test is the one listening.
bool listenToAssistiveTools()
{
    QAccessible::installUpdateHandler(recordAnnouncement);
#ifdef TESSALY_ACCESSIBILITY_SWITCH
    if (QPlatformAccessibility *platform =
            QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->setActive(true);
#endif
    return QAccessible::isActive();
}

} // namespace

// Bringing game data in and back, and the main window as assistive tools read it. An install:
// the shipped file and the pictures in one folder, the player's copy, with saves of their own, in
// a folder named as a player may name it.
class TestImport : public QObject {
    Q_OBJECT
    QTemporaryDir base{QDir::tempPath() + "/Zoë-XXXXXX"_q};
    std::unique_ptr<TestFolder> shared, player;
    TestFolder *own = nullptr; // the folder of the data file in use
    QString chosen;
    std::unique_ptr<Form1> form;
    FailureRecorder told;
    bool listening = false;

    void start()
    {
        form = std::make_unique<Form1>(shared->path());
        form->dataFile = own->dataFile();
        form->Form_Load();
        form->chooseImportFile = [this](QWidget *) { return chosen; };
    }

    // The tiles that assistive tools do not read as a check box named by the label under it,
    // checked exactly when owned, each announcement telling something new (no tile was owned at
    // first) and the last one what holds now; a line each.
    QString misread(const QList<int> &owned)
    {
        QString wrong;
        for (int k = 1; k <= 46; ++k) {
            const QLabel *label = form->Label1[size_t(k - 1)];
            auto *read = QAccessible::queryAccessibleInterface(form->PictureRunes[size_t(k)]);
            const QAccessible::State state = read->state();
            const QString said = announced[read->object()];
            const bool heard = !listening || ("+-"_q.repeated(said.size()).startsWith(said) &&
                                              said.size() % 2 == int(state.checked));
            const auto labels = read->relations(QAccessible::Label);
            if (read->role() != QAccessible::CheckBox ||
                read->text(QAccessible::Name) != label->text() ||
                read->text(QAccessible::Description) != "rune %1 of 46"_q.arg(k) ||
                !state.checkable || state.checked != owned.contains(k) || !heard ||
                labels.isEmpty() || labels[0].first->object() != label)
                wrong += "tile %1 \"%2\", announced \"%3\"\n"_q.arg(k).arg(
                    read->text(QAccessible::Name), said);
        }
        return wrong;
    }

private Q_SLOTS:
    void initTestCase() { listening = listenToAssistiveTools(); }

    void init()
    {
        form.reset(); // Windows removes no file that a connection holds open
        told.notices.clear();
        shared = std::make_unique<TestFolder>();
        player = std::make_unique<TestFolder>(TestFolder::Pictures::Left, base.path());
        own = player.get();
        own->sql("UPDATE saves SET saveName = 'Zoë''s set' WHERE savenumber = 3;"
                 "INSERT INTO ownedRunes VALUES (3, 46), (3, 9), (3, 3);"_q);
        start();
    }

    // Whatever is imported or read, nothing fails: the program goes on or refuses.
    void cleanup() { QCOMPARE(std::exchange(told.texts, {}), QStringList()); }

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
        chosen = modSources(player->path() + "/Stürme"_q);
        if (portable) {
            form.reset();
            QVERIFY(QFile::remove(shared->dataFile()) &&
                    QFile::rename(player->dataFile(), shared->dataFile()));
            own = shared.get();
            start();
        } else {
            // The data tool stores the sources' name and says it with the version and the mark.
            QProcess tool;
            const QString sources = QFileInfo(chosen).path();
            chosen = player->path() + "/S.mdb"_q;
            for (const QStringList &arguments :
                 {QStringList{"build"_q, sources, chosen}, QStringList{"check"_q, chosen}}) {
                tool.start(QStringLiteral(TESSALY_DATA_TOOL), arguments);
                QVERIFY(tool.waitForFinished(30000) && tool.exitCode() == 0);
            }
            QVERIFY(QString::fromUtf8(tool.readAll())
                        .contains("game data \"Stormcoast 2.6\", version 1, not imported"_q));
        }
        const QString mine = own->dataFile();
        const QStringList saves = own->slots(), names = listed(*form);
        const QByteArray before = fileBytes(mine);
        form->mnuFind_Click();
        form->mnuGameData->trigger();
        form->mnuImport->trigger();
        QVERIFY(listed(*form).contains("Éclatglass"_q) && listed(*form).contains("Sturmglück"_q));
        QCOMPARE(form->Label1[0]->text(), "Ébb"_q);
        QCOMPARE(own->slots(), saves);
        QCOMPARE(fileBytes(mine + ".before-import"_q), before);
        QTRY_VERIFY(!form->findWindow);
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
            const QString located =
                locateData(base.path(), player->path(), {shared->path()}).dataFile;
            QCOMPARE(QDir::toNativeSeparators(located), mine);
            QCOMPARE(fileBytes(mine), imported);
        }
        window->cmdRestore->click();
        QCOMPARE(listed(*form) + own->slots(), names + saves);
        QCOMPARE(window->lblGameData->text(),
                 "Tessaly's own game data, version %1"_q.arg(portable ? 1 : 2));
        QVERIFY(window->lblImported->text() == "no"_q && !window->cmdRestore->isEnabled());
        QCOMPARE(window->lblDataFile->text(), QDir::toNativeSeparators(mine));
        QCOMPARE(told.notices.size(), portable ? 2 : 1);
    }

    // Refused with one message naming the file and every problem, and nothing changed: not the
    // player's file, nor its folder, nor the window, which goes on working.
    void refusals_data()
    {
        QTest::addColumn<QString>("source");  // below
        QTest::addColumn<QString>("edit");    // SQL, or "old=>new" in a source (see change())
        QTest::addColumn<QString>("reasons"); // each apart by "|"
        const auto row = [](const char *tag, auto source, auto edit, auto reasons) {
            QTest::newRow(tag) << QString::fromLatin1(source) << QString::fromUtf8(edit)
                               << QString::fromUtf8(reasons);
        };
        // mdb: a copy of the shipped file changed by SQL; a source file's name: the mod's sources
        // changed there, then written in the encoding that follows the name, if any.
        row("none of our tables", "mdb", "DROP TABLE runes; DROP TABLE RuneWords; DROP TABLE saves",
            "runes: missing|RuneWords: missing|saves: missing");
        row("every problem", "mdb",
            "UPDATE RuneWords SET rune3 = 47 WHERE RunewordID = 5; UPDATE runes SET Runename = "
            "NULL WHERE Runenumber = 30; CREATE TRIGGER t INSERT ON ownedRunes BEGIN SELECT 1; END",
            "RuneWords, RunewordID 5, rune3|runes, Runenumber 30, Runename|a trigger on the "
            "table ownedRunes");
#define VIEW "DROP VIEW runewordList; CREATE VIEW runewordList AS "
        row("loops without end", "mdb",
            VIEW "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i FROM n) SELECT i AS "
                 "runewordName FROM n",
            "runewordList: did not end within the work allowed");
        row("a gigabyte", "mdb", VIEW "SELECT zeroblob(900000000) AS runewordName", "too big");
        row("many large values", "mdb", VIEW "SELECT zeroblob(1e7) AS runewordName FROM runes",
            "larger than the program allows");
        // Sources the reader takes and the new file refuses half way, as it takes the saves.
        row("half way", "schema.sql",
            "=>\nCREATE TRIGGER refuse BEFORE INSERT ON ownedRunes BEGIN SELECT RAISE(ABORT, "
            "'refused'); END;\n",
            "row 1 of ownedRunes: refused|Your data file was left as it was");
        row("47 runes", "runes.txt", "rune 46\n=>rune 47\n", "runes.txt:288: \"47\" is not a");
        row("rune without a name", "runes.txt", "  name: Ébb\n=>",
            "runes, Runenumber 1, Runename: the rune has no name");
        row("code page", "runewords.txt ISO-8859-1", "=>", "runewords.txt:5: not UTF-8 text");
        row("UTF-16 without a mark", "runewords.txt UTF-16LE", "=>",
            "runewords.txt:1: not UTF-8 text; save the file as UTF-8");
    }
    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, edit);
        QFETCH(QString, reasons);
        setBoard(*form, {2, 9});
        TestFolder copy(TestFolder::Pictures::Left);
        const QString path =
            source == "mdb"_q ? copy.dataFile() : modSources(player->path() + "/Stürme"_q);
        // The source's file, then its encoding: UTF-8 unless the row names another.
        const QStringList file = (source + " UTF-8"_q).split(u' ');
        if (source == "mdb"_q)
            copy.sql(edit);
        else
            change(QFileInfo(path).dir().filePath(file[0]), edit, file[1]);
        const QByteArray before = fileBytes(own->dataFile());
        const QStringList files = filesIn(own->path()), names = listed(*form);
        form->importGameData(path);
        QCOMPARE(told.notices.size(), 1);
        for (const auto &reason : reasons.split(u'|') + QStringList(QDir::toNativeSeparators(path)))
            QVERIFY2(told.notices[0].contains(reason), qPrintable(told.notices[0]));
        QCOMPARE(fileBytes(own->dataFile()), before);
        QCOMPARE(filesIn(own->path()) + listed(*form), files + names);
        QCOMPARE(ownedTiles(*form), (QList<int>{2, 9}));
        form->mnuload_Click(3);
        QCOMPARE(ownedTiles(*form), (QList<int>{3, 9, 46}));
    }

    // The tiles read as check boxes whatever changes them: a click, the press action, Clear,
    // revert, a load and a shown runeword. A write of Appearance alone, as no handler would make,
    // shows that only Appearance counts, not BackColor.
    void tilesAsToggles()
    {
        announced.clear(); // a tile may stand where another test's stood
        QTest::mouseClick(form->PictureRunes[5], Qt::LeftButton);
        QAccessible::queryAccessibleInterface(form->PictureRunes[9])
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        form->PictureRunes[6]->setAppearance(1);
        QCOMPARE(misread({5, 6, 9}), QString());
        QTest::mouseClick(form->CommandClear, Qt::LeftButton);
        QCOMPARE(misread({}), QString());
        QTest::mouseClick(form->Commandrevert, Qt::LeftButton);
        QCOMPARE(misread({5, 6, 9}), QString());
        form->mnuload_Click(3);
        QCOMPARE(misread({3, 9, 46}), QString());
        // Named after the label as it is now, as new game data would rename it.
        form->Label1[0]->setText("Éobh Ærn"_q);
        form->List1->setCurrentRow(0);
        QCOMPARE(misread(ownedTiles(*form)), QString());
        if (!listening)
            QSKIP("Qt's accessibility cannot be switched on here: no announcement was heard");
    }

    // Every control of the main window, the rune window, the save dialog, the about box and the
    // windows the Runes menu opens has a name to be read by. The about box is its design again:
    // its own size, no data file.
    void everyControlNamed()
    {
        frmAbout about;
        QCOMPARE(about.size(), QSize(136, 75));
        // Named when it is made; shown on its own, as it closes once another window is active.
        FrmRuneInfo runeWindow(form.get());
        Dialog dialog(form.get());
        // The import's file chooser is the platform's, not ours.
        form->mnuFind_Click();
        form->mnuGameData_Click();
        for (QWidget *window : QWidgetList{form.get(), &runeWindow, &dialog, &about,
                                           form->findWindow.data(), form->gameDataWindow.data()}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(namelessUnder(QAccessible::queryAccessibleInterface(window)), QString());
        }
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
