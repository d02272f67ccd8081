#include "about/frmabout.h"
#include "data/failure.h"
#include "mainwindow/datalocation.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/runetile.h"
#include "rebuild.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

// Start-up, and the install it starts from: the program's folder without a data file, the shared
// folder with the shipped file and pictures, and the player's folder, which holds a copy where a
// case needs one.
class TestStartup : public QObject {
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
    void startsOnShippedData();
    void failuresStopStartUp_data();
    void failuresStopStartUp();
    void portableAndFirstStart();
    void readOnlyPortableFolder_data();
    void readOnlyPortableFolder();
    void existingCopy_data();
    void existingCopy();
    void failureLeavesThePlayersFolder_data();
    void failureLeavesThePlayersFolder();
};

void TestStartup::startsOnShippedData()
{
    TestFolder folder;
    // Of runesQuery's 50 rows only the first 46 are read.
    folder.sql("INSERT INTO runes (Runenumber, Runename) VALUES (47, 'Extra'), "
               "(48, 'More'), (49, 'Still'), (50, 'Last');"_q);
    // A folder made before there were large pictures: the small one stands in.
    QVERIFY(QFile::remove(folder.path() + "/CRunes/crune5@2x.gif"_q));
    const auto form = startForm(folder.path());
    const QStringList names = folder.column("SELECT Runename FROM runesQuery"_q);
    const auto argb = [](const QImage &i) { return i.convertToFormat(QImage::Format_ARGB32); };
    for (int k = 1; k <= 46; ++k) {
        QCOMPARE(form->Label1[size_t(k - 1)]->text(), names[k - 1]);
        const QImage file("%1/CRunes/crune%2.gif"_q.arg(folder.path()).arg(k));
        QCOMPARE(argb(form->PictureRunes[size_t(k)]->Picture().toImage()), argb(file));
    }
    QCOMPARE(inconsistentTile(*form), QString());
    QCOMPARE(ownedTiles(*form), QList<int>{});
    QCOMPARE(tickedFilters(*form).split(u' ').size(), 15);
    QCOMPARE(listed(*form), folder.column("SELECT runewordName FROM runewordList"_q));
    const QStringList slots = folder.column("SELECT saveName FROM savesQuery2"_q);
    for (int k = 1; k <= 10; ++k) {
        QCOMPARE(form->mnuload[size_t(k)]->text(), slots.value(k - 1));
        QCOMPARE(form->mnuSave[size_t(k)]->isEnabled(), k != 10);
    }
    form->markOwned(2);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->centralWidget()->size() * 15, QSize(8955, 7275));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    // Where each control stands in the client area, in twips as designed (left, top, width,
    // height); controls in a frame add the frame's corner.
    const Form1 &f = *form;
    // clang-format off
    QList<std::pair<QWidget *, QRect>> places = {
        {f.Frame1, {0, 0, 6135, 3975}}, {f.Commandrevert, {4920, 3120, 1095, 495}},
        {f.TextRunes, {120, 4080, 6015, 375}}, {f.Text1, {120, 4560, 6015, 2655}},
        {f.Frame2, {6240, 0, 2655, 2655}}, {f.CheckBodyArmor, {6360, 240, 1215, 255}},
        {f.CheckHelm, {6360, 480, 1215, 255}}, {f.CheckBelt, {6360, 720, 1215, 255}},
        {f.CheckBoots, {6360, 960, 1215, 255}}, {f.CheckGloves, {6360, 1200, 1215, 255}},
        {f.CheckShield, {6360, 1440, 1215, 255}}, {f.CheckMeleeWeapon, {6360, 1800, 1575, 255}},
        {f.CheckmissileWeapon, {6360, 2040, 1575, 255}}, {f.Checkother, {6360, 2280, 1575, 255}},
        {f.Frame3, {6240, 2640, 2655, 1335}}, {f.Checksockets[0], {6360, 2880, 975, 255}},
        {f.Checksockets[1], {6360, 3240, 1095, 255}}, {f.Checksockets[2], {6360, 3600, 1095, 255}},
        {f.Checksockets[3], {7680, 2880, 1095, 255}}, {f.Checksockets[4], {7680, 3240, 1095, 255}},
        {f.Checksockets[5], {7680, 3600, 1095, 255}}, {f.List1, {6240, 4080, 2655, 2595}},
        {f.CommandSearch, {6360, 6840, 1215, 375}}, {f.CommandClear, {7680, 6840, 1215, 375}}};
    // clang-format on
    for (int k = 1; k <= 46; ++k) {
        const QPoint corner(120 + 600 * ((k - 1) % 10), 240 + 720 * ((k - 1) / 10));
        places.append(
            {f.PictureRunes[size_t(k)], {corner, QSize(k == 1 ? 435 : 465, k == 1 ? 420 : 450)}});
        places.append({f.Label1[size_t(k - 1)], {corner + QPoint(0, 480), QSize(495, 255)}});
    }
    // Rounding twips to pixels in the frame or in the window may cost a pixel.
    const auto near = [](int pixels, int twips) { return qAbs(pixels * 15 - twips) <= 22; };
    for (const auto &[control, designed] : std::as_const(places)) {
        const QRect actual(control->mapTo(f.centralWidget(), QPoint(0, 0)), control->size());
        QVERIFY2(near(actual.x(), designed.x()) && near(actual.y(), designed.y()) &&
                     near(actual.width(), designed.width()) &&
                     near(actual.height(), designed.height()),
                 qPrintable(control->objectName()));
    }
    // A tile shows its picture pixel for pixel on its colour (its group's, or black when owned).
    // ctest runs this case at twice the density too, where the large picture is shown, or the
    // small one doubled where it has none.
    const qreal ratio = form->devicePixelRatioF();
    QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1"_q).toDouble());
    const QImage shot = form->grab().toImage();
    for (const int k : {2, 5, 12}) {
        const RuneTile *tile = form->PictureRunes[size_t(k)];
        const QString large = ratio > 1 && k != 5 ? "@2x"_q : QString();
        QImage picture("%1/CRunes/crune%2%3.gif"_q.arg(folder.path()).arg(k).arg(large));
        picture.setDevicePixelRatio(1);
        QImage expected(QSize(27, 26) * ratio, QImage::Format_RGB32);
        expected.fill(k == 2 ? QColor(Qt::black) : colourFromValue(tile->Tag.toInt()));
        QPainter(&expected).drawImage(expected.rect(), picture);
        expected.setDevicePixelRatio(ratio);
        const QRect area(tile->mapTo(form.get(), QPoint(2, 2)) * ratio, expected.size());
        QCOMPARE(shot.copy(area).convertToFormat(QImage::Format_RGB32), expected);
    }
    // The about box names the file in use; its fixed captions are checked with every window's.
    // A path too long for the box is shortened in its middle; the tool tip holds it whole.
    QString about;
    whenModal<frmAbout>([&](frmAbout *window) {
        about = window->lblDataFile->text() + u'|' + window->lblDataFile->toolTip();
        window->close();
    });
    form->mnuAbout->trigger();
    QVERIFY2(about.startsWith("Data file: "_q) && about.endsWith(u'|' + folder.dataFile()),
             qPrintable(about));
}

