#include "gamedata.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

// The text sources: records that start at column 0 with a kind and a label; fields indented by
// two blanks ("  key: value"); the lines of a multi-line field by four, then "> ".

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

// An editor's other encodings (a Windows code page, UTF-16) would reach the data file as
// replacement characters or as records that make no sense; a NUL never stands in a text.
QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SourceError(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    const QByteArray bytes = file.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString decoded = utf8.decode(lines[i]);
        if (utf8.hasError() || lines[i].contains('\0'))
            throw SourceError(QStringLiteral("%1:%2: not UTF-8 text; save the file as UTF-8")
                                  .arg(path)
                                  .arg(i + 1)
                                  .toStdString());
    }
    return QString::fromUtf8(bytes);
}

// The value of the first comment line "<marker> name: ..." of a source; empty when none.
QString dataName(const QString &text, const QString &marker)
{
    const QString prefix = marker + QStringLiteral(" name:");
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}

class RecordParser {
public:
    explicit RecordParser(const QString &path) : source_{path, {}} {}

    SourceFile parse()
    {
        const QStringList lines = readText(source_.path).split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            QString line = lines[i];
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            line_ = i + 1;
            if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (line.startsWith(QLatin1String("    >")))
                textLine(line.mid(5));
            else if (line.startsWith(QLatin1String("  ")))
                fieldLine(line.mid(2));
            else
                recordLine(line);
        }
        // A multi-line field with no lines is the empty text.
        for (Record &record : source_.records) {
            for (Field &field : record.fields) {
                if (field.multiLine && field.value.isNull())
                    field.value = QLatin1String("");
            }
        }
        return source_;
    }

private:
    void textLine(QString text)
    {
        if (source_.records.isEmpty() || source_.records.last().fields.isEmpty() ||
            !source_.records.last().fields.last().multiLine)
            source_.fail(line_, QStringLiteral("a text line stands outside a multi-line field"));
        Field &field = source_.records.last().fields.last();
        if (text.startsWith(QLatin1Char(' ')))
            text.remove(0, 1);
        if (field.textLines++ == 0)
            field.value = QLatin1String("");
        else
            field.value += QStringLiteral("\r\n");
        field.value += text;
    }

    void fieldLine(const QString &body)
    {
        if (source_.records.isEmpty())
            source_.fail(line_, QStringLiteral("a field stands before the first record"));
        const int colon = body.indexOf(QLatin1Char(':'));
        if (colon <= 0 || body.at(0).isSpace())
            source_.fail(line_, QStringLiteral("expected \"key: value\""));
        Field field;
        field.key = body.left(colon);
        field.line = line_;
        const QString rest = body.mid(colon + 1);
        if (rest.isEmpty())
            field.multiLine = true; // the value stays null until its first line
        else if (rest.startsWith(QLatin1Char(' ')))
            field.value = QLatin1String("") + rest.mid(1); // never null: present means not Null
        else
            source_.fail(line_, QStringLiteral("expected one blank after \"%1:\"").arg(field.key));
        for (const Field &other : std::as_const(source_.records.last().fields)) {
            if (other.key == field.key)
                source_.fail(line_,
                             QStringLiteral("the field \"%1\" is given twice").arg(field.key));
        }
        source_.records.last().fields << field;
    }

    void recordLine(const QString &line)
    {
        if (line.at(0).isSpace())
            source_.fail(line_, QStringLiteral("unexpected indentation"));
        const int blank = line.indexOf(QLatin1Char(' '));
        if (blank <= 0 || blank == line.size() - 1)
            source_.fail(line_, QStringLiteral("expected a record such as \"rune 1\""));
        source_.records << Record{line.left(blank), line.mid(blank + 1), line_, {}};
    }

    SourceFile source_;
    int line_ = 0;
};

// The fields of one record, each value checked where it is read.
class RecordReader {
public:
    RecordReader(const SourceFile &file, const Record &record, const QString &kind,
                 const QStringList &allowed)
        : file_(file), record_(record)
    {
        if (record.kind != kind)
            fail(QStringLiteral("expected a \"%1\" record").arg(kind));
        for (const Field &field : record.fields) {
            if (!allowed.contains(field.key))
                file.fail(field.line, QStringLiteral("unknown field \"%1\"").arg(field.key));
        }
    }

    [[noreturn]] void fail(const QString &message) const { file_.fail(record_.line, message); }

    const Field *find(const QString &key) const
    {
        for (const Field &field : record_.fields) {
            if (field.key == key)
                return &field;
        }
        return nullptr;
    }

