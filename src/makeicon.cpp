// makeicon: writes the program's icon as a PNG, for the desktop entry.

#include "mainwindow/programicon.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: makeicon OUTPUT.png\n", stderr);
        return 2;
    }
    if (!programIconImage(256).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "makeicon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
