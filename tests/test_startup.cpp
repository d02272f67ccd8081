#include "mainwindow/datalocation.h"
#include "testsupport.h"

#include <QGroupBox>
#include <QMessageBox>
#include <QPainter>
#include <QScopeGuard>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

// Start-up, and the install it starts from: the program's folder without a data file, the shared
// folder with the shipped file and pictures, and the player's folder, which holds a copy where a
// case needs one.

// The player's folder is named as a player named Zoë may have it.
class TestStartup : public QObject {
    Q_OBJECT
    QTemporaryDir players{QDir::tempPath() + "/Zoë-XXXXXX"_q};
    std::unique_ptr<TestFolder> shared, user;

private Q_SLOTS:
    void init()
    {
        shared = std::make_unique<TestFolder>();
        user = std::make_unique<TestFolder>(TestFolder::Pictures::Left, players.path());
    }

    void startsOnShippedData()
    {
        // Of runesQuery's rows only the first 46 are read.
        shared->sql("INSERT INTO runes (Runenumber, Runename) VALUES (47, 'Extra');"_q);
        // A folder made before there were large pictures: the small one stands in.
        QVERIFY(QFile::remove(shared->path() + "/CRunes/crune5@2x.gif"_q));
        const auto form = startForm(shared->path());
        QCOMPARE(tickedFilters(*form).split(u' ').size(), 15);
        QCOMPARE(listed(*form), shared->column("SELECT runewordName FROM runewordList"_q));
        for (int k = 1; k <= 10; ++k)
            QCOMPARE(form->mnuSave[size_t(k)]->isEnabled(), k != 10);
        form->markOwned(2);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        // Where each control stands in the client area, in twips as designed (left, top, width,
        // height); controls in a frame add the frame's corner. Of the boxes placed by one formula,
        // the ends of each column and where it breaks.
        const Form1 &f = *form;
        const auto &s = f.Checksockets;
        // clang-format off
        const QList<std::pair<QWidget *, QRect>> places = {
            {f.centralWidget(), {0, 0, 8955, 7275}}, {f.Frame1, {0, 0, 6135, 3975}},
            {f.Commandrevert, {4920, 3120, 1095, 495}}, {f.TextRunes, {120, 4080, 6015, 375}},
            {f.Text1, {120, 4560, 6015, 2655}}, {f.Frame2, {6240, 0, 2655, 2655}},
            {f.CheckBodyArmor, {6360, 240, 1215, 255}}, {f.CheckShield, {6360, 1440, 1215, 255}},
            {f.CheckMeleeWeapon, {6360, 1800, 1575, 255}}, {f.Checkother, {6360, 2280, 1575, 255}},
            {f.Frame3, {6240, 2640, 2655, 1335}}, {s[0], {6360, 2880, 975, 255}},
            {s[2], {6360, 3600, 1095, 255}}, {s[3], {7680, 2880, 1095, 255}},
            {s[5], {7680, 3600, 1095, 255}}, {f.List1, {6240, 4080, 2655, 2595}},
            {f.CommandSearch, {6360, 6840, 1215, 375}}, {f.CommandClear, {7680, 6840, 1215, 375}},
            // The first tile, smaller than the rest; the end of the first row; the first and the
            // last tile of the last row; each with its name below.
            {f.PictureRunes[1], {120, 240, 435, 420}}, {f.Label1[0], {120, 720, 495, 255}},
            {f.PictureRunes[10], {5520, 240, 465, 450}}, {f.Label1[9], {5520, 720, 495, 255}},
            {f.PictureRunes[41], {120, 3120, 465, 450}}, {f.Label1[40], {120, 3600, 495, 255}},
            {f.PictureRunes[46], {3120, 3120, 465, 450}}, {f.Label1[45], {3120, 3600, 495, 255}}};
        // clang-format on
        for (const auto &[control, designed] : std::as_const(places))
            QCOMPARE(QRect(control->mapTo(f.centralWidget(), QPoint(0, 0)), control->size()),
                     QRect(designed.topLeft() / 15, designed.size() / 15));
        // A tile shows its picture pixel for pixel on its colour (its group's, or black when
        // owned), inside its border; the first tile is smaller and cuts its picture. ctest runs
        // this case at twice the density too, where the large picture is shown, or the small one
        // doubled where it has none.
        const qreal ratio = form->devicePixelRatioF();
        QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1"_q).toDouble());
        // The focus frame would cross the first tile's picture at twice the density.
        form->List1->setFocus();
        const QImage shot = form->grab().toImage();
        for (int k = 1; k <= 46; ++k) {
            const RuneTile *tile = form->PictureRunes[size_t(k)];
            const QString large = ratio > 1 && k != 5 ? "@2x"_q : QString();
            QImage picture("%1/CRunes/crune%2%3.gif"_q.arg(shared->path()).arg(k).arg(large));
            QImage expected((tile->size() - QSize(4, 4)) * ratio, QImage::Format_RGB32);
            expected.fill(k == 2 ? QColor(Qt::black) : colourFromValue(tile->Tag.toInt()));
            QPainter(&expected).drawImage(QRect(QPoint(0, 0), QSize(27, 26) * ratio), picture);
            expected.setDevicePixelRatio(ratio);
            const QRect area(tile->mapTo(form.get(), QPoint(2, 2)) * ratio, expected.size());
            QCOMPARE(shot.copy(area).convertToFormat(QImage::Format_RGB32), expected);
        }
    }

