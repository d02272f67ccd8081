#include "gamedata.h"

#include "sqlitefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

namespace {

struct Field {
    QString key;
    QString value;
    int line = 0;
    bool multiLine = false;
    int textLines = 0;
};

struct Record {
    QString kind;
    QString label;
    int line = 0;
    QList<Field> fields;
};

struct SourceFile {
    QString path;
    QList<Record> records;

    [[noreturn]] void fail(int line, const QString &message) const
    {
        throw SourceError(
            QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(message).toStdString());
    }
};

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SourceError(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    return QString::fromUtf8(file.readAll());
}

// Records start at column 0 with a kind and a label; fields are indented by two blanks
// ("  key: value"); the lines of a multi-line field by four, then "> ".
SourceFile parseRecords(const QString &path)
{
    SourceFile source{path, {}};
    const QStringList lines = readText(path).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int number = i + 1;
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("    >"))) {
            if (source.records.isEmpty() || source.records.last().fields.isEmpty() ||
                !source.records.last().fields.last().multiLine)
                source.fail(number,
                            QStringLiteral("a text line stands outside a multi-line field"));
            Field &field = source.records.last().fields.last();
            QString text = line.mid(5);
            if (text.startsWith(QLatin1Char(' ')))
                text.remove(0, 1);
            if (field.textLines++ == 0)
                field.value = QLatin1String("");
            else
                field.value += QStringLiteral("\r\n");
            field.value += text;
            continue;
        }
        if (line.startsWith(QLatin1String("  "))) {
            if (source.records.isEmpty())
                source.fail(number, QStringLiteral("a field stands before the first record"));
            const QString body = line.mid(2);
            const int colon = body.indexOf(QLatin1Char(':'));
            if (colon <= 0 || body.at(0).isSpace())
                source.fail(number, QStringLiteral("expected \"key: value\""));
            Field field;
            field.key = body.left(colon);
            field.line = number;
            const QString rest = body.mid(colon + 1);
            if (rest.isEmpty()) {
                field.multiLine = true; // the value stays null until its first line
            } else if (rest.startsWith(QLatin1Char(' '))) {
                field.value = QLatin1String("") + rest.mid(1); // never null: present means not Null
            } else {
                source.fail(number,
                            QStringLiteral("expected one blank after \"%1:\"").arg(field.key));
            }
            for (const Field &other : std::as_const(source.records.last().fields)) {
                if (other.key == field.key)
                    source.fail(number,
                                QStringLiteral("the field \"%1\" is given twice").arg(field.key));
            }
            source.records.last().fields << field;
            continue;
        }
        if (line.at(0).isSpace())
            source.fail(number, QStringLiteral("unexpected indentation"));
        const int blank = line.indexOf(QLatin1Char(' '));
        if (blank <= 0 || blank == line.size() - 1)
            source.fail(number, QStringLiteral("expected a record such as \"rune 1\""));
        source.records << Record{line.left(blank), line.mid(blank + 1), number, {}};
    }
    // A multi-line field with no lines is the empty text.
    for (Record &record : source.records) {
        for (Field &field : record.fields) {
            if (field.multiLine && field.value.isNull())
                field.value = QLatin1String("");
        }
    }
    return source;
}

class RecordReader {
public:
    RecordReader(const SourceFile &file, const Record &record, QStringList allowed)
        : file_(file), record_(record)
    {
        for (const Field &field : record.fields) {
            if (!allowed.contains(field.key))
                file.fail(field.line, QStringLiteral("unknown field \"%1\"").arg(field.key));
        }
    }

    const Field *find(const QString &key) const
    {
        for (const Field &field : record_.fields) {
            if (field.key == key)
                return &field;
        }
        return nullptr;
    }

    QString text(const QString &key) const
    {
        const Field *field = find(key);
        if (!field)
            file_.fail(record_.line, QStringLiteral("the field \"%1\" is missing").arg(key));
        return field->value;
    }

    // A missing field is a Null value.
    QString optionalText(const QString &key) const
    {
        const Field *field = find(key);
        return field ? field->value : QString();
    }

    int number(const QString &text, int line, int low, int high) const
    {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < low || value > high)
            file_.fail(line, QStringLiteral("\"%1\" is not a number from %2 to %3")
                                 .arg(text)
                                 .arg(low)
                                 .arg(high));
        return value;
    }

    int label(int low, int high) const { return number(record_.label, record_.line, low, high); }

