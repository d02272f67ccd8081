#include "form1.h"
#include "runetile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <array>

// Each group of seven runes shares a base colour (red + 256 * green + 65536 * blue); the
// last group has four.
int baseColour(int rune)
{
    static constexpr int colours[] = {16777215, 3425454, 6732492, 2131154,
                                      4771918,  6324882, 14037648};
    return colours[(rune - 1) / 7];
}

namespace {

// The base colour as a tile's Tag holds it; made once, not for every tile of every reset.
const QString &baseColourTag(int rune)
{
    static const std::array<QString, 7> tags = [] {
        std::array<QString, 7> group;
        for (size_t g = 0; g < group.size(); ++g)
            group[g] = QString::number(baseColour(int(g) * 7 + 1));
        return group;
    }();
    return tags[size_t((rune - 1) / 7)];
}

} // namespace

RuneTile *Form1::tile(qint64 rune) const
{
    return rune >= 1 && rune <= 46 ? PictureRunes[size_t(rune)] : nullptr;
}

void Form1::markOwned(qint64 rune)
{
    if (RuneTile *owned = tile(rune)) {
        owned->setAppearance(1);
        owned->setBackColor(0);
    }
}

void Form1::markNotOwned(qint64 rune)
{
    if (RuneTile *notOwned = tile(rune)) {
        notOwned->setAppearance(0);
        notOwned->setBackColor(notOwned->Tag.toInt());
    }
}

void Form1::ResetBoard()
{
    for (int k = 1; k <= 46; ++k) {
        RuneTile *reset = tile(k);
        reset->setAppearance(0);
        reset->setBackColor(baseColour(k));
        reset->Tag = baseColourTag(k);
    }
}

void Form1::SaveOwned()
{
    for (int i = 0; i < 46; ++i)
        ownedState[size_t(i)] = qint16(tile(i + 1)->Appearance());
}

void Form1::keepOwnedSet()
{
    if (!ownedSaved) {
        SaveOwned();
        ownedSaved = true;
    }
}

void Form1::RestoreOwned()
{
    for (int i = 0; i < 46; ++i) {
        if (ownedState[size_t(i)] == 1)
            markOwned(i + 1);
        else
            markNotOwned(i + 1);
    }
}

void Form1::PictureRunes_Click(int index)
{
    if (tile(index)->Appearance() == 1)
        markNotOwned(index);
    else
        markOwned(index);
}

void Form1::PictureRunes_RightPress(int index)
{
    mnuRunename->Tag = QString::number(index);
    rightPressedRune = index;
    rightPressedOwned = tile(index)->Appearance() == 1;
    markOwned(mnuRunename->Tag.toInt());
    // The tile's corner in the board's frame is used as a point of the client area.
    const QPoint corner = tile(index)->pos() + QPoint(20, 20);
    mnuRunename->exec(centralWidget()->mapToGlobal(corner));
}

void Form1::setAllFilters(bool ticked)
{
    for (const ItemType &type : itemTypes)
        (this->*type.box)->setChecked(ticked);
    for (QCheckBox *box : Checksockets)
        box->setChecked(ticked);
}

void Form1::CommandClear_Click()
{
    keepOwnedSet();
    TextRunes->setText(QString());
    Text1->setPlainText(QString());
    FillMenu();
    Fillrunewordlist();
    ResetBoard();
    setAllFilters(true);
}

void Form1::Commandrevert_Click()
{
    ownedSaved = false;
    RestoreOwned();
    setAllFilters(true);
    Text1->setPlainText(QString());
}
