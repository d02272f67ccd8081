#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class Database;
class Recordset;

// An unnamed query definition: an SQL text held in memory only, never stored in the file.
class QueryDef {
public:
    const QString &sql() const { return sql_; }
    // A read-only snapshot: its rows are fixed when it opens. Given fields, it holds only those:
    // a list that shows the names need not read every column of every row.
    std::unique_ptr<Recordset> openRecordset(const QStringList &fields = {});
    void close();

private:
    friend class Database;
    QueryDef(Database *db, QString sql);

    Database *db_;
    QString sql_;
    bool closed_ = false;
};
