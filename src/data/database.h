#pragma once

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class Failure;
struct sqlite3;
struct sqlite3_stmt;
class Recordset;
class QueryDef;

// Rows read in full from one statement; the statement is finished before this is returned,
// so that no open read keeps the file locked against the other connection's writes.
struct RowData {
    QSqlRecord columns;
    std::vector<QVariant> values; // row-major, columns.count() per row
    std::vector<qint64> rowIds;   // empty unless the source exposes row ids
    int rowCount() const { return columns.isEmpty() ? 0 : int(values.size()) / columns.count(); }
};

// One connection to a data file. Opening refuses a missing file (it never creates one) and a
// file that is not a sound SQLite database, and switches off everything by which a file's
// schema could run code of its own: the file may come from another player.
class Database {
public:
    explicit Database(const QString &path);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const QString &path() const { return path_; }

    // A table opens as an updatable row set; a stored query (a view) too when it exposes its
    // base table's row id as a column named rowid.
    std::unique_ptr<Recordset> openRecordset(const QString &name);
    std::unique_ptr<QueryDef> createQueryDef(const QString &sql);

    // Runs one statement that returns no rows, binding the values in order.
    void execute(const QString &sql, const QVariantList &values, const QString &attempted);
    RowData select(const QString &sql, const QVariantList &values, const QString &attempted,
                   bool firstColumnIsRowId = false);

    // Every SQL text handed to the engine, unchanged, before it runs.
    using TraceHook = std::function<void(const QString &sql)>;
    void setTraceHook(TraceHook hook) { trace_ = std::move(hook); }

    // Writes that belong together. The write lock is taken at the start (BEGIN IMMEDIATE) so
    // that a busy file fails before anything is changed; an uncommitted transaction rolls back.
    class Transaction {
    public:
        explicit Transaction(Database &db);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void commit();

    private:
        Database &db_;
        bool open_ = true;
    };

private:
    struct Prepared {
        QString sql;
        sqlite3_stmt *statement;
        QSqlRecord columns;
        int reprepared; // the engine's count when columns was made
    };
    Prepared &prepare(const QString &sql, const QString &attempted);
    void bind(sqlite3_stmt *statement, const QVariantList &values, const QString &sql,
              const QString &attempted);
    Failure engineFailure(int code, const QString &sql, const QString &attempted) const;
    void harden();
    void checkIntegrity();
    void closeConnection();
    static int countWork(void *database);

    QString path_;
    QString connectionName_;
    QSqlDatabase db_;
    TraceHook trace_;
    int work_ = 0; // engine steps of the running statement, in thousands
    // The engine handle of the Qt Sql connection, and the statements kept prepared on it.
    sqlite3 *engine_ = nullptr;
    std::vector<Prepared> prepared_;
};

QString quoteIdentifier(const QString &name);
