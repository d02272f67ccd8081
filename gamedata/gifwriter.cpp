#include "gifwriter.h"

#include <QHash>
#include <QImage>
#include <QVector>

#include <algorithm>
#include <cstdint>
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

void appendWord(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// Collects variable-width codes least significant bit first and cuts the byte stream into
// the length-prefixed sub-blocks GIF wants.
class CodeWriter {
public:
    explicit CodeWriter(QByteArray &out) : out_(out) {}

    void write(int code, int width)
    {
        bits_ |= std::uint32_t(code) << bitCount_;
        bitCount_ += width;
        while (bitCount_ >= 8) {
            pushByte(std::uint8_t(bits_ & 0xff));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
    }

    void finish()
    {
        if (bitCount_ > 0)
            pushByte(std::uint8_t(bits_ & 0xff));
        bits_ = 0;
        bitCount_ = 0;
        flushBlock();
        out_.append('\0');
    }

private:
    void pushByte(std::uint8_t byte)
    {
        block_[blockSize_++] = byte;
        if (blockSize_ == 255)
            flushBlock();
    }

    void flushBlock()
    {
        if (blockSize_ == 0)
            return;
        out_.append(char(blockSize_));
        out_.append(reinterpret_cast<const char *>(block_), blockSize_);
        blockSize_ = 0;
    }

    QByteArray &out_;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    std::uint8_t block_[255] = {};
    int blockSize_ = 0;
};

void compress(QByteArray &out, const std::vector<std::uint8_t> &indices, int minCodeSize)
{
    constexpr int maxCode = 4096;
    const int alphabet = 1 << minCodeSize;
    const int clearCode = alphabet;
    const int endCode = clearCode + 1;

    // child[prefix * alphabet + symbol] is the code for prefix+symbol, 0 when absent (code 0
    // is a single-symbol root and never appears as an extension).
    std::vector<std::uint16_t> child(std::size_t(maxCode) * std::size_t(alphabet), 0);
    int nextCode = endCode + 1;
    int width = minCodeSize + 1;

    CodeWriter writer(out);
    writer.write(clearCode, width);

    int prefix = indices.front();
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const int symbol = indices[i];
        std::uint16_t &slot = child[std::size_t(prefix) * std::size_t(alphabet) + symbol];
        if (slot != 0) {
            prefix = slot;
            continue;
        }
        writer.write(prefix, width);
        slot = std::uint16_t(nextCode++);
        // The decoder learns each entry one code later than we do, so it widens only once the
        // newest entry no longer fits; widening at equality would desynchronise us.
        if (nextCode > (1 << width) && width < 12)
            ++width;
        if (nextCode == maxCode) {
            writer.write(clearCode, width);
            std::fill(child.begin(), child.end(), 0);
            nextCode = endCode + 1;
            width = minCodeSize + 1;
        }
        prefix = symbol;
    }
    writer.write(prefix, width);
    writer.write(endCode, width);
    writer.finish();
}

} // namespace

QByteArray encodeGif(const QImage &image)
{
    if (image.isNull() || image.width() > 0xffff || image.height() > 0xffff)
        return {};

    const IndexedPixels pixels = toIndexed(image);

    int tableBits = 1;
    while ((1 << tableBits) < pixels.palette.size())
        ++tableBits;
    // GIF's LZW cannot start below two bits, even for a two-colour table.
    const int minCodeSize = tableBits < 2 ? 2 : tableBits;

    QByteArray out;
    out.append("GIF89a", 6);
    appendWord(out, image.width());
    appendWord(out, image.height());
    out.append(char(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)));
    out.append('\0'); // background colour index
    out.append('\0'); // square pixels

    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb colour = i < pixels.palette.size() ? pixels.palette[i] : 0;
        out.append(char(qRed(colour)));
        out.append(char(qGreen(colour)));
        out.append(char(qBlue(colour)));
    }

    if (pixels.transparentIndex >= 0) {
        // Graphic Control Extension: no disposal, no delay, transparent colour index given.
        out.append("\x21\xf9\x04\x01", 4);
        appendWord(out, 0);
        out.append(char(pixels.transparentIndex));
        out.append('\0');
    }

    out.append(',');
    appendWord(out, 0);
    appendWord(out, 0);
    appendWord(out, image.width());
    appendWord(out, image.height());
    out.append('\0'); // no local table, not interlaced

    out.append(char(minCodeSize));
    compress(out, pixels.indices, minCodeSize);

    out.append(';');
    return out;
}
