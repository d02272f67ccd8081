#pragma once

#include <QFile>
#include <QString>

#include <sqlite3.h>
#include <stdexcept>

// A thin guard over the SQLite C API for the data tools, which run outside the program and
// its data layer.
class SqliteFile {
public:
    SqliteFile(const QString &path, int flags) : path_(path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr) != SQLITE_OK)
            fail(QStringLiteral("open"));
        // A file from elsewhere runs no code of its own while we read it.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    }
    ~SqliteFile() { sqlite3_close(db_); }
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    [[noreturn]] void fail(const QString &what) const
    {
        throw std::runtime_error(QStringLiteral("%1: could not %2: %3")
                                     .arg(path_, what, QString::fromUtf8(sqlite3_errmsg(db_)))
                                     .toStdString());
    }
    void exec(const QString &sql)
    {
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(QStringLiteral("run \"%1\"").arg(sql.left(60)));
    }
    sqlite3_stmt *prepare(const char *sql)
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail(QStringLiteral("prepare \"%1\"").arg(QString::fromUtf8(sql)));
        return statement;
    }
    void step(sqlite3_stmt *statement)
    {
        if (sqlite3_step(statement) != SQLITE_DONE) {
            sqlite3_finalize(statement);
            fail(QStringLiteral("write a row"));
        }
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }

    sqlite3 *db_ = nullptr;

private:
    QString path_;
};

// One statement over a file, finalized when it goes out of scope.
class Statement {
public:
    Statement(SqliteFile &file, const QString &sql) : file_(file)
    {
        if (sqlite3_prepare_v2(file.db_, sql.toUtf8().constData(), -1, &statement_, nullptr) !=
            SQLITE_OK)
            error_ = QString::fromUtf8(sqlite3_errmsg(file.db_));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Empty when the statement compiled.
    const QString &error() const { return error_; }
    bool next()
    {
        if (!statement_)
            return false;
        const int result = sqlite3_step(statement_);
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            error_ = QString::fromUtf8(sqlite3_errmsg(file_.db_));
        return result == SQLITE_ROW;
    }
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    int type(int column) const { return sqlite3_column_type(statement_, column); }
    qint64 integer(int column) const { return sqlite3_column_int64(statement_, column); }
    QString text(int column) const
    {
        if (isNull(column))
            return QString();
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement_, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
    }
    int columns() const { return sqlite3_column_count(statement_); }
    QString columnName(int column) const
    {
        return QString::fromUtf8(sqlite3_column_name(statement_, column));
    }

private:
    SqliteFile &file_;
    sqlite3_stmt *statement_ = nullptr;
    QString error_;
};
