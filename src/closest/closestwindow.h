#pragma once

#include "closestmodel.h"

#include <QWidget>

class Form1;
class QLabel;
class QSpinBox;
class QTableView;

// The runewords the player is closest to and the runes most worth hunting, for the owned runes
// and ticked boxes the main window's last Search used (or those of the moment it opened).
// Modeless; it reads the data file and writes nothing.
class ClosestWindow : public QWidget {
    Q_OBJECT
public:
    explicit ClosestWindow(Form1 *form);

    // Takes the board and boxes as the search takes them and reads the runewords afresh.
    // Throws Failure.
    void refresh();

    QSpinBox *missingAtMost = nullptr;
    QTableView *closestView = nullptr; // table 1
    QTableView *wantedView = nullptr;  // table 2
    ClosestTable *closestTable = nullptr;
    WantedTable *wantedTable = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void layOut();
    void showRuneword(const QModelIndex &index);
    void selectRowsMissing(const QModelIndex &index);

    Form1 *form_;
    RuneLook look_;
};
