#pragma once

#include "rowdata.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace SQLite {
class Column;
class Database;
class Statement;
class Transaction;
} // namespace SQLite

class Failure;
class Recordset;
class QueryDef;

// One connection to a data file. Opening refuses a missing file (it never creates one) and a
// file that is not a sound SQLite database, and switches off everything by which a file's
// schema could run code of its own: the file may come from another player.
class Database {
public:
    explicit Database(const QString &path);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // The file, in the system's own form, as messages show it.
    const QString &path() const { return path_; }
    // Checks the file again before a write that comes a while after opening: it must still be
    // there, be the file opened, and be sound.
    void recheck();

    // A table opens as an updatable row set; a stored query (a view) too when it exposes its
    // base table's row id as a column named rowid.
    std::unique_ptr<Recordset> openRecordset(const QString &name);
    std::unique_ptr<QueryDef> createQueryDef(const QString &sql);

    // Runs one statement that returns no rows, binding the values in order.
    void execute(const QString &sql, const QVariantList &values, const QString &attempted);
    // Runs one statement and reads all its rows; with firstColumnIsRowId, the first column
    // becomes the rows' ids. Given fields, only the columns of those names are read.
    RowData select(const QString &sql, const QVariantList &values, const QString &attempted,
                   bool firstColumnIsRowId = false, const QStringList &fields = {});

    // Runs one statement and hands each row to visit as the engine steps to it; a value is read
    // only where visit asks for it: for a reader that keeps few of many rows.
    class Row;
    void forEachRow(const QString &sql, const QString &attempted,
                    const std::function<void(const Row &)> &visit);

    // Every SQL text run for the caller, unchanged, before it runs.
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
        std::unique_ptr<SQLite::Transaction> transaction_;
    };

private:
    std::unique_ptr<SQLite::Statement> prepare(const QString &sql, const QVariantList &values,
                                               const QString &attempted);
    bool step(SQLite::Statement &statement, const QString &sql, const QString &attempted);
    // Prepares and takes the first step; row says whether it is on one.
    std::unique_ptr<SQLite::Statement> start(const QString &sql, const QVariantList &values,
                                             const QString &attempted, bool &row);
    // Refuses a result past the program's limit, counted in bytes.
    void checkResultSize(qint64 bytes, const QString &sql, const QString &attempted) const;
    // Whether another program has changed the file's structure since this connection last
    // looked. Any change to the file is seen at once; only then is the structure's version read.
    bool structureChanged();
    // An SQL text or object name, and the file it was run on.
    QString describe(const QString &object) const;
    Failure engineFailure(int code, const QString &sql, const QString &attempted) const;
    void checkFile(const QString &attempted) const;
    void harden();
    void checkIntegrity();
    static int countWork(void *database);

    QString path_;
    QDateTime born_; // when the file opened was made, where the file system keeps that
    TraceHook trace_;
    int work_ = 0; // engine steps of the running statement, in thousands
    unsigned dataVersion_ = 0;
    qint64 schemaVersion_ = -1;
    std::unique_ptr<SQLite::Database> engine_;
};

// The row forEachRow is on, read by type without a QVariant per value: a reader of every row
// of a large table spends most of its time here.
class Database::Row {
public:
    // The value as a real; a text or a blob reads as the number it starts with, Null as 0.
    double real(int column) const;
    // Whether the value is an integer or a real.
    bool isNumber(int column) const;
    // The value as text, as any other read shows it.
    QString text(int column) const;

private:
    friend class Database;
    Row(const std::vector<SQLite::Column> &columns, const QString &sql, const QString &attempted,
        const Database &db)
        : columns_(columns), sql_(sql), attempted_(attempted), db_(db)
    {
    }
    const std::vector<SQLite::Column> &columns_;
    const QString &sql_;
    const QString &attempted_;
    const Database &db_;
    mutable qint64 bytes_ = 0;
    void count(qint64 bytes) const;
};

QString quoteIdentifier(const QString &name);
