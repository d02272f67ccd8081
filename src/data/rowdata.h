#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

// Rows read in full from one statement, which is finished before they are handed out, so that
// no open read keeps the file locked. Null is a null QVariant, distinct from 0 and from the
// empty text.
struct RowData {
    QStringList columns;
    std::vector<qint64> rowIds; // empty unless the source exposes row ids
    QVariantList values;        // row by row

    int width() const { return int(columns.size()); }
    int rowCount() const { return width() == 0 ? 0 : int(values.size() / width()); }
    const QVariant &value(int row, int column) const
    {
        return values[qsizetype(row) * width() + column];
    }
    void setValue(int row, int column, const QVariant &value)
    {
        values[qsizetype(row) * width() + column] = value;
    }
    // The first column of that name without regard to letter case; -1 when there is none.
    int indexOf(const QString &name) const
    {
        for (int i = 0; i < width(); ++i) {
            if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
};
