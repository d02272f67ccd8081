#include "frmruneinfo.h"

#include "data/failure.h"
#include "data/wholenumber.h"
#include "mainwindow/form1.h"
#include "mainwindow/programicon.h"
#include "mainwindow/runetile.h"
#include "mainwindow/twips.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cmath>

namespace {

QLabel *label(const QString &caption, const QRect &geometry, QWidget *parent)
{
    auto *created = new QLabel(parent);
    // A rune's name shows as the file holds it, never read as markup.
    created->setTextFormat(Qt::PlainText);
    created->setText(caption);
    created->setGeometry(geometry);
    created->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    created->setWordWrap(true);
    return created;
}

QPlainTextEdit *effectBox(const QRect &geometry, QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setGeometry(geometry);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab moves on to the next box, as their tab order says, rather than typing a tab.
    box->setTabChangesFocus(true);
    // A narrow margin lets an effect of two lines show whole in the low box.
    box->document()->setDocumentMargin(2);
    return box;
}

} // namespace

FrmRuneInfo::FrmRuneInfo(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Form2"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_WindowPropagation);
    resize(twips(4680), twips(2280));
    move(twips(4425), twips(4140));

    // Created in tab order; the labels take no focus.
    Textability1 = effectBox(twipsRect(1440, 480, 3135, 495), this);
    Textability2 = effectBox(twipsRect(1440, 1080, 3135, 495), this);
    Textability3 = effectBox(twipsRect(1440, 1680, 3135, 495), this);
    // The captions wrap onto two lines, which need a little more than the designed 375 twips;
    // the rows are 600 twips apart, so the labels still do not meet.
    Label1 = label(QStringLiteral("Weapons & Gloves"), twipsRect(0, 480, 1215, 600), this);
    Label2 =
        label(QStringLiteral("Helm, Wands, Staves & Boots"), twipsRect(0, 1080, 1335, 600), this);
    Label3 = label(QStringLiteral("Shields, Armors & Belts"), twipsRect(0, 1680, 1215, 600), this);
    // Each effect is named by its caption for screen readers; a buddy would make the "&" an
    // access key.
    Textability1->setAccessibleName(Label1->text());
    Textability2->setAccessibleName(Label2->text());
    Textability3->setAccessibleName(Label3->text());
    Picture1 = new QLabel(this);
    Picture1->setGeometry(twipsRect(0, 0, 495, 495));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4 = label(QStringLiteral("Rune "), twipsRect(600, 120, 1215, 375), this);
    Textability1->setFocus();
}

// Escape does not close it: only losing activation and the close box do.
void FrmRuneInfo::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel))
        event->accept();
    else
        QDialog::keyPressEvent(event);
}

bool FrmRuneInfo::event(QEvent *event)
{
    // Only a window that has been active can lose activation; the steps of showing it must
    // not close it.
    if (event->type() == QEvent::WindowActivate)
        wasActive = true;
    else if (event->type() == QEvent::WindowDeactivate && wasActive)
        close();
    return QDialog::event(event);
}

void Form1::mnuruneprop_Click()
{
    FrmRuneInfo window(this);
    const QString n = mnuRunename->Tag;
    currentQueryDef =
        runeDb->createQueryDef(QStringLiteral("Select * from runes Where runes.Runenumber = ") + n);
    currentRecordset = currentQueryDef->openRecordset();
    currentRecordset->moveFirst();

    if (const RuneTile *shown = tile(wholeNumber(n).value_or(0)))
        window.Picture1->setPixmap(shown->pictureAt(shown->devicePixelRatioF()));
    window.Label4->setText(QStringLiteral("Rune ") +
                           currentRecordset->field(QStringLiteral("Runename")).toString());
    QPlainTextEdit *const boxes[] = {window.Textability1, window.Textability2, window.Textability3};
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("Runefunction%1").arg(i + 1);
        const QVariant effect = currentRecordset->field(name);
        if (effect.isNull())
            throw Failure(QStringLiteral("show the rune's effects"),
                          QStringLiteral("%1 of rune %2\nin %3").arg(name, n, runeDb->path()),
                          QStringLiteral("The effect is missing (Null)."));
        boxes[i]->setPlainText(effect.toString());
    }
    currentRecordset->close();
    currentQueryDef->close();
    window.exec();
}
