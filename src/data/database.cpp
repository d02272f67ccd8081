#include "database.h"

#include "failure.h"
#include "querydef.h"
#include "recordset.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// Bounds on what one statement may cost. The shipped data needs a tiny fraction of each; a
// foreign file's view may loop without end or build values of any size, and must end in a
// message instead of hanging the program or exhausting its memory.
constexpr int workLimit =
    40000; // thousands of engine steps; a search of 100,000 runewords takes 6,000
constexpr int valueLimit = 16 * 1024 * 1024;
constexpr qint64 resultLimit = 128 * 1024 * 1024;

// Room for the display's 46 rune look-ups beside the runeword look-ups and the other actions'
// texts, so that browsing the list keeps finding its rune texts prepared.
constexpr size_t keptStatements = 128;

const QString workLimitReason = QStringLiteral(
    "The statement did not end within the work allowed to it; a stored query of the file may "
    "loop without end.");

QString inFile(const QString &object, const QString &path)
{
    return object + QStringLiteral("\nin ") + path;
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

// The files this process has found sound, each as it was then. The save dialog checks again
// the file that the main window checked at start-up; reading the whole file once more would
// take 50 ms at 100,000 runewords and push out of every cache the pages that the save then
// needs. Any change to the file since, by another program or by a write of ours
// that did not start from the checked file, shows in its identity, size or times, and the file
// is checked again. A file with a write-ahead log is always checked: its changes need not
// touch the file itself. Only stat() looks at the file: closing a second descriptor of it
// would drop the engine's locks on it.
struct Fingerprint {
    dev_t device;
    ino_t inode;
    off_t size;
    qint64 modified;
    qint64 changed;
    bool operator==(const Fingerprint &other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified == other.modified && changed == other.changed;
    }
};

std::optional<Fingerprint> fingerprint(const QString &path)
{
    struct stat status {};
    if (QFileInfo::exists(path + QStringLiteral("-wal")) ||
        ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Fingerprint{status.st_dev, status.st_ino, status.st_size,
                       qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
                       qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

// The file's place on its disk, which a file put in its place does not share.
std::optional<std::pair<quint64, quint64>> fileIdentity(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return std::pair{quint64(status.st_dev), quint64(status.st_ino)};
}

std::mutex checkedMutex;
std::map<QString, Fingerprint> checkedFiles;

bool stillChecked(const QString &path)
{
    const std::optional<Fingerprint> now = fingerprint(path);
    const std::lock_guard<std::mutex> lock(checkedMutex);
    const auto found = checkedFiles.find(path);
    return now && found != checkedFiles.end() && found->second == *now;
}

void rememberChecked(const QString &path, const std::optional<Fingerprint> &checked)
{
    const std::lock_guard<std::mutex> lock(checkedMutex);
    if (checked)
        checkedFiles[path] = *checked;
    else
        checkedFiles.erase(path);
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

ColumnList::ColumnList(QStringList names) : names_(std::move(names)), distinct_(true)
{
    for (int i = 0; i < names_.size() && distinct_; ++i) {
        for (int j = i + 1; j < names_.size() && distinct_; ++j)
            distinct_ = names_.at(i).compare(names_.at(j), Qt::CaseInsensitive) != 0;
    }
}

int ColumnList::indexOf(const QString &name) const
{
    // The program asks in the columns' own spelling nearly always, which compares far faster;
    // where two names differ only in case, the first of either spelling must win.
    if (distinct_) {
        const qsizetype exact = names_.indexOf(name);
        if (exact >= 0)
            return int(exact);
    }
    for (int index = 0; index < names_.size(); ++index) {
        if (names_.at(index).compare(name, Qt::CaseInsensitive) == 0)
            return index;
    }
    return -1;
}

QVariant RowData::value(int row, int column) const
{
    const Cell &cell = cells_[size_t(row) * size_t(width()) + size_t(column)];
    switch (cell.type) {
    case Cell::Null:
        return QVariant(QMetaType::fromType<QString>());
    case Cell::Integer:
        return qlonglong(cell.integer);
    case Cell::Real:
        return cell.real;
    case Cell::Text:
        return QString::fromUtf8(bytes_.data() + cell.offset, qsizetype(cell.size));
    case Cell::Blob:
        return QByteArray(bytes_.data() + cell.offset, qsizetype(cell.size));
    case Cell::Written:
        break;
    }
    return written_[size_t(cell.offset)];
}

std::optional<QByteArrayView> RowData::utf8(int row, int column) const
{
    const Cell &cell = cells_[size_t(row) * size_t(width()) + size_t(column)];
    if (cell.type != Cell::Text)
        return std::nullopt;
    return QByteArrayView(bytes_.data() + cell.offset, qsizetype(cell.size));
}

void RowData::setValue(int row, int column, const QVariant &value)
{
    Cell &cell = cells_[size_t(row) * size_t(width()) + size_t(column)];
    cell.type = Cell::Written;
    cell.offset = written_.size();
    written_.push_back(value);
}

void RowData::appendInteger(qint64 value)
{
    Cell cell{Cell::Integer, 0, {0}};
    cell.integer = value;
    cells_.push_back(cell);
}

void RowData::appendReal(double value)
{
    Cell cell{Cell::Real, 0, {0}};
    cell.real = value;
    cells_.push_back(cell);
}

void RowData::appendText(const char *utf8, int bytes)
{
    Cell cell{Cell::Text, quint32(bytes), {0}};
    cell.offset = bytes_.size();
    bytes_.append(utf8, size_t(bytes));
    cells_.push_back(cell);
}

void RowData::appendBlob(const void *data, int bytes)
{
    appendText(static_cast<const char *>(data), bytes);
    cells_.back().type = Cell::Blob;
}

void RowData::dropColumns(const std::function<bool(int)> &keep, ColumnNames kept)
{
    const int oldWidth = width();
    std::vector<Cell> cells;
    cells.reserve(cells_.size());
    for (size_t i = 0; i < cells_.size(); ++i) {
        if (keep(int(i % size_t(oldWidth))))
            cells.push_back(cells_[i]);
    }
    cells_ = std::move(cells);
    columns = std::move(kept);
}

void Database::checkFile(const QString &attempted) const
{
    const QFileInfo info(path_);
    if (!info.exists())
        throw Failure(attempted, path_, QStringLiteral("The file does not exist."));
    if (!info.isFile())
        throw Failure(attempted, path_, QStringLiteral("This is not a file."));
    // SQLite would take an empty file for an empty database.
    if (info.size() == 0)
        throw Failure(attempted, path_, QStringLiteral("The file is empty."));
}

Database::Database(const QString &path) : path_(path)
{
    const QString attempted = QStringLiteral("open the database file");
    checkFile(attempted);
    const QFileInfo info(path);
    identity_ = fileIdentity(path);

    try {
        // Without OPEN_CREATE the engine never makes a missing file in our place. Another
        // program holding the file is waited on for two seconds. A connection is used by one
        // thread only, so the engine need not lock it on every call (every value read).
        engine_ = std::make_unique<SQLite::Database>(
            QFile::encodeName(info.absoluteFilePath()).toStdString(),
            SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX, 2000);
    } catch (const SQLite::Exception &error) {
        throw Failure(attempted, path, QString::fromUtf8(error.what()),
                      QString::number(error.getErrorCode()));
    }
    harden();
    checkIntegrity();
}

Database::~Database()
{
    // The engine does not close a connection that still has prepared statements.
    preparedBySql_.clear();
    prepared_.clear();
}

void Database::harden()
{
    sqlite3 *handle = engine_->getHandle();
    // Views and triggers in a foreign file may call only harmless functions, and the file's
    // own structure cannot be written through SQL.
    if (sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK ||
        sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr) != SQLITE_OK)
        throw Failure(QStringLiteral("secure the database connection"), path_,
                      QString::fromUtf8(engine_->getErrorMsg()));
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, valueLimit);
    sqlite3_progress_handler(handle, 1000, &Database::countWork, this);
}

void Database::recheck()
{
    const QString attempted = QStringLiteral("open the database file");
    checkFile(attempted);
    // Written through this connection, a file put in its place would not get the writes.
    if (!identity_ || fileIdentity(path_) != identity_)
        throw Failure(attempted, path_,
                      QStringLiteral("Another file has been put in its place since the program "
                                     "opened it."));
    checkIntegrity();
}

int Database::countWork(void *database)
{
    return ++static_cast<Database *>(database)->work_ > workLimit ? 1 : 0;
}

void Database::checkIntegrity()
{
    const QString attempted = QStringLiteral("check the database file");
    const QString absolute = QFileInfo(path_).absoluteFilePath();
    if (!stillChecked(absolute)) {
        // Taken first: a change while the check runs makes the file be checked again.
        const std::optional<Fingerprint> before = fingerprint(absolute);
        const RowData rows = select(QStringLiteral("PRAGMA quick_check(1)"), {}, attempted);
        const QString verdict = rows.rowCount() > 0 ? rows.value(0, 0).toString() : QString();
        if (verdict != QLatin1String("ok")) {
            rememberChecked(absolute, std::nullopt);
            throw Failure(attempted, path_, QStringLiteral("The file is damaged: %1").arg(verdict));
        }
        rememberChecked(absolute, before);
    }
    // A file cut short reads as zeros where its end is missing, which the quick check does not
    // always notice; the header says how long it is. Pages still in a write-ahead log are not
    // in the file yet.
    const RowData size = select(QStringLiteral("SELECT page_count * page_size FROM "
                                               "pragma_page_count(), pragma_page_size()"),
                                {}, attempted);
    const qint64 expected = size.rowCount() > 0 ? size.value(0, 0).toLongLong() : 0;
    const qint64 actual = QFileInfo(path_).size();
    if (actual < expected && !QFileInfo::exists(path_ + QStringLiteral("-wal")))
        throw Failure(
            attempted, path_,
            QStringLiteral("The file is damaged: it is %1 bytes long, its header says %2.")
                .arg(actual)
                .arg(expected));
}

Failure Database::engineFailure(int code, const QString &sql, const QString &attempted) const
{
    const QString reason =
        work_ > workLimit ? workLimitReason : QString::fromUtf8(engine_->getErrorMsg());
    return Failure(attempted, inFile(sql, path_), reason, QString::number(code));
}

// Parsing a text costs the engine more than running a small statement on it, and the program
// runs the same texts again and again (a save deletes and adds 46 rows with two texts), so
// prepared statements are kept, the most recently used last.
Database::Prepared &Database::prepare(const QString &sql, const QString &attempted)
{
    if (trace_)
        trace_(sql);
    // A statement kept prepared may be the one still handing over its rows.
    if (reading_)
        throw Failure(attempted, inFile(sql, path_),
                      QStringLiteral("The connection is still reading the rows of another query."));
    work_ = 0;
    const auto kept = preparedBySql_.constFind(sql);
    if (kept != preparedBySql_.constEnd()) {
        prepared_.splice(prepared_.end(), prepared_, *kept);
        return prepared_.back();
    }

    const QByteArray text = sql.toUtf8();
    if (onlyBlanks(text.constData(), text.constData() + text.size()))
        throw Failure(attempted, inFile(sql, path_),
                      QStringLiteral("The text holds no statement."));
    const qsizetype end = firstStatementEnd(text);
    if (!onlyBlanks(text.constData() + end, text.constData() + text.size()))
        throw Failure(attempted, inFile(sql, path_),
                      QStringLiteral("The text holds more than one statement."));
    if (prepared_.size() == keptStatements) {
        preparedBySql_.remove(prepared_.front().sql);
        prepared_.pop_front();
    }
    Prepared &made = prepared_.emplace_back(Prepared{sql, nullptr, nullptr, nullptr, nullptr});
    try {
        makeStatement(made, attempted);
    } catch (...) {
        prepared_.pop_back();
        throw;
    }
    preparedBySql_.insert(sql, std::prev(prepared_.end()));
    return made;
}

void Database::makeStatement(Prepared &prepared, const QString &attempted)
{
    try {
        prepared.statement =
            std::make_unique<SQLite::Statement>(*engine_, prepared.sql.toStdString());
    } catch (const SQLite::Exception &error) {
        throw engineFailure(error.getErrorCode(), prepared.sql, attempted);
    }
    // The wrapper does not hand out its engine statement. It is the newest (the engine lists the
    // newest first) whose text begins ours: the engine keeps the first statement's text alone.
    const std::string &text = prepared.statement->getQuery();
    prepared.handle = nullptr;
    for (sqlite3_stmt *candidate = sqlite3_next_stmt(engine_->getHandle(), nullptr);
         candidate && !prepared.handle;
         candidate = sqlite3_next_stmt(engine_->getHandle(), candidate)) {
        const char *candidateText = sqlite3_sql(candidate);
        if (candidateText && text.compare(0, std::strlen(candidateText), candidateText) == 0)
            prepared.handle = candidate;
    }
    QStringList names;
    for (int i = 0; i < prepared.statement->getColumnCount(); ++i)
        names.append(columnName(prepared.statement->getColumnName(i)));
    prepared.columns = std::make_shared<const ColumnList>(names);
    if (!names.isEmpty())
        names.removeFirst();
    prepared.columnsAfterRowId = std::make_shared<const ColumnList>(std::move(names));
}

// A kept statement that the engine prepared afresh because another program changed the file's
// structure may have other columns than when it was made, and the wrapper keeps the number it
// counted then. Any change to the file is seen at once; only then is the structure's version
// read, and when it changed, no kept statement is trusted any longer.
bool Database::schemaChanged()
{
    unsigned dataVersion = 0;
    sqlite3_file_control(engine_->getHandle(), "main", SQLITE_FCNTL_DATA_VERSION, &dataVersion);
    if (dataVersion == dataVersion_)
        return false;
    dataVersion_ = dataVersion;
    const qint64 schemaVersion = engine_->execAndGet("PRAGMA schema_version").getInt64();
    if (schemaVersion == schemaVersion_)
        return false;
    const bool first = schemaVersion_ < 0;
    schemaVersion_ = schemaVersion;
    return !first;
}

void Database::bind(SQLite::Statement &statement, const QVariantList &values)
{
    int index = 0;
    for (const QVariant &value : values)
        bindValue(statement, ++index, value);
}

// One step; a failure says why in the engine's words, or that the work limit ended it.
int Database::run(SQLite::Statement &statement, const QString &sql, const QString &attempted)
{
    const int result = statement.tryExecuteStep();
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        throw engineFailure(result, sql, attempted);
    return result;
}

void Database::execute(const QString &sql, const QVariantList &values, const QString &attempted)
{
    Prepared &prepared = prepare(sql, attempted);
    // A reset statement holds no lock on the file, and keeps no values for its next use.
    const auto reset = qScopeGuard([&prepared] {
        prepared.statement->tryReset();
        prepared.statement->clearBindings();
    });
    try {
        bind(*prepared.statement, values);
    } catch (const SQLite::Exception &error) {
        throw engineFailure(error.getErrorCode(), sql, attempted);
    }
    run(*prepared.statement, sql, attempted);
}

// Binds the values and takes the first step. When the file's structure has changed, every
// other kept statement is let go and this one is made again and run again.
int Database::start(Prepared &prepared, const QVariantList &values, const QString &sql,
                    const QString &attempted)
{
    int result = 0;
    try {
        bind(*prepared.statement, values);
        result = run(*prepared.statement, sql, attempted);
        if (schemaChanged()) {
            prepared.statement->tryReset();
            for (auto kept = prepared_.begin(); kept != prepared_.end();) {
                if (&*kept == &prepared) {
                    ++kept;
                    continue;
                }
                preparedBySql_.remove(kept->sql);
                kept = prepared_.erase(kept);
            }
            try {
                makeStatement(prepared, attempted);
            } catch (const Failure &) {
                // The old statement stays until it is pushed out, but is never found again.
                preparedBySql_.remove(sql);
                throw;
            }
            work_ = 0;
            bind(*prepared.statement, values);
            result = run(*prepared.statement, sql, attempted);
        }
    } catch (const SQLite::Exception &error) {
        throw engineFailure(error.getErrorCode(), sql, attempted);
    }
    return result;
}

namespace {

// One value of the statement's current row, as the engine holds it.
void appendValue(RowData &rows, sqlite3_stmt *handle, int column)
{
    switch (sqlite3_column_type(handle, column)) {
    case SQLITE_NULL:
        rows.appendNull();
        break;
    case SQLITE_INTEGER:
        rows.appendInteger(sqlite3_column_int64(handle, column));
        break;
    case SQLITE_FLOAT:
        rows.appendReal(sqlite3_column_double(handle, column));
        break;
    case SQLITE_BLOB: {
        const void *blob = sqlite3_column_blob(handle, column);
        rows.appendBlob(blob, sqlite3_column_bytes(handle, column));
        break;
    }
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(handle, column));
        rows.appendText(text, sqlite3_column_bytes(handle, column));
        break;
    }
    }
}

} // namespace

// Values go straight from the engine's statement into the row data; a QVariant is made only for
// a value that is read from a row set.
RowData Database::select(const QString &sql, const QVariantList &values, const QString &attempted,
                         bool firstColumnIsRowId)
{
    Prepared &prepared = prepare(sql, attempted);
    const auto reset = qScopeGuard([&prepared] {
        prepared.statement->tryReset();
        prepared.statement->clearBindings();
    });
    int result = start(prepared, values, sql, attempted);

    if (!prepared.handle)
        throw Failure(attempted, inFile(sql, path_),
                      QStringLiteral("The engine's statement for the query was not found."));
    // Read straight from the engine's statement: the wrapper's column objects cost more than
    // the values they hand over.
    sqlite3_stmt *handle = prepared.handle;
    SQLite::Statement &statement = *prepared.statement;
    RowData rows;
    const int first = firstColumnIsRowId ? 1 : 0;
    rows.columns = firstColumnIsRowId ? prepared.columnsAfterRowId : prepared.columns;
    const int width = rows.width();
    rows.reserve(width);
    for (; result == SQLITE_ROW; result = run(statement, sql, attempted)) {
        if (firstColumnIsRowId)
            rows.rowIds.push_back(sqlite3_column_int64(handle, 0));
        for (int i = first; i < first + width; ++i) {
            appendValue(rows, handle, i);
            // Checked by value: a single row of many large values must not exhaust memory.
            if (rows.size() > resultLimit)
                throw Failure(
                    attempted, inFile(sql, path_),
                    QStringLiteral("The result is larger than the program allows (%1 MB).")
                        .arg(resultLimit / (1024 * 1024)));
        }
    }
    return rows;
}

// Straight from the engine: through the wrapper, each value would cost a counted reference
// to the statement, more than the engine's work of reading it. The engine's own value is read
// at once; the connection serves one thread only, so no other call can change it meanwhile.
RowReader::Value RowReader::value(int field) const
{
    sqlite3_value *value = sqlite3_column_value(statement_, columns_[size_t(field)]);
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return {Type::Integer, sqlite3_value_int64(value), 0};
    case SQLITE_FLOAT:
        return {Type::Real, 0, sqlite3_value_double(value)};
    case SQLITE_NULL:
        return {Type::Null, 0, 0};
    case SQLITE_BLOB:
        return {Type::Blob, 0, 0};
    default:
        return {Type::Text, 0, 0};
    }
}

