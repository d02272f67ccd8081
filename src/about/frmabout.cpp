#include "frmabout.h"

#include "mainwindow/form1.h"
#include "mainwindow/programicon.h"
#include "version.h"

#include <QLabel>
#include <QPushButton>

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_WindowPropagation);
    setFixedSize(136, 75);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(48, 48, 84, 23);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    lblTitle = new QLabel(QStringLiteral("Tessaly by Quillane"), this);
    lblTitle->setGeometry(40, 8, 147, 16);
    QPalette black = lblTitle->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblTitle->setPalette(black);
    lblVersion = new QLabel(QStringLiteral("Version 1.0"), this);
    lblVersion->setGeometry(40, 24, 75, 15);
    Picture1 = new QLabel(this);
    Picture1->setGeometry(8, 8, 33, 33);
    Picture1->setPixmap(QPixmap::fromImage(programIconImage(32)));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdOK->setFocus();

    setWindowTitle(QStringLiteral("About Tessaly"));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(tessalyVersionMajor)
                            .arg(tessalyVersionMinor)
                            .arg(tessalyVersionRevision));
}

void Form1::mnuAbout_Click()
{
    frmAbout about(this);
    about.exec();
}
