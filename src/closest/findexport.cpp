#include "findwindow.h"
#include "mainwindow/fatal.h"
#include "savefile.h"

#include <QDir>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableView>

#include <algorithm>

// The Find runewords window's rows as text for the clipboard, and as a CSV file.

namespace {

// A cell of copied text stays on its line and in its column.
QString tabSeparated(QString cell)
{
    for (QChar &c : cell) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return cell;
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
QString csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\r')) && !field.contains(QLatin1Char('\n')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

QString FindWindow::selectedRowsAsText() const
{
    QModelIndexList rows = foundView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList lines, cells;
    for (int column = 0; column < FoundTable::ColumnCount; ++column)
        cells << foundTable->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    lines << cells.join(u'\t');
    for (const QModelIndex &index : rows) {
        cells.clear();
        for (int column = 0; column < FoundTable::ColumnCount; ++column)
            cells << tabSeparated(foundTable->cell(index.row(), column));
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

bool FindWindow::exportTo(const QString &path)
{
    QStringList lines, cells;
    for (int column = 0; column < FoundTable::ColumnCount; ++column)
        cells << foundTable->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    lines << (cells << QStringLiteral("Text")).join(u',');
    for (int row = 0; row < foundTable->rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < FoundTable::ColumnCount; ++column)
            cells << csvField(foundTable->cell(row, column));
        cells << csvField(foundTable->runeword(row).text);
        lines << cells.join(u',');
    }
    // The byte-order mark tells spreadsheet programs on Windows that the text is UTF-8.
    const QByteArray bytes =
        "\xEF\xBB\xBF" + (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commitFlushed(file))
        return true;
    showNotice(this, QStringLiteral("The runewords could not be exported to %1:\n%2")
                         .arg(QDir::toNativeSeparators(path), file.errorString()));
    return false;
}

void FindWindow::exportClicked()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export runewords"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("runewords.csv")),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        exportTo(path);
}
