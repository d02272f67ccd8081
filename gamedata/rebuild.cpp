#include "rebuild.h"

#include "datafile.h"

#include <QFileInfo>

#include <filesystem>
#include <stdexcept>
#include <system_error>

QStringList rebuildDataFile(GameData &data, const QString &schema, const QString &target,
                            bool keepSaves, const QString &keep,
                            const std::function<void(RebuildStep)> &step)
{
    const auto tell = [&step](RebuildStep now) {
        if (step)
            step(now);
    };
    tell(RebuildStep::Build);
    if (keepSaves)
        data.saves = readDataFile(target).saves;
    NewDataFile fresh(target);
    fresh.write(data, schema);
    tell(RebuildStep::Check);
    const QStringList problems = checkDataFile(fresh.path());
    if (!problems.isEmpty())
        return problems;
    tell(RebuildStep::Replace);
    // The old file stays beside the new one until the new one has taken its place.
    const QString backup = target + (keep.isEmpty() ? QStringLiteral(".backup") : keep);
    std::error_code error;
    const bool existed = std::filesystem::exists(filesystemPath(target), error);
    if (existed) {
        copyReplacing(target, backup, error);
        if (error)
            throw std::runtime_error(
                QStringLiteral("%1: could not keep a backup of the file: %2")
                    .arg(target, QString::fromLocal8Bit(error.message().c_str()))
                    .toStdString());
    }
    fresh.replaceTarget();
    if (existed && keep.isEmpty())
        std::filesystem::remove(filesystemPath(backup), error);
    return {};
}

GameDataSource readGameDataSource(const QString &path)
{
    GameDataSource source;
    const QFileInfo file(path);
    try {
        if (!file.isFile())
            throw std::runtime_error(QStringLiteral("%1: no such file").arg(path).toStdString());
        if (file.fileName().compare(QStringLiteral("runewords.txt"), Qt::CaseInsensitive) == 0) {
            source.data = readGameData(file.path(), Saves::Left);
            source.schema = readSchema(file.path());
            return source;
        }
        // A foreign file is read only once it is known to hold what the program relies on.
        source.problems = checkDataFile(path);
        if (source.problems.isEmpty()) {
            source.data = readDataFile(path);
            source.schema = readDataFileSchema(path);
        }
    } catch (const std::exception &error) {
        source.problems << QString::fromUtf8(error.what());
    }
    return source;
}

int gameDataVersion(const QString &path)
{
    DataConnection db = openDataFile(path, SQLite::OPEN_READONLY);
    try {
        return db.execAndGet("PRAGMA user_version").getInt();
    } catch (const std::exception &error) {
        failOn(path, QStringLiteral("read the game data's version"), error);
    }
}
