#pragma once

#include <QIcon>
#include <QImage>

// The program's icon: a violet rune stone, drawn in code so that every size is sharp.
QImage programIconImage(int size);
QIcon programIcon();
