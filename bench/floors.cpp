#include "floors.h"

#include "fail.h"
#include "measure.h"

#include <SQLiteCpp/Statement.h>
#include <cstring>

Engine::Engine(const QString &path)
    : connection_(path.toUtf8().toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX, 2000),
      db_(connection_.getHandle())
{
}

int Engine::read(const QByteArray &sql)
{
    sqlite3_stmt *statement = prepare(sql);
    int nameColumn = 0;
    for (int column = sqlite3_column_count(statement) - 1; column >= 0; --column) {
        const char *name = sqlite3_column_name(statement, column);
        const size_t length = std::strlen(name);
        if (length >= 4 && sqlite3_stricmp(name + length - 4, "name") == 0)
            nameColumn = column;
    }
    int rows = 0;
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_text(statement, nameColumn));
        benchmark::DoNotOptimize(sqlite3_column_bytes(statement, nameColumn));
        ++rows;
    }
    finish(statement, result, sql);
    return rows;
}

QByteArray Engine::plan(const QByteArray &sql)
{
    SQLite::Statement statement(connection_, "EXPLAIN QUERY PLAN " + sql.toStdString());
    QByteArray steps;
    while (statement.executeStep())
        steps += statement.getColumn(3).getText() + QByteArray("\n");
    return steps;
}

void Engine::write(const QByteArray &sql, std::initializer_list<QByteArray> values)
{
    sqlite3_stmt *statement = prepare(sql);
    int index = 0;
    for (const QByteArray &value : values)
        sqlite3_bind_text(statement, ++index, value.constData(), int(value.size()), SQLITE_STATIC);
    finish(statement, sqlite3_step(statement), sql);
}

sqlite3_stmt *Engine::prepare(const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        fail(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                          QString::fromUtf8(sqlite3_errmsg(db_))));
    return statement;
}

void Engine::finish(sqlite3_stmt *statement, int result, const QByteArray &sql)
{
    if (result != SQLITE_DONE && result != SQLITE_ROW)
        fail(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                          QString::fromUtf8(sqlite3_errmsg(db_))));
    sqlite3_finalize(statement);
}

int replay(Engine &engine, const SqlTexts &texts)
{
    int rows = 0;
    for (const QByteArray &sql : texts)
        rows += engine.read(sql);
    return rows;
}

// The same writes as a save, in one transaction: delete the slot's rows, add one row per rune,
// rename.
void saveFloor(benchmark::State &state, const Dataset &dataset)
{
    Engine &engine = bench.session(dataset).engine;
    measure(state, [&] {
        engine.write("BEGIN IMMEDIATE");
        engine.write("DELETE FROM ownedRunes WHERE savenumber = 9");
        const QByteArray insert = "INSERT INTO ownedRunes (savenumber, runenumber) VALUES (9, ?)";
        sqlite3_stmt *statement = engine.prepare(insert);
        for (int k = 1; k <= 46; ++k) {
            sqlite3_bind_int(statement, 1, k);
            const int result = sqlite3_step(statement);
            if (result != SQLITE_DONE)
                engine.finish(statement, result, insert);
            sqlite3_reset(statement);
        }
        engine.finish(statement, SQLITE_DONE, insert);
        engine.write("UPDATE saves SET saveName = ? WHERE savenumber = 9", {"bench"});
        engine.write("COMMIT");
    });
}

// The Find runewords window reads every runeword when it opens and again after every Search;
// its floor reads the columns it needs (name, text, nrrunes, the six slots, the nine item types)
// of every row.
void closestFloor(benchmark::State &state, const Dataset &dataset)
{
    Engine &engine = bench.session(dataset).engine;
    const QByteArray sql = "SELECT RuneWordName, runewordText, nrrunes, rune1, rune2, rune3, "
                           "rune4, rune5, rune6, armor, helm, belt, boots, shield, gloves, "
                           "meleeweapon, missileweapon, Other FROM RuneWords";
    measure(state, [&] {
        sqlite3_stmt *statement = engine.prepare(sql);
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int column = 0; column < 2; ++column) {
                benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
                benchmark::DoNotOptimize(sqlite3_column_bytes(statement, column));
            }
            for (int column = 2; column < 18; ++column)
                benchmark::DoNotOptimize(sqlite3_column_int64(statement, column));
        }
        engine.finish(statement, result, sql);
    });
}
