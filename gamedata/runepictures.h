#pragma once

#include <QImage>

class QString;

constexpr int runePictureCount = 46;
constexpr int runePictureWidth = 27;
constexpr int runePictureHeight = 26;

// The picture of rune 1..runePictureCount: an engraved stone tinted by the rune's group.
// The same number always gives the same pixels. Throws std::out_of_range for other numbers.
QImage drawRunePicture(int runeNumber);

// Writes crune1.gif .. crune46.gif into the folder, creating it when missing. Throws
// std::runtime_error naming the file (or folder) and the reason when anything cannot be written.
void writeRunePictures(const QString &folder);
