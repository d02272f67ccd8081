#include "database.h"

#include "failure.h"
#include "querydef.h"
#include "recordset.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QUrl>

#include <algorithm>
#include <sqlite3.h>

namespace {

QString engineMessage(const QSqlError &error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.driverText();
    if (text.isEmpty())
        text = QStringLiteral("unknown error");
    return text;
}

// Bounds on what one statement may cost. The shipped data needs a tiny fraction of each; a
// foreign file's view may loop without end or build values of any size, and must end in a
// message instead of hanging the program or exhausting its memory.
constexpr int workLimit =
    40000; // thousands of engine steps; a search of 100,000 runewords takes 6,000
constexpr int valueLimit = 16 * 1024 * 1024;
constexpr qint64 resultLimit = 128 * 1024 * 1024;

// Room for the display's 46 rune look-ups beside the runeword look-ups and the other actions'
// texts, so that browsing the list keeps finding its rune texts prepared.
constexpr size_t keptStatements = 128;

const QString workLimitReason = QStringLiteral(
    "The statement did not end within the work allowed to it; a stored query of the file may "
    "loop without end.");

// Binds as Qt's driver does, so that a value means the same whether read or written.
int bindValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, index);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
        return sqlite3_bind_int(statement, index, value.toInt());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isNull())
            return sqlite3_bind_null(statement, index);
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()),
                                 SQLITE_TRANSIENT);
    }
    default: {
        const QString text = value.toString();
        if (text.isNull())
            return sqlite3_bind_null(statement, index);
        return sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * sizeof(QChar)),
                                   SQLITE_TRANSIENT);
    }
    }
}

// Null is a null QVariant, distinct from 0 and from the empty text. Adds the memory the value
// takes to size.
QVariant columnValue(sqlite3_stmt *statement, int column, qint64 &size)
{
    size += 16;
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_BLOB: {
        const auto *blob = static_cast<const char *>(sqlite3_column_blob(statement, column));
        const int bytes = sqlite3_column_bytes(statement, column);
        size += bytes;
        return QByteArray(blob, bytes);
    }
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        const int bytes = sqlite3_column_bytes(statement, column);
        size += 2 * qint64(bytes);
        return QString::fromUtf8(text, bytes);
    }
    }
}

// As Qt names a result's columns: without quotes, and without a table name before a dot.
QString columnName(sqlite3_stmt *statement, int column)
{
    QString name = QString::fromUtf8(sqlite3_column_name(statement, column));
    name.remove(QLatin1Char('"'));
    return name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tessaly-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

Database::Database(const QString &path) : path_(path), connectionName_(nextConnectionName())
{
    const QString attempted = QStringLiteral("open the database file");
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(attempted, path, QStringLiteral("The file does not exist."));
    if (!info.isFile())
        throw Failure(attempted, path, QStringLiteral("This is not a file."));
    // SQLite would take an empty file for an empty database.
    if (info.size() == 0)
        throw Failure(attempted, path, QStringLiteral("The file is empty."));

    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    try {
        if (!db_.isValid())
            throw Failure(attempted, path, QStringLiteral("Qt's SQLite driver is not available."));
        // mode=rw: SQLite must never create a missing file in our place.
        db_.setDatabaseName(
            QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) +
            QStringLiteral("?mode=rw"));
        db_.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db_.open()) {
            const QSqlError error = db_.lastError();
            throw Failure(attempted, path, engineMessage(error), error.nativeErrorCode());
        }
        harden();
        checkIntegrity();
    } catch (...) {
        closeConnection();
        throw;
    }
}

Database::~Database()
{
    closeConnection();
}

void Database::closeConnection()
{
    // The engine does not close a connection that still has prepared statements.
    for (const Prepared &kept : prepared_)
        sqlite3_finalize(kept.statement);
    prepared_.clear();
    if (db_.isOpen())
        db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

void Database::harden()
{
    const QVariant handle = db_.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw Failure(QStringLiteral("secure the database connection"), path_,
                      QStringLiteral("Qt's SQLite driver gave no engine handle."));
    sqlite3 *raw = *static_cast<sqlite3 *const *>(handle.constData());
    engine_ = raw;
    // Views and triggers in a foreign file may call only harmless functions, and the file's
    // own structure cannot be written through SQL.
    if (sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK ||
        sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr) != SQLITE_OK)
        throw Failure(QStringLiteral("secure the database connection"), path_,
                      QString::fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, valueLimit);
    sqlite3_progress_handler(raw, 1000, &Database::countWork, this);
}

int Database::countWork(void *database)
{
    return ++static_cast<Database *>(database)->work_ > workLimit ? 1 : 0;
}

