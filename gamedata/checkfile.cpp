#include "gamedata.h"
#include "sqlitefile.h"

#include <QSet>

namespace {

class Checker {
public:
    explicit Checker(const QString &path) : file_(path, SQLITE_OPEN_READONLY) {}

    QStringList problems;

    void problem(const QString &where, const QString &what)
    {
        problems << where + QStringLiteral(": ") + what;
    }

    // The columns of a table or view, in lower case; empty when it does not exist.
    QSet<QString> columns(const QString &name)
    {
        Statement info(file_,
                       QStringLiteral("SELECT name FROM pragma_table_info(%1)").arg(quoted(name)));
        QSet<QString> names;
        while (info.next())
            names.insert(info.text(0).toLower());
        return names;
    }

    bool requireObject(const QString &name, const QStringList &needed)
    {
        const QSet<QString> present = columns(name);
        if (present.isEmpty()) {
            problem(name, QStringLiteral("missing"));
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

    // Runs a query of the check itself; a query that fails is a problem of the file.
    bool query(Statement &statement, const QString &where)
    {
        if (!statement.error().isEmpty()) {
            problem(where, statement.error());
            return false;
        }
        return true;
    }

    SqliteFile file_;

private:
    static QString quoted(const QString &text)
    {
        QString escaped = text;
        escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + escaped + QLatin1Char('\'');
    }
};

QString describe(const Statement &statement, int column)
{
    return statement.isNull(column) ? QStringLiteral("Null")
                                    : QLatin1Char('"') + statement.text(column) + QLatin1Char('"');
}

bool isWhole(const Statement &statement, int column, qint64 low, qint64 high)
{
    return statement.type(column) == SQLITE_INTEGER && statement.integer(column) >= low &&
           statement.integer(column) <= high;
}

void checkRunes(Checker &check)
{
    if (!check.requireObject(QStringLiteral("runes"),
                             {QStringLiteral("Runenumber"), QStringLiteral("Runename"),
                              QStringLiteral("Runefunction1"), QStringLiteral("Runefunction2"),
                              QStringLiteral("Runefunction3")}))
        return;
    Statement runes(check.file_,
                    QStringLiteral("SELECT Runenumber, Runename, Runefunction1, Runefunction2, "
                                   "Runefunction3 FROM runes"));
    QSet<qint64> numbers;
    while (runes.next()) {
        const QString where = QStringLiteral("runes, Runenumber %1").arg(runes.text(0));
        if (!isWhole(runes, 0, 1, 46))
            check.problem(where, QStringLiteral("not a rune number 1 to 46"));
        numbers.insert(runes.integer(0));
        if (runes.isNull(1) || runes.text(1).trimmed().isEmpty())
            check.problem(where + QStringLiteral(", Runename"),
                          QStringLiteral("the rune has no name"));
        for (int column = 2; column <= 4; ++column) {
            if (runes.isNull(column))
                check.problem(where + QStringLiteral(", ") + runes.columnName(column),
                              QStringLiteral("Null"));
        }
    }
    check.query(runes, QStringLiteral("runes"));
    for (int rune = 1; rune <= 46; ++rune) {
        if (!numbers.contains(rune))
            check.problem(QStringLiteral("runes"), QStringLiteral("rune %1 is missing").arg(rune));
    }

    if (!check.requireObject(QStringLiteral("runesQuery"),
                             {QStringLiteral("Runenumber"), QStringLiteral("Runename")}))
        return;
    Statement ordered(check.file_, QStringLiteral("SELECT Runenumber FROM runesQuery"));
    int row = 0;
    while (ordered.next() && ++row <= 46) {
        if (!isWhole(ordered, 0, row, row))
            check.problem(QStringLiteral("runesQuery, row %1").arg(row),
                          QStringLiteral("gives rune %1 where rune %2 belongs")
                              .arg(describe(ordered, 0))
                              .arg(row));
    }
    if (check.query(ordered, QStringLiteral("runesQuery")) && row < 46)
        check.problem(QStringLiteral("runesQuery"),
                      QStringLiteral("gives %1 rows; 46 are needed").arg(row));
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
    Statement words(check.file_, QStringLiteral("SELECT ") + needed.join(QStringLiteral(", ")) +
                                     QStringLiteral(" FROM RuneWords"));
    QSet<QString> names;
    int count = 0;
    while (words.next()) {
        ++count;
        const QString where = QStringLiteral("RuneWords, RunewordID %1").arg(words.text(0));
        const QString name = words.text(1);
        if (name.isNull() || name.isEmpty())
            check.problem(where + QStringLiteral(", RuneWordName"),
                          QStringLiteral("the runeword has no name"));
        else if (name.contains(QLatin1Char('\'')))
            check.problem(where + QStringLiteral(", RuneWordName"),
                          QStringLiteral("\"%1\" holds an apostrophe").arg(name));
        else if (name != name.trimmed())
            check.problem(where + QStringLiteral(", RuneWordName"),
                          QStringLiteral("\"%1\" has blanks at its ends").arg(name));
        if (names.contains(name))
            check.problem(where + QStringLiteral(", RuneWordName"),
                          QStringLiteral("\"%1\" is given twice").arg(name));
        names.insert(name);
        if (!isWhole(words, 3, 1, 6))
            check.problem(where + QStringLiteral(", nrrunes"),
                          QStringLiteral("%1 is not 1 to 6").arg(describe(words, 3)));
        for (int column = 4; column < 10; ++column) {
            if (!isWhole(words, column, 0, 46))
                check.problem(where + QStringLiteral(", ") + words.columnName(column),
                              QStringLiteral("%1 is not 0 or a rune number 1 to 46")
                                  .arg(describe(words, column)));
        }
        for (int column = 10; column < words.columns(); ++column) {
            if (!isWhole(words, column, 0, 1))
                check.problem(
                    where + QStringLiteral(", ") + words.columnName(column),
                    QStringLiteral("%1 is not a yes/no value 0 or 1").arg(describe(words, column)));
        }
    }
    check.query(words, QStringLiteral("RuneWords"));

    if (!check.requireObject(QStringLiteral("runewordList"), {QStringLiteral("runewordName")}))
        return;
    Statement list(check.file_, QStringLiteral("SELECT count(*) FROM runewordList"));
    if (list.next() && list.integer(0) != count)
        check.problem(
            QStringLiteral("runewordList"),
            QStringLiteral("gives %1 rows for %2 runewords").arg(list.integer(0)).arg(count));
    check.query(list, QStringLiteral("runewordList"));
}

void checkSaves(Checker &check)
{
    if (check.requireObject(QStringLiteral("saves"),
                            {QStringLiteral("savenumber"), QStringLiteral("saveName")})) {
        Statement saves(check.file_, QStringLiteral("SELECT savenumber, saveName FROM saves"));
        QSet<qint64> slots;
        while (saves.next()) {
            const QString where = QStringLiteral("saves, savenumber %1").arg(saves.text(0));
            if (!isWhole(saves, 0, 1, 10) || slots.contains(saves.integer(0)))
                check.problem(where, QStringLiteral("not one of the slots 1 to 10, each once"));
            slots.insert(saves.integer(0));
            if (saves.isNull(1))
                check.problem(where + QStringLiteral(", saveName"), QStringLiteral("Null"));
        }
        check.query(saves, QStringLiteral("saves"));
        if (slots.size() != 10)
            check.problem(QStringLiteral("saves"),
                          QStringLiteral("holds %1 slots; 10 are needed").arg(slots.size()));
    }
    if (check.requireObject(QStringLiteral("savesQuery2"),
                            {QStringLiteral("savenumber"), QStringLiteral("saveName")})) {
        Statement ordered(check.file_, QStringLiteral("SELECT savenumber FROM savesQuery2"));
        int row = 0;
        while (ordered.next() && ++row <= 10) {
            if (!isWhole(ordered, 0, row, row))
                check.problem(QStringLiteral("savesQuery2, row %1").arg(row),
                              QStringLiteral("gives slot %1 where slot %2 belongs")
                                  .arg(describe(ordered, 0))
                                  .arg(row));
        }
        if (check.query(ordered, QStringLiteral("savesQuery2")) && row < 10)
            check.problem(QStringLiteral("savesQuery2"),
                          QStringLiteral("gives %1 rows; 10 are needed").arg(row));
    }
    if (check.requireObject(QStringLiteral("ownedRunes"),
                            {QStringLiteral("savenumber"), QStringLiteral("runenumber")})) {
        Statement owned(check.file_,
                        QStringLiteral("SELECT rowid, savenumber, runenumber FROM ownedRunes"));
        while (owned.next()) {
            const QString where = QStringLiteral("ownedRunes, row %1").arg(owned.integer(0));
            if (!isWhole(owned, 1, 1, 10))
                check.problem(where + QStringLiteral(", savenumber"),
                              QStringLiteral("%1 is not a slot 1 to 10").arg(describe(owned, 1)));
            if (!isWhole(owned, 2, 1, 46))
                check.problem(
                    where + QStringLiteral(", runenumber"),
                    QStringLiteral("%1 is not a rune number 1 to 46").arg(describe(owned, 2)));
        }
        check.query(owned, QStringLiteral("ownedRunes"));
    }
    // The load reads one slot's rows as one run, and the save deletes through this query.
    if (check.requireObject(QStringLiteral("savesQuery"),
                            {QStringLiteral("rowid"), QStringLiteral("savenumber"),
                             QStringLiteral("runenumber")})) {
        Statement ordered(check.file_, QStringLiteral("SELECT savenumber FROM savesQuery"));
        QSet<qint64> finished;
        qint64 current = -1;
        int row = 0;
        while (ordered.next()) {
            ++row;
            if (ordered.integer(0) == current)
                continue;
            if (finished.contains(ordered.integer(0)))
                check.problem(QStringLiteral("savesQuery, row %1").arg(row),
                              QStringLiteral("the rows of slot %1 do not stand together")
                                  .arg(ordered.integer(0)));
            finished.insert(current);
            current = ordered.integer(0);
        }
        check.query(ordered, QStringLiteral("savesQuery"));
        Statement trigger(
            check.file_, QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' "
                                        "AND tbl_name = 'savesQuery' COLLATE NOCASE "
                                        "AND sql LIKE '%INSTEAD OF DELETE%'"));
        if (trigger.next() && trigger.integer(0) == 0)
            check.problem(
                QStringLiteral("savesQuery"),
                QStringLiteral("rows cannot be deleted through it (no INSTEAD OF DELETE trigger)"));
    }
}

} // namespace

QStringList checkDataFile(const QString &path)
{
    Checker check(path);
    Statement integrity(check.file_, QStringLiteral("PRAGMA quick_check"));
    while (integrity.next()) {
        if (integrity.text(0) != QLatin1String("ok"))
            check.problem(QStringLiteral("file"), integrity.text(0));
    }
    if (!check.query(integrity, QStringLiteral("file")))
        return check.problems;
    checkRunes(check);
    checkRunewords(check);
    checkSaves(check);
    return check.problems;
}
