#pragma once

#include <QImage>

class QString;

constexpr int runePictureCount = 46;
constexpr int runePictureWidth = 27;
constexpr int runePictureHeight = 26;

// The picture of rune 1..runePictureCount: an engraved stone tinted by the rune's group, drawn
// scale times as wide and high, with that device pixel ratio, for screens of that density. The
// same number and scale always give the same pixels. Throws std::out_of_range for other numbers
// and scales below 1.
QImage drawRunePicture(int runeNumber, int scale = 1);

// The file name of a rune's picture: crune12.gif, and crune12@2x.gif at scale 2.
QString runePictureName(int runeNumber, int scale = 1);
