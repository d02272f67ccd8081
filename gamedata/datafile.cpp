#include "datafile.h"

#include "gamedata.h"
#include "rebuild.h"

#include <QFile>

#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <climits>
#include <sqlite3.h>
#include <stdexcept>
#include <system_error>

namespace {

// The same bounds as the program's own connection (src/data/database.cpp): the shipped data
// needs a tiny fraction of each.
constexpr int workLimit = 40000; // thousands of engine steps
constexpr int valueLimit = 16 * 1024 * 1024;

int countWork(void *work)
{
    return ++*static_cast<int *>(work) > workLimit ? 1 : 0;
}

} // namespace

DataConnection::DataConnection(const QString &path, int flags)
    : SQLite::Database(path.toUtf8().toStdString(), flags)
{
    // A file from elsewhere runs no code of its own while we read it.
    sqlite3 *handle = getHandle();
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, valueLimit);
    sqlite3_progress_handler(handle, 1000, &countWork, work_.get());
}

bool DataConnection::workExceeded() const
{
    return *work_ > workLimit;
}

DataConnection openDataFile(const QString &path, int flags)
{
    try {
        return DataConnection(path, flags);
    } catch (const SQLite::Exception &error) {
        failOn(path, QStringLiteral("open it"), error);
    }
}

QString engineMessage(const DataConnection &db, const std::exception &error)
{
    return db.workExceeded() ? QStringLiteral("did not end within the work allowed; a stored "
                                              "query or trigger may loop without end")
                             : QString::fromUtf8(error.what());
}

QString columnText(const SQLite::Statement &statement, int column)
{
    const SQLite::Column value = statement.getColumn(column);
    if (value.isNull())
        return QString();
    // The text first, then its length: SQLite sizes the text it converted.
    const char *text = value.getText();
    return QString::fromUtf8(text, value.getBytes());
}

std::filesystem::path filesystemPath(const QString &path)
{
    // UTF-16 on Windows and UTF-8 elsewhere, as each system names its files.
    return std::filesystem::path(path.toStdU16String());
}

void copyReplacing(const QString &from, const QString &to, std::error_code &error)
{
    // The target goes first: MinGW's copy_file does not overwrite a file even when told to.
    std::filesystem::remove(filesystemPath(to), error);
    std::filesystem::copy_file(filesystemPath(from), filesystemPath(to),
                               std::filesystem::copy_options::overwrite_existing, error);
}

void failOn(const QString &path, const QString &what, const std::exception &error)
{
    failOn(path, what, QString::fromUtf8(error.what()));
}

void failOn(const QString &path, const QString &what, const QString &message)
{
    throw std::runtime_error(
        QStringLiteral("%1: could not %2: %3").arg(path, what, message).toStdString());
}

// Writing

namespace {

// The rows of one table, stored one by one through one statement.
class RowWriter {
public:
    RowWriter(DataConnection &db, const QString &target, const char *table, int columns)
        : db_(db), target_(target), table_(QLatin1String(table)),
          statement_(db, insertText(table, columns).constData())
    {
    }

    RowWriter &value(int number)
    {
        statement_.bind(++column_, number);
        return *this;
    }
    RowWriter &value(const std::optional<int> &number)
    {
        if (number)
            return value(*number);
        statement_.bind(++column_); // Null
        return *this;
    }
    // A null QString is Null.
    RowWriter &value(const QString &text)
    {
        if (text.isNull())
            statement_.bind(++column_);
        else
            statement_.bind(++column_, text.toUtf8().toStdString());
        return *this;
    }

    void store()
    {
        ++row_;
        try {
            db_.startStatement();
            statement_.exec();
        } catch (const SQLite::Exception &error) {
            failOn(target_, QStringLiteral("store row %1 of %2").arg(row_).arg(table_),
                   engineMessage(db_, error));
        }
        statement_.reset();
        statement_.clearBindings();
        column_ = 0;
    }

private:
    static QByteArray insertText(const char *table, int columns)
    {
        QByteArray sql = QByteArray("INSERT INTO ") + table + " VALUES (?";
        for (int i = 1; i < columns; ++i)
            sql += ", ?";
        return sql + ')';
    }

