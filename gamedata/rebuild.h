#pragma once

#include "gamedata.h"

#include <QString>
#include <QStringList>

#include <functional>

// Makes target a data file of data's game data: one path for the program's upgrade, the data
// tool and the import. With keepSaves, the ten save slots of the file at target replace data's
// own. The new file is built beside target as target + ".partial" and checked before anything
// is replaced; the old file is copied beside it (as target + keep, replacing an older one, or
// else as target + ".backup" until the new one has taken its place in one rename), so that
// target is a whole file at every moment. Returns what the check found wrong in the new file;
// target is then left as it was, and so it is when this throws std::runtime_error.
// step is told of each step as it begins, for a window to show how far it is.
enum class RebuildStep { Build, Check, Replace };
QStringList rebuildDataFile(GameData &data, const QString &schema, const QString &target,
                            bool keepSaves, const QString &keep = {},
                            const std::function<void(RebuildStep)> &step = {});

// The game data of a data file or of a folder of text sources (given by its runewords.txt;
// its saves.txt is not read), checked as the data tool checks a file: every problem, each by
// file and line or by table, row and column. Empty problems when it can be taken in.
struct GameDataSource {
    GameData data;
    QString schema;
    QStringList problems;
};
GameDataSource readGameDataSource(const QString &path);

// What a data file says of its game data.
struct GameDataInfo {
    QString name;     // empty when the data does not name itself
    int version = 0;  // its user_version
    QString imported; // when it was imported (ISO 8601, UTC); empty when it was not
};
// Throws std::runtime_error when the file cannot be read.
GameDataInfo gameDataInfo(const QString &path);

// The version of the game data a data file holds (its user_version), 0 when it has none.
// Throws std::runtime_error when the file cannot be read.
int gameDataVersion(const QString &path);
