// makeicon: writes the program's icon as a PNG, for the desktop entry and the icon theme.

#include "mainwindow/programicon.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int size = argc == 3 ? std::atoi(argv[2]) : 256;
    if ((argc != 2 && argc != 3) || size < 16 || size > 1024) {
        std::fputs("usage: makeicon OUTPUT.png [SIZE]\n", stderr);
        return 2;
    }
    if (!programIconImage(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "makeicon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
