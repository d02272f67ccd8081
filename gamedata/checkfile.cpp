#include "datafile.h"
#include "gamedata.h"

#include <QSet>

namespace {

class Checker {
public:
    explicit Checker(const QString &path) : db_(openDataFile(path, SQLite::OPEN_READONLY)) {}

    QStringList problems;

    void problem(const QString &where, const QString &what)
    {
        problems << where + QStringLiteral(": ") + what;
    }

    // Runs a query of the check itself and hands each row to row; a query that fails is a
    // problem of the file, named by where. False when it failed.
    template <typename Row> bool rows(const QString &where, const QString &sql, Row row)
    {
        try {
            db_.startStatement();
            SQLite::Statement statement(db_, sql.toUtf8().constData());
            while (statement.executeStep())
                row(statement);
            return true;
        } catch (const SQLite::Exception &error) {
            problem(where, engineMessage(db_, error));
            return false;
        }
    }

    // One whole number from a query of the check itself; -1 when the query failed.
    qint64 count(const QString &where, const QString &sql)
    {
        qint64 result = -1;
        rows(where, sql, [&](const SQLite::Statement &s) { result = s.getColumn(0).getInt64(); });
        return result;
    }

    // The columns of a table or view, in lower case; empty when it does not exist or its
    // definition does not compile, which error then tells.
    QSet<QString> columns(const QString &name, QString &error)
    {
        QString quoted = name;
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
        QSet<QString> names;
        try {
            db_.startStatement();
            SQLite::Statement info(db_, QStringLiteral("SELECT name FROM pragma_table_info('%1')")
                                            .arg(quoted)
                                            .toUtf8()
                                            .constData());
            while (info.executeStep())
                names.insert(columnText(info, 0).toLower());
        } catch (const SQLite::Exception &failure) {
            error = QString::fromUtf8(failure.what());
        }
        return names;
    }

