#pragma once

#include <QString>

#include <memory>

class Database;
class Recordset;

// An unnamed query definition: an SQL text held in memory only, never stored in the file.
class QueryDef {
public:
    const QString &sql() const { return sql_; }
    // A read-only snapshot: its rows are fixed when it opens.
    std::unique_ptr<Recordset> openRecordset();
    void close();

private:
    friend class Database;
    QueryDef(Database *db, QString sql);

    Database *db_;
    QString sql_;
    bool closed_ = false;
};
