#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Database;
class Recordset;
class RowReader;

// An unnamed query definition: an SQL text held in memory only, never stored in the file.
class QueryDef {
public:
    const QString &sql() const { return sql_; }
    // A read-only snapshot: its rows are fixed when it opens.
    std::unique_ptr<Recordset> openRecordset();
    // The named fields of every row, in one pass without a row set. Throws Failure.
    void readRows(const QStringList &fields, const std::function<void(const RowReader &row)> &each);
    void close();

private:
    friend class Database;
    QueryDef(Database *db, QString sql);

    Database *db_;
    QString sql_;
    bool closed_ = false;
};