    // A file taken out of the folder (@2x: emptied), or SQL run on the file, stops start-up with
    // a message naming the file or the query; so many tiles then show a picture, and labels a
    // name. A missing large picture is no failure (see startsOnShippedData), but an unreadable
    // one is, on a screen of twice the density, where large pictures are read (ctest runs this
    // case there too). The picture of rune 46 comes before its name, so only the name is missing.
    void failuresStopStartUp()
    {
        for (const auto &[change, pictures, labels] :
             {std::tuple{"newRunewords.mdb"_q, 0, 0},
              {"CRunes/crune46.gif"_q, 45, 45},
              {"CRunes/crune46@2x.gif"_q, 45, 45},
              {"DELETE FROM runes WHERE Runenumber = 46"_q, 46, 45}}) {
            if (change.contains(u'@') && qApp->devicePixelRatio() == 1)
                continue;
            TestFolder folder;
            const bool sql = change.startsWith("DELETE"_q);
            const QString path = QDir::toNativeSeparators(QDir(folder.path()).filePath(change));
            QVERIFY(sql || (change.contains(u'@') ? QFile::resize(path, 0) : QFile::remove(path)));
            if (sql)
                folder.sql(change);
            Form1 form(folder.path());
            const QString failure = failureOf([&] { form.Form_Load(); });
            QVERIFY2(failure.contains(sql ? "runesQuery"_q : path), qPrintable(failure));
            QCOMPARE(std::count_if(form.PictureRunes.begin() + 1, form.PictureRunes.end(),
                                   [](const RuneTile *tile) { return !tile->Picture().isNull(); }),
                     pictures);
            QCOMPARE(std::count_if(form.Label1.begin(), form.Label1.end(),
                                   [](const QLabel *label) { return !label->text().isEmpty(); }),
                     labels);
            // A missing data file is reported, never replaced by an empty one.
            QCOMPARE(QFile::exists(folder.dataFile()), !change.endsWith(".mdb"_q));
            // As the program starts: the same message in a box, as plain text, and no window.
            whenModal<QMessageBox>([&](QMessageBox *box) {
                box->accept();
                QCOMPARE(box->textFormat() == Qt::PlainText ? box->text() : QString(), failure);
            });
            QVERIFY(!startProgram([&] { return DataLocation{folder.dataFile(), folder.path()}; }));
        }
    }

    // Where start-up finds the data file. A folder marked portable, with a data file beside the
    // program that the player can write, is used as it is. Unmarked, or one the player cannot
    // write, whether its file or the folder refuses, is an install: the first start copies its
    // file into a folder it makes, over the half copy an interrupted start left there, and the
    // copy, which holds the saves, can be written. A copy is kept while its game data is as new
    // as the shipped, and upgraded keeping the saves when the shipped is newer, also over the
    // backup an interrupted upgrade left. A start that cannot go on names the path at fault, and
    // the player's folder stays as it was. All in folders named as a player named Zoë, or a
    // folder with "é", may have them.
    void dataLocation_data()
    {
        // The tag tells whether the program's folder is marked portable, and what of it the player
        // cannot write. The versions of the game data; the player's copy is not there yet at
        // version 0.
        QTest::addColumn<int>("shippedVersion");
        QTest::addColumn<int>("copyVersion");
        // The first start.
        for (const char *row :
             {"marked, writable", "installed, read-only", "not marked, writable",
              "marked, read-only file", "marked, read-only folder, partial left", "nothing shipped",
              "shipped file cut short", "shipped file lacks a query", "no folder for the copy"})
            QTest::newRow(row) << 1 << 0;
        QTest::newRow("copy as new as the shipped") << 1 << 1;
        QTest::newRow("shipped newer, a backup left") << 2 << 1;
        QTest::newRow("copy newer") << 1 << 2;
        // A save name the rebuild cannot carry over.
        QTest::newRow("copy cannot be upgraded") << 2 << 1;
    }

