#include "rebuild.h"

#include "datafile.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

QStringList rebuildDataFile(GameData &data, const QString &schema, const QString &target,
                            bool keepSaves)
{
    if (keepSaves)
        data.saves = readDataFile(target).saves;
    NewDataFile fresh(target);
    fresh.write(data, schema);
    const QStringList problems = checkDataFile(fresh.path());
    if (!problems.isEmpty())
        return problems;
    // The old file stays beside the new one until the new one has taken its place.
    namespace fs = std::filesystem;
    const fs::path targetPath = filesystemPath(target);
    const fs::path backup = filesystemPath(target + QStringLiteral(".backup"));
    std::error_code error;
    const bool existed = fs::exists(targetPath, error);
    if (existed && !fs::copy_file(targetPath, backup, fs::copy_options::overwrite_existing, error))
        throw std::runtime_error(QStringLiteral("%1: could not keep a backup of the file: %2")
                                     .arg(target, QString::fromLocal8Bit(error.message().c_str()))
                                     .toStdString());
    fresh.replaceTarget();
    if (existed)
        fs::remove(backup, error);
    return {};
}

int gameDataVersion(const QString &path)
{
    SQLite::Database db = openDataFile(path, SQLite::OPEN_READONLY);
    try {
        return db.execAndGet("PRAGMA user_version").getInt();
    } catch (const std::exception &error) {
        failOn(path, QStringLiteral("read the game data's version"), error);
    }
}
