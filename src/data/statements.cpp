#include "database.h"
#include "failure.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <algorithm>
#include <sqlite3.h>
#include <utility>
#include <vector>

namespace {

// Bounds the rows one statement may hand over: a foreign file's view may build any number.
constexpr qint64 resultLimit = 128 * 1024 * 1024;

// Whether the text from p to end holds nothing but blanks, comments and semicolons. Strings
// need no care: a text that starts with one is not blank.
bool onlyBlanks(const char *p, const char *end)
{
    while (p < end) {
        if (*p == ';' || *p == ' ' || (*p >= '\t' && *p <= '\r')) {
            ++p;
        } else if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
            p = std::find(p, end, '\n');
        } else if (end - p >= 2 && p[0] == '/' && p[1] == '*') {
            static const char close[] = "*/";
            const char *found = std::search(p + 2, end, close, close + 2);
            p = found == end ? end : found + 2;
        } else {
            return false;
        }
    }
    return true;
}

// Where the first statement of the text ends: after the semicolon that completes it, or at the
// end of the text. The engine's own tokenizer decides which semicolon that is.
qsizetype firstStatementEnd(const QByteArray &text)
{
    for (qsizetype semicolon = text.indexOf(';'); semicolon >= 0;
         semicolon = text.indexOf(';', semicolon + 1)) {
        const QByteArray head = text.left(semicolon + 1);
        if (sqlite3_complete(head.constData()) &&
            !onlyBlanks(head.constData(), head.constData() + head.size()))
            return semicolon + 1;
    }
    return text.size();
}

// Integers as integers and everything else by its text, so that a value means the same whether
// read or written.
void bindValue(SQLite::Statement &statement, int index, const QVariant &value)
{
    if (value.isNull())
        return statement.bind(index);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
        return statement.bind(index, int32_t(value.toInt()));
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return statement.bind(index, int64_t(value.toLongLong()));
    case QMetaType::Double:
        return statement.bind(index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return statement.bind(index, bytes.constData(), int(bytes.size()));
    }
    default:
        return statement.bind(index, value.toString().toStdString());
    }
}

// As the engine names a result's columns, without quotes and without a table name before a dot.
QString columnName(const char *name)
{
    QString text = QString::fromUtf8(name);
    text.remove(QLatin1Char('"'));
    return text.mid(text.lastIndexOf(QLatin1Char('.')) + 1);
}

