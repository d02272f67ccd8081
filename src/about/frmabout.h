#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's title, author and version.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    // Adds the data file's path under the box's own texts; the box grows to hold it.
    void showDataFile(const QString &path);

    QLabel *Picture1 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QPushButton *cmdOK = nullptr;
    QLabel *lblDataFile = nullptr;
};
