// makeicon: writes the program's icon, as a PNG for the desktop entry and the icon theme, or as
// a Windows icon file (.ico) holding the sizes Windows shows, for the program's resources.

#include "mainwindow/programicon.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <iterator>

namespace {

void put16(QByteArray &bytes, int value)
{
    bytes.append(char(value & 0xff)).append(char(value >> 8 & 0xff));
}

void put32(QByteArray &bytes, qint64 value)
{
    put16(bytes, int(value & 0xffff));
    put16(bytes, int(value >> 16 & 0xffff));
}

// An icon directory of PNG images, which Windows reads since Vista.
QByteArray windowsIcon()
{
    const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
    const int count = int(std::size(sizes));
    QByteArray header;
    QByteArray images;
    put16(header, 0);
    put16(header, 1); // an icon, not a cursor
    put16(header, count);
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        programIconImage(size).save(&buffer, "PNG");
        header.append(char(size % 256)).append(char(size % 256)); // 0 stands for 256
        header.append(char(0)).append(char(0));                   // no palette
        put16(header, 1);                                         // planes
        put16(header, 32);                                        // bits per pixel
        put32(header, png.size());
        put32(header, 6 + 16 * count + images.size());
        images += png;
    }
    return header + images;
}

} // namespace

int main(int argc, char **argv)
{
    // Its arguments as the system gives them, whatever the folder's name: on Windows not through
    // the ANSI code page.
    const QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int size = arguments.size() == 3 ? arguments[2].toInt() : 256;
    if ((arguments.size() != 2 && arguments.size() != 3) || size < 16 || size > 1024) {
        std::fputs("usage: makeicon OUTPUT.png [SIZE]\n       makeicon OUTPUT.ico\n", stderr);
        return 2;
    }
    const QString output = arguments[1];
    bool written = false;
    if (output.endsWith(QLatin1String(".ico"))) {
        QFile file(output);
        written = file.open(QIODevice::WriteOnly) && file.write(windowsIcon()) > 0 && file.flush();
    } else {
        written = programIconImage(size).save(output, "PNG");
    }
    if (!written) {
        std::fprintf(stderr, "makeicon: cannot write %s\n", qUtf8Printable(output));
        return 1;
    }
    return 0;
}
