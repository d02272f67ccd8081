#include "gifwriter.h"

#include <QString>

#include <cstdio>
#include <exception>

// Remakes the rune pictures. No application object: raster painting without text needs none.
int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makerunepictures <output-folder>\n");
        return 1;
    }
    try {
        writeRunePictures(QString::fromLocal8Bit(argv[1]));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "makerunepictures: %s\n", error.what());
        return 1;
    }
    return 0;
}
