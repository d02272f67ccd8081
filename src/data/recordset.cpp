#include "recordset.h"

#include "failure.h"

#include <QStringList>

#include <unordered_set>

Recordset::Recordset(Database *db, Kind kind, QString source, RowData rows)
    : db_(db), kind_(kind), source_(std::move(source)), quotedSource_(quoteIdentifier(source_)),
      rows_(std::move(rows)), deleted_(size_t(rows_.rowCount()), false)
{
}

QString Recordset::describe() const
{
    return source_ + QStringLiteral("\nin ") + db_->path();
}

void Recordset::requireOpen(const QString &attempted) const
{
    if (closed_)
        throw Failure(attempted, describe(), QStringLiteral("The row set is closed."));
}

void Recordset::requireCurrent(const QString &attempted) const
{
    requireOpen(attempted);
    if (eof())
        throw Failure(attempted, describe(),
                      QStringLiteral("There is no current row: the row set ends after %1 rows.")
                          .arg(rows_.rowCount()));
    if (deleted_[size_t(position_)])
        throw Failure(attempted, describe(), QStringLiteral("The current row has been deleted."));
}

void Recordset::requireChangeable(const QString &attempted) const
{
    requireOpen(attempted);
    if (kind_ == Kind::Snapshot)
        throw Failure(attempted, describe(), QStringLiteral("A snapshot is read-only."));
    if (rows_.rowIds.size() != size_t(rows_.rowCount()))
        throw Failure(attempted, describe(),
                      QStringLiteral("This stored query does not list the row id of its table, "
                                     "so its rows cannot be found or changed through it."));
}

int Recordset::column(const QString &name, const QString &attempted) const
{
    // Field names match without regard to letter case.
    const int index = rows_.indexOf(name);
    if (index >= 0)
        return index;
    throw Failure(attempted, name + QStringLiteral(" of ") + describe(),
                  QStringLiteral("There is no field of that name."));
}

int Recordset::recordCount() const
{
    requireOpen(QStringLiteral("count the rows"));
    return rows_.rowCount();
}

bool Recordset::eof() const
{
    return position_ >= rows_.rowCount();
}

void Recordset::moveFirst()
{
    const QString attempted = QStringLiteral("move to the first row");
    requireOpen(attempted);
    if (rows_.rowCount() == 0)
        throw Failure(attempted, describe(), QStringLiteral("The row set has no rows."));
    position_ = 0;
}

void Recordset::moveNext()
{
    const QString attempted = QStringLiteral("move to the next row");
    requireOpen(attempted);
    if (eof())
        throw Failure(attempted, describe(), QStringLiteral("There is no current row."));
    ++position_;
}

bool Recordset::findFirst(const QString &criterion)
{
    const QString attempted = QStringLiteral("find a row");
    requireChangeable(attempted);
    const RowData matches = db_->select(QStringLiteral("SELECT rowid FROM ") + quotedSource_ +
                                            QStringLiteral(" WHERE ") + criterion,
                                        {}, attempted, true);
    const std::unordered_set<qint64> found(matches.rowIds.begin(), matches.rowIds.end());
    for (position_ = 0; position_ < rows_.rowCount(); ++position_) {
        if (!deleted_[size_t(position_)] && found.count(rows_.rowIds[size_t(position_)]))
            return true;
    }
    return false;
}

QVariant Recordset::field(const QString &name) const
{
    const QString attempted = QStringLiteral("read the field");
    const int index = column(name, attempted);
    requireCurrent(attempted);
    return rows_.value(position_, index);
}

void Recordset::deleteRow()
{
    const QString attempted = QStringLiteral("delete a row");
    requireChangeable(attempted);
    requireCurrent(attempted);
    db_->execute(QStringLiteral("DELETE FROM ") + quotedSource_ +
                     QStringLiteral(" WHERE rowid = ?"),
                 {rows_.rowIds[size_t(position_)]}, attempted);
    deleted_[size_t(position_)] = true;
}

void Recordset::addNew()
{
    requireOpen(QStringLiteral("add a row"));
    if (kind_ == Kind::Snapshot)
        throw Failure(QStringLiteral("add a row"), describe(),
                      QStringLiteral("A snapshot is read-only."));
    pending_ = Pending::Add;
    changes_.clear();
}

void Recordset::edit()
{
    const QString attempted = QStringLiteral("edit a row");
    requireChangeable(attempted);
    requireCurrent(attempted);
    pending_ = Pending::Edit;
    changes_.clear();
}

void Recordset::setField(const QString &name, const QVariant &value)
{
    const QString attempted = QStringLiteral("set the field");
    const int index = column(name, attempted);
    if (pending_ == Pending::None)
        throw Failure(attempted, name + QStringLiteral(" of ") + describe(),
                      QStringLiteral("The row is neither being added nor edited."));
    changes_.emplace_back(index, value);
}

void Recordset::update()
{
    const QString attempted = QStringLiteral("store the row");
    requireOpen(attempted);
    if (pending_ == Pending::None)
        throw Failure(attempted, describe(),
                      QStringLiteral("The row is neither being added nor edited."));

    QVariantList values;
    values.reserve(qsizetype(changes_.size()) + 1);
    for (const auto &change : changes_)
        values << change.second;
    if (pending_ == Pending::Add) {
        QStringList names;
        for (const auto &change : changes_)
            names << quoteIdentifier(rows_.columns.at(change.first));
        db_->execute(names.isEmpty()
                         ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedSource_)
                         : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(quotedSource_, names.join(QStringLiteral(", ")),
                                    QStringList(names.size(), QStringLiteral("?"))
                                        .join(QStringLiteral(", "))),
                     values, attempted);
    } else if (!changes_.empty()) {
        requireCurrent(attempted);
        QStringList assignments;
        for (const auto &change : changes_)
            assignments << quoteIdentifier(rows_.columns.at(change.first)) + QStringLiteral(" = ?");
        values << rows_.rowIds[size_t(position_)];
        db_->execute(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                         .arg(quotedSource_, assignments.join(QStringLiteral(", "))),
                     values, attempted);
        for (const auto &[index, value] : changes_)
            rows_.setValue(position_, index, value);
    }
    pending_ = Pending::None;
    changes_.clear();
}

void Recordset::close()
{
    closed_ = true;
    pending_ = Pending::None;
}
