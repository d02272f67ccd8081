#pragma once

#include "gamedata.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A program folder: the data file and the rune pictures.
struct Dataset {
    QString label;
    int runewords = 0;
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
};

std::unique_ptr<Dataset> makeDataset(const GameData &data, const QString &label);

// Random but valid runewords: unique names, 1 to 6 runes, at least one item type. The shipped
// runes and save slots are kept, so slot 10 holds all 46 runes.
GameData generatedData(int count, const GameData &shipped);
