#include "data/failure.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

enum class Change { RemoveDataFile, GarbageDataFile, RemovePicture46, Sql };

// Start-up as main() runs it; the failure's text, or a null string when it succeeds.
QString loadFailure(Form1 &form)
{
    try {
        form.Form_Load();
    } catch (const Failure &failure) {
        return failure.text();
    }
    return {};
}

QString picturePath(const TestFolder &folder, int k)
{
    return QDir(folder.path()).filePath(QStringLiteral("CRunes/crune%1.gif").arg(k));
}

QStringList labels(const Form1 &form)
{
    QStringList texts;
    for (const QLabel *label : form.Label1)
        texts << label->text();
    return texts;
}

// How many tiles, from tile 1 on, have their picture; -1 when a later tile has one too.
int picturesLoaded(const Form1 &form)
{
    int loaded = 0;
    while (loaded < 46 && !form.PictureRunes[size_t(loaded + 1)]->Picture().isNull())
        ++loaded;
    for (int k = loaded + 1; k <= 46; ++k)
        if (!form.PictureRunes[size_t(k)]->Picture().isNull())
            return -1;
    return loaded;
}

int labelsSet(const Form1 &form)
{
    const int firstEmpty = int(labels(form).indexOf(QString()));
    return firstEmpty < 0 ? 46 : firstEmpty;
}

int pixels(int twipsValue)
{
    return int(std::lround(twipsValue / 15.0));
}

QString text(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsOnShippedData();
    void extraRunesAreIgnored();
    void failuresStopStartUp_data();
    void failuresStopStartUp();
    void windowArrangement();
};

void TestStartup::startsOnShippedData()
{
    TestFolder folder;
    const auto form = startForm(folder.path());

    QCOMPARE(labels(*form), folder.column(QStringLiteral("SELECT Runename FROM runesQuery")));
    for (int k = 1; k <= 46; ++k) {
        const QImage shown = form->PictureRunes[size_t(k)]->Picture().toImage();
        const QImage file(picturePath(folder, k));
        QCOMPARE(shown.size(), QSize(27, 26));
        QVERIFY2(shown.convertToFormat(QImage::Format_ARGB32) ==
                     file.convertToFormat(QImage::Format_ARGB32),
                 qPrintable(QStringLiteral("tile %1 does not show crune%1.gif").arg(k)));
    }

    QStringList listed;
    for (int row = 0; row < form->List1->count(); ++row)
        listed << form->List1->item(row)->text();
    QCOMPARE(listed, folder.column(QStringLiteral("SELECT runewordName FROM runewordList")));
    QVERIFY(form->List1->selectedItems().isEmpty());

    const QStringList names = folder.column(QStringLiteral("SELECT saveName FROM savesQuery2"));
    QCOMPARE(names.size(), 10);
    for (int k = 1; k <= 10; ++k) {
        QCOMPARE(form->mnuload[size_t(k)]->text(), names[k - 1]);
        QCOMPARE(form->mnuSave[size_t(k)]->text(), names[k - 1]);
        QVERIFY(form->mnuload[size_t(k)]->isEnabled());
        QCOMPARE(form->mnuSave[size_t(k)]->isEnabled(), k != 10);
    }

    const QList<QCheckBox *> boxes = form->findChildren<QCheckBox *>();
    QCOMPARE(boxes.size(), 15);
    for (const QCheckBox *box : boxes)
        QVERIFY2(box->isChecked(), qPrintable(box->text()));

    QVERIFY(form->Text1->toPlainText().isEmpty());
    QVERIFY(form->TextRunes->text().isEmpty());
    QVERIFY(!form->ownedSaved);
    for (const qint16 entry : form->ownedState)
        QCOMPARE(entry, qint16(0));
}

