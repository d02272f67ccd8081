#include "frmhelp.h"

#include "mainwindow/form1.h"
#include "mainwindow/programicon.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

namespace {

// The wording, spelling included, is the help text as it has always read.
const char *const helpLines[] = {
    "how to use : ",
    "- Select all the runes you character(s) have and press search to see what runewords you "
    "can make",
    "- Load the 'all' save and select the item type and number of sockets you want to find for "
    "excample which 4 socketed armors there are.",
    "- Combine the two and find out which runeword you can make of those 4 socketed armors. ",
    "",
    "found a bug?",
    "- mail tessaly@example.org",
    "",
    "want more features",
    "- mail tessaly@example.org",
    "",
    "want to donate money",
    "- give it to poor old veldrane :)",
};

} // namespace

frmhelp::frmhelp(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Help on Tessaly"));
    setWindowIcon(programIcon());
    // Sizable, but the controls keep their places: there is no layout.
    resize(361, 256);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(280, 232, 81, 25);
    // Both keys close the window: Enter through the default button, Escape through reject().
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    QString text;
    for (const char *line : helpLines)
        text += QLatin1String(line) + QLatin1String("\r\n");
    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(0, 0, 361, 225);
    // Nothing reads the text back; read-only, Enter here closes the window too.
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // In the program's font the thirteen lines, three of them wrapped, and the empty line
    // after the last break fill the box exactly, with no margin above or below. A font with
    // taller lines gets a scroll bar rather than a cut-off last line.
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->document()->setDocumentMargin(0);
    Text1->setPlainText(text);
    cmdOK->setFocus();
}

void Form1::mnuHelpScreen_Click()
{
    if (!helpWindow) {
        helpWindow = new frmhelp;
        // Without a parent it would not take the main window's font.
        helpWindow->setFont(font());
    }
    helpWindow->show();
    helpWindow->raise();
    helpWindow->activateWindow();
}
