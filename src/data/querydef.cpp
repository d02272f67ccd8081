#include "querydef.h"

#include "database.h"
#include "failure.h"
#include "recordset.h"

QueryDef::QueryDef(Database *db, QString sql) : db_(db), sql_(std::move(sql)) {}

std::unique_ptr<Recordset> QueryDef::openRecordset(const QStringList &fields)
{
    const QString attempted = QStringLiteral("run the query");
    if (closed_)
        throw Failure(attempted, sql_, QStringLiteral("The query definition is closed."));
    RowData rows = db_->select(sql_, {}, attempted, false, fields);
    return std::unique_ptr<Recordset>(
        new Recordset(db_, Recordset::Kind::Snapshot, sql_, std::move(rows)));
}

void QueryDef::close()
{
    closed_ = true;
}