void TestStartup::failuresStopStartUp_data()
{
    QTest::addColumn<QString>("change"); // a file taken out (@2x: emptied), or SQL run on the file
    QTest::addColumn<int>("pictures");   // tiles that show a picture
    QTest::addColumn<int>("labels");     // labels that show a name
    QTest::newRow("data file missing") << "newRunewords.mdb"_q << 0 << 0;
    QTest::newRow("crune46.gif missing") << "CRunes/crune46.gif"_q << 45 << 45;
    // A missing large picture is no failure (see startsOnShippedData), but an unreadable one is.
    QTest::newRow("crune46@2x.gif empty") << "CRunes/crune46@2x.gif"_q << 45 << 45;
    // The picture of rune 46 comes before its name, so only the name is missing.
    QTest::newRow("runesQuery with 45 rows")
        << "DELETE FROM runes WHERE Runenumber = 46"_q << 46 << 45;
}

void TestStartup::failuresStopStartUp()
{
    QFETCH(QString, change);
    QFETCH(int, pictures);
    QFETCH(int, labels);
    TestFolder folder;
    const bool sql = change.startsWith("DELETE"_q);
    const QString path = QDir::toNativeSeparators(QDir(folder.path()).filePath(change));
    QVERIFY(sql || (change.contains(u'@') ? QFile::resize(path, 0) : QFile::remove(path)));
    if (sql)
        folder.sql(change);

    Form1 form(folder.path());
    const QString failure = failureOf([&] { form.Form_Load(); });
    // The message names what is missing: the query, or the file.
    QVERIFY2(failure.contains(sql ? "runesQuery"_q : path), qPrintable(failure));
    QCOMPARE(std::count_if(form.PictureRunes.begin() + 1, form.PictureRunes.end(),
                           [](const RuneTile *tile) { return !tile->Picture().isNull(); }),
             pictures);
    QCOMPARE(std::count_if(form.Label1.begin(), form.Label1.end(),
                           [](const QLabel *label) { return !label->text().isEmpty(); }),
             labels);
    // A missing data file is reported, never replaced by an empty one.
    QCOMPARE(QFile::exists(folder.dataFile()), !change.endsWith(".mdb"_q));

    // As the program starts: the same message in a box, and no window.
    QString shown;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        box->accept();
    });
    QVERIFY(!startProgram([&] { return DataLocation{folder.dataFile(), folder.path()}; }));
    QCOMPARE(shown, failure);
}