    DataConnection &db_;
    QString target_;
    QString table_;
    SQLite::Statement statement_;
    int column_ = 0;
    int row_ = 0;
};

void storeRunes(DataConnection &db, const QString &target, const QList<RuneSource> &runes)
{
    RowWriter rows(db, target, "runes", 5);
    for (const RuneSource &rune : runes) {
        rows.value(rune.number)
            .value(rune.name)
            .value(rune.weapons)
            .value(rune.helms)
            .value(rune.shields)
            .store();
    }
}

void storeRunewords(DataConnection &db, const QString &target,
                    const QList<RunewordSource> &runewords)
{
    RowWriter rows(db, target, "RuneWords", 19);
    int place = 0;
    for (const RunewordSource &word : runewords) {
        ++place;
        rows.value(word.id ? word.id : place).value(word.name);
        rows.value(word.text ? *word.text : QString());
        rows.value(word.nrrunesNull ? std::nullopt : std::optional<int>(word.nrrunes));
        for (const std::optional<int> &rune : word.runes)
            rows.value(rune);
        for (size_t i = 0; i < word.types.size(); ++i)
            rows.value(word.typesNull[i] ? std::nullopt : std::optional<int>(word.types[i]));
        rows.store();
    }
}

void storeSaves(DataConnection &db, const QString &target, const QList<SaveSource> &saves)
{
    RowWriter slots(db, target, "saves", 2);
    RowWriter owned(db, target, "ownedRunes", 2);
    for (const SaveSource &save : saves) {
        slots.value(save.number).value(save.name).store();
        for (int rune : save.runes)
            owned.value(save.number).value(rune).store();
    }
}

// The table that names the game data and marks imported data. Made here rather than by
// schema.sql, so that a mod's schema written before the table existed gets it too.
void storeInfo(DataConnection &db, const QString &target, const GameData &data)
{
    try {
        db.exec("CREATE TABLE IF NOT EXISTS gameDataInfo (name TEXT, imported TEXT)");
        db.exec("DELETE FROM gameDataInfo");
    } catch (const SQLite::Exception &error) {
        failOn(target, QStringLiteral("make the table gameDataInfo"), error);
    }
    RowWriter(db, target, "gameDataInfo", 2)
        .value(data.name)
        .value(data.imported.isEmpty() ? QString() : data.imported)
        .store();
}

} // namespace

NewDataFile::NewDataFile(const QString &target)
    : target_(target), path_(target + QStringLiteral(".partial"))
{
    // A journal left by a build that was killed would be played back into the new file.
    removeFiles();
}

NewDataFile::~NewDataFile()
{
    if (!placed_)
        removeFiles();
}

void NewDataFile::removeFiles() const
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path_ + QLatin1String(suffix));
}