// A value of the current row; counts the bytes it holds beyond the QVariant itself.
QVariant readValue(const SQLite::Column &column, qint64 &bytes)
{
    switch (column.getType()) {
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_INTEGER:
        return qlonglong(column.getInt64());
    case SQLITE_FLOAT:
        return column.getDouble();
    case SQLITE_BLOB: {
        // The engine counts the bytes after making the value.
        const auto *blob = static_cast<const char *>(column.getBlob());
        const int size = column.getBytes();
        bytes += size;
        return QByteArray(blob, size);
    }
    default: {
        const char *text = column.getText();
        const int size = column.getBytes();
        bytes += size;
        return QString::fromUtf8(text, size);
    }
    }
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A text of no statement or of more than one is refused: the engine would run nothing, or the
// first alone. The statement is finished when the caller lets it go, so that it holds no lock on
// the file.
std::unique_ptr<SQLite::Statement> Database::prepare(const QString &sql, const QVariantList &values,
                                                     const QString &attempted)
{
    if (trace_)
        trace_(sql);
    work_ = 0;
    const QByteArray text = sql.toUtf8();
    if (onlyBlanks(text.constData(), text.constData() + text.size()))
        throw Failure(attempted, describe(sql), QStringLiteral("The text holds no statement."));
    const qsizetype end = firstStatementEnd(text);
    if (!onlyBlanks(text.constData() + end, text.constData() + text.size()))
        throw Failure(attempted, describe(sql),
                      QStringLiteral("The text holds more than one statement."));
    try {
        auto statement = std::make_unique<SQLite::Statement>(*engine_, text.constData());
        int index = 0;
        for (const QVariant &value : values)
            bindValue(*statement, ++index, value);
        return statement;
    } catch (const SQLite::Exception &error) {
        throw engineFailure(error.getErrorCode(), sql, attempted);
    }
}

// One step; a failure says why in the engine's words, or that the work limit ended it.
bool Database::step(SQLite::Statement &statement, const QString &sql, const QString &attempted)
{
    const int result = statement.tryExecuteStep();
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        throw engineFailure(result, sql, attempted);
    return result == SQLITE_ROW;
}

bool Database::structureChanged()
{
    unsigned dataVersion = 0;
    sqlite3_file_control(engine_->getHandle(), "main", SQLITE_FCNTL_DATA_VERSION, &dataVersion);
    if (dataVersion == dataVersion_)
        return false;
    dataVersion_ = dataVersion;
    const qint64 schemaVersion = engine_->execAndGet("PRAGMA schema_version").getInt64();
    const bool first = schemaVersion_ < 0;
    return std::exchange(schemaVersion_, schemaVersion) != schemaVersion && !first;
}

// Prepares the statement and takes its first step. The engine reads the file's structure
// afresh when a statement runs, and may find that another program has changed it; the wrapper
// counted the statement's columns when it was made, so it is made again.
std::unique_ptr<SQLite::Statement> Database::start(const QString &sql, const QVariantList &values,
                                                   const QString &attempted, bool &row)
{
    std::unique_ptr<SQLite::Statement> statement = prepare(sql, values, attempted);
    row = step(*statement, sql, attempted);
    if (structureChanged()) {
        statement = prepare(sql, values, attempted);
        row = step(*statement, sql, attempted);
    }
    return statement;
}

void Database::checkResultSize(qint64 bytes, const QString &sql, const QString &attempted) const
{
    if (bytes > resultLimit)
        throw Failure(attempted, describe(sql),
                      QStringLiteral("The result is larger than the program allows (%1 MB).")
                          .arg(resultLimit / (1024 * 1024)));
}

void Database::execute(const QString &sql, const QVariantList &values, const QString &attempted)
{
    step(*prepare(sql, values, attempted), sql, attempted);
}

RowData Database::select(const QString &sql, const QVariantList &values, const QString &attempted,
                         bool firstColumnIsRowId, const QStringList &fields)
{
    bool row = false;
    const std::unique_ptr<SQLite::Statement> started = start(sql, values, attempted, row);
    SQLite::Statement &statement = *started;
    RowData rows;
    std::vector<int> read; // the statement's columns that become the rows' fields
    for (int i = firstColumnIsRowId ? 1 : 0; i < statement.getColumnCount(); ++i) {
        const QString name = columnName(statement.getColumnName(i));
        if (fields.isEmpty() || fields.contains(name, Qt::CaseInsensitive)) {
            rows.columns.append(name);
            read.push_back(i);
        }
    }
    qint64 bytes = 0;
    for (; row; row = step(statement, sql, attempted)) {
        if (firstColumnIsRowId)
            rows.rowIds.push_back(statement.getColumn(0).getInt64());
        for (const int i : read) {
            rows.values.append(readValue(statement.getColumn(i), bytes));
            bytes += qint64(sizeof(QVariant));
            // Checked by value: a single row of many large values must not exhaust memory.
            checkResultSize(bytes, sql, attempted);
        }
    }
    return rows;
}

void Database::forEachRow(const QString &sql, const QString &attempted,
                          const std::function<void(const Row &)> &visit)
{
    bool row = false;
    const std::unique_ptr<SQLite::Statement> running = start(sql, {}, attempted, row);
    if (!row)
        return;
    // A column reads its cell of the current row: made once, not once a value.
    std::vector<SQLite::Column> columns;
    for (int i = 0; i < running->getColumnCount(); ++i)
        columns.push_back(running->getColumn(i));
    const Row current(columns, sql, attempted, *this);
    for (; row; row = step(*running, sql, attempted))
        visit(current);
}

double Database::Row::real(int column) const
{
    return columns_.at(size_t(column)).getDouble();
}

bool Database::Row::isNumber(int column) const
{
    const int type = columns_.at(size_t(column)).getType();
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
}

QString Database::Row::text(int column) const
{
    const SQLite::Column &value = columns_.at(size_t(column));
    qint64 bytes = 0;
    QString text;
    // Most values are texts, read without a QVariant on the way.
    if (value.getType() == SQLITE_TEXT) {
        const char *utf8 = value.getText();
        bytes = value.getBytes();
        text = QString::fromUtf8(utf8, bytes);
    } else {
        text = readValue(value, bytes).toString();
    }
    count(bytes);
    return text;
}

// Counted over the whole statement, as select() counts its rows.
void Database::Row::count(qint64 bytes) const
{
    bytes_ += bytes;
    db_.checkResultSize(bytes_, sql_, attempted_);
}