void TestStartup::portableAndFirstStart()
{
    // A player named Zoë, and a program in a folder with "é" in its name.
    const QString elsewhere = user->path() + "/Zoë/made/on/first/start"_q;
    const QString programFolder = shared->path() + "/é"_q;
    QVERIFY(QDir().mkpath(programFolder) &&
            QFile::copy(shared->dataFile(), programFolder + "/newRunewords.mdb"_q));
    // Unmarked, a writable folder beside the program is an install: its file is the shipped one.
    DataLocation location = locateData(programFolder, elsewhere, {"/nowhere"_q});
    QCOMPARE(location.dataFile, elsewhere + "/newRunewords.mdb"_q);
    QCOMPARE(location.shippedFolder, programFolder);
    QVERIFY(QDir(elsewhere).removeRecursively());
    // Marked portable, it is used as it is.
    QVERIFY(QFile(programFolder + "/.portable"_q).open(QIODevice::WriteOnly));
    location = locateData(programFolder, elsewhere, {"/nowhere"_q});
    QCOMPARE(location.dataFile, programFolder + "/newRunewords.mdb"_q);
    QCOMPARE(location.shippedFolder, programFolder);
    QVERIFY(!QFileInfo::exists(elsewhere));
    // Otherwise the first start copies the shipped file into a folder it makes, over the half
    // copy an interrupted start left there; the copy of a read-only file takes the saves.
    QVERIFY(QDir().mkpath(elsewhere));
    QFile partial(elsewhere + "/newRunewords.mdb.partial"_q);
    QVERIFY(partial.open(QIODevice::WriteOnly) && partial.write("half a file") > 0);
    partial.close();
    QVERIFY(QFile::setPermissions(shared->dataFile(), QFile::ReadOwner | QFile::ReadUser |
                                                          QFile::ReadGroup | QFile::ReadOther));
    location = locateData(program.path(), elsewhere, {shared->path()});
    QCOMPARE(location.dataFile, elsewhere + "/newRunewords.mdb"_q);
    QCOMPARE(location.shippedFolder, shared->path());
    QCOMPARE(fileBytes(location.dataFile), fileBytes(shared->dataFile()));
    QCOMPARE(filesIn(elsewhere), QStringList{"newRunewords.mdb"_q});
    // Qt's copy is always writable on Linux; on Windows it keeps the read-only mark.
    QVERIFY(QFile::permissions(location.dataFile) & QFile::WriteOwner);
}

// A portable folder the player cannot write is an install, whether its file or the folder itself
// refuses: the player's own copy is made from it.
void TestStartup::readOnlyPortableFolder_data()
{
    QTest::addColumn<bool>("fileReadOnly");
    QTest::newRow("read-only file") << true;
    QTest::newRow("read-only folder") << false;
}

void TestStartup::readOnlyPortableFolder()
{
#ifdef Q_OS_LINUX
    QFETCH(bool, fileReadOnly);
    using P = QFile::Permission;
    const QFile::Permissions read = P::ReadOwner | P::ReadUser | P::ReadGroup | P::ReadOther;
    const QFile::Permissions write = P::WriteOwner | P::WriteUser | P::WriteGroup | P::WriteOther;
    const QFile::Permissions enter = P::ExeOwner | P::ExeUser | P::ExeGroup | P::ExeOther;
    QVERIFY(QFile(shared->path() + "/.portable"_q).open(QIODevice::WriteOnly));
    QVERIFY(QFile::setPermissions(shared->dataFile(), fileReadOnly ? read : read | write));
    QVERIFY(
        QFile::setPermissions(shared->path(), fileReadOnly ? read | write | enter : read | enter));
    QVERIFY(QFile::setPermissions(user->path(), read | write | enter));
    const QString mine = user->path() + "/mine"_q;
    // Root may write whatever the modes say: the start runs as an ordinary user, in full, since
    // the program asks the system what its real user may write.
    const bool asUser = ::geteuid() == 0;
    if (asUser && ::setresuid(65534, 65534, 0) != 0)
        QSKIP("cannot act as an ordinary user (uid 65534)");
    DataLocation location;
    const QString failure = failureOf([&] { location = locateData(shared->path(), mine, {}); });
    QVERIFY(!asUser || ::setresuid(0, 0, 0) == 0);
    QCOMPARE(failure, QString());
    QCOMPARE(location.dataFile, mine + "/newRunewords.mdb"_q);
    QCOMPARE(location.shippedFolder, shared->path());
    QCOMPARE(fileBytes(location.dataFile), fileBytes(shared->dataFile()));
#else
    QSKIP("needs Linux: file modes and another user");
#endif
}

