#include "closest/findwindow.h"
#include "data/recordset.h"
#include "data/wholenumber.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/runetile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <array>
#include <cmath>

void Form1::addRunewordNames(Recordset &rows)
{
    QStringList names;
    names.reserve(rows.recordCount());
    for (; !rows.eof(); rows.moveNext())
        names << rows.field(QStringLiteral("runewordName")).toString();
    List1->addItems(names);
}

void Form1::CommandSearch_Click()
{
    QString S = QStringLiteral(
        "SELECT RuneWords.RuneWordName, RuneWords.RunewordID FROM RuneWords Where (nrrunes = 1");
    // "1 socket" has no piece: one-rune runewords always pass.
    for (int k = 1; k <= 5; ++k) {
        if (Checksockets[size_t(k)]->isChecked())
            S += QStringLiteral(" Or nrrunes = %1").arg(k + 1);
    }
    S += QStringLiteral(") and (false ");
    // The pieces follow the table's columns, not the window's boxes.
    std::array<bool, 9> ticked{};
    for (const ItemType &type : itemTypes)
        ticked[type.type] = (this->*type.box)->isChecked();
    for (size_t column = 0; column < itemTypeColumns.size(); ++column) {
        if (ticked[column])
            S += QLatin1String(column == BodyArmor ? " OR " : " Or ") +
                 QLatin1String(itemTypeColumns[column]) + QLatin1String(" = true");
    }
    S += QStringLiteral(") and (");

    // Each owned rune joins all six lists as a comma, the sign blank and the digits.
    QString owned;
    for (int n = 1; n <= 46; ++n) {
        if (tile(n)->Appearance() == 1)
            owned += QStringLiteral(", ") + QString::number(n);
    }
    S += QStringLiteral("rune1 in (0") + owned + QLatin1Char(')');
    for (int slot = 2; slot <= 6; ++slot)
        S += QStringLiteral(" AND rune%1 in (0").arg(slot) + owned + QLatin1Char(')');
    S += QStringLiteral(");");

    currentQueryDef = runeDb->createQueryDef(S);
    currentRecordset = currentQueryDef->openRecordset();
    List1->clear();
    if (currentRecordset->recordCount() > 0) {
        currentRecordset->moveFirst();
        addRunewordNames(*currentRecordset);
    }
    currentRecordset->close();
    if (findWindow)
        findWindow->refresh();
}

void Form1::Fillrunewordlist()
{
    List1->clear();
    currentRecordset = runeDb->openRecordset(QStringLiteral("runewordList"));
    if (!currentRecordset->eof())
        currentRecordset->moveFirst();
    addRunewordNames(*currentRecordset);
    currentRecordset->close();
}

void Form1::mnuSearch_Click()
{
    const double rune = std::floor(mnuRunename->Tag.toDouble());
    if (!(rune > 0))
        return;
    // The board is about to show one rune: keep the player's set for revert, as Clear does,
    // with the right-clicked tile as it was before the right button marked it.
    if (rune == rightPressedRune && !rightPressedOwned)
        markNotOwned(rightPressedRune);
    keepOwnedSet();
    ResetBoard();
    markOwned(wholeNumber(mnuRunename->Tag).value_or(0));
    List1->clear();
    Text1->setPlainText(QString());
    TextRunes->setText(QString());
    setAllFilters(true);

    const QString r = mnuRunename->Tag;
    const QString sql = QStringLiteral("Select * from runewords Where (runewords.rune1 = ") + r +
                        QStringLiteral(" OR Runewords.rune2 = ") + r +
                        QStringLiteral(" OR Runewords.rune3 = ") + r +
                        QStringLiteral(" OR Runewords.rune4 = ") + r +
                        QStringLiteral(" OR Runewords.rune5 = ") + r +
                        QStringLiteral(" OR Runewords.rune6 = ") + r + QStringLiteral(")");
    const std::unique_ptr<QueryDef> query = runeDb->createQueryDef(sql);
    const std::unique_ptr<Recordset> result =
        query->openRecordset({QStringLiteral("runewordName")});
    if (result->recordCount() > 0) {
        result->moveFirst();
        addRunewordNames(*result);
    }
    result->close();
    query->close();
}
