#include "rebuild.h"

#include "sqlitefile.h"

#include <QFile>

#include <filesystem>
#include <system_error>

namespace {

[[noreturn]] void fail(const QString &path, const QString &what, const std::error_code &error)
{
    throw std::runtime_error(QStringLiteral("%1: could not %2: %3")
                                 .arg(path, what, QString::fromLocal8Bit(error.message().c_str()))
                                 .toStdString());
}

} // namespace

QStringList rebuildDataFile(GameData &data, const QString &schema, const QString &target,
                            bool keepSaves)
{
    if (keepSaves)
        data.saves = readDataFile(target).saves;
    const QString fresh = target + QStringLiteral(".new");
    writeDataFile(data, schema, fresh);
    const QStringList problems = checkDataFile(fresh);
    if (!problems.isEmpty()) {
        QFile::remove(fresh);
        return problems;
    }
    namespace fs = std::filesystem;
    const fs::path targetPath(QFile::encodeName(target).toStdString());
    const fs::path backup(QFile::encodeName(target + QStringLiteral(".backup")).toStdString());
    std::error_code error;
    const bool existed = fs::exists(targetPath, error);
    if (existed) {
        fs::copy_file(targetPath, backup, fs::copy_options::overwrite_existing, error);
        if (error) {
            QFile::remove(fresh);
            fail(target, QStringLiteral("keep a backup of the file"), error);
        }
    }
    // Unlike QFile::rename, this replaces the old file in one step.
    fs::rename(QFile::encodeName(fresh).toStdString(), targetPath, error);
    if (error) {
        QFile::remove(fresh);
        fail(target, QStringLiteral("move the new file into place"), error);
    }
    if (existed)
        fs::remove(backup, error);
    return {};
}

int gameDataVersion(const QString &path)
{
    SqliteFile file(path, SQLITE_OPEN_READONLY);
    Statement version(file, QStringLiteral("PRAGMA user_version"));
    const bool read = version.next();
    if (!version.error().isEmpty() || !read)
        throw std::runtime_error(QStringLiteral("%1: could not read the game data's version: %2")
                                     .arg(path, version.error())
                                     .toStdString());
    return int(version.integer(0));
}
