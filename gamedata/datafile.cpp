#include "gamedata.h"
#include "sqlitefile.h"

#include <QDir>
#include <QSaveFile>
#include <QTextStream>

namespace {

[[noreturn]] void unwritable(const QString &table, qint64 row, const QString &column,
                             const QString &why)
{
    throw std::runtime_error(
        QStringLiteral("%1, row %2, %3: %4").arg(table).arg(row).arg(column, why).toStdString());
}

QString text(const Statement &statement, int column, const QString &table, qint64 row)
{
    const QString value = statement.text(column);
    // The sources join the lines of a text with CR LF; any other break would come back changed.
    QString rest = value;
    rest.remove(QStringLiteral("\r\n"));
    if (rest.contains(QLatin1Char('\r')) || rest.contains(QLatin1Char('\n')))
        unwritable(
            table, row, statement.columnName(column),
            QStringLiteral("a line break other than CR LF cannot be kept in the text sources"));
    return value;
}

std::optional<int> integer(const Statement &statement, int column)
{
    if (statement.isNull(column))
        return std::nullopt;
    return int(statement.integer(column));
}

void requireInteger(const Statement &statement, int column, const QString &table, qint64 row)
{
    const int type = statement.type(column);
    if (type != SQLITE_INTEGER && type != SQLITE_NULL)
        unwritable(table, row, statement.columnName(column), QStringLiteral("not a whole number"));
}

} // namespace

GameData readDataFile(const QString &path)
{
    SqliteFile file(path, SQLITE_OPEN_READONLY);
    auto fail = [&](const Statement &statement) {
        if (!statement.error().isEmpty())
            throw std::runtime_error(
                QStringLiteral("%1: %2").arg(path, statement.error()).toStdString());
    };
    GameData data;

    Statement runes(file,
                    QStringLiteral("SELECT Runenumber, Runename, Runefunction1, Runefunction2, "
                                   "Runefunction3 FROM runes ORDER BY Runenumber"));
    while (runes.next()) {
        const qint64 row = runes.integer(0);
        data.runes << RuneSource{int(row), text(runes, 1, QStringLiteral("runes"), row),
                                 text(runes, 2, QStringLiteral("runes"), row),
                                 text(runes, 3, QStringLiteral("runes"), row),
                                 text(runes, 4, QStringLiteral("runes"), row)};
    }
    fail(runes);

    QString columns =
        QStringLiteral("RunewordID, RuneWordName, runewordText, nrrunes, rune1, rune2, "
                       "rune3, rune4, rune5, rune6");
    for (const char *type : itemTypeColumns)
        columns += QStringLiteral(", ") + QLatin1String(type);
    Statement words(file,
                    QStringLiteral("SELECT %1 FROM RuneWords ORDER BY RunewordID").arg(columns));
    const QString table = QStringLiteral("RuneWords");
    while (words.next()) {
        RunewordSource word;
        const qint64 row = words.integer(0);
        word.id = int(row) == data.runewords.size() + 1 ? 0 : int(row);
        word.name = text(words, 1, table, row);
        if (!words.isNull(2))
            word.text = text(words, 2, table, row);
        for (int column = 3; column < words.columns(); ++column)
            requireInteger(words, column, table, row);
        word.nrrunesNull = words.isNull(3);
        word.nrrunes = int(words.integer(3));
        for (int i = 0; i < 6; ++i)
            word.runes[size_t(i)] = integer(words, 4 + i);
        for (int i = 0; i < 9; ++i) {
            const std::optional<int> value = integer(words, 10 + i);
            if (value && *value != 0 && *value != 1)
                unwritable(table, row, words.columnName(10 + i),
                           QStringLiteral("a yes/no value is 0 or 1"));
            word.typesNull[size_t(i)] = !value;
            word.types[size_t(i)] = value.value_or(0) == 1;
        }
        data.runewords << word;
    }
    fail(words);

    Statement saves(file,
                    QStringLiteral("SELECT savenumber, saveName FROM saves ORDER BY savenumber"));
    while (saves.next())
        data.saves << SaveSource{
            int(saves.integer(0)), text(saves, 1, QStringLiteral("saves"), saves.integer(0)), {}};
    fail(saves);
    Statement owned(file,
                    QStringLiteral("SELECT savenumber, runenumber FROM ownedRunes ORDER BY rowid"));
    while (owned.next()) {
        for (SaveSource &save : data.saves) {
            if (save.number == owned.integer(0))
                save.runes << int(owned.integer(1));
        }
    }
    fail(owned);
    return data;
}