private:
    const SourceFile &file_;
    const Record &record_;
};

QStringList words(const QString &text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void requireKind(const SourceFile &file, const Record &record, const QString &kind)
{
    if (record.kind != kind)
        file.fail(record.line, QStringLiteral("expected a \"%1\" record").arg(kind));
}

QList<RuneSource> readRunes(const QString &path)
{
    const SourceFile file = parseRecords(path);
    QList<RuneSource> runes;
    for (const Record &record : file.records) {
        requireKind(file, record, QStringLiteral("rune"));
        const RecordReader reader(file, record,
                                  {QStringLiteral("name"), QStringLiteral("weapons"),
                                   QStringLiteral("helms"), QStringLiteral("shields")});
        RuneSource rune;
        rune.number = reader.label(1, 46);
        if (rune.number != runes.size() + 1)
            file.fail(record.line, QStringLiteral("runes must stand in order, 1 to 46"));
        rune.name = reader.optionalText(QStringLiteral("name"));
        rune.weapons = reader.optionalText(QStringLiteral("weapons"));
        rune.helms = reader.optionalText(QStringLiteral("helms"));
        rune.shields = reader.optionalText(QStringLiteral("shields"));
        runes << rune;
    }
    if (runes.size() != 46)
        file.fail(1, QStringLiteral("46 runes are needed, %1 were found").arg(runes.size()));
    return runes;
}

QList<RunewordSource> readRunewords(const QString &path)
{
    const SourceFile file = parseRecords(path);
    QList<RunewordSource> runewords;
    QSet<QString> names;
    for (const Record &record : file.records) {
        requireKind(file, record, QStringLiteral("runeword"));
        const RecordReader reader(file, record,
                                  {QStringLiteral("id"), QStringLiteral("runes"),
                                   QStringLiteral("nrrunes"), QStringLiteral("types"),
                                   QStringLiteral("text")});
        RunewordSource word;
        word.name = record.label;
        if (word.name != word.name.trimmed() || word.name.contains(QLatin1Char('\'')))
            file.fail(
                record.line,
                QStringLiteral("a runeword name has no apostrophe and no blank at either end"));
        if (names.contains(word.name))
            file.fail(record.line,
                      QStringLiteral("the runeword \"%1\" is given twice").arg(word.name));
        names.insert(word.name);

        const Field *runes = reader.find(QStringLiteral("runes"));
        const QStringList slots = words(reader.text(QStringLiteral("runes")));
        if (slots.size() > 6)
            file.fail(runes->line, QStringLiteral("a runeword has at most six runes"));
        int used = 0;
        for (int i = 0; i < 6; ++i) {
            if (i >= slots.size()) {
                word.runes[size_t(i)] = 0;
            } else if (slots[i] == QLatin1String("null")) {
                word.runes[size_t(i)] = std::nullopt;
            } else {
                word.runes[size_t(i)] = reader.number(slots[i], runes->line, 0, 46);
                used += *word.runes[size_t(i)] != 0;
            }
        }
        const Field *nrrunes = reader.find(QStringLiteral("nrrunes"));
        if (nrrunes && nrrunes->value == QLatin1String("null"))
            word.nrrunesNull = true;
        else
            word.nrrunes = nrrunes ? reader.number(nrrunes->value, nrrunes->line, 0, 99) : used;
        if (const Field *id = reader.find(QStringLiteral("id")))
            word.id = reader.number(id->value, id->line, 1, 2147483647);

        const Field *types = reader.find(QStringLiteral("types"));
        for (QString type : words(reader.text(QStringLiteral("types")))) {
            // "belt=null" keeps a Null item type through an export and a build.
            const bool isNull = type.endsWith(QLatin1String("=null"));
            if (isNull)
                type.chop(5);
            int index = 0;
            while (index < 9 && type.compare(QLatin1String(itemTypeColumns[size_t(index)]),
                                             Qt::CaseInsensitive) != 0)
                ++index;
            if (index == 9)
                file.fail(types->line, QStringLiteral("unknown item type \"%1\"").arg(type));
            (isNull ? word.typesNull : word.types)[size_t(index)] = true;
        }
        if (const Field *text = reader.find(QStringLiteral("text")))
            word.text = text->value;
        runewords << word;
    }
    return runewords;
}

QList<SaveSource> readSaveSources(const QString &path)
{
    const SourceFile file = parseRecords(path);
    QList<SaveSource> saves;
    for (const Record &record : file.records) {
        requireKind(file, record, QStringLiteral("save"));
        const RecordReader reader(file, record, {QStringLiteral("name"), QStringLiteral("runes")});
        SaveSource save;
        save.number = reader.label(1, 10);
        if (save.number != saves.size() + 1)
            file.fail(record.line, QStringLiteral("saves must stand in order, 1 to 10"));
        save.name = reader.optionalText(QStringLiteral("name"));
        if (const Field *runes = reader.find(QStringLiteral("runes"))) {
            for (const QString &rune : words(runes->value))
                save.runes << reader.number(rune, runes->line, 1, 46);
        }
        saves << save;
    }
    if (saves.size() != 10)
        file.fail(1, QStringLiteral("10 saves are needed, %1 were found").arg(saves.size()));
    return saves;
}

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    if (text.isNull())
        return; // left unbound: Null
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

GameData readGameData(const QString &folder)
{
    const QDir dir(folder);
    GameData data;
    data.runes = readRunes(dir.filePath(QStringLiteral("runes.txt")));
    data.runewords = readRunewords(dir.filePath(QStringLiteral("runewords.txt")));
    data.saves = readSaveSources(dir.filePath(QStringLiteral("saves.txt")));
    return data;
}

QString readSchema(const QString &folder)
{
    return readText(QDir(folder).filePath(QStringLiteral("schema.sql")));
}

void writeDataFile(const GameData &data, const QString &schema, const QString &path)
{
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    {
        SqliteFile db(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.exec(schema);
        db.exec(QStringLiteral("BEGIN"));

        sqlite3_stmt *rune = db.prepare("INSERT INTO runes VALUES (?, ?, ?, ?, ?)");
        for (const RuneSource &source : data.runes) {
            sqlite3_bind_int(rune, 1, source.number);
            bindText(rune, 2, source.name);
            bindText(rune, 3, source.weapons);
            bindText(rune, 4, source.helms);
            bindText(rune, 5, source.shields);
            db.step(rune);
        }
        sqlite3_finalize(rune);

        sqlite3_stmt *word = db.prepare("INSERT INTO RuneWords VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                        "?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        int id = 0;
        for (const RunewordSource &source : data.runewords) {
            ++id;
            sqlite3_bind_int(word, 1, source.id ? source.id : id);
            bindText(word, 2, source.name);
            if (source.text)
                bindText(word, 3, *source.text);
            if (!source.nrrunesNull)
                sqlite3_bind_int(word, 4, source.nrrunes);
            for (int i = 0; i < 6; ++i) {
                if (source.runes[size_t(i)])
                    sqlite3_bind_int(word, 5 + i, *source.runes[size_t(i)]);
            }
            for (int i = 0; i < 9; ++i) {
                if (!source.typesNull[size_t(i)])
                    sqlite3_bind_int(word, 11 + i, source.types[size_t(i)] ? 1 : 0);
            }
            db.step(word);
        }
        sqlite3_finalize(word);

        sqlite3_stmt *save = db.prepare("INSERT INTO saves VALUES (?, ?)");
        sqlite3_stmt *owned = db.prepare("INSERT INTO ownedRunes VALUES (?, ?)");
        for (const SaveSource &source : data.saves) {
            sqlite3_bind_int(save, 1, source.number);
            bindText(save, 2, source.name);
            db.step(save);
            for (int rune : source.runes) {
                sqlite3_bind_int(owned, 1, source.number);
                sqlite3_bind_int(owned, 2, rune);
                db.step(owned);
            }
        }
        sqlite3_finalize(save);
        sqlite3_finalize(owned);
        db.exec(QStringLiteral("COMMIT"));
    }
    // Replace only a whole file, so that a failed build leaves the old one as it was.
    QFile::remove(path);
    if (!QFile::rename(partial, path))
        throw std::runtime_error(QStringLiteral("%1: could not move the new data file into place")
                                     .arg(path)
                                     .toStdString());
}
