#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// How to use the program. Modeless and without a parent, so that it stays open, and keeps
// the program running, after the main window has closed. It deletes itself when closed.
class frmhelp : public QDialog {
    Q_OBJECT
public:
    explicit frmhelp(QWidget *parent = nullptr);

    QPlainTextEdit *Text1 = nullptr;
    QPushButton *cmdOK = nullptr;
};
