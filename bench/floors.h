#pragma once

#include <QByteArray>
#include <QString>

#include <SQLiteCpp/Database.h>
#include <benchmark/benchmark.h>
#include <initializer_list>
#include <sqlite3.h>
#include <vector>

struct Dataset;

// A connection opened through SQLiteCpp, as the program's is, whose floor statements run
// straight through SQLite's C API. Like the program's, it takes no lock of its own on each call.
class Engine {
public:
    explicit Engine(const QString &path);

    // Prepares the text, steps over every row and reads its name column (the first column
    // named like one, else the first); returns the number of rows.
    int read(const QByteArray &sql);
    // What EXPLAIN QUERY PLAN says of the text, one step a line. Not a floor: through the
    // wrapper.
    QByteArray plan(const QByteArray &sql);
    void write(const QByteArray &sql, std::initializer_list<QByteArray> values = {});
    sqlite3_stmt *prepare(const QByteArray &sql);
    void finish(sqlite3_stmt *statement, int result, const QByteArray &sql);

private:
    SQLite::Database connection_;
    sqlite3 *db_;
};

// The texts an action gives the engine, in order.
using SqlTexts = std::vector<QByteArray>;

// Reads each text through the engine; returns the rows of all.
int replay(Engine &engine, const SqlTexts &texts);

// The floors written out rather than replayed from an action's texts.
void saveFloor(benchmark::State &state, const Dataset &dataset);
void closestFloor(benchmark::State &state, const Dataset &dataset);