QString RowReader::text(int field) const
{
    return QString::fromUtf8(utf8(field));
}

QByteArrayView RowReader::utf8(int field) const
{
    const int column = columns_[size_t(field)];
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    textBytes_ += size;
    return {bytes, size};
}

// As select(), but each row's values go to the caller as the engine holds them. The same
// limits hold: what is handed over counts as it would in a row set.
void Database::readRows(const QString &sql, const QStringList &fields, const QString &attempted,
                        const std::function<void(const RowReader &row)> &each)
{
    Prepared &prepared = prepare(sql, attempted);
    const auto reset = qScopeGuard([this, &prepared] {
        reading_ = false;
        prepared.statement->tryReset();
        prepared.statement->clearBindings();
    });
    int result = start(prepared, {}, sql, attempted);
    std::vector<int> columns;
    for (const QString &field : fields) {
        const int found = prepared.columns->indexOf(field);
        if (found < 0)
            throw Failure(attempted, field + QStringLiteral(" of ") + inFile(sql, path_),
                          QStringLiteral("There is no field of that name."));
        columns.push_back(int(found));
    }
    if (!prepared.handle)
        throw Failure(attempted, inFile(sql, path_),
                      QStringLiteral("The engine's statement for the query was not found."));
    SQLite::Statement &statement = *prepared.statement;
    const RowReader row(prepared.handle, columns);
    const qint64 rowSize = qint64(columns.size() * sizeof(qint64) * 2);
    qint64 rows = 0;
    reading_ = true;
    for (; result == SQLITE_ROW; result = run(statement, sql, attempted)) {
        each(row);
        if (++rows * rowSize + row.textBytes_ > resultLimit)
            throw Failure(attempted, inFile(sql, path_),
                          QStringLiteral("The result is larger than the program allows (%1 MB).")
                              .arg(resultLimit / (1024 * 1024)));
    }
}

