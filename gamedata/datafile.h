#pragma once

#include <QString>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <exception>
#include <filesystem>
#include <memory>

// What the data file's reader, writer and check share.

// A connection to a data file, which may come from another player: its views and triggers
// call only harmless functions, and no statement may run without end or make a value larger
// than the program's own connection allows.
class DataConnection : public SQLite::Database {
public:
    DataConnection(const QString &path, int flags);
    // Counts the work of the next statement from zero.
    void startStatement() { *work_ = 0; }
    // Whether the engine stopped the last statement because it ran too long.
    bool workExceeded() const;

private:
    std::unique_ptr<int> work_ = std::make_unique<int>(0); // stays put when the object moves
};

// Opens a data file. Throws std::runtime_error naming the path and the engine's message.
DataConnection openDataFile(const QString &path, int flags);

// The engine's message for a failed statement of db, or that it ran too long.
QString engineMessage(const DataConnection &db, const std::exception &error);

// A column's text of the current row; a null QString for Null.
QString columnText(const SQLite::Statement &statement, int column);

// The path as std::filesystem takes it, without a detour through a code page.
std::filesystem::path filesystemPath(const QString &path);
// Copies a file over another, which may exist. Sets error when it cannot.
void copyReplacing(const QString &from, const QString &to, std::error_code &error);

// Throws std::runtime_error: "path: could not what: the engine's message".
[[noreturn]] void failOn(const QString &path, const QString &what, const std::exception &error);
[[noreturn]] void failOn(const QString &path, const QString &what, const QString &message);
