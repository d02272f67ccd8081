#include "gifwriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <exception>

// Remakes the rune pictures. Raster painting without text needs no GUI application; the core
// one gives the folder's name as the system has it.
int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    if (QCoreApplication::arguments().size() != 2) {
        std::fprintf(stderr, "usage: makerunepictures <output-folder>\n");
        return 1;
    }
    try {
        writeRunePictures(QCoreApplication::arguments().at(1));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "makerunepictures: %s\n", error.what());
        return 1;
    }
    return 0;
}
