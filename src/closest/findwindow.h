#pragma once

#include "findmodel.h"

#include <QWidget>

class Form1;
class QAction;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;

// Finds runewords by what they give, among those the player can make now and those a few runes
// away, and ranks the runes most worth hunting. It works from the owned runes and ticked boxes
// the main window's last Search used (or those of the moment it opened). Modeless; it reads the
// data file and writes nothing to it.
class FindWindow : public QWidget {
    Q_OBJECT
public:
    explicit FindWindow(Form1 *form);
    ~FindWindow() override;

    // Takes the board and boxes as the search takes them and reads the runewords afresh.
    // Throws Failure.
    void refresh();
    // Puts the keyboard into Gives.
    void focusGives();
    // The selected rows as tab-separated text, the column titles first.
    QString selectedRowsAsText() const;
    // Writes every row shown, with its text, as CSV. A failure is told in a message box naming
    // the file and the reason, and leaves the file as it was; returns whether it was written.
    bool exportTo(const QString &path);

    QLineEdit *gives = nullptr;
    QSpinBox *missingAtMost = nullptr;
    QTableView *foundView = nullptr;  // table 1
    QTableView *wantedView = nullptr; // table 2
    QPlainTextEdit *runewordText = nullptr;
    QPushButton *exportButton = nullptr;
    QAction *copyAction = nullptr;
    FoundTable *foundTable = nullptr;
    WantedTable *wantedTable = nullptr;

    // What the player typed into Gives, kept for the next window while the program runs.
    static QString lastGives;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void layOut();
    void connectHandlers();
    void readRuneLook();
    void filterByGives();
    void showText();
    void showRuneword(const QModelIndex &index);
    void selectRowsMissing(const QModelIndex &index);
    void escape();
    void exportClicked();

    Form1 *form_;
    RuneLook look_;
    int current_ = -1; // the place read of the runeword whose text shows
};