void Database::checkIntegrity()
{
    const RowData rows = select(QStringLiteral("PRAGMA quick_check(1)"), {},
                                QStringLiteral("check the database file"));
    const QString verdict = rows.rowCount() > 0 ? rows.values[0].toString() : QString();
    if (verdict != QLatin1String("ok"))
        throw Failure(QStringLiteral("check the database file"), path_,
                      QStringLiteral("The file is damaged: %1").arg(verdict));
    // A file cut short reads as zeros where its end is missing, which the quick check does not
    // always notice; the header says how long it is. Pages still in a write-ahead log are not
    // in the file yet.
    const RowData size = select(QStringLiteral("SELECT page_count * page_size FROM "
                                               "pragma_page_count(), pragma_page_size()"),
                                {}, QStringLiteral("check the database file"));
    const qint64 expected = size.rowCount() > 0 ? size.values[0].toLongLong() : 0;
    const qint64 actual = QFileInfo(path_).size();
    if (actual < expected && !QFileInfo::exists(path_ + QStringLiteral("-wal")))
        throw Failure(
            QStringLiteral("check the database file"), path_,
            QStringLiteral("The file is damaged: it is %1 bytes long, its header says %2.")
                .arg(actual)
                .arg(expected));
}

Failure Database::engineFailure(int code, const QString &sql, const QString &attempted) const
{
    const QString reason =
        work_ > workLimit ? workLimitReason : QString::fromUtf8(sqlite3_errmsg(engine_));
    return Failure(attempted, sql + QStringLiteral("\nin ") + path_, reason, QString::number(code));
}

// Parsing a text costs the engine more than running a small statement on it, and the program
// runs the same texts again and again (a save deletes and adds 46 rows with two texts), so
// prepared statements are kept, the most recently used last.
Database::Prepared &Database::prepare(const QString &sql, const QString &attempted)
{
    if (trace_)
        trace_(sql);
    work_ = 0;
    for (auto kept = prepared_.begin(); kept != prepared_.end(); ++kept) {
        if (kept->sql == sql) {
            std::rotate(kept, kept + 1, prepared_.end());
            return prepared_.back();
        }
    }
    sqlite3_stmt *statement = nullptr;
    const void *tail = nullptr;
    const int result = sqlite3_prepare16_v2(engine_, sql.utf16(), int(sql.size() * sizeof(QChar)),
                                            &statement, &tail);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(statement, &sqlite3_finalize);
    if (result != SQLITE_OK)
        throw engineFailure(result, sql, attempted);
    if (!statement)
        throw Failure(attempted, sql + QStringLiteral("\nin ") + path_,
                      QStringLiteral("The text holds no statement."));
    const auto *rest = static_cast<const QChar *>(tail);
    if (!QStringView(rest, sql.constData() + sql.size()).trimmed().isEmpty())
        throw Failure(attempted, sql + QStringLiteral("\nin ") + path_,
                      QStringLiteral("The text holds more than one statement."));
    if (prepared_.size() == keptStatements) {
        sqlite3_finalize(prepared_.front().statement);
        prepared_.erase(prepared_.begin());
    }
    prepared_.push_back({sql, owner.get(), {}, -1});
    owner.release();
    return prepared_.back();
}

void Database::bind(sqlite3_stmt *statement, const QVariantList &values, const QString &sql,
                    const QString &attempted)
{
    int index = 0;
    for (const QVariant &value : values) {
        const int result = bindValue(statement, ++index, value);
        if (result != SQLITE_OK)
            throw engineFailure(result, sql, attempted);
    }
}

namespace {

// Ends a use of a kept statement, however the use ends: a reset statement holds no lock on the
// file, and keeps no values for its next use.
class Reset {
public:
    explicit Reset(sqlite3_stmt *statement) : statement_(statement) {}
    ~Reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Reset(const Reset &) = delete;
    Reset &operator=(const Reset &) = delete;

private:
    sqlite3_stmt *statement_;
};

} // namespace

void Database::execute(const QString &sql, const QVariantList &values, const QString &attempted)
{
    sqlite3_stmt *statement = prepare(sql, attempted).statement;
    const Reset reset(statement);
    bind(statement, values, sql, attempted);
    const int result = sqlite3_step(statement);
    if (result != SQLITE_DONE && result != SQLITE_ROW)
        throw engineFailure(result, sql, attempted);
}

