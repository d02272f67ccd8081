#include "data/wholenumber.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cmath>

namespace {

QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

bool isTrue(const QVariant &value)
{
    return !value.isNull() && value.toDouble() != 0;
}

} // namespace

void Form1::List1_Click()
{
    keepOwnedSet();
    if (!List1->selectedTexts().isEmpty())
        SetCurrentRuneword();
}

void Form1::SetCurrentRuneword()
{
    SetCurrentRuneword(List1->selectedTexts().constFirst());
}

void Form1::SetCurrentRuneword(const QString &entry)
{
    ResetBoard();
    QString name = trimBlanks(entry);
    // An apostrophe in a name would end the literal early.
    name.replace(QLatin1Char('\''), QLatin1String("''"));
    currentQueryDef = runeDb->createQueryDef(
        QStringLiteral("Select * from RuneWords Where runewords.RuneWordName = '") + name +
        QLatin1Char('\''));
    currentRecordset = currentQueryDef->openRecordset();
    // A listed name that finds no row (one stored with blanks at its ends) shows nothing.
    if (currentRecordset->eof()) {
        clearRunewordDisplay();
    } else {
        Text1->setPlainText(currentRecordset->field(QStringLiteral("runewordText")).toString());
        ShowItemTypes();
        ShowSockets();
        showRunes();
    }
    currentQueryDef->close();
    currentRecordset->close();
}

void Form1::clearRunewordDisplay()
{
    Text1->setPlainText(QString());
    TextRunes->setText(QString());
    setAllFilters(false);
}

void Form1::showRunes()
{
    static const QString slots[] = {QStringLiteral("rune1"), QStringLiteral("rune2"),
                                    QStringLiteral("rune3"), QStringLiteral("rune4"),
                                    QStringLiteral("rune5"), QStringLiteral("rune6")};
    QString runeNames;
    for (const QString &slot : slots) {
        const QVariant value = currentRecordset->field(slot);
        const qint64 rune = wholeNumber(value).value_or(0);
        if (value.isNull() || rune == 0)
            continue;
        // A number beyond the board has no tile to mark; its name is still looked up.
        markOwned(rune);
        const std::unique_ptr<QueryDef> query = runeDb->createQueryDef(
            QStringLiteral("Select runes.runename from runes Where runes.Runenumber = ") +
            decimalText(value.toDouble()));
        const std::unique_ptr<Recordset> runeRow = query->openRecordset();
        if (!runeRow->eof()) {
            runeRow->moveFirst();
            runeNames += runeRow->field(QStringLiteral("Runename")).toString() + QLatin1Char(' ');
        }
        runeRow->close();
        query->close();
    }
    TextRunes->setText(trimBlanks(runeNames));
}

void Form1::ShowItemTypes()
{
    for (const ItemType &type : itemTypes)
        (this->*type.box)->setChecked(isTrue(currentRecordset->field(QLatin1String(type.column))));
}

void Form1::ShowSockets()
{
    for (QCheckBox *box : Checksockets)
        box->setChecked(false);
    const QVariant value = currentRecordset->field(QStringLiteral("nrrunes"));
    const qint64 sockets = wholeNumber(value).value_or(0);
    if (!value.isNull() && sockets >= 1 && sockets <= 6)
        Checksockets[size_t(sockets - 1)]->setChecked(true);
}