void TestStartup::extraRunesAreIgnored()
{
    TestFolder folder;
    folder.sql(
        QStringLiteral("INSERT INTO runes (Runenumber, Runename, Runefunction1, Runefunction2, "
                       "Runefunction3) VALUES (47, 'Extra', 'a', 'b', 'c'), (48, 'More', "
                       "'a', 'b', 'c'), (49, 'Still', 'a', 'b', 'c'), (50, 'Last', 'a', "
                       "'b', 'c');"));
    const QStringList names = folder.column(QStringLiteral("SELECT Runename FROM runesQuery"));
    QCOMPARE(names.size(), 50);

    const auto form = startForm(folder.path());
    QCOMPARE(labels(*form), names.mid(0, 46));
}

void TestStartup::failuresStopStartUp_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("named");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<int>("labels");

    QTest::newRow("data file missing") << Change::RemoveDataFile << QString()
                                       << QStringList{QStringLiteral("newRunewords.mdb")} << 0 << 0;
    QTest::newRow("not an SQLite file")
        << Change::GarbageDataFile << QString()
        << QStringList{QStringLiteral("newRunewords.mdb"), QStringLiteral("not a database")} << 0
        << 0;
    QTest::newRow("crune46.gif missing") << Change::RemovePicture46 << QString()
                                         << QStringList{QStringLiteral("crune46.gif")} << 45 << 45;
    QTest::newRow("runesQuery missing") << Change::Sql << QStringLiteral("DROP VIEW runesQuery;")
                                        << QStringList{QStringLiteral("runesQuery")} << 0 << 0;
    // The picture of rune 46 comes before its name, so only the name is missing.
    QTest::newRow("runesQuery with 45 rows")
        << Change::Sql
        << QStringLiteral("DROP VIEW runesQuery; CREATE VIEW runesQuery AS SELECT * FROM runes "
                          "WHERE Runenumber <= 45 ORDER BY Runenumber;")
        << QStringList{QStringLiteral("runesQuery")} << 46 << 45;
    QTest::newRow("rune without a name")
        << Change::Sql << QStringLiteral("UPDATE runes SET Runename = NULL WHERE Runenumber = 30;")
        << QStringList{QStringLiteral("runesQuery"), QStringLiteral("Runename")} << 30 << 29;
}

void TestStartup::failuresStopStartUp()
{
    QFETCH(Change, change);
    QFETCH(QString, sql);
    QFETCH(QStringList, named);
    QFETCH(int, pictures);
    QFETCH(int, labels);

    TestFolder folder;
    switch (change) {
    case Change::RemoveDataFile:
        QVERIFY(QFile::remove(folder.dataFile()));
        named << folder.dataFile();
        break;
    case Change::GarbageDataFile: {
        QFile file(folder.dataFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("these are not the runes you are looking for\n").repeated(30));
        named << folder.dataFile();
        break;
    }
    case Change::RemovePicture46:
        QVERIFY(QFile::remove(picturePath(folder, 46)));
        named << QDir::toNativeSeparators(picturePath(folder, 46));
        break;
    case Change::Sql:
        folder.sql(sql);
        break;
    }

    Form1 form(folder.path());
    const QString failure = loadFailure(form);
    QVERIFY2(!failure.isNull(), "start-up went through");
    for (const QString &name : std::as_const(named))
        QVERIFY2(failure.contains(name), qPrintable(failure));
    QCOMPARE(picturesLoaded(form), pictures);
    QCOMPARE(labelsSet(form), labels);
    // A missing data file is reported, never replaced by an empty one.
    QCOMPARE(QFile::exists(folder.dataFile()), change != Change::RemoveDataFile);
}