QString readDataFileSchema(const QString &path)
{
    SqliteFile file(path, SQLITE_OPEN_READONLY);
    // Tables first, then what refers to them, each in the order it was made.
    Statement schema(
        file,
        QStringLiteral(
            "SELECT sql FROM sqlite_schema WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%' "
            "ORDER BY CASE type WHEN 'table' THEN 0 WHEN 'index' THEN 1 WHEN 'view' THEN 2 ELSE 3 "
            "END, rowid"));
    QString sql;
    // The game data's version goes with the structure, so that a rebuild keeps it.
    Statement version(file, QStringLiteral("PRAGMA user_version"));
    if (version.next() && version.integer(0) != 0)
        sql += QStringLiteral("PRAGMA user_version = %1;\n\n").arg(version.integer(0));
    while (schema.next())
        sql += schema.text(0) + QStringLiteral(";\n\n");
    if (!schema.error().isEmpty())
        throw std::runtime_error(QStringLiteral("%1: %2").arg(path, schema.error()).toStdString());
    return sql;
}

namespace {

class SourceWriter {
public:
    explicit SourceWriter(const QString &path) : file_(path)
    {
        if (!file_.open(QIODevice::WriteOnly))
            throw std::runtime_error(
                QStringLiteral("%1: %2").arg(path, file_.errorString()).toStdString());
        out_.setDevice(&file_);
    }
    void line(const QString &text) { out_ << text << '\n'; }
    // A Null value is left out; a text with line breaks becomes a multi-line field.
    void field(const QString &key, const QString &value)
    {
        if (value.isNull())
            return;
        if (value.isEmpty()) {
            line(QStringLiteral("  %1:").arg(key)); // a multi-line field with no lines
            return;
        }
        if (!value.contains(QStringLiteral("\r\n"))) {
            line(QStringLiteral("  %1: %2").arg(key, value));
            return;
        }
        line(QStringLiteral("  %1:").arg(key));
        for (const QString &text : value.split(QStringLiteral("\r\n")))
            line(text.isEmpty() ? QStringLiteral("    >") : QStringLiteral("    > ") + text);
    }
    void finish()
    {
        out_.flush();
        if (!file_.commit())
            throw std::runtime_error(
                QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString()).toStdString());
    }

private:
    QSaveFile file_;
    QTextStream out_;
};

} // namespace

void writeSources(const GameData &data, const QString &folder)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        throw std::runtime_error(
            QStringLiteral("%1: cannot make the folder").arg(folder).toStdString());

    SourceWriter runes(dir.filePath(QStringLiteral("runes.txt")));
    runes.line(QStringLiteral(
        "# The 46 runes: a record \"rune N\" with name, weapons (weapons and gloves),"));
    runes.line(QStringLiteral(
        "# helms (helms, wands, staves and boots) and shields (shields, armors and belts)."));
    for (const RuneSource &rune : data.runes) {
        runes.line(QString());
        runes.line(QStringLiteral("rune %1").arg(rune.number));
        runes.field(QStringLiteral("name"), rune.name);
        runes.field(QStringLiteral("weapons"), rune.weapons);
        runes.field(QStringLiteral("helms"), rune.helms);
        runes.field(QStringLiteral("shields"), rune.shields);
    }
    runes.finish();

    SourceWriter words(dir.filePath(QStringLiteral("runewords.txt")));
    words.line(QStringLiteral(
        "# The runewords: a record \"runeword NAME\" with runes (socket order; 0 or null for"));
    words.line(QStringLiteral(
        "# an unused slot), types, and text (left out when the runeword has none)."));
    for (const RunewordSource &word : data.runewords) {
        words.line(QString());
        words.line(QStringLiteral("runeword ") + word.name);
        if (word.id)
            words.field(QStringLiteral("id"), QString::number(word.id));
        QStringList slots;
        int used = 0;
        for (const std::optional<int> &rune : word.runes) {
            slots << (rune ? QString::number(*rune) : QStringLiteral("null"));
            used += rune && *rune != 0;
        }
        while (!slots.isEmpty() && slots.last() == QLatin1String("0"))
            slots.removeLast();
        words.field(QStringLiteral("runes"), slots.join(QLatin1Char(' ')));
        if (word.nrrunesNull)
            words.field(QStringLiteral("nrrunes"), QStringLiteral("null"));
        else if (word.nrrunes != used)
            words.field(QStringLiteral("nrrunes"), QString::number(word.nrrunes));
        QStringList types;
        for (size_t i = 0; i < itemTypeColumns.size(); ++i) {
            const QString name = QString::fromLatin1(itemTypeColumns[i]).toLower();
            if (word.typesNull[i])
                types << name + QStringLiteral("=null");
            else if (word.types[i])
                types << name;
        }
        words.field(QStringLiteral("types"), types.join(QLatin1Char(' ')));
        if (word.text)
            words.field(QStringLiteral("text"), *word.text);
    }
    words.finish();

    SourceWriter saves(dir.filePath(QStringLiteral("saves.txt")));
    saves.line(QStringLiteral(
        "# The ten save slots: a record \"save N\" with its name and the runes it holds."));
    for (const SaveSource &save : data.saves) {
        saves.line(QString());
        saves.line(QStringLiteral("save %1").arg(save.number));
        saves.field(QStringLiteral("name"), save.name);
        QStringList runes;
        for (int rune : save.runes)
            runes << QString::number(rune);
        saves.field(QStringLiteral("runes"), runes.join(QLatin1Char(' ')));
    }
    saves.finish();
}