    bool requireObject(const QString &name, const QStringList &needed)
    {
        QString error;
        const QSet<QString> present = columns(name, error);
        if (present.isEmpty()) {
            problem(name, error.isEmpty() ? QStringLiteral("missing") : error);
            return false;
        }
        bool whole = true;
        for (const QString &column : needed) {
            if (!present.contains(column.toLower())) {
                problem(name, QStringLiteral("the column %1 is missing").arg(column));
                whole = false;
            }
        }
        return whole;
    }

private:
    DataConnection db_;
};

QString describe(const SQLite::Statement &statement, int column)
{
    const QString text = columnText(statement, column);
    return text.isNull() ? QStringLiteral("Null") : QLatin1Char('"') + text + QLatin1Char('"');
}

bool isWhole(const SQLite::Statement &statement, int column, qint64 low, qint64 high)
{
    const SQLite::Column value = statement.getColumn(column);
    return value.isInteger() && value.getInt64() >= low && value.getInt64() <= high;
}

QString columnWhere(const QString &where, const SQLite::Statement &statement, int column)
{
    return where + QStringLiteral(", ") + QString::fromUtf8(statement.getColumnName(column));
}

// A stored query whose first rows are numbered 1 to count in order, as the menu and the board
// take row k for slot or rune k.
void checkNumbered(Checker &check, const QString &query, const QString &column, int count,
                   const QString &noun)
{
    int row = 0;
    const bool ran = check.rows(
        query, QStringLiteral("SELECT %1 FROM %2 LIMIT %3").arg(column, query).arg(count),
        [&](const SQLite::Statement &ordered) {
            ++row;
            if (!isWhole(ordered, 0, row, row))
                check.problem(QStringLiteral("%1, row %2").arg(query).arg(row),
                              QStringLiteral("gives %1 %2 where %1 %3 belongs")
                                  .arg(noun, describe(ordered, 0), QString::number(row)));
        });
    if (ran && row < count)
        check.problem(query, QStringLiteral("gives %1 rows; %2 are needed").arg(row).arg(count));
}

void checkRunes(Checker &check)
{
    if (!check.requireObject(QStringLiteral("runes"),
                             {QStringLiteral("Runenumber"), QStringLiteral("Runename"),
                              QStringLiteral("Runefunction1"), QStringLiteral("Runefunction2"),
                              QStringLiteral("Runefunction3")}))
        return;
    QSet<qint64> numbers;
    check.rows(
        QStringLiteral("runes"),
        QStringLiteral("SELECT Runenumber, Runename, Runefunction1, Runefunction2, "
                       "Runefunction3 FROM runes"),
        [&](const SQLite::Statement &runes) {
            const QString where = QStringLiteral("runes, Runenumber %1").arg(columnText(runes, 0));
            if (!isWhole(runes, 0, 1, 46))
                check.problem(where, QStringLiteral("not a rune number 1 to 46"));
            numbers.insert(runes.getColumn(0).getInt64());
            if (columnText(runes, 1).trimmed().isEmpty())
                check.problem(columnWhere(where, runes, 1), QStringLiteral("the rune has no name"));
            for (int column = 2; column <= 4; ++column) {
                if (runes.isColumnNull(column))
                    check.problem(columnWhere(where, runes, column), QStringLiteral("Null"));
            }
        });
    for (int rune = 1; rune <= 46; ++rune) {
        if (!numbers.contains(rune))
            check.problem(QStringLiteral("runes"), QStringLiteral("rune %1 is missing").arg(rune));
    }
    if (check.requireObject(QStringLiteral("runesQuery"),
                            {QStringLiteral("Runenumber"), QStringLiteral("Runename")}))
        checkNumbered(check, QStringLiteral("runesQuery"), QStringLiteral("Runenumber"), 46,
                      QStringLiteral("rune"));
}

// The name is spliced into a quoted SQL text and found again by equality after trimming.
void checkRunewordName(Checker &check, const QString &where, const QString &name,
                       QSet<QString> &names)
{
    if (name.isEmpty())
        check.problem(where, QStringLiteral("the runeword has no name"));
    else if (name.contains(QLatin1Char('\'')))
        check.problem(where, QStringLiteral("\"%1\" holds an apostrophe").arg(name));
    else if (name != name.trimmed())
        check.problem(where, QStringLiteral("\"%1\" has blanks at its ends").arg(name));
    if (names.contains(name))
        check.problem(where, QStringLiteral("\"%1\" is given twice").arg(name));
    names.insert(name);
}

void checkRunewordValues(Checker &check, const QString &where, const SQLite::Statement &words)
{
    if (!isWhole(words, 3, 1, 6))
        check.problem(columnWhere(where, words, 3),
                      QStringLiteral("%1 is not 1 to 6").arg(describe(words, 3)));
    for (int column = 4; column < 10; ++column) {
        if (!isWhole(words, column, 0, 46))
            check.problem(columnWhere(where, words, column),
                          QStringLiteral("%1 is not 0 or a rune number 1 to 46")
                              .arg(describe(words, column)));
    }
    for (int column = 10; column < words.getColumnCount(); ++column) {
        if (!isWhole(words, column, 0, 1))
            check.problem(
                columnWhere(where, words, column),
                QStringLiteral("%1 is not a yes/no value 0 or 1").arg(describe(words, column)));
    }
}

void checkRunewords(Checker &check)
{
    QStringList needed = {QStringLiteral("RunewordID"), QStringLiteral("RuneWordName"),
                          QStringLiteral("runewordText"), QStringLiteral("nrrunes")};
    for (int slot = 1; slot <= 6; ++slot)
        needed << QStringLiteral("rune%1").arg(slot);
    for (const char *type : itemTypeColumns)
        needed << QLatin1String(type);
    if (!check.requireObject(QStringLiteral("RuneWords"), needed))
        return;
    QSet<QString> names;
    int count = 0;
    check.rows(QStringLiteral("RuneWords"),
               QStringLiteral("SELECT ") + needed.join(QStringLiteral(", ")) +
                   QStringLiteral(" FROM RuneWords"),
               [&](const SQLite::Statement &words) {
                   ++count;
                   const QString where =
                       QStringLiteral("RuneWords, RunewordID %1").arg(columnText(words, 0));
                   checkRunewordName(check, columnWhere(where, words, 1), columnText(words, 1),
                                     names);
                   checkRunewordValues(check, where, words);
               });
    if (!check.requireObject(QStringLiteral("runewordList"), {QStringLiteral("runewordName")}))
        return;
    // Read as the list reads it, within the bounds the program puts on what it reads at once.
    constexpr qint64 resultLimit = 128 * 1024 * 1024;
    qint64 listed = 0, bytes = 0;
    const bool ran = check.rows(
        QStringLiteral("runewordList"), QStringLiteral("SELECT runewordName FROM runewordList"),
        [&](const SQLite::Statement &list) {
            ++listed;
            bytes += list.getColumn(0).getBytes();
            if (bytes > resultLimit)
                throw SQLite::Exception("the list is larger than the program allows");
        });
    if (ran && listed != count)
        check.problem(QStringLiteral("runewordList"),
                      QStringLiteral("gives %1 rows for %2 runewords").arg(listed).arg(count));
}

// A trigger on a table would change what the program writes behind its back; the one the
// program needs stands on a view (savesQuery).
void checkTriggers(Checker &check)
{
    check.rows(QStringLiteral("triggers"),
               QStringLiteral("SELECT name, tbl_name FROM sqlite_schema WHERE type = 'trigger' "
                              "AND tbl_name IN (SELECT name FROM sqlite_schema WHERE type = "
                              "'table')"),
               [&](const SQLite::Statement &trigger) {
                   check.problem(QStringLiteral("trigger %1").arg(columnText(trigger, 0)),
                                 QStringLiteral("a trigger on the table %1 is not allowed")
                                     .arg(columnText(trigger, 1)));
               });
}

void checkSlots(Checker &check)
{
    QSet<qint64> slots;
    const bool ran = check.rows(
        QStringLiteral("saves"), QStringLiteral("SELECT savenumber, saveName FROM saves"),
        [&](const SQLite::Statement &saves) {
            const QString where = QStringLiteral("saves, savenumber %1").arg(columnText(saves, 0));
            const qint64 slot = saves.getColumn(0).getInt64();
            if (!isWhole(saves, 0, 1, 10) || slots.contains(slot))
                check.problem(where, QStringLiteral("not one of the slots 1 to 10, each once"));
            slots.insert(slot);
            if (saves.isColumnNull(1))
                check.problem(columnWhere(where, saves, 1), QStringLiteral("Null"));
        });
    if (ran && slots.size() != 10)
        check.problem(QStringLiteral("saves"),
                      QStringLiteral("holds %1 slots; 10 are needed").arg(slots.size()));
}

void checkOwnedRunes(Checker &check)
{
    check.rows(
        QStringLiteral("ownedRunes"),
        QStringLiteral("SELECT rowid, savenumber, runenumber FROM ownedRunes"),
        [&](const SQLite::Statement &owned) {
            const QString where = QStringLiteral("ownedRunes, row %1").arg(columnText(owned, 0));
            if (!isWhole(owned, 1, 1, 10))
                check.problem(columnWhere(where, owned, 1),
                              QStringLiteral("%1 is not a slot 1 to 10").arg(describe(owned, 1)));
            if (!isWhole(owned, 2, 1, 46))
                check.problem(
                    columnWhere(where, owned, 2),
                    QStringLiteral("%1 is not a rune number 1 to 46").arg(describe(owned, 2)));
        });
}

// The load reads one slot's rows as one run, and the save deletes through this query.
void checkSavesQuery(Checker &check)
{
    QSet<qint64> finished;
    qint64 current = -1;
    int row = 0;
    check.rows(QStringLiteral("savesQuery"), QStringLiteral("SELECT savenumber FROM savesQuery"),
               [&](const SQLite::Statement &ordered) {
                   ++row;
                   const qint64 slot = ordered.getColumn(0).getInt64();
                   if (slot == current)
                       return;
                   if (finished.contains(slot))
                       check.problem(
                           QStringLiteral("savesQuery, row %1").arg(row),
                           QStringLiteral("the rows of slot %1 do not stand together").arg(slot));
                   finished.insert(current);
                   current = slot;
               });
    if (check.count(QStringLiteral("savesQuery"),
                    QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' "
                                   "AND tbl_name = 'savesQuery' COLLATE NOCASE "
                                   "AND sql LIKE '%INSTEAD OF DELETE%'")) == 0)
        check.problem(
            QStringLiteral("savesQuery"),
            QStringLiteral("rows cannot be deleted through it (no INSTEAD OF DELETE trigger)"));
}