void TestStartup::windowArrangement()
{
    TestFolder folder;
    const auto form = startForm(folder.path());
    form->markOwned(2);
    form->markOwned(44);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QImage shot = form->grab().toImage();
    QVERIFY(shot.save(QDir(folder.path()).filePath(QStringLiteral("Form1.png"))));

    QWidget *client = form->centralWidget();
    QCOMPARE(client->size(), QSize(pixels(8955), pixels(7275)));
    QCOMPARE(form->minimumSize(), form->maximumSize());

    // Where each control stands in the client area, in twips as designed; controls in a frame
    // add the frame's corner.
    struct Place {
        QWidget *control;
        int left, top, width, height;
    };
    QList<Place> places = {
        {form->Frame1, 0, 0, 6135, 3975},
        {form->Commandrevert, 4920, 3120, 1095, 495},
        {form->TextRunes, 120, 4080, 6015, 375},
        {form->Text1, 120, 4560, 6015, 2655},
        {form->Frame2, 6240, 0, 2655, 2655},
        {form->CheckBodyArmor, 6360, 240, 1215, 255},
        {form->CheckHelm, 6360, 480, 1215, 255},
        {form->CheckBelt, 6360, 720, 1215, 255},
        {form->CheckBoots, 6360, 960, 1215, 255},
        {form->CheckGloves, 6360, 1200, 1215, 255},
        {form->CheckShield, 6360, 1440, 1215, 255},
        {form->CheckMeleeWeapon, 6360, 1800, 1575, 255},
        {form->CheckmissileWeapon, 6360, 2040, 1575, 255},
        {form->Checkother, 6360, 2280, 1575, 255},
        {form->Frame3, 6240, 2640, 2655, 1335},
        {form->Checksockets[0], 6360, 2880, 975, 255},
        {form->Checksockets[1], 6360, 3240, 1095, 255},
        {form->Checksockets[2], 6360, 3600, 1095, 255},
        {form->Checksockets[3], 7680, 2880, 1095, 255},
        {form->Checksockets[4], 7680, 3240, 1095, 255},
        {form->Checksockets[5], 7680, 3600, 1095, 255},
        {form->List1, 6240, 4080, 2655, 2595},
        {form->CommandSearch, 6360, 6840, 1215, 375},
        {form->CommandClear, 7680, 6840, 1215, 375},
    };
    for (int k = 1; k <= 46; ++k) {
        const int left = 120 + 600 * ((k - 1) % 10);
        const int row = 720 * ((k - 1) / 10);
        places.append({form->PictureRunes[size_t(k)], left, 240 + row, k == 1 ? 435 : 465,
                       k == 1 ? 420 : 450});
        places.append({form->Label1[size_t(k - 1)], left, 720 + row, 495, 255});
    }
    for (const Place &place : std::as_const(places)) {
        const QRect expected(pixels(place.left), pixels(place.top), pixels(place.width),
                             pixels(place.height));
        const QRect actual(place.control->mapTo(client, QPoint(0, 0)), place.control->size());
        // Rounding twips to pixels in the frame or in the window may differ by one.
        const bool close = std::abs(actual.left() - expected.left()) <= 1 &&
                           std::abs(actual.top() - expected.top()) <= 1 &&
                           std::abs(actual.width() - expected.width()) <= 1 &&
                           std::abs(actual.height() - expected.height()) <= 1;
        QVERIFY2(close, qPrintable(place.control->objectName() + QStringLiteral(" at ") +
                                   text(actual) + QStringLiteral(", expected ") + text(expected)));
    }

    // The tile's colour shows around the stone: base colour when not owned, black when owned.
    const QList<QPair<int, QRgb>> colours = {{1, qRgb(255, 255, 255)}, {2, qRgb(0, 0, 0)},
                                             {8, qRgb(174, 68, 52)},   {43, qRgb(144, 50, 214)},
                                             {44, qRgb(0, 0, 0)},      {46, qRgb(144, 50, 214)}};
    for (const auto &[k, colour] : colours) {
        const RuneTile *tile = form->PictureRunes[size_t(k)];
        const QPoint corner = tile->mapTo(form.get(), QPoint(3, 3));
        QCOMPARE(QColor(shot.pixel(corner)), QColor(colour));
        const QPoint middle = tile->mapTo(form.get(), tile->rect().center());
        QVERIFY2(shot.pixel(middle) != colour,
                 qPrintable(QStringLiteral("tile %1 shows no stone").arg(k)));
    }
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
