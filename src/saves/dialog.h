#pragma once

#include <QDialog>
#include <QString>

class Form1;

// The save-name dialog (placeholder until the save issue lands).
class Dialog : public QDialog {
    Q_OBJECT
public:
    explicit Dialog(Form1 *form);
    QString Tag;

private:
    Form1 *form_;
};
