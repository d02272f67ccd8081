#include "data/failure.h"
#include "data/wholenumber.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "saves/dialog.h"

#include <cmath>

namespace {

// A slot number as it goes into the find criterion and the dialog's Tag: the sign blank,
// then the digits.
QString signedText(int number)
{
    return QLatin1Char(' ') + QString::number(number);
}

} // namespace

void Form1::FillMenu()
{
    currentRecordset = runeDb->openRecordset(QStringLiteral("savesQuery2"));
    currentRecordset->moveFirst();
    for (int k = 1; k <= 10; ++k) {
        // A slot without a name would be an empty, unreadable menu entry.
        if (currentRecordset->field(QStringLiteral("saveName")).isNull())
            throw Failure(QStringLiteral("read the save names"),
                          QStringLiteral("savesQuery2, row %1\nin %2").arg(k).arg(runeDb->path()),
                          QStringLiteral("The slot has no name (saveName is Null)."));
        mnuload[size_t(k)]->setText(currentRecordset->field(QStringLiteral("saveName")).toString());
        mnuSave[size_t(k)]->setText(currentRecordset->field(QStringLiteral("saveName")).toString());
        currentRecordset->moveNext();
    }
    currentRecordset->close();
}

void Form1::mnuload_Click(int slot)
{
    ResetBoard();
    ownedSaved = false;
    ownedState.fill(0);
    currentRecordset = runeDb->openRecordset(QStringLiteral("savesQuery"));
    if (!currentRecordset->findFirst(QStringLiteral("SaveNumber = ") + signedText(slot)))
        return;
    while (true) {
        if (wholeNumber(currentRecordset->field(QStringLiteral("savenumber"))) != slot)
            break;
        const qint64 rune =
            wholeNumber(currentRecordset->field(QStringLiteral("runenumber"))).value_or(0);
        // A rune number outside the board has no tile and no place in the owned set.
        if (rune >= 1 && rune <= 46) {
            PictureRunes[size_t(rune)]->setAppearance(1);
            ownedState[size_t(rune - 1)] = 1;
            PictureRunes[size_t(rune)]->setBackColor(0);
        }
        currentRecordset->moveNext();
        if (currentRecordset->eof())
            break;
    }
}

void Form1::mnuSave_Click(int slot)
{
    Dialog dialog(this);
    dialog.Tag = signedText(slot);
    dialog.exec();
}