    void dataLocation()
    {
        QFETCH(int, shippedVersion);
        QFETCH(int, copyVersion);
        const QString tag = QLatin1String(QTest::currentDataTag());
        const bool marked = tag.startsWith("marked"_q), readOnly = tag.contains("read-only"_q);
        const bool folderLocked = tag.contains("read-only folder"_q);
        const QString folder = shared->path() + "/é"_q, file = folder + "/newRunewords.mdb"_q;
        const QString mine = user->path() + (copyVersion ? QString() : "/made/on/first/start"_q);
        const QString copy = mine + "/newRunewords.mdb"_q;
        shared->sql("PRAGMA user_version = %1; UPDATE RuneWords SET RuneWordName = 'Renamed' "
                    "WHERE RunewordID = 1;"_q.arg(shippedVersion));
        user->sql("PRAGMA user_version = %1; UPDATE saves SET saveName = 'mine' || savenumber; "
                  "INSERT INTO ownedRunes VALUES (2, 9), (2, 3), (2, 46);"_q.arg(copyVersion));
        if (tag == "shipped file lacks a query"_q)
            shared->sql("DROP VIEW runesQuery"_q);
        if (tag == "copy cannot be upgraded"_q)
            user->sql("UPDATE saves SET saveName = 'a' || char(10) || 'b' WHERE savenumber = 3"_q);
        const QStringList playersSaves = user->slots(), playersFiles = filesIn(mine);
        const QByteArray playersCopy = fileBytes(user->dataFile());
        QVERIFY(QDir().mkpath(folder) && QFile::copy(shared->dataFile(), file));
        QVERIFY(!marked || QFile(folder + "/.portable"_q).open(QIODevice::WriteOnly));
        const QFile::Permissions read = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const QFile::Permissions write = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        const QFile::Permissions enter = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        const QString left = copy + (copyVersion ? ".backup"_q : ".partial"_q);
        // Half a copy, or a backup, that an interrupted start left.
        QVERIFY(!tag.endsWith(" left"_q) ||
                (QDir().mkpath(mine) && QFile::copy(file, left) && QFile::resize(left, 3000)));
        // An install's file is read-only: its copy must not be.
        QVERIFY(QFile::setPermissions(file, readOnly && !folderLocked ? read : read | write));
        QVERIFY(tag != "nothing shipped"_q || QFile::remove(file));
        QVERIFY(tag != "shipped file cut short"_q || QFile::resize(file, 3000));
        QVERIFY(tag != "no folder for the copy"_q || QFile::copy(file, user->path() + "/made"_q));
#ifdef Q_OS_LINUX
        QVERIFY(QFile::setPermissions(folder, folderLocked ? read | enter : read | write | enter));
        for (const QString &above : {shared->path(), players.path(), user->path(), mine})
            QVERIFY(!QFile::exists(above) || QFile::setPermissions(above, read | write | enter));
        // Root may write whatever the modes say: the start runs as an ordinary user, in full.
        const bool asUser = readOnly && ::geteuid() == 0;
        if (asUser && ::setresuid(65534, 65534, 0) != 0)
            QSKIP("cannot act as an ordinary user (uid 65534)");
        const auto asRoot = qScopeGuard([&] { asUser && ::setresuid(0, 0, 0); });
#else
        if (readOnly)
            QSKIP("needs Linux: file modes and another user");
#endif
        DataLocation location;
        const QString failure =
            failureOf([&] { location = locateData(folder, mine, {"/nowhere"_q}); });
        // What a start that cannot go on names: the folders searched, or the file or the folder
        // at fault, on a line of its own after what was attempted.
        const QString named = tag == "nothing shipped"_q           ? "/nowhere"_q
                              : tag.startsWith("shipped file"_q)   ? file
                              : tag == "no folder for the copy"_q  ? mine
                              : tag == "copy cannot be upgraded"_q ? copy
                                                                   : QString();
        if (!named.isEmpty()) {
            QVERIFY2(failure.contains(":\n"_q + QDir::toNativeSeparators(named) + "\n\n"_q),
                     qPrintable(failure));
            QVERIFY2(named != copy || failure.contains("line break"_q), qPrintable(failure));
            QCOMPARE(filesIn(mine), playersFiles);
            QCOMPARE(fileBytes(user->dataFile()), playersCopy);
            return;
        }
        const bool copied = !marked || readOnly;
        QCOMPARE((QStringList{failure, location.dataFile, location.shippedFolder}),
                 (QStringList{QString(), copied ? copy : file, folder}));
        // Neither a new file under its temporary name nor what an interrupted start left stays.
        QCOMPARE(filesIn(mine), copied ? QStringList{"newRunewords.mdb"_q} : QStringList());
        // Qt's copy is always writable on Linux; on Windows it keeps the read-only mark.
        QVERIFY(QFile::permissions(location.dataFile) & QFile::WriteOwner);
        if (copyVersion == 0 || shippedVersion <= copyVersion) {
            QCOMPARE(fileBytes(location.dataFile), copyVersion ? playersCopy : fileBytes(file));
            return;
        }
        // The saves kept, the game data and its version the shipped's.
        QCOMPARE(user->slots() +
                     user->column("SELECT RuneWordName FROM RuneWords WHERE RunewordID = 1 "
                                  "UNION ALL SELECT * FROM pragma_user_version"_q),
                 (playersSaves + QStringList{"Renamed"_q, QString::number(shippedVersion)}));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
