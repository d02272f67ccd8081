#pragma once

#include "gamedata.h"

#include <QString>
#include <QStringList>

// Makes target a data file of data's game data. With keepSaves, the ten save slots of the
// file at target replace data's own. The new file is built beside target as target + ".new"
// and checked before anything is replaced; the old file stays beside it as target + ".backup"
// until the new one has taken its place in one rename, so that target is a whole file at every
// moment. Returns what the check found wrong in the new file; target is then left as it was,
// and so it is when this throws std::runtime_error.
QStringList rebuildDataFile(GameData &data, const QString &schema, const QString &target,
                            bool keepSaves);

// The version of the game data a data file holds (its user_version), 0 when it has none.
// Throws std::runtime_error when the file cannot be read.
int gameDataVersion(const QString &path);
