// tessaly-data: builds the data file newRunewords.mdb from the text sources.

#include "gamedata.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: tessaly-data build [--if-missing | --keep-saves] SOURCES-FOLDER DATA-FILE\n"
               "  --if-missing  leave an existing data file alone (it may hold a player's saves)\n"
               "  --keep-saves  rebuild the game data, carrying the existing file's saves over\n",
               stderr);
    return 2;
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
    if (exists)
        data.saves = readSaves(target);
    writeDataFile(data, readSchema(sources), target);
    std::printf("%s: %d runes, %d runewords, %d saves\n", qPrintable(target), int(data.runes.size()),
                int(data.runewords.size()), int(data.saves.size()));
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
        return usage();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "tessaly-data: %s\n", error.what());
        return 1;
    }
}
