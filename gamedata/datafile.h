#pragma once

#include <QString>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <exception>
#include <filesystem>

// What the data file's reader, writer and check share.

// Opens a data file. Throws std::runtime_error naming the path and the engine's message.
SQLite::Database openDataFile(const QString &path, int flags);

// A column's text of the current row; a null QString for Null.
QString columnText(const SQLite::Statement &statement, int column);

// The path as std::filesystem takes it: in UTF-16 on Windows, where a narrow path would go
// through the code page, and in UTF-8 elsewhere.
std::filesystem::path filesystemPath(const QString &path);

// Throws std::runtime_error: "path: could not what: the engine's message".
[[noreturn]] void failOn(const QString &path, const QString &what, const std::exception &error);