// Rows are read straight from the engine handle of the Qt Sql connection: through QSqlQuery
// every value is converted twice on its way into a QVariant, which made reading a large
// result take as long as the query itself. The values come out as Qt's driver gives them.
RowData Database::select(const QString &sql, const QVariantList &values, const QString &attempted,
                         bool firstColumnIsRowId)
{
    Prepared &prepared = prepare(sql, attempted);
    sqlite3_stmt *statement = prepared.statement;
    const Reset reset(statement);
    bind(statement, values, sql, attempted);
    int result = sqlite3_step(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        throw engineFailure(result, sql, attempted);

    // The columns are known once the statement has run: a kept statement is prepared afresh
    // on the way when the file's structure has changed since.
    const int reprepared = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_REPREPARE, 0);
    if (prepared.reprepared != reprepared) {
        prepared.columns = QSqlRecord();
        for (int i = 0; i < sqlite3_column_count(statement); ++i)
            prepared.columns.append(QSqlField(columnName(statement, i)));
        prepared.reprepared = reprepared;
    }
    RowData rows;
    rows.columns = prepared.columns;
    const int first = firstColumnIsRowId ? 1 : 0;
    if (firstColumnIsRowId)
        rows.columns.remove(0);
    const int width = rows.columns.count();
    qint64 bytes = 0;
    for (; result == SQLITE_ROW; result = sqlite3_step(statement)) {
        if (firstColumnIsRowId)
            rows.rowIds.push_back(sqlite3_column_int64(statement, 0));
        for (int i = 0; i < width; ++i)
            rows.values.push_back(columnValue(statement, first + i, bytes));
        if (bytes > resultLimit)
            throw Failure(attempted, sql + QStringLiteral("\nin ") + path_,
                          QStringLiteral("The result is larger than the program allows (%1 MB).")
                              .arg(resultLimit / (1024 * 1024)));
    }
    // A row that cannot be read (a damaged page, say) ends the loop early with an error.
    if (result != SQLITE_DONE)
        throw engineFailure(result, sql, attempted);
    return rows;
}

std::unique_ptr<Recordset> Database::openRecordset(const QString &name)
{
    const QString attempted = QStringLiteral("open the table or stored query");
    const RowData found =
        select(QStringLiteral("SELECT type, name FROM sqlite_schema WHERE "
                              "type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
               {name}, attempted);
    if (found.rowCount() == 0)
        throw Failure(attempted, name + QStringLiteral("\nin ") + path_,
                      QStringLiteral("The file has no table or stored query of that name."));
    const bool isTable = found.values[0].toString() == QLatin1String("table");
    const QString source = found.values[1].toString();

    RowData rows;
    if (isTable) {
        rows = select(QStringLiteral("SELECT rowid, * FROM ") + quoteIdentifier(source), {},
                      attempted, true);
    } else {
        rows = select(QStringLiteral("SELECT * FROM ") + quoteIdentifier(source), {}, attempted);
        // A stored query that lists its base table's row id can be changed through.
        const int rowIdColumn = rows.columns.indexOf(QStringLiteral("rowid"));
        if (rowIdColumn >= 0) {
            const int width = rows.columns.count();
            RowData visible;
            visible.columns = rows.columns;
            visible.columns.remove(rowIdColumn);
            visible.values.reserve(rows.values.size());
            for (int row = 0; row < rows.rowCount(); ++row) {
                for (int i = 0; i < width; ++i) {
                    const QVariant &value = rows.values[size_t(row * width + i)];
                    if (i == rowIdColumn)
                        visible.rowIds.push_back(value.toLongLong());
                    else
                        visible.values.push_back(value);
                }
            }
            rows = std::move(visible);
        }
    }
    return std::unique_ptr<Recordset>(
        new Recordset(this, isTable ? Recordset::Kind::Table : Recordset::Kind::StoredQuery, source,
                      std::move(rows)));
}

std::unique_ptr<QueryDef> Database::createQueryDef(const QString &sql)
{
    return std::unique_ptr<QueryDef>(new QueryDef(this, sql));
}

Database::Transaction::Transaction(Database &db) : db_(db)
{
    db_.execute(QStringLiteral("BEGIN IMMEDIATE"), {}, QStringLiteral("start writing"));
}

Database::Transaction::~Transaction()
{
    if (!open_)
        return;
    try {
        db_.execute(QStringLiteral("ROLLBACK"), {}, QStringLiteral("undo the unfinished writes"));
    } catch (const Failure &) {
        // SQLite has already rolled back when a statement failed so badly that ROLLBACK finds
        // no transaction; the writes are undone either way.
    }
}

void Database::Transaction::commit()
{
    db_.execute(QStringLiteral("COMMIT"), {}, QStringLiteral("store the writes"));
    open_ = false;
}
