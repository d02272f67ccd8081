#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3_stmt;

namespace SQLite {
class Database;
class Statement;
class Transaction;
} // namespace SQLite

class Failure;
class Recordset;
class QueryDef;

// The names of a result's columns, shared by every row set read through the same statement.
class ColumnList {
public:
    explicit ColumnList(QStringList names);
    const QStringList &names() const { return names_; }
    int size() const { return int(names_.size()); }
    // The first column of that name without regard to letter case; -1 when there is none.
    int indexOf(const QString &name) const;

private:
    QStringList names_;
    bool distinct_; // no two names are the same without regard to case
};
using ColumnNames = std::shared_ptr<const ColumnList>;

// Rows read in full from one statement; the statement is finished before this is returned,
// so that no open read keeps the file locked against the other connection's writes. Values
// are held as the engine gave them (texts as UTF-8 in one buffer) and become a QVariant only
// when read: a search reads one column of rows that have twenty.
class RowData {
public:
    ColumnNames columns;
    std::vector<qint64> rowIds; // empty unless the source exposes row ids

    int width() const { return columns ? int(columns->size()) : 0; }
    int rowCount() const { return width() == 0 ? 0 : int(cells_.size()) / width(); }
    // Null is a null QVariant, distinct from 0 and from the empty text.
    QVariant value(int row, int column) const;
    // A text as the engine gave it, in UTF-8; nothing for any other value.
    std::optional<QByteArrayView> utf8(int row, int column) const;
    // A value written through the row set, so that reading it back gives what was written.
    void setValue(int row, int column, const QVariant &value);

    void reserve(int cells) { cells_.reserve(size_t(cells)); }
    void appendNull() { cells_.push_back({Cell::Null, 0, {0}}); }
    void appendInteger(qint64 value);
    void appendReal(double value);
    void appendText(const char *utf8, int bytes);
    void appendBlob(const void *data, int bytes);
    // What the rows take in memory, about.
    qint64 size() const { return qint64(cells_.size() * sizeof(Cell)) + qint64(bytes_.size()); }
    // Keeps only the columns for which keep(column) holds.
    void dropColumns(const std::function<bool(int)> &keep, ColumnNames kept);

private:
    struct Cell {
        enum Type : quint8 { Null, Integer, Real, Text, Blob, Written } type;
        quint32 size; // of a text or blob, in bytes
        union {
            qint64 integer;
            double real;
            quint64 offset; // into bytes_ for a text or blob, into written_ for a written value
        };
    };
    std::vector<Cell> cells_; // row-major, width() per row
    std::string bytes_;
    std::vector<QVariant> written_;
};

// The current row of a statement being read, for a loop over many rows that wants a few
// values of each without a QVariant for every one. Column i is the caller's i-th named field.
// Valid only inside the call that hands it over.
class RowReader {
public:
    enum class Type { Null, Integer, Real, Text, Blob };

    // A number as stored: integer for Integer, real for Real; else both are 0.
    struct Value {
        Type type;
        qint64 integer;
        double real;
    };
    // One call into the engine for all three.
    Value value(int field) const;
    Type type(int field) const { return value(field).type; }
    qint64 integer(int field) const { return value(field).integer; }
    double real(int field) const { return value(field).real; }
    QString text(int field) const;
    // A text's UTF-8 bytes as the engine holds them, valid until the next row.
    QByteArrayView utf8(int field) const;

private:
    friend class Database;
    RowReader(sqlite3_stmt *statement, const std::vector<int> &columns)
        : statement_(statement), columns_(columns)
    {
    }

    sqlite3_stmt *statement_;
    const std::vector<int> &columns_;
    mutable qint64 textBytes_ = 0;
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
    // Checks the file again before a write that comes a while after opening: it must still be
    // there and be the file opened, and a file changed since it was found sound is checked in
    // full again, as opening it would.
    void recheck();

    // A table opens as an updatable row set; a stored query (a view) too when it exposes its
    // base table's row id as a column named rowid.
    std::unique_ptr<Recordset> openRecordset(const QString &name);
    std::unique_ptr<QueryDef> createQueryDef(const QString &sql);

    // Runs one statement that returns no rows, binding the values in order.
    void execute(const QString &sql, const QVariantList &values, const QString &attempted);
    RowData select(const QString &sql, const QVariantList &values, const QString &attempted,
                   bool firstColumnIsRowId = false);
    // Steps through every row at once, handing the named fields (found without regard to
    // letter case) to each; the statement is finished before this returns. each must not use
    // this connection.
    void readRows(const QString &sql, const QStringList &fields, const QString &attempted,
                  const std::function<void(const RowReader &row)> &each);

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
    struct Prepared {
        QString sql;
        std::unique_ptr<SQLite::Statement> statement;
        sqlite3_stmt *handle = nullptr; // the engine's own, read straight by a RowReader
        ColumnNames columns;
        ColumnNames columnsAfterRowId; // without the first, for a table's rows with their ids
    };
    using PreparedList = std::list<Prepared>;

    Prepared &prepare(const QString &sql, const QString &attempted);
    void makeStatement(Prepared &prepared, const QString &attempted);
    int start(Prepared &prepared, const QVariantList &values, const QString &sql,
              const QString &attempted);
    bool schemaChanged();
    void bind(SQLite::Statement &statement, const QVariantList &values);
    int run(SQLite::Statement &statement, const QString &sql, const QString &attempted);
    Failure engineFailure(int code, const QString &sql, const QString &attempted) const;
    void checkFile(const QString &attempted) const;
    void harden();
    void checkIntegrity();
    static int countWork(void *database);

    QString path_;
    std::optional<std::pair<quint64, quint64>> identity_; // device and inode of the file opened
    TraceHook trace_;
    int work_ = 0;         // engine steps of the running statement, in thousands
    bool reading_ = false; // rows are being handed to a caller
    std::unique_ptr<SQLite::Database> engine_;
    // The statements kept prepared, the most recently used last, and found by their text.
    PreparedList prepared_;
    QHash<QString, PreparedList::iterator> preparedBySql_;
    // What the file looked like when the kept statements were last known to match it.
    unsigned dataVersion_ = 0;
    qint64 schemaVersion_ = -1;
};

QString quoteIdentifier(const QString &name);