std::unique_ptr<Recordset> Database::openRecordset(const QString &name)
{
    const QString attempted = QStringLiteral("open the table or stored query");
    const RowData found =
        select(QStringLiteral("SELECT type, name FROM sqlite_schema WHERE "
                              "type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
               {name}, attempted);
    if (found.rowCount() == 0)
        throw Failure(attempted, inFile(name, path_),
                      QStringLiteral("The file has no table or stored query of that name."));
    const bool isTable = found.value(0, 0).toString() == QLatin1String("table");
    const QString source = found.value(0, 1).toString();

    RowData rows;
    if (isTable) {
        rows = select(QStringLiteral("SELECT rowid, * FROM ") + quoteIdentifier(source), {},
                      attempted, true);
    } else {
        rows = select(QStringLiteral("SELECT * FROM ") + quoteIdentifier(source), {}, attempted);
        // A stored query that lists its base table's row id can be changed through.
        const int rowIdColumn = rows.columns->indexOf(QStringLiteral("rowid"));
        if (rowIdColumn >= 0) {
            for (int row = 0; row < rows.rowCount(); ++row)
                rows.rowIds.push_back(rows.value(row, rowIdColumn).toLongLong());
            QStringList visible = rows.columns->names();
            visible.removeAt(rowIdColumn);
            rows.dropColumns([rowIdColumn](int column) { return column != rowIdColumn; },
                             std::make_shared<const ColumnList>(std::move(visible)));
        }
    }
    return std::unique_ptr<Recordset>(
        new Recordset(this, isTable ? Recordset::Kind::Table : Recordset::Kind::StoredQuery, source,
                      std::move(rows)));
}

std::unique_ptr<QueryDef> Database::createQueryDef(const QString &sql)
{
    return std::unique_ptr<QueryDef>(new QueryDef(this, sql));
}

Database::Transaction::Transaction(Database &db) : db_(db)
{
    const QString begin = QStringLiteral("BEGIN IMMEDIATE");
    if (db_.trace_)
        db_.trace_(begin);
    db_.work_ = 0;
    try {
        transaction_ = std::make_unique<SQLite::Transaction>(
            *db_.engine_, SQLite::TransactionBehavior::IMMEDIATE);
    } catch (const SQLite::Exception &error) {
        throw db_.engineFailure(error.getErrorCode(), begin, QStringLiteral("start writing"));
    }
}

// SQLite has already rolled back when a statement failed so badly that ROLLBACK finds no
// transaction; the wrapper's guard ignores that, and the writes are undone either way.
Database::Transaction::~Transaction()
{
    if (transaction_ && db_.trace_)
        db_.trace_(QStringLiteral("ROLLBACK"));
    db_.work_ = 0;
}

void Database::Transaction::commit()
{
    const QString sql = QStringLiteral("COMMIT");
    if (!transaction_)
        throw Failure(QStringLiteral("store the writes"), inFile(sql, db_.path_),
                      QStringLiteral("The transaction has already been committed."));
    if (db_.trace_)
        db_.trace_(sql);
    db_.work_ = 0;
    // The write lock held since the start keeps other programs out: when the file is still the
    // one found sound, it is sound after these writes too.
    const QString absolute = QFileInfo(db_.path_).absoluteFilePath();
    const bool checked = stillChecked(absolute);
    try {
        transaction_->commit();
    } catch (const SQLite::Exception &error) {
        throw db_.engineFailure(error.getErrorCode(), sql, QStringLiteral("store the writes"));
    }
    transaction_.reset();
    rememberChecked(absolute, checked ? fingerprint(absolute) : std::nullopt);
}
