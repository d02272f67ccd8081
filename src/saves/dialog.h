#pragma once

#include "data/database.h"
#include "data/recordset.h"

#include <QDialog>
#include <QString>

#include <memory>

class Form1;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a save slot's name and writes the board into the slot. The main window puts the
// slot number into Tag (a blank, then the digits) after creating the dialog and before
// showing it.
class Dialog : public QDialog {
    Q_OBJECT
public:
    // Checks the data file again through dialogDb; throws Failure when it is gone, replaced or
    // damaged.
    explicit Dialog(Form1 *form);
    ~Dialog() override;

    QString Tag;
    // The main window's connection, which FillMenu reads the new name through.
    Database *dialogDb = nullptr;
    std::unique_ptr<Recordset> dialogRecordset;

    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;

    // Shows the slot's current name; runs when the dialog first becomes active.
    void Form_Activate();
    void OKButton_Click();

protected:
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int slotNumber() const;

    Form1 *form;
    bool activated = false;
};
