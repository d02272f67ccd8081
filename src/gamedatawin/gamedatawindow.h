#pragma once

#include <QDialog>

class Form1;
class QLabel;
class QPushButton;

// Which game data the program uses: the data file with its full path, the data's name and
// version, whether the player imported it and when; and the ways to change it.
class GameDataWindow : public QDialog {
    Q_OBJECT
public:
    explicit GameDataWindow(Form1 *form);
    // Shows what the data file in use says now.
    void refresh();

    QLabel *lblDataFile = nullptr;
    QLabel *lblGameData = nullptr;
    QLabel *lblImported = nullptr;
    QPushButton *cmdShowFolder = nullptr;
    QPushButton *cmdImport = nullptr;
    QPushButton *cmdRestore = nullptr;
    QPushButton *cmdClose = nullptr;

private:
    Form1 *form_;
};
