#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <stdexcept>

// The game data as the readable text sources describe it (runes.txt, runewords.txt,
// saves.txt beside schema.sql), and the data file built from them.

struct RuneSource {
    int number = 0;
    QString name;
    QString weapons; // socketed in weapons and gloves
    QString helms;   // in helms, wands, staves and boots
    QString shields; // in shields, armors and belts
};

// The item-type columns, in the order of the table's columns.
inline constexpr std::array<const char *, 9> itemTypeColumns = {
    "armor", "helm", "belt", "boots", "shield", "gloves", "meleeweapon", "missileweapon", "Other"};

struct RunewordSource {
    QString name;
    std::optional<QString> text;              // no text field: Null
    std::array<std::optional<int>, 6> runes;  // 0 for an unused slot; nullopt: Null
    int nrrunes = 0;
    std::array<bool, 9> types{};
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
};

// A fault in a source file, with the file and line it stands on.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

GameData readGameData(const QString &folder);
QString readSchema(const QString &folder);

// Writes a complete data file at path, replacing what was there only once the new file is
// whole. Throws std::runtime_error naming the file and the engine's message.
void writeDataFile(const GameData &data, const QString &schema, const QString &path);

// The saves and their owned runes of an existing data file, for a rebuild that keeps them.
QList<SaveSource> readSaves(const QString &path);
