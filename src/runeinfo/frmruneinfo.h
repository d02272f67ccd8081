#pragma once

#include <QDialog>

class FrmRuneInfo : public QDialog {
    Q_OBJECT
public:
    explicit FrmRuneInfo(QWidget *parent = nullptr);
};