void checkSaves(Checker &check)
{
    if (check.requireObject(QStringLiteral("saves"),
                            {QStringLiteral("savenumber"), QStringLiteral("saveName")}))
        checkSlots(check);
    if (check.requireObject(QStringLiteral("savesQuery2"),
                            {QStringLiteral("savenumber"), QStringLiteral("saveName")}))
        checkNumbered(check, QStringLiteral("savesQuery2"), QStringLiteral("savenumber"), 10,
                      QStringLiteral("slot"));
    if (check.requireObject(QStringLiteral("ownedRunes"),
                            {QStringLiteral("savenumber"), QStringLiteral("runenumber")}))
        checkOwnedRunes(check);
    if (check.requireObject(
            QStringLiteral("savesQuery"),
            {QStringLiteral("rowid"), QStringLiteral("savenumber"), QStringLiteral("runenumber")}))
        checkSavesQuery(check);
}

} // namespace

QStringList checkDataFile(const QString &path)
{
    Checker check(path);
    if (!check.rows(QStringLiteral("file"), QStringLiteral("PRAGMA quick_check"),
                    [&](const SQLite::Statement &integrity) {
                        const QString result = columnText(integrity, 0);
                        if (result != QLatin1String("ok"))
                            check.problem(QStringLiteral("file"), result);
                    }))
        return check.problems;
    checkRunes(check);
    checkRunewords(check);
    checkSaves(check);
    checkTriggers(check);
    return check.problems;
}
