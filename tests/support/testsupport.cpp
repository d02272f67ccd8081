#include "testsupport.h"

#include "gamedata.h"
#include "gifwriter.h"

#include <QColor>
#include <QSignalBlocker>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

QString gameDataSources()
{
    return QStringLiteral(TESSALY_GAMEDATA_DIR);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

namespace {

// The data file and the pictures are made once per test process from the sources and copied
// into each folder: making them syncs to disk, copying does not.
const QTemporaryDir &madeOnce()
{
    static const auto made = [] {
        auto dir = std::make_unique<QTemporaryDir>();
        writeDataFile(readGameData(gameDataSources()), readSchema(gameDataSources()),
                      dir->filePath("newRunewords.mdb"_q));
        writeRunePictures(dir->filePath("CRunes"_q));
        return dir;
    }();
    return *made;
}

// Runs work on a connection of another program, which waits on a busy file as the program
// does. A failure ends the test process, naming the SQL.
template <typename Work> void onConnection(const QString &path, const QString &sql, Work work)
{
    try {
        SQLite::Database connection(path.toUtf8().toStdString(), SQLite::OPEN_READWRITE, 2000);
        work(connection);
    } catch (const SQLite::Exception &error) {
        qFatal("test SQL failed: %s\n%s", error.what(), qPrintable(sql));
    }
}

template <typename Owned> QList<int> tilesWhere(Owned owned)
{
    QList<int> tiles;
    for (int k = 1; k <= 46; ++k) {
        if (owned(k))
            tiles << k;
    }
    return tiles;
}

} // namespace

TestFolder::TestFolder(Pictures pictures, const QString &parent)
    : dir_(QDir(parent.isEmpty() ? QDir::tempPath() : parent).filePath("tessaly-XXXXXX"_q))
{
    QStringList names{"newRunewords.mdb"_q};
    if (pictures == Pictures::Made && QDir(dir_.path()).mkdir("CRunes"_q)) {
        for (const QString &name : QDir(madeOnce().filePath("CRunes"_q)).entryList(QDir::Files))
            names << "CRunes/"_q + name;
    }
    for (const QString &name : names) {
        const QString from = madeOnce().filePath(name), to = dir_.filePath(name);
        if (!QFile::copy(from, to) ||
            !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner))
            qFatal("cannot copy %s to %s", qPrintable(from), qPrintable(to));
    }
}

void TestFolder::sql(const QString &statements)
{
    onConnection(dataFile(), statements, [&](auto &db) { db.exec(statements.toStdString()); });
}

QStringList TestFolder::column(const QString &query)
{
    QStringList values;
    onConnection(dataFile(), query, [&](SQLite::Database &connection) {
        SQLite::Statement statement(connection, query.toStdString());
        while (statement.executeStep()) {
            const SQLite::Column value = statement.getColumn(0);
            values << QString::fromUtf8(value.getText(), value.getBytes()); // Null as ""
        }
    });
    return values;
}

QStringList TestFolder::slots()
{
    return column("SELECT saveName || ':' || ifnull((SELECT group_concat(runenumber, ' ') FROM "
                  "(SELECT * FROM ownedRunes ORDER BY rowid) o WHERE o.savenumber = "
                  "s.savenumber), '') FROM saves s ORDER BY savenumber"_q)
           << column("PRAGMA integrity_check"_q);
}

std::unique_ptr<Form1> startForm(const QString &folder)
{
    auto form = std::make_unique<Form1>(folder);
    form->Form_Load();
    return form;
}

void readEverything(Form1 &form)
{
    // Selected quietly and displayed directly, so that a failure reaches the caller.
    const auto displayEveryListed = [&form] {
        for (int row = 0; row < form.List1->count(); ++row) {
            QSignalBlocker blocker(form.List1);
            form.List1->setCurrentRow(row);
            blocker.unblock();
            form.List1_Click();
        }
    };
    displayEveryListed();
    for (int slot = 1; slot <= 10; ++slot)
        form.mnuload_Click(slot);
    for (int k = 1; k <= 46; ++k)
        form.markOwned(k);
    form.CommandSearch_Click();
    displayEveryListed();
    form.mnuRunename->Tag = "1"_q;
    form.mnuSearch_Click();
    form.mnuFind_Click();
}

QList<int> ownedTiles(const Form1 &form)
{
    return tilesWhere([&](int k) { return form.PictureRunes[size_t(k)]->Appearance() == 1; });
}

void setBoard(Form1 &form, const QList<int> &owned)
{
    form.ResetBoard();
    for (int k : owned)
        form.markOwned(k);
}

QList<int> savedTiles(const Form1 &form)
{
    return tilesWhere([&](int k) { return form.ownedState[size_t(k - 1)] == 1; });
}

QStringList listed(const Form1 &form)
{
    return qobject_cast<const QStringListModel *>(form.List1->model())->stringList();
}

QList<QCheckBox *> filterBoxes(const Form1 &form)
{
    QList<QCheckBox *> boxes(qsizetype(itemTypes.size()));
    for (const ItemType &type : itemTypes)
        boxes[type.type] = form.*type.box;
    boxes += QList<QCheckBox *>(form.Checksockets.begin(), form.Checksockets.end());
    return boxes;
}

QString itemTypeColumnList()
{
    QStringList columns;
    for (const char *column : itemTypeColumns)
        columns << QLatin1String(column);
    return columns.join(", "_q);
}

QString tickedFilters(const Form1 &form)
{
    const QList<QCheckBox *> boxes = filterBoxes(form);
    QStringList ticked;
    for (int i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->isChecked())
            ticked << (i < 9 ? QString::fromLatin1(itemTypeColumns[size_t(i)]).toLower()
                             : QString::number(i - 8));
    }
    return ticked.join(u' ');
}

QString inconsistentTile(const Form1 &form)
{
    // Each group of seven runes shares a colour, kept as red + 256 * green + 65536 * blue.
    static const QRgb groups[] = {qRgb(255, 255, 255), qRgb(174, 68, 52), qRgb(204, 186, 102),
                                  qRgb(210, 132, 32),  qRgb(78, 208, 72), qRgb(146, 130, 96),
                                  qRgb(144, 50, 214)};
    for (int k = 1; k <= 46; ++k) {
        const RuneTile *tile = form.PictureRunes[size_t(k)];
        const QRgb rgb = groups[(k - 1) / 7];
        const int colour = qRed(rgb) + 256 * qGreen(rgb) + 65536 * qBlue(rgb);
        if (tile->BackColor() != (tile->Appearance() == 1 ? 0 : colour) ||
            tile->Tag != QString::number(colour))
            return "tile %1: Appearance %2, BackColor %3, Tag %4"_q.arg(
                QString::number(k), QString::number(tile->Appearance()),
                QString::number(tile->BackColor()), tile->Tag);
    }
    return {};
}
