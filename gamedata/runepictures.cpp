#include "runepictures.h"

#include <QColor>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Glyphs are built on a 3x3 grid of points, numbered row by row. A glyph is kept as the set of
// unit segments (neighbouring points, diagonals included) it covers, so that one long stroke
// and the two short ones it consists of count as the same glyph.
struct Segment {
    int from;
    int to;
};

struct Glyph {
    std::vector<Segment> strokes;
    std::uint32_t units = 0;
};

constexpr int gridX[3] = {7, 13, 19};
constexpr int gridY[3] = {6, 12, 18};

int rowOf(int point)
{
    return point / 3;
}
int colOf(int point)
{
    return point % 3;
}

std::vector<Segment> unitSegments()
{
    std::vector<Segment> units;
    for (int a = 0; a < 9; ++a)
        for (int b = a + 1; b < 9; ++b)
            if (std::abs(rowOf(a) - rowOf(b)) <= 1 && std::abs(colOf(a) - colOf(b)) <= 1)
                units.push_back({a, b});
    return units;
}

int unitIndex(const std::vector<Segment> &units, int a, int b)
{
    for (std::size_t i = 0; i < units.size(); ++i)
        if ((units[i].from == a && units[i].to == b) || (units[i].from == b && units[i].to == a))
            return int(i);
    return -1;
}

// Straight strokes only: along a row, a column or a diagonal, one or two grid steps long.
std::vector<Segment> candidateStrokes()
{
    std::vector<Segment> strokes;
    for (int a = 0; a < 9; ++a)
        for (int b = a + 1; b < 9; ++b) {
            const int dr = std::abs(rowOf(a) - rowOf(b));
            const int dc = std::abs(colOf(a) - colOf(b));
            if (dr == 0 || dc == 0 || dr == dc)
                strokes.push_back({a, b});
        }
    return strokes;
}

std::uint32_t unitsOf(const std::vector<Segment> &units, Segment stroke)
{
    const int dr = rowOf(stroke.to) - rowOf(stroke.from);
    const int dc = colOf(stroke.to) - colOf(stroke.from);
    const int steps = std::max(std::abs(dr), std::abs(dc));
    const int step = (dr / steps) * 3 + dc / steps;
    std::uint32_t mask = 0;
    for (int p = stroke.from, i = 0; i < steps; ++i, p += step)
        mask |= 1u << unitIndex(units, p, p + step);
    return mask;
}

bool isConnected(const std::vector<Segment> &units, std::uint32_t mask)
{
    std::array<int, 9> parent{};
    for (int i = 0; i < 9; ++i)
        parent[i] = i;
    auto root = [&](int p) {
        while (parent[p] != p)
            p = parent[p];
        return p;
    };
    std::uint32_t touched = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (!(mask & (1u << i)))
            continue;
        parent[root(units[i].from)] = root(units[i].to);
        touched |= (1u << units[i].from) | (1u << units[i].to);
    }
    // The two diagonals of one cell cross in its middle, which reads as joined.
    for (std::size_t i = 0; i < units.size(); ++i)
        for (std::size_t j = 0; j < units.size(); ++j) {
            const Segment a = units[i], b = units[j];
            if ((mask & (1u << i)) && (mask & (1u << j)) && a.to - a.from == 4 &&
                b.to - b.from == 2 && a.from + 1 == b.from && colOf(a.from) < 2)
                parent[root(a.from)] = root(b.from);
        }
    int firstRoot = -1;
    for (int p = 0; p < 9; ++p) {
        if (!(touched & (1u << p)))
            continue;
        if (firstRoot < 0)
            firstRoot = root(p);
        else if (root(p) != firstRoot)
            return false;
    }
    return true;
}

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Every rune starts from a tall stem (a column or a corner-to-corner diagonal) so the glyphs
// read as carved letters rather than scribbles; one to three more strokes branch off it.
// Candidates are drawn from a per-rune code and rejected until connected and unused.
std::vector<Glyph> makeGlyphs()
{
    const std::vector<Segment> units = unitSegments();
    const std::vector<Segment> strokes = candidateStrokes();
    // The centre column is listed twice because most carved letters have a central staff.
    const Segment stems[] = {{0, 6}, {1, 7}, {2, 8}, {1, 7}, {0, 8}, {2, 6}};

    std::vector<Glyph> glyphs;
    for (int rune = 1; rune <= runePictureCount; ++rune) {
        for (std::uint64_t attempt = 0;; ++attempt) {
            std::uint64_t code = mix(std::uint64_t(rune) << 32 | attempt);
            Glyph glyph;
            glyph.strokes.push_back(stems[code % 6]);
            code /= 6;
            const int count = 2 + int(code % 3);
            code /= 3;
            bool redundant = false;
            glyph.units = unitsOf(units, glyph.strokes.front());
            while (int(glyph.strokes.size()) < count) {
                const Segment stroke = strokes[code % strokes.size()];
                code /= strokes.size();
                const std::uint32_t added = unitsOf(units, stroke);
                redundant = redundant || (added & ~glyph.units) == 0;
                glyph.units |= added;
                glyph.strokes.push_back(stroke);
            }
            if (redundant || !isConnected(units, glyph.units))
                continue;
            bool used = false;
            for (const Glyph &other : glyphs)
                used = used || other.units == glyph.units;
            if (used)
                continue;
            glyphs.push_back(glyph);
            break;
        }
    }
    return glyphs;
}

const std::vector<Glyph> &glyphs()
{
    static const std::vector<Glyph> all = makeGlyphs();
    return all;
}

