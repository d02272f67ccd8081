#include "data/failure.h"
#include "data/wholenumber.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "saves/dialog.h"

#include <QStringList>

#include <cmath>

namespace {

// A slot number as it goes into the find criterion and the dialog's Tag: the sign blank,
// then the digits.
QString signedText(int number)
{
    return QLatin1Char(' ') + QString::number(number);
}

// A save name as a menu shows it: every character as stored, an "&" never an access key.
QString menuCaption(QString name)
{
    return name.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// A stored value as the player can recognise it in a message.
QString describeValue(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("Null");
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        return QLatin1Char('\'') + value.toString() + QLatin1Char('\'');
    return decimalText(value.toDouble());
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
        mnuload[size_t(k)]->setText(
            menuCaption(currentRecordset->field(QStringLiteral("saveName")).toString()));
        mnuSave[size_t(k)]->setText(
            menuCaption(currentRecordset->field(QStringLiteral("saveName")).toString()));
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
    QStringList damaged;
    while (true) {
        if (wholeNumber(currentRecordset->field(QStringLiteral("savenumber"))) != slot)
            break;
        const QVariant value = currentRecordset->field(QStringLiteral("runenumber"));
        const qint64 rune = wholeNumber(value).value_or(0);
        if (tile(rune)) {
            markOwned(rune);
            ownedState[size_t(rune - 1)] = 1;
        } else {
            damaged << describeValue(value);
        }
        currentRecordset->moveNext();
        if (currentRecordset->eof())
            break;
    }
    // A row that names no rune is not dropped silently: the next save of the slot would delete
    // it for good, so the player is told before that can happen. Nothing is written here.
    if (!damaged.isEmpty())
        showNotice(this, QStringLiteral("The save slot %1 (\u201c%2\u201d) holds rows that name no "
                                        "rune: %3.\n\nIts other runes are shown on the board. The "
                                        "slot itself is left as it is; saving into it replaces "
                                        "these rows.")
                             .arg(slot)
                             .arg(mnuload[size_t(slot)]->text().replace(QLatin1String("&&"),
                                                                        QLatin1String("&")),
                                  damaged.join(QLatin1String(", "))));
}

void Form1::mnuSave_Click(int slot)
{
    Dialog dialog(this);
    dialog.Tag = signedText(slot);
    dialog.exec();
}
