#pragma once

#include "itemtypes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <stdexcept>

// The game data as the readable text sources describe it (runes.txt, runewords.txt,
// saves.txt beside schema.sql), and the data file built from them.

// A null QString stands for a Null value in the file.
struct RuneSource {
    int number = 0;
    QString name;
    QString weapons; // socketed in weapons and gloves
    QString helms;   // in helms, wands, staves and boots
    QString shields; // in shields, armors and belts
};

struct RunewordSource {
    QString name;
    std::optional<QString> text;             // no text field: Null
    std::array<std::optional<int>, 6> runes; // 0 for an unused slot; nullopt: Null
    int nrrunes = 0;
    bool nrrunesNull = false;
    std::array<bool, 9> types{};
    std::array<bool, 9> typesNull{};
    int id = 0; // 0: its place in the file, counted from 1
};

struct SaveSource {
    int number = 0;
    QString name;
    QList<int> runes;
};

struct GameData {
    QList<RuneSource> runes;
    QList<RunewordSource> runewords;
    QList<SaveSource> saves;
    // What the data calls itself ("Stormcoast 2.6"); empty when it does not say.
    QString name;
    // When it was imported into a player's file (ISO 8601, UTC); empty for data that was not.
    QString imported;
};

// A fault in a source file, with the file and line it stands on.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text sources (textsources.cpp). A source file that is not UTF-8 text is refused, by its
// first line that is not. Without saves, saves.txt is not read. The data's name comes from a
// line "-- name: ..." of schema.sql or "# name: ..." of runewords.txt, the first found.
enum class Saves { Read, Left };
GameData readGameData(const QString &folder, Saves saves = Saves::Read);
QString readSchema(const QString &folder);
// Writes runes.txt, runewords.txt and saves.txt into folder.
void writeSources(const GameData &data, const QString &folder);

// The data file (datafile.cpp).

// A data file made beside its target, which it replaces only once it is whole. Until then a
// failure, or leaving the scope, removes it with its journal and leaves the target as it was.
class NewDataFile {
public:
    explicit NewDataFile(const QString &target);
    ~NewDataFile();
    NewDataFile(const NewDataFile &) = delete;
    NewDataFile &operator=(const NewDataFile &) = delete;

    QString path() const { return path_; }
    // Makes the structure from the schema's SQL text and stores the data in one transaction.
    // Throws std::runtime_error naming the target, the table and row, and the engine's message.
    void write(const GameData &data, const QString &schema);
    // Moves the new file over the target in one step.
    void replaceTarget();

private:
    void removeFiles() const;

    QString target_;
    QString path_;
    bool placed_ = false;
};

// Writes a complete data file at path through a NewDataFile.
void writeDataFile(const GameData &data, const QString &schema, const QString &path);

// Reads a data file back into game data. Throws std::runtime_error naming the table, row and
// column of a value the text sources cannot hold.
GameData readDataFile(const QString &path);
// The structure of a data file (tables, views, triggers, indexes) as SQL text.
QString readDataFileSchema(const QString &path);

// The check (checkfile.cpp): everything in a data file that the program relies on and that
// does not hold, one line each, naming the table or query, the row and the column. Empty when
// the file is sound.
QStringList checkDataFile(const QString &path);
