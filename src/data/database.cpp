#include "database.h"

#include "failure.h"
#include "querydef.h"
#include "recordset.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

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

    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    try {
        if (!db_.isValid())
            throw Failure(attempted, path, QStringLiteral("Qt's SQLite driver is not available."));
        // mode=rw: SQLite must never create a missing file in our place.
        db_.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded)
                            + QStringLiteral("?mode=rw"));
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
    // Views and triggers in a foreign file may call only harmless functions, and the file's
    // own structure cannot be written through SQL.
    if (sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK
        || sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK
        || sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr) != SQLITE_OK)
        throw Failure(QStringLiteral("secure the database connection"), path_,
                      QString::fromUtf8(sqlite3_errmsg(raw)));
}

void Database::checkIntegrity()
{
    const RowData rows = select(QStringLiteral("PRAGMA quick_check(1)"), {},
                                QStringLiteral("check the database file"));
    const QString verdict = rows.rowCount() > 0 ? rows.values[0].toString() : QString();
    if (verdict != QLatin1String("ok"))
        throw Failure(QStringLiteral("check the database file"), path_,
                      QStringLiteral("The file is damaged: %1").arg(verdict));
}

QSqlQuery Database::run(const QString &sql, const QVariantList &values, const QString &attempted)
{
    if (trace_)
        trace_(sql);
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    if (ok) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (!ok)
        throw failure(query, sql, attempted);
    return query;
}

Failure Database::failure(const QSqlQuery &query, const QString &sql, const QString &attempted) const
{
    const QSqlError error = query.lastError();
    return Failure(attempted, sql + QStringLiteral("\nin ") + path_, engineMessage(error),
                   error.nativeErrorCode());
}

void Database::execute(const QString &sql, const QVariantList &values, const QString &attempted)
{
    run(sql, values, attempted).finish();
}

RowData Database::select(const QString &sql, const QVariantList &values, const QString &attempted,
                         bool firstColumnIsRowId)
{
    QSqlQuery query = run(sql, values, attempted);
    RowData rows;
    rows.columns = query.record();
    const int first = firstColumnIsRowId ? 1 : 0;
    if (firstColumnIsRowId)
        rows.columns.remove(0);
    const int width = rows.columns.count();
    while (query.next()) {
        if (firstColumnIsRowId)
            rows.rowIds.push_back(query.value(0).toLongLong());
        for (int i = 0; i < width; ++i)
            rows.values.push_back(query.value(first + i));
    }
    // A row that cannot be read (a damaged page, say) ends the loop early with an error.
    if (query.lastError().isValid())
        throw failure(query, sql, attempted);
    query.finish();
    return rows;
}

std::unique_ptr<Recordset> Database::openRecordset(const QString &name)
{
    const QString attempted = QStringLiteral("open the table or stored query");
    const RowData found = select(QStringLiteral("SELECT type, name FROM sqlite_schema WHERE "
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
    return std::unique_ptr<Recordset>(new Recordset(
        this, isTable ? Recordset::Kind::Table : Recordset::Kind::StoredQuery, source, std::move(rows)));
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
