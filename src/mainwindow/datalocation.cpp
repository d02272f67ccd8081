#include "datalocation.h"

#include "data/failure.h"
#include "datafile.h"
#include "gamedata.h"
#include "rebuild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

const QString fileName = QStringLiteral("newRunewords.mdb");
const QString portableMarker = QStringLiteral(".portable");

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The shipped file must be whole before anything is made from it.
void requireSound(const QString &shipped)
{
    QStringList problems;
    try {
        problems = checkDataFile(shipped);
    } catch (const std::exception &error) {
        problems << QString::fromUtf8(error.what());
    }
    if (!problems.isEmpty())
        throw Failure(QStringLiteral("use the game data that came with the program"),
                      native(shipped),
                      QStringLiteral("The file is damaged:\n") + problems.join(QLatin1Char('\n')));
}

// Whether the program may change the file and make the engine's journal beside it. Tried
// rather than read from the modes: Windows' permissions are not what they say, and Wine
// enforces none.
bool canWrite(const QString &folder, const QString &file)
{
    QFile data(file);
    if (!data.open(QIODevice::ReadWrite))
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("tessaly-XXXXXX")));
    return probe.open();
}

void makeFolder(const QString &folder)
{
    std::error_code error;
    std::filesystem::create_directories(filesystemPath(folder), error);
    if (error || !QFileInfo(folder).isWritable())
        throw Failure(QStringLiteral("make the folder for your data file"), native(folder),
                      error ? QString::fromLocal8Bit(error.message().c_str())
                            : QStringLiteral("The folder cannot be written to."));
}

// Copies the shipped file under a temporary name and renames it into place, so that an
// interrupted start never leaves half a file where the program looks for one.
void copyShipped(const QString &shipped, const QString &copy)
{
    const QString partial = copy + QStringLiteral(".partial");
    QFile::remove(partial);
    QFile source(shipped);
    if (!source.copy(partial))
        throw Failure(QStringLiteral("make your own copy of the game data"), native(copy),
                      source.errorString());
    // The shipped file may be read-only; the copy holds the player's saves.
    QFile::setPermissions(partial,
                          QFile::permissions(partial) | QFile::ReadOwner | QFile::WriteOwner);
    // QFile::rename never replaces an existing file: one made meanwhile is kept.
    QFile made(partial);
    if (!made.rename(copy)) {
        const QString reason = made.errorString();
        QFile::remove(partial);
        if (!QFileInfo::exists(copy))
            throw Failure(QStringLiteral("make your own copy of the game data"), native(copy),
                          reason);
    }
}

void upgrade(const QString &shipped, const QString &copy)
{
    const QString attempted = QStringLiteral("bring the game data of your data file up to date");
    const QString untouched = QStringLiteral("\nYour file and its saves were left as they were.");
    QStringList problems;
    try {
        GameData data = readDataFile(shipped);
        problems = rebuildDataFile(data, readDataFileSchema(shipped), copy, true);
    } catch (const std::exception &error) {
        throw Failure(attempted, native(copy), QString::fromUtf8(error.what()) + untouched);
    }
    if (!problems.isEmpty())
        throw Failure(attempted, native(copy),
                      QStringLiteral("The new file would not be sound:\n") +
                          problems.join(QLatin1Char('\n')) + untouched);
}

// The folder of the file the program came with: a portable folder the player cannot write
// ships its file as an install does. Throws Failure naming every folder searched.
QString findShippedFolder(const QString &programFolder, const QStringList &sharedFolders)
{
    QStringList candidates = sharedFolders;
    if (QFileInfo(QDir(programFolder).filePath(fileName)).isFile())
        candidates.prepend(programFolder);
    for (const QString &folder : std::as_const(candidates)) {
        if (QFileInfo(QDir(folder).filePath(fileName)).isFile())
            return folder;
    }
    QStringList searched;
    for (const QString &folder : std::as_const(candidates))
        searched << native(folder);
    throw Failure(QStringLiteral("find the game data that came with the program"),
                  searched.join(QLatin1Char('\n')),
                  QStringLiteral("None of these folders holds %1.").arg(fileName));
}

// Makes the player's copy on the first start, and brings its game data up to date when the
// shipped data is newer. Game data the player imported is theirs and stays as it is.
void prepareCopy(const QString &shipped, const QString &userFolder, const QString &copy)
{
    if (!QFileInfo::exists(copy)) {
        requireSound(shipped);
        makeFolder(userFolder);
        copyShipped(shipped, copy);
        return;
    }
    int shippedVersion = 0;
    try {
        shippedVersion = gameDataVersion(shipped);
    } catch (const std::exception &error) {
        throw Failure(QStringLiteral("use the game data that came with the program"),
                      native(shipped), QString::fromUtf8(error.what()));
    }
    GameDataInfo mine;
    try {
        mine = gameDataInfo(copy);
    } catch (const std::exception &) {
        // Opening it reports what is wrong with it, in the data layer's words.
        return;
    }
    if (shippedVersion > mine.version && mine.imported.isEmpty()) {
        requireSound(shipped);
        upgrade(shipped, copy);
    }
}

} // namespace

DataLocation locateData(const QString &programFolder, const QString &userFolder,
                        const QStringList &sharedFolders)
{
    // A folder is portable when it says so. An install's folder may be writable too (a
    // per-user install on Windows), and its file is then still only the shipped one.
    const QString beside = QDir(programFolder).filePath(fileName);
    const bool portable = QFileInfo::exists(QDir(programFolder).filePath(portableMarker));
    if (portable && QFileInfo(beside).isFile() && canWrite(programFolder, beside))
        return {beside, programFolder};
    const QString shippedFolder = findShippedFolder(programFolder, sharedFolders);
    const QString copy = QDir(userFolder).filePath(fileName);
    prepareCopy(QDir(shippedFolder).filePath(fileName), userFolder, copy);
    return {copy, shippedFolder};
}

DataLocation locateData()
{
    const QString program = QCoreApplication::applicationDirPath();
    QStringList shared{QDir::cleanPath(program + QStringLiteral("/../share/tessaly"))};
    for (const QString &folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        shared << QDir(folder).filePath(QStringLiteral("tessaly"));
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    shared.removeDuplicates();
    shared.removeAll(user);
    return locateData(program, user, shared);
}
