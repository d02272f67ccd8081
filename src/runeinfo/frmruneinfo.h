#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;

// One rune's picture, name and three effects. It closes as soon as another window, of this
// program or another, becomes active.
class FrmRuneInfo : public QDialog {
    Q_OBJECT
public:
    explicit FrmRuneInfo(QWidget *parent = nullptr);

    QLabel *Picture1 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    // Typing is allowed, but nothing reads it back.
    QPlainTextEdit *Textability1 = nullptr;
    QPlainTextEdit *Textability2 = nullptr;
    QPlainTextEdit *Textability3 = nullptr;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool wasActive = false;
};