    const Field &required(const QString &key) const
    {
        const Field *field = find(key);
        if (!field)
            fail(QStringLiteral("the field \"%1\" is missing").arg(key));
        return *field;
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

    // The record's label as its place in the file: rune 1, rune 2, ...
    int place(int count, int high) const
    {
        const int value = number(record_.label, record_.line, 1, high);
        if (value != count + 1)
            fail(QStringLiteral("%1s must stand in order, 1 to %2").arg(record_.kind).arg(high));
        return value;
    }

    const QString &label() const { return record_.label; }
    const SourceFile &file() const { return file_; }

private:
    const SourceFile &file_;
    const Record &record_;
};

QStringList words(const QString &text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QList<RuneSource> readRunes(const QString &path)
{
    const SourceFile file = RecordParser(path).parse();
    QList<RuneSource> runes;
    for (const Record &record : file.records) {
        const RecordReader reader(file, record, QStringLiteral("rune"),
                                  {QStringLiteral("name"), QStringLiteral("weapons"),
                                   QStringLiteral("helms"), QStringLiteral("shields")});
        RuneSource rune;
        rune.number = reader.place(int(runes.size()), 46);
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

// "runes: 3 0 null": a slot left out holds 0; "null" keeps a Null slot.
void readSlots(const RecordReader &reader, RunewordSource &word)
{
    const Field &field = reader.required(QStringLiteral("runes"));
    const QStringList slots = words(field.value);
    if (slots.size() > 6)
        reader.file().fail(field.line, QStringLiteral("a runeword has at most six runes"));
    int used = 0;
    for (int i = 0; i < 6; ++i) {
        std::optional<int> &rune = word.runes[size_t(i)];
        if (i >= slots.size())
            rune = 0;
        else if (slots[i] == QLatin1String("null"))
            rune = std::nullopt;
        else
            rune = reader.number(slots[i], field.line, 0, 46);
        used += rune.value_or(0) != 0;
    }
    const Field *nrrunes = reader.find(QStringLiteral("nrrunes"));
    if (nrrunes && nrrunes->value == QLatin1String("null"))
        word.nrrunesNull = true;
    else
        word.nrrunes = nrrunes ? reader.number(nrrunes->value, nrrunes->line, 0, 99) : used;
}

// "types: helm belt=null": "=null" keeps a Null item type through an export and a build.
void readTypes(const RecordReader &reader, RunewordSource &word)
{
    const Field &field = reader.required(QStringLiteral("types"));
    for (QString type : words(field.value)) {
        const bool isNull = type.endsWith(QLatin1String("=null"));
        if (isNull)
            type.chop(5);
        size_t index = 0;
        while (index < itemTypeColumns.size() &&
               type.compare(QLatin1String(itemTypeColumns[index]), Qt::CaseInsensitive) != 0)
            ++index;
        if (index == itemTypeColumns.size())
            reader.file().fail(field.line, QStringLiteral("unknown item type \"%1\"").arg(type));
        (isNull ? word.typesNull : word.types)[index] = true;
    }
}

QList<RunewordSource> readRunewords(const QString &path)
{
    const SourceFile file = RecordParser(path).parse();
    QList<RunewordSource> runewords;
    QSet<QString> names;
    QSet<int> ids; // the key of the table: a given id must not meet another's place
    for (const Record &record : file.records) {
        const RecordReader reader(file, record, QStringLiteral("runeword"),
                                  {QStringLiteral("id"), QStringLiteral("runes"),
                                   QStringLiteral("nrrunes"), QStringLiteral("types"),
                                   QStringLiteral("text")});
        RunewordSource word;
        word.name = reader.label();
        if (word.name != word.name.trimmed() || word.name.contains(QLatin1Char('\'')))
            reader.fail(
                QStringLiteral("a runeword name has no apostrophe and no blank at either end"));
        if (names.contains(word.name))
            reader.fail(QStringLiteral("the runeword \"%1\" is given twice").arg(word.name));
        names.insert(word.name);
        readSlots(reader, word);
        const Field *id = reader.find(QStringLiteral("id"));
        if (id)
            word.id = reader.number(id->value, id->line, 1, 2147483647);
        const int key = word.id ? word.id : int(runewords.size()) + 1;
        if (ids.contains(key) && id)
            file.fail(id->line, QStringLiteral("the id %1 is taken by another runeword").arg(key));
        if (ids.contains(key))
            reader.fail(QStringLiteral("the runeword takes its place, %1, as its id, but another "
                                       "runeword has that id; give it an id")
                            .arg(key));
        ids.insert(key);
        readTypes(reader, word);
        if (const Field *text = reader.find(QStringLiteral("text")))
            word.text = text->value;
        runewords << word;
    }
    return runewords;
}

QList<SaveSource> readSaveSources(const QString &path)
{
    const SourceFile file = RecordParser(path).parse();
    QList<SaveSource> saves;
    for (const Record &record : file.records) {
        const RecordReader reader(file, record, QStringLiteral("save"),
                                  {QStringLiteral("name"), QStringLiteral("runes")});
        SaveSource save;
        save.number = reader.place(int(saves.size()), 10);
        // The menus show every slot's name; "name:" alone is the empty one.
        save.name = reader.required(QStringLiteral("name")).value;
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

} // namespace

GameData readGameData(const QString &folder, Saves saves)
{
    const QDir dir(folder);
    GameData data;
    const QString runewords = dir.filePath(QStringLiteral("runewords.txt"));
    data.runes = readRunes(dir.filePath(QStringLiteral("runes.txt")));
    data.runewords = readRunewords(runewords);
    if (saves == Saves::Read)
        data.saves = readSaveSources(dir.filePath(QStringLiteral("saves.txt")));
    data.name = dataName(readSchema(folder), QStringLiteral("--"));
    if (data.name.isEmpty())
        data.name = dataName(readText(runewords), QStringLiteral("#"));
    return data;
}

QString readSchema(const QString &folder)
{
    return readText(QDir(folder).filePath(QStringLiteral("schema.sql")));
}
