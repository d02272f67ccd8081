// tessaly-data: builds the data file newRunewords.mdb from the text sources, checks a data
// file against what the program relies on, and exports one back to text sources.

#include "gamedata.h"
#include "rebuild.h"
#include "savefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

int usage()
{
    std::fputs(
        "usage:\n"
        "  tessaly-data build [--if-missing | --keep-saves] SOURCES-FOLDER DATA-FILE\n"
        "      --if-missing  leave an existing data file alone (it may hold a player's saves)\n"
        "      --keep-saves  rebuild the game data, carrying the existing file's saves over\n"
        "  tessaly-data check DATA-FILE\n"
        "  tessaly-data export DATA-FILE FOLDER\n"
        "exit status: 0 done (check: the file is sound), 1 failed, 2 usage\n",
        stderr);
    return 2;
}

int report(const QString &path, const QStringList &problems)
{
    for (const QString &problem : problems)
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(problem));
    if (!problems.isEmpty())
        std::fprintf(stderr, "%s: %d problem(s)\n", qPrintable(path), int(problems.size()));
    return problems.isEmpty() ? 0 : 1;
}

// The verdict, and what the file says of its game data once it can be read.
int check(const QString &path)
{
    const QStringList problems = checkDataFile(path);
    if (problems.isEmpty()) {
        const GameDataInfo info = gameDataInfo(path);
        std::printf(
            "%s: game data \"%s\", version %d, %s\n", qPrintable(path),
            qPrintable(info.name.isEmpty() ? QStringLiteral("(no name)") : info.name), info.version,
            qPrintable(info.imported.isEmpty() ? QStringLiteral("not imported")
                                               : QStringLiteral("imported %1").arg(info.imported)));
    }
    return report(path, problems);
}

int build(QStringList args)
{
    const bool ifMissing = args.removeAll(QStringLiteral("--if-missing")) > 0;
    const bool keepSaves = args.removeAll(QStringLiteral("--keep-saves")) > 0;
    if (args.size() != 2 || (ifMissing && keepSaves))
        return usage();
    const QString sources = args[0];
    const QString target = args[1];
    const bool exists = QFileInfo::exists(target);
    if (exists && ifMissing) {
        std::printf("%s exists and may hold saves: left as it is\n", qPrintable(target));
        return 0;
    }
    if (exists && !keepSaves) {
        std::fprintf(stderr, "%s exists; use --keep-saves to rebuild it with its saves\n",
                     qPrintable(target));
        return 1;
    }
    GameData data = readGameData(sources);
    if (report(target + QStringLiteral(".partial"),
               rebuildDataFile(data, readSchema(sources), target, exists)) != 0)
        return 1;
    std::printf("%s: %d runes, %d runewords, %d saves%s\n", qPrintable(target),
                int(data.runes.size()), int(data.runewords.size()), int(data.saves.size()),
                qPrintable(data.name.isEmpty() ? QString()
                                               : QStringLiteral(", named \"%1\"").arg(data.name)));
    return 0;
}

int exportFile(const QStringList &args)
{
    if (args.size() != 2)
        return usage();
    const QString folder = args[1];
    writeSources(readDataFile(args[0]), folder);
    QSaveFile schema(QDir(folder).filePath(QStringLiteral("schema.sql")));
    if (!schema.open(QIODevice::WriteOnly) ||
        schema.write(readDataFileSchema(args[0]).toUtf8()) < 0 || !commitFlushed(schema)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(schema.fileName()),
                     qPrintable(schema.errorString()));
        return 1;
    }
    std::printf("%s: exported to %s\n", qPrintable(args[0]), qPrintable(folder));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    try {
        if (command == QLatin1String("build"))
            return build(args);
        if (command == QLatin1String("check")) {
            if (args.size() != 1)
                return usage();
            if (!QFileInfo(args[0]).isFile()) {
                std::fprintf(stderr, "%s: no such file\n", qPrintable(args[0]));
                return 1;
            }
            return check(args[0]);
        }
        if (command == QLatin1String("export"))
            return exportFile(args);
        return usage();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "tessaly-data: %s\n", error.what());
        return 1;
    }
}
