#include "programfont.h"

#include "data/failure.h"

#include <QDir>
#include <QFontDatabase>

#include <algorithm>

namespace {

// The window was drawn for a bitmap font, whose glyphs stand on whole pixels. Fully hinted,
// each glyph is also drawn once at its size rather than once for each quarter-pixel position
// it meets: half the glyph work of the window's first paint.
constexpr QFont::HintingPreference wholePixelGlyphs = QFont::PreferFullHinting;

} // namespace

void loadProgramFonts(const QString &folder)
{
    const QDir fonts(QDir(folder).filePath(QStringLiteral("fonts")));
    for (const QString &name : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files)) {
        const QString path = fonts.filePath(name);
        if (QFontDatabase::addApplicationFont(path) < 0)
            throw Failure(QStringLiteral("load the program's font"), QDir::toNativeSeparators(path),
                          QStringLiteral("The file is not a font that Qt can read."));
    }
}

QFont programFont()
{
    QFont font;
    // Liberation Sans has the widths of the font the layout was drawn with; the others are
    // only for a build that runs without it.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSizeF(8.25);
    font.setHintingPreference(wholePixelGlyphs);
    return font;
}

QFont programSerifFont()
{
    QStringList families = {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")};
    // Qt looks up the fallbacks of a missing first family before it takes the next one, which
    // heads those fallbacks: asked for that one alone, it gives the same font without the
    // search (over a million instructions of the first paint). A family the database lists
    // more than once carries its foundry in brackets. Start-up within 1.6 times the empty
    // window: without this and NoFontMerging the button's font measured 5 million instructions.
    const QStringList installed = QFontDatabase::families();
    const auto has = [&installed](const QString &family) {
        return std::any_of(installed.begin(), installed.end(), [&family](const QString &name) {
            return name.compare(family, Qt::CaseInsensitive) == 0 ||
                   name.startsWith(family + QStringLiteral(" ["), Qt::CaseInsensitive);
        });
    };
    if (!has(families.first()) && has(families.last()))
        families.removeFirst();
    QFont font;
    font.setFamilies(families);
    // The one word of the revert button is in every serif font: nothing is merged in from
    // another, so Qt builds no list of fonts to merge.
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setPointSizeF(8.25);
    font.setHintingPreference(wholePixelGlyphs);
    return font;
}