void TestStartup::existingCopy_data()
{
    QTest::addColumn<int>("shippedVersion");
    QTest::addColumn<int>("copyVersion");
    QTest::newRow("same game data: kept") << 1 << 1;
    QTest::newRow("newer game data shipped: upgraded") << 2 << 1;
    QTest::newRow("older game data shipped: kept") << 1 << 2;
}

void TestStartup::existingCopy()
{
    QFETCH(int, shippedVersion);
    QFETCH(int, copyVersion);
    shared->sql("PRAGMA user_version = %1; UPDATE RuneWords SET RuneWordName = "
                "'Renamed' WHERE RunewordID = 1; UPDATE saves SET saveName = "
                "'shipped';"_q.arg(shippedVersion));
    user->sql("PRAGMA user_version = %1; UPDATE saves SET saveName = 'mine' || "
              "savenumber; DELETE FROM ownedRunes WHERE savenumber = 2; "
              "INSERT INTO ownedRunes VALUES (2, 9), (2, 3), (2, 46);"_q.arg(copyVersion));
    const QString saves =
        "SELECT saveName || ':' || group_concat(runenumber) FROM saves LEFT JOIN (SELECT * FROM "
        "ownedRunes ORDER BY rowid) USING (savenumber) GROUP BY savenumber ORDER BY savenumber"_q;
    const QStringList playersSaves = user->column(saves);
    const QByteArray before = fileBytes(user->dataFile());

    QCOMPARE(locateData(program.path(), user->path(), {shared->path()}).dataFile, user->dataFile());
    if (shippedVersion <= copyVersion) {
        QCOMPARE(fileBytes(user->dataFile()), before);
        return;
    }
    QCOMPARE(user->column(saves), playersSaves);
    QCOMPARE(user->scalar("SELECT RuneWordName FROM RuneWords WHERE RunewordID = 1"_q).toString(),
             "Renamed"_q);
    QCOMPARE(gameDataVersion(user->dataFile()), shippedVersion);
    // Neither the new file under its temporary name nor the backup is left behind.
    QCOMPARE(filesIn(user->path()), QStringList{"newRunewords.mdb"_q});
}

// A start that cannot go on names the path at fault, and the player's folder stays as it was.
void TestStartup::failureLeavesThePlayersFolder_data()
{
    QTest::addColumn<QString>("damage");
    for (const char *damage :
         {"nothing shipped", "shipped file cut short", "shipped file lacks a query",
          "no folder for the copy", "copy cannot be upgraded"})
        QTest::newRow(damage) << QString::fromLatin1(damage);
}

void TestStartup::failureLeavesThePlayersFolder()
{
    QFETCH(QString, damage);
    QString userFolder = user->path();
    QString path = shared->dataFile();
    if (damage == "copy cannot be upgraded"_q) {
        // A save name the rebuild cannot carry over.
        shared->sql("PRAGMA user_version = 2"_q);
        user->sql("UPDATE saves SET saveName = 'two' || char(10) || 'lines' "
                  "WHERE savenumber = 3"_q);
        path = user->dataFile();
    } else {
        QFile::remove(user->dataFile());
    }
    if (damage == "nothing shipped"_q) {
        QFile::remove(shared->dataFile());
        path = shared->path();
    } else if (damage == "shipped file cut short"_q) {
        QFile::resize(shared->dataFile(), 3000);
    } else if (damage == "shipped file lacks a query"_q) {
        shared->sql("DROP VIEW runesQuery"_q);
    } else if (damage == "no folder for the copy"_q) {
        QFile file(userFolder += "/file"_q);
        QVERIFY(file.open(QIODevice::WriteOnly));
        path = userFolder += "/below"_q;
    }
    const QStringList files = filesIn(user->path());
    const QByteArray before = fileBytes(user->dataFile());
    QString failure;
    try {
        locateData(program.path(), userFolder, {shared->path()});
    } catch (const Failure &caught) {
        failure = caught.object() + u'|' + caught.reason();
    }
    QVERIFY2(failure.startsWith(QDir::toNativeSeparators(path) + u'|'), qPrintable(failure));
    QVERIFY2(path != user->dataFile() || failure.contains("line break"_q), qPrintable(failure));
    QCOMPARE(filesIn(user->path()), files);
    QCOMPARE(fileBytes(user->dataFile()), before);
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
