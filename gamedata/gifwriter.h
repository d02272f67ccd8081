#pragma once

#include <QByteArray>

class QImage;

// Encodes the image as a single-frame, opaque GIF89a. Images with at most 256 distinct colours
// come back pixel for pixel; richer images are reduced to 256 colours by Qt first. Alpha is
// ignored. Returns an empty array for a null image or one larger than GIF can describe.
QByteArray encodeGif(const QImage &image);
