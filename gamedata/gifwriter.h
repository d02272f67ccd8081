#pragma once

#include <QByteArray>

class QImage;

// Encodes the image as a single-frame GIF89a. Images with at most 256 distinct colours (fully
// transparent pixels counting as one) come back pixel for pixel; richer images are reduced by Qt
// first. Fully transparent pixels (alpha 0) become GIF's transparent colour; any other alpha is
// ignored. Returns an empty array for a null image or one larger than GIF can describe.
QByteArray encodeGif(const QImage &image);
