#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its data file and finds its pictures.
//
// Portable: in a folder marked by a file named .portable beside the program, the data file
// there is used as it is, if the program can write it and the folder. Installed: the player's
// own copy in their data folder. The first start makes it from the read-only file the install
// ships (or from a portable folder's file the player cannot write); when the shipped game
// data is newer than the copy's, the copy is rebuilt from it with its saves kept, unless the
// player imported game data of their own (gameDataInfo). An existing copy is never
// overwritten otherwise. Throws Failure naming the path and the reason.
struct DataLocation {
    QString dataFile;
    // The folder with CRunes/ (and, in a portable folder, fonts/).
    QString shippedFolder;
};

// programFolder: the folder of the executable; userFolder: the player's data folder;
// sharedFolders: where an install ships its data, the preferred first.
DataLocation locateData(const QString &programFolder, const QString &userFolder,
                        const QStringList &sharedFolders);

// The folders of this process: its executable's, QStandardPaths::AppDataLocation, and
// share/tessaly beside the executable's bin folder, then in every XDG data folder.
DataLocation locateData();
