#pragma once

#include "database.h"

#include <QString>
#include <QVariant>

#include <utility>
#include <vector>

// A set of rows read in full when it opens, with a current position. Tables and updatable
// stored queries write through to the file at once; snapshots are read-only.
class Recordset {
public:
    enum class Kind { Table, StoredQuery, Snapshot };

    int recordCount() const;
    bool eof() const;
    void moveFirst();
    void moveNext();
    // Positions on the first row, in the set's order, that meets an SQL condition; when none
    // does, no row is current (eof() is true) and the result is false.
    bool findFirst(const QString &criterion);
    // Null stays a null QVariant, distinct from 0 and from the empty text.
    QVariant field(const QString &name) const;

    void deleteRow();
    void addNew();
    void edit();
    void setField(const QString &name, const QVariant &value);
    void update();

    void close();

private:
    friend class Database;
    friend class QueryDef;
    Recordset(Database *db, Kind kind, QString source, RowData rows);

    enum class Pending { None, Add, Edit };

    void requireOpen(const QString &attempted) const;
    void requireCurrent(const QString &attempted) const;
    void requireChangeable(const QString &attempted) const;
    int column(const QString &name, const QString &attempted) const;
    QString describe() const;

    Database *db_;
    Kind kind_;
    QString source_;
    QString quotedSource_; // as SQL names it
    RowData rows_;
    std::vector<bool> deleted_;
    int position_ = 0;
    bool closed_ = false;
    Pending pending_ = Pending::None;
    std::vector<std::pair<int, QVariant>> changes_;
};
