#include "programfont.h"

#include "data/failure.h"

#include <QDir>
#include <QFontDatabase>

void loadProgramFonts(const QString &folder)
{
    const QDir fonts(QDir(folder).filePath(QStringLiteral("fonts")));
    for (const QString &name : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files)) {
        const QString path = fonts.filePath(name);
        if (QFontDatabase::addApplicationFont(path) < 0)
            throw Failure(QStringLiteral("load the program's font"), QDir::toNativeSeparators(path),
                          QStringLiteral("The file is not a font that Qt can read."));
    }
}

QFont programFont()
{
    QFont font;
    // Liberation Sans has the widths of the font the layout was drawn with; the others are
    // only for a build that runs without it.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSizeF(8.25);
    return font;
}

QFont programSerifFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")});
    font.setPointSizeF(8.25);
    return font;
}