QColor groupTint(int rune)
{
    static const QColor tints[] = {
        QColor(0xc8, 0xc8, 0xc2), // pale grey-white
        QColor(0xa6, 0x4a, 0x32), // rust red
        QColor(0xd6, 0xc2, 0x7c), // pale gold
        QColor(0xcc, 0x88, 0x2a), // amber
        QColor(0x5c, 0x98, 0x4c), // green
        QColor(0x8a, 0x68, 0x46), // earthy brown
        QColor(0x8c, 0x5c, 0xb0), // violet
    };
    return tints[(rune - 1) / 7];
}

// A stone's colours, from its group's tint.
struct StoneColours {
    explicit StoneColours(const QColor &tint)
        : body(tint), rimLight(tint.lighter(135)), rimDark(tint.darker(175)),
          grooveShadow(tint.darker(330)), grooveFloor(tint.darker(210)), lip(tint.lighter(118)),
          fleck(tint.darker(118))
    {
    }
    QColor body, rimLight, rimDark, grooveShadow, grooveFloor, lip, fleck;
};

// White where draw paints, black elsewhere.
QImage mask(QSize size, const std::function<void(QPainter &)> &draw)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    draw(painter);
    return image;
}

// A stone with its grooves cut, at one scale, and the colour each of its pixels takes.
struct CarvedStone {
    int s;
    QImage stoneMask;  // white inside the stone
    QImage grooveLine; // white on the grooves' one-pixel lines
    StoneColours colours;
    std::uint64_t grainSeed;

    bool inStone(int x, int y) const
    {
        return stoneMask.valid(x, y) && qRed(stoneMask.pixel(x, y)) != 0;
    }
    bool onLine(int x, int y) const
    {
        return grooveLine.valid(x, y) && qRed(grooveLine.pixel(x, y)) != 0;
    }
    // Grooves are the one-pixel lines widened right and down, to two pixels at scale 1.
    bool inGroove(int x, int y) const
    {
        for (int dy = 0; dy < 2 * s; ++dy)
            for (int dx = 0; dx < 2 * s; ++dx)
                if (onLine(x - dx, y - dy))
                    return true;
        return false;
    }
    // Whether a pixel within the scale's width in one direction (dx, dy) is inside.
    template <typename Inside> bool near(const Inside &inside, int x, int y, int dx, int dy) const
    {
        for (int i = 1; i <= s; ++i)
            if (inside(x + i * dx, y + i * dy))
                return true;
        return false;
    }

    // The colour of a pixel inside the stone. Light falls from the top left: the stone's upper
    // rim and each groove's far lip catch it, the groove's near wall and the stone's lower rim
    // are in shade.
    QColor shade(int x, int y) const
    {
        const auto outside = [this](int px, int py) { return !inStone(px, py); };
        const auto outsideGroove = [this](int px, int py) { return !inGroove(px, py); };
        const auto groove = [this](int px, int py) { return inGroove(px, py); };
        if (inGroove(x, y))
            return near(outsideGroove, x, y, -1, 0) || near(outsideGroove, x, y, 0, -1)
                       ? colours.grooveShadow
                       : colours.grooveFloor;
        if (near(outside, x, y, 1, 0) || near(outside, x, y, 0, 1))
            return colours.rimDark;
        if (near(outside, x, y, -1, 0) || near(outside, x, y, 0, -1))
            return colours.rimLight;
        if (near(groove, x, y, -1, 0) || near(groove, x, y, 0, -1))
            return colours.lip;
        // The same flecks at every scale, each a scale's square.
        if (mix(grainSeed | std::uint64_t(y / s * 32 + x / s)) % 11 == 0)
            return colours.fleck;
        return colours.body;
    }
};

} // namespace

QImage drawRunePicture(int runeNumber, int scale)
{
    if (runeNumber < 1 || runeNumber > runePictureCount)
        throw std::out_of_range("rune number " + std::to_string(runeNumber) + " is not 1.." +
                                std::to_string(runePictureCount));
    if (scale < 1)
        throw std::out_of_range("scale " + std::to_string(scale) + " is not 1 or more");

    // Drawn at its size rather than enlarged, so that curves and diagonals stay fine; every
    // width below is a multiple of the scale, so that the picture keeps its proportions.
    const int s = scale;
    const QRect stone(2 * s, 2 * s, 23 * s, 21 * s);

    // Outside the stone the picture is transparent, so the tile's colour shows around it.
    QImage picture(runePictureWidth * s, runePictureHeight * s, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    // Antialiasing stays off: at this size blended edges turn to mud and would also give the
    // GIF more colours than the shading needs.
    const QImage stoneMask = mask(picture.size(), [&](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(stone, 6 * s, 6 * s);
    });
    const QImage grooveLine = mask(picture.size(), [&](QPainter &painter) {
        painter.setPen(QPen(Qt::white, 1));
        for (const Segment &g : glyphs()[std::size_t(runeNumber - 1)].strokes)
            painter.drawLine(gridX[colOf(g.from)] * s, gridY[rowOf(g.from)] * s,
                             gridX[colOf(g.to)] * s, gridY[rowOf(g.to)] * s);
    });

    // The grain is shared by a group, so within it the glyph alone tells runes apart.
    const std::uint64_t grainSeed = std::uint64_t((runeNumber - 1) / 7 + 1) << 16;
    const CarvedStone carved{s, stoneMask, grooveLine, StoneColours(groupTint(runeNumber)),
                             grainSeed};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            if (carved.inStone(x, y))
                picture.setPixelColor(x, y, carved.shade(x, y));
        }
    // Painted at the small picture's size, as the program shows the file.
    picture.setDevicePixelRatio(s);
    return picture;
}

QString runePictureName(int runeNumber, int scale)
{
    return scale == 1 ? QStringLiteral("crune%1.gif").arg(runeNumber)
                      : QStringLiteral("crune%1@%2x.gif").arg(runeNumber).arg(scale);
}
