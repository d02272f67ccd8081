#pragma once

#include <QByteArray>

class QImage;
class QString;

// Encodes the image as a single-frame GIF89a. Images with at most 256 distinct colours (fully
// transparent pixels counting as one) come back pixel for pixel; richer images are reduced by Qt
// first. Fully transparent pixels (alpha 0) become GIF's transparent colour; any other alpha is
// ignored. Returns an empty array for a null image or one larger than GIF can describe.
QByteArray encodeGif(const QImage &image);

// Writes crune1.gif .. crune46.gif and their crune1@2x.gif .. crune46@2x.gif into the folder,
// creating it when missing. Throws std::runtime_error naming the file (or folder) and the reason
// when anything cannot be written.
void writeRunePictures(const QString &folder);
