#include "database.h"

#include "failure.h"
#include "querydef.h"
#include "recordset.h"

#include <QDir>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

namespace {

// Bounds on what one statement may cost. The shipped data needs a tiny fraction of each; a
// foreign file's view may loop without end or build values of any size, and must end in a
// message instead of hanging the program or exhausting its memory.
constexpr int workLimit =
    40000; // thousands of engine steps; a search of 100,000 runewords takes 6,000
constexpr int valueLimit = 16 * 1024 * 1024;

const QString workLimitReason = QStringLiteral(
    "The statement did not end within the work allowed to it; a stored query of the file may "
    "loop without end.");

} // namespace

// Kept in the system's own form: it is what every message shows.
Database::Database(const QString &path) : path_(QDir::toNativeSeparators(path))
{
    const QString attempted = QStringLiteral("open the database file");
    checkFile(attempted);
    const QFileInfo info(path);
    born_ = info.birthTime();

    try {
        // Without OPEN_CREATE the engine never makes a missing file in our place. Another
        // program holding the file is waited on for two seconds. A connection is used by one
        // thread only, so the engine need not lock it on every call. SQLite takes file names
        // in UTF-8 on every system.
        engine_ =
            std::make_unique<SQLite::Database>(info.absoluteFilePath().toUtf8().constData(),
                                               SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX, 2000);
    } catch (const SQLite::Exception &error) {
        throw Failure(attempted, path, QString::fromUtf8(error.what()),
                      QString::number(error.getErrorCode()));
    }
    harden();
    checkIntegrity();
}

Database::~Database() = default;

void Database::harden()
{
    sqlite3 *handle = engine_->getHandle();
    // Views and triggers in a foreign file may call only harmless functions, and the file's
    // own structure cannot be written through SQL.
    if (sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK ||
        sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr) != SQLITE_OK)
        throw Failure(QStringLiteral("secure the database connection"), path_,
                      QString::fromUtf8(engine_->getErrorMsg()));
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, valueLimit);
    sqlite3_progress_handler(handle, 1000, &Database::countWork, this);
}

int Database::countWork(void *database)
{
    return ++static_cast<Database *>(database)->work_ > workLimit ? 1 : 0;
}

QString Database::describe(const QString &object) const
{
    return object + QStringLiteral("\nin ") + path_;
}

Failure Database::engineFailure(int code, const QString &sql, const QString &attempted) const
{
    const QString reason =
        work_ > workLimit ? workLimitReason : QString::fromUtf8(engine_->getErrorMsg());
    return Failure(attempted, describe(sql), reason, QString::number(code));
}

std::unique_ptr<Recordset> Database::openRecordset(const QString &name)
{
    const QString attempted = QStringLiteral("open the table or stored query");
    const RowData found =
        select(QStringLiteral("SELECT type, name FROM sqlite_schema WHERE "
                              "type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
               {name}, attempted);
    if (found.rowCount() == 0)
        throw Failure(attempted, describe(name),
                      QStringLiteral("The file has no table or stored query of that name."));
    const bool isTable = found.value(0, 0).toString() == QLatin1String("table");
    const QString source = found.value(0, 1).toString();

    RowData rows;
    if (isTable) {
        rows = select(QStringLiteral("SELECT rowid, * FROM ") + quoteIdentifier(source), {},
                      attempted, true);
    } else {
        rows = select(QStringLiteral("SELECT * FROM ") + quoteIdentifier(source), {}, attempted);
        // A stored query that lists its base table's row id can be changed through.
        const int rowIdColumn = rows.indexOf(QStringLiteral("rowid"));
        if (rowIdColumn >= 0) {
            QVariantList values;
            for (qsizetype i = 0; i < rows.values.size(); ++i) {
                if (i % rows.width() == rowIdColumn)
                    rows.rowIds.push_back(rows.values[i].toLongLong());
                else
                    values.append(rows.values[i]);
            }
            rows.values = std::move(values);
            rows.columns.removeAt(rowIdColumn);
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
    const QString begin = QStringLiteral("BEGIN IMMEDIATE");
    if (db_.trace_)
        db_.trace_(begin);
    db_.work_ = 0;
    try {
        transaction_ = std::make_unique<SQLite::Transaction>(
            *db_.engine_, SQLite::TransactionBehavior::IMMEDIATE);
    } catch (const SQLite::Exception &error) {
        throw db_.engineFailure(error.getErrorCode(), begin, QStringLiteral("start writing"));
    }
}

// SQLite has already rolled back when a statement failed so badly that ROLLBACK finds no
// transaction; the wrapper's guard ignores that, and the writes are undone either way.
Database::Transaction::~Transaction()
{
    if (transaction_ && db_.trace_)
        db_.trace_(QStringLiteral("ROLLBACK"));
    db_.work_ = 0;
}

void Database::Transaction::commit()
{
    const QString sql = QStringLiteral("COMMIT");
    if (!transaction_)
        throw Failure(QStringLiteral("store the writes"), db_.describe(sql),
                      QStringLiteral("The transaction has already been committed."));
    if (db_.trace_)
        db_.trace_(sql);
    db_.work_ = 0;
    try {
        transaction_->commit();
    } catch (const SQLite::Exception &error) {
        throw db_.engineFailure(error.getErrorCode(), sql, QStringLiteral("store the writes"));
    }
    transaction_.reset();
}
