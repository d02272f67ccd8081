#include "gifwriter.h"

#include "runepictures.h"
#include "savefile.h"

#include <QDir>
#include <QHash>
#include <QImage>
#include <QSaveFile>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <gif_lib.h>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct IndexedPixels {
    QVector<QRgb> palette;
    std::vector<std::uint8_t> indices; // row by row, no padding
    int transparentIndex = -1;         // the palette entry of fully transparent pixels, if any
};

constexpr int maxColours = 256;

bool isTransparent(QRgb colour)
{
    return qAlpha(colour) == 0;
}

bool hasTransparentPixel(const QImage &argb)
{
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        if (std::any_of(line, line + argb.width(), isTransparent))
            return true;
    }
    return false;
}

// Too many colours: Qt reduces the visible ones, giving up one entry for transparency when
// the picture needs it.
IndexedPixels reduce(const QImage &argb, bool transparent)
{
    QImage opaque(argb.size(), QImage::Format_RGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        auto *to = reinterpret_cast<QRgb *>(opaque.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            to[x] = from[x] | 0xff000000u;
    }
    QImage indexed = opaque.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    if (transparent && indexed.colorCount() >= maxColours) {
        QVector<QRgb> table = indexed.colorTable();
        table.resize(maxColours - 1);
        indexed = opaque.convertToFormat(QImage::Format_Indexed8, table, Qt::DiffuseDither);
    }

    IndexedPixels out;
    for (const QRgb colour : indexed.colorTable())
        out.palette.append(colour | 0xff000000u);
    if (transparent) {
        out.transparentIndex = int(out.palette.size());
        out.palette.append(0);
    }
    out.indices.reserve(std::size_t(argb.width()) * std::size_t(argb.height()));
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        const uchar *index = indexed.constScanLine(y);
        for (int x = 0; x < argb.width(); ++x)
            out.indices.push_back(
                std::uint8_t(isTransparent(line[x]) ? out.transparentIndex : index[x]));
    }
    return out;
}

// Builds an exact palette when the image allows it, so that small-palette pictures survive the
// round trip unchanged; Qt's own conversion may dither or merge colours even when it need not.
// Fully transparent pixels share one entry; any other alpha is dropped.
IndexedPixels toIndexed(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int width = argb.width();
    const int height = argb.height();
    IndexedPixels out;
    out.indices.reserve(std::size_t(width) * std::size_t(height));
    QHash<QRgb, int> indexOf;
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool clear = isTransparent(line[x]);
            // All transparent pixels map to 0 here, which no opaque colour can be.
            const QRgb colour = clear ? 0 : line[x] | 0xff000000u;
            auto it = indexOf.constFind(colour);
            if (it == indexOf.constEnd()) {
                if (out.palette.size() == maxColours)
                    return reduce(argb, hasTransparentPixel(argb));
                if (clear)
                    out.transparentIndex = int(out.palette.size());
                it = indexOf.insert(colour, int(out.palette.size()));
                out.palette.append(colour);
            }
            out.indices.push_back(std::uint8_t(*it));
        }
    }
    return out;
}

// giflib hands the encoded bytes over a piece at a time.
int append(GifFileType *gif, const GifByteType *bytes, int size)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(bytes), size);
    return size;
}

struct MapDeleter {
    void operator()(ColorMapObject *map) const { GifFreeMapObject(map); }
};

} // namespace

QByteArray encodeGif(const QImage &image)
{
    if (image.isNull() || image.width() > 0xffff || image.height() > 0xffff)
        return {};

    IndexedPixels pixels = toIndexed(image);

    // giflib wants a power-of-two table; the unused entries stay black.
    int tableBits = 1;
    while ((1 << tableBits) < pixels.palette.size())
        ++tableBits;
    std::vector<GifColorType> colours(std::size_t(1) << tableBits, GifColorType{0, 0, 0});
    for (int i = 0; i < pixels.palette.size(); ++i)
        colours[std::size_t(i)] = {GifByteType(qRed(pixels.palette[i])),
                                   GifByteType(qGreen(pixels.palette[i])),
                                   GifByteType(qBlue(pixels.palette[i]))};
    const std::unique_ptr<ColorMapObject, MapDeleter> map(
        GifMakeMapObject(int(colours.size()), colours.data()));
    if (!map)
        return {};

    QByteArray out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, append, &error);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    bool written =
        EGifPutScreenDesc(gif, image.width(), image.height(), tableBits, 0, map.get()) == GIF_OK;
    if (written && pixels.transparentIndex >= 0) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, pixels.transparentIndex};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        written = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
    }
    written = written &&
              EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_OK;
    for (int y = 0; written && y < image.height(); ++y)
        written = EGifPutLine(gif, pixels.indices.data() + std::size_t(y) * image.width(),
                              image.width()) == GIF_OK;
    if (EGifCloseFile(gif, &error) != GIF_OK || !written)
        return {};
    return out;
}

void writeRunePictures(const QString &folder)
{
    if (!QDir().mkpath(folder))
        throw std::runtime_error("cannot create folder " + folder.toStdString());

    const QDir dir(folder);
    for (int rune = 1; rune <= runePictureCount; ++rune)
        for (const int scale : {1, 2}) {
            const QString path = dir.filePath(runePictureName(rune, scale));
            const QByteArray data = encodeGif(drawRunePicture(rune, scale));
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() ||
                !commitFlushed(file))
                throw std::runtime_error("cannot write " + path.toStdString() + ": " +
                                         file.errorString().toStdString());
        }
}
