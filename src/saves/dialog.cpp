#include "dialog.h"

#include "data/wholenumber.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/programicon.h"
#include "mainwindow/runetile.h"
#include "mainwindow/twips.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

// Only blanks count: a name of tabs or other spaces is taken as typed.
bool blankOnly(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

} // namespace

Dialog::Dialog(Form1 *form)
    : QDialog(form, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint),
      form(form)
{
    setWindowTitle(QStringLiteral("Dialog Caption"));
    setWindowIcon(programIcon());
    // Takes the main window's small font, for which the captions are measured.
    setAttribute(Qt::WA_WindowPropagation);
    setFixedSize(twips(3675), twips(870));
    move(twips(4950), twips(5625));

    // Created in tab order.
    Text1 = new QLineEdit(QStringLiteral("save"), this);
    Text1->setAccessibleName(QStringLiteral("Save name"));
    Text1->setGeometry(twipsRect(120, 480, 2055, 285));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twipsRect(2280, 0, 1215, 375));
    // Enter, as in the main window.
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(twipsRect(2280, 480, 1215, 375));
    Label1 = new QLabel(QStringLiteral("Save name : "), this);
    Label1->setGeometry(twipsRect(120, 120, 1575, 255));
    Text1->setFocus();

    connect(OKButton, &QPushButton::clicked, this, guarded([this] { OKButton_Click(); }));
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    dialogDb = form->runeDb.get();
    dialogDb->recheck();
}

Dialog::~Dialog() = default;

int Dialog::slotNumber() const
{
    return int(std::floor(Tag.toDouble()));
}

// Cancel has no key: only the button and the close box cancel.
void Dialog::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel))
        event->accept();
    else
        QDialog::keyPressEvent(event);
}

bool Dialog::event(QEvent *event)
{
    // The name is shown once per showing: coming back from the "illigal name" box must not
    // overwrite what the user is correcting.
    if (event->type() == QEvent::WindowActivate && !activated) {
        activated = true;
        runGuarded([this] { Form_Activate(); });
    }
    return QDialog::event(event);
}

void Dialog::hideEvent(QHideEvent *event)
{
    activated = false;
    QDialog::hideEvent(event);
}

void Dialog::Form_Activate()
{
    const int slot = slotNumber();
    dialogRecordset = dialogDb->openRecordset(QStringLiteral("saves"));
    dialogRecordset->moveFirst();
    // Every row is looked at; the last one of the slot wins.
    for (; !dialogRecordset->eof(); dialogRecordset->moveNext()) {
        if (wholeNumber(dialogRecordset->field(QStringLiteral("savenumber"))) == slot)
            Text1->setText(dialogRecordset->field(QStringLiteral("saveName")).toString());
    }
}

void Dialog::OKButton_Click()
{
    if (blankOnly(Text1->text())) {
        QMessageBox refusal(QMessageBox::NoIcon, QStringLiteral("Stupid"),
                            QStringLiteral("illigal name"), QMessageBox::Ok, this);
        refusal.exec();
        return;
    }
    const int slot = slotNumber();

    // Delete, add and rename stand or fall together: a failure part-way leaves the slot as
    // it was.
    Database::Transaction transaction(*dialogDb);
    dialogRecordset = dialogDb->openRecordset(QStringLiteral("savesquery"));
    for (; !dialogRecordset->eof(); dialogRecordset->moveNext()) {
        if (wholeNumber(dialogRecordset->field(QStringLiteral("savenumber"))) == slot)
            dialogRecordset->deleteRow();
    }

    dialogRecordset = dialogDb->openRecordset(QStringLiteral("ownedRunes"));
    for (qint16 tileCounter = 1; tileCounter <= 46; ++tileCounter) {
        if (form->tile(tileCounter)->Appearance() != 1)
            continue;
        dialogRecordset->addNew();
        dialogRecordset->setField(QStringLiteral("savenumber"), slot);
        dialogRecordset->setField(QStringLiteral("runenumber"), tileCounter);
        dialogRecordset->update();
    }

    dialogRecordset = dialogDb->openRecordset(QStringLiteral("saves"));
    dialogRecordset->moveFirst();
    for (; !dialogRecordset->eof(); dialogRecordset->moveNext()) {
        if (wholeNumber(dialogRecordset->field(QStringLiteral("savenumber"))) != slot)
            continue;
        dialogRecordset->edit();
        dialogRecordset->setField(QStringLiteral("saveName"), Text1->text());
        dialogRecordset->update();
    }
    transaction.commit();

    form->FillMenu();
    form->SaveOwned();
    accept();
}
