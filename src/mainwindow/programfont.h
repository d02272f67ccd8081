#pragma once

#include <QFont>
#include <QString>

// The window layout is measured in twips for one font; with a wider one captions are cut off.
// The program brings that font: a portable folder holds it in fonts/ beside the program, a
// system package depends on the font package. Throws Failure when a file there cannot be read.
void loadProgramFonts(const QString &folder);

// The font of every window, and the serif one of the revert button.
QFont programFont();
QFont programSerifFont();