void NewDataFile::write(const GameData &data, const QString &schema)
{
    DataConnection db = openDataFile(path_, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    try {
        db.startStatement();
        db.exec(schema.toUtf8().toStdString());
    } catch (const SQLite::Exception &error) {
        failOn(target_, QStringLiteral("make the structure that schema.sql describes"),
               engineMessage(db, error));
    }
    try {
        SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
        storeRunes(db, target_, data.runes);
        storeRunewords(db, target_, data.runewords);
        storeSaves(db, target_, data.saves);
        storeInfo(db, target_, data);
        transaction.commit();
    } catch (const SQLite::Exception &error) {
        failOn(target_, QStringLiteral("write the new data file"), error);
    }
}

void NewDataFile::replaceTarget()
{
    // The rename replaces the target in one step, on Windows too (std::rename would refuse an
    // existing target there): there is no moment without a data file.
    std::error_code error;
    std::filesystem::rename(filesystemPath(path_), filesystemPath(target_), error);
    if (error)
        throw std::runtime_error(
            QStringLiteral("%1: could not move the new data file into place: %2")
                .arg(target_, QString::fromLocal8Bit(error.message().c_str()))
                .toStdString());
    placed_ = true;
}

void writeDataFile(const GameData &data, const QString &schema, const QString &path)
{
    NewDataFile file(path);
    file.write(data, schema);
    file.replaceTarget();
}

// Reading

namespace {

// A value of the file that the text sources cannot hold, by table, row and column.
class RowReader {
public:
    RowReader(DataConnection &db, const QString &path, const QString &table, const QString &sql)
        : db_(db), path_(path), table_(table), statement_(prepare(db, sql))
    {
        db.startStatement();
    }

    bool next()
    {
        try {
            return statement_.executeStep();
        } catch (const SQLite::Exception &error) {
            failOn(path_, QStringLiteral("read %1").arg(table_), engineMessage(db_, error));
        }
    }
    const SQLite::Statement &statement() const { return statement_; }
    // Names the row by the first column, the table's key.
    qint64 row() const { return statement_.getColumn(0).getInt64(); }

    [[noreturn]] void unwritable(int column, const QString &why) const
    {
        throw std::runtime_error(QStringLiteral("%1, row %2, %3: %4")
                                     .arg(table_)
                                     .arg(row())
                                     .arg(QString::fromUtf8(statement_.getColumnName(column)), why)
                                     .toStdString());
    }

    QString text(int column) const
    {
        const QString value = columnText(statement_, column);
        // The sources join the lines of a text with CR LF; any other break would come back
        // changed.
        QString rest = value;
        rest.remove(QStringLiteral("\r\n"));
        if (rest.contains(QLatin1Char('\r')) || rest.contains(QLatin1Char('\n')))
            unwritable(
                column,
                QStringLiteral("a line break other than CR LF cannot be kept in the text sources"));
        return value;
    }

    // A whole number that fits the sources' numbers; nullopt for Null.
    std::optional<int> integer(int column) const
    {
        const SQLite::Column value = statement_.getColumn(column);
        if (value.isNull())
            return std::nullopt;
        if (!value.isInteger() || value.getInt64() < INT_MIN || value.getInt64() > INT_MAX)
            unwritable(column, QStringLiteral("not a whole number"));
        return int(value.getInt64());
    }

    int key(int column) const
    {
        const std::optional<int> value = integer(column);
        if (!value)
            unwritable(column, QStringLiteral("Null"));
        return *value;
    }

private:
    SQLite::Statement prepare(DataConnection &db, const QString &sql) const
    {
        try {
            return SQLite::Statement(db, sql.toUtf8().constData());
        } catch (const SQLite::Exception &error) {
            failOn(path_, QStringLiteral("read %1").arg(table_), error);
        }
    }

    DataConnection &db_;
    QString path_;
    QString table_;
    SQLite::Statement statement_;
};

QList<RuneSource> readRunes(DataConnection &db, const QString &path)
{
    RowReader runes(db, path, QStringLiteral("runes"),
                    QStringLiteral("SELECT Runenumber, Runename, Runefunction1, Runefunction2, "
                                   "Runefunction3 FROM runes ORDER BY Runenumber"));
    QList<RuneSource> read;
    while (runes.next())
        read << RuneSource{runes.key(0), runes.text(1), runes.text(2), runes.text(3),
                           runes.text(4)};
    return read;
}

QList<RunewordSource> readRunewords(DataConnection &db, const QString &path)
{
    QString columns =
        QStringLiteral("RunewordID, RuneWordName, runewordText, nrrunes, rune1, rune2, "
                       "rune3, rune4, rune5, rune6");
    for (const char *type : itemTypeColumns)
        columns += QStringLiteral(", ") + QLatin1String(type);
    RowReader words(db, path, QStringLiteral("RuneWords"),
                    QStringLiteral("SELECT %1 FROM RuneWords ORDER BY RunewordID").arg(columns));
    QList<RunewordSource> read;
    while (words.next()) {
        RunewordSource word;
        const int id = words.key(0);
        if (id < 1)
            words.unwritable(0, QStringLiteral("not a whole number from 1 to 2147483647"));
        word.id = id == read.size() + 1 ? 0 : id; // the sources count a runeword's place
        word.name = words.text(1);
        word.text = words.text(2);
        if (word.text->isNull())
            word.text.reset();
        const std::optional<int> nrrunes = words.integer(3);
        word.nrrunesNull = !nrrunes;
        word.nrrunes = nrrunes.value_or(0);
        for (int i = 0; i < 6; ++i)
            word.runes[size_t(i)] = words.integer(4 + i);
        for (int i = 0; i < 9; ++i) {
            const std::optional<int> value = words.integer(10 + i);
            if (value && *value != 0 && *value != 1)
                words.unwritable(10 + i, QStringLiteral("a yes/no value is 0 or 1"));
            word.typesNull[size_t(i)] = !value;
            word.types[size_t(i)] = value.value_or(0) == 1;
        }
        read << word;
    }
    return read;
}

QList<SaveSource> readSaves(DataConnection &db, const QString &path)
{
    RowReader slots(db, path, QStringLiteral("saves"),
                    QStringLiteral("SELECT savenumber, saveName FROM saves ORDER BY savenumber"));
    QList<SaveSource> read;
    while (slots.next())
        read << SaveSource{slots.key(0), slots.text(1), {}};
    RowReader owned(db, path, QStringLiteral("ownedRunes"),
                    QStringLiteral("SELECT rowid, savenumber, runenumber FROM ownedRunes "
                                   "ORDER BY rowid"));
    while (owned.next()) {
        const int slot = owned.key(1);
        auto save = std::find_if(read.begin(), read.end(),
                                 [&](const SaveSource &save) { return save.number == slot; });
        // Dropping the row would lose a player's rune without a word.
        if (save == read.end())
            owned.unwritable(1, QStringLiteral("no slot %1 in saves").arg(slot));
        save->runes << owned.key(2);
    }
    return read;
}

// A file made before there was a gameDataInfo table names no data and was not imported.
void readInfo(DataConnection &db, const QString &path, GameData &data)
{
    if (!db.tableExists("gameDataInfo"))
        return;
    RowReader info(db, path, QStringLiteral("gameDataInfo"),
                   QStringLiteral("SELECT rowid, name, imported FROM gameDataInfo LIMIT 1"));
    if (info.next()) {
        data.name = columnText(info.statement(), 1);
        data.imported = columnText(info.statement(), 2);
    }
}

} // namespace

GameData readDataFile(const QString &path)
{
    DataConnection db = openDataFile(path, SQLite::OPEN_READONLY);
    GameData data;
    data.runes = readRunes(db, path);
    data.runewords = readRunewords(db, path);
    data.saves = readSaves(db, path);
    readInfo(db, path, data);
    return data;
}

GameDataInfo gameDataInfo(const QString &path)
{
    DataConnection db = openDataFile(path, SQLite::OPEN_READONLY);
    GameData data;
    readInfo(db, path, data);
    try {
        return {data.name, db.execAndGet("PRAGMA user_version").getInt(), data.imported};
    } catch (const std::exception &error) {
        failOn(path, QStringLiteral("read the game data's version"), error);
    }
}

QString readDataFileSchema(const QString &path)
{
    DataConnection db = openDataFile(path, SQLite::OPEN_READONLY);
    // Tables first, then what refers to them, each in the order it was made.
    RowReader schema(
        db, path, QStringLiteral("sqlite_schema"),
        QStringLiteral(
            "SELECT rowid, sql FROM sqlite_schema WHERE sql IS NOT NULL AND name NOT LIKE "
            "'sqlite_%' AND name <> 'gameDataInfo' ORDER BY CASE type WHEN 'table' THEN 0 WHEN "
            "'index' THEN 1 WHEN 'view' "
            "THEN 2 ELSE 3 END, rowid"));
    QString sql;
    // The game data's version goes with the structure, so that a rebuild keeps it.
    if (const int version = db.execAndGet("PRAGMA user_version").getInt())
        sql += QStringLiteral("PRAGMA user_version = %1;\n\n").arg(version);
    while (schema.next())
        sql += columnText(schema.statement(), 1) + QStringLiteral(";\n\n");
    return sql;
}
