#include "gamedata.h"
#include "savefile.h"

#include <QDir>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <stdexcept>

// Writes the text sources in the form textsources.cpp reads.

namespace {

class SourceWriter {
public:
    SourceWriter(const QDir &folder, const char *name, const QStringList &heading)
        : file_(folder.filePath(QLatin1String(name)))
    {
        if (!file_.open(QIODevice::WriteOnly))
            throw std::runtime_error(
                QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString()).toStdString());
        out_.setDevice(&file_);
        for (const QString &text : heading)
            line(QStringLiteral("# ") + text);
    }
    void line(const QString &text) { out_ << text << '\n'; }
    void record(const QString &kind, const QString &label)
    {
        line(QString());
        line(kind + QLatin1Char(' ') + label);
    }
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
        if (out_.status() != QTextStream::Ok || !commitFlushed(file_))
            throw std::runtime_error(
                QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString()).toStdString());
    }

private:
    QSaveFile file_;
    QTextStream out_;
};

void writeRunes(const QDir &folder, const QList<RuneSource> &runes)
{
    SourceWriter out(
        folder, "runes.txt",
        {QStringLiteral(
             "The 46 runes: a record \"rune N\" with name, weapons (weapons and gloves),"),
         QStringLiteral(
             "helms (helms, wands, staves and boots) and shields (shields, armors and belts).")});
    for (const RuneSource &rune : runes) {
        out.record(QStringLiteral("rune"), QString::number(rune.number));
        out.field(QStringLiteral("name"), rune.name);
        out.field(QStringLiteral("weapons"), rune.weapons);
        out.field(QStringLiteral("helms"), rune.helms);
        out.field(QStringLiteral("shields"), rune.shields);
    }
    out.finish();
}

// The inverse of readSlots and readTypes.
void writeRuneword(SourceWriter &out, const RunewordSource &word)
{
    out.record(QStringLiteral("runeword"), word.name);
    if (word.id)
        out.field(QStringLiteral("id"), QString::number(word.id));
    QStringList slots;
    int used = 0;
    for (const std::optional<int> &rune : word.runes) {
        slots << (rune ? QString::number(*rune) : QStringLiteral("null"));
        used += rune.value_or(0) != 0;
    }
    while (!slots.isEmpty() && slots.last() == QLatin1String("0"))
        slots.removeLast();
    out.field(QStringLiteral("runes"), slots.join(QLatin1Char(' ')));
    if (word.nrrunesNull)
        out.field(QStringLiteral("nrrunes"), QStringLiteral("null"));
    else if (word.nrrunes != used)
        out.field(QStringLiteral("nrrunes"), QString::number(word.nrrunes));
    QStringList types;
    for (size_t i = 0; i < itemTypeColumns.size(); ++i) {
        const QString name = QString::fromLatin1(itemTypeColumns[i]).toLower();
        if (word.typesNull[i])
            types << name + QStringLiteral("=null");
        else if (word.types[i])
            types << name;
    }
    out.field(QStringLiteral("types"), types.join(QLatin1Char(' ')));
    if (word.text)
        out.field(QStringLiteral("text"), *word.text);
}

void writeRunewords(const QDir &folder, const QList<RunewordSource> &runewords, const QString &name)
{
    QStringList heading{QStringLiteral("The runewords: a record \"runeword NAME\" with runes "
                                       "(socket order; 0 or null for"),
                        QStringLiteral("an unused slot), types, and text (left out when the "
                                       "runeword has none).")};
    if (!name.isEmpty())
        heading.prepend(QStringLiteral("name: ") + name);
    SourceWriter out(folder, "runewords.txt", heading);
    for (const RunewordSource &word : runewords)
        writeRuneword(out, word);
    out.finish();
}

void writeSaves(const QDir &folder, const QList<SaveSource> &saves)
{
    SourceWriter out(folder, "saves.txt",
                     {QStringLiteral("The ten save slots: a record \"save N\" with its name and "
                                     "the runes it holds.")});
    for (const SaveSource &save : saves) {
        out.record(QStringLiteral("save"), QString::number(save.number));
        out.field(QStringLiteral("name"), save.name);
        QStringList runes;
        for (int rune : save.runes)
            runes << QString::number(rune);
        out.field(QStringLiteral("runes"), runes.join(QLatin1Char(' ')));
    }
    out.finish();
}

} // namespace

void writeSources(const GameData &data, const QString &folder)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        throw std::runtime_error(
            QStringLiteral("%1: cannot make the folder").arg(folder).toStdString());
    writeRunes(dir, data.runes);
    writeRunewords(dir, data.runewords, data.name);
    writeSaves(dir, data.saves);
}
