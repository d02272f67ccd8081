#pragma once

#include <QWidget>

class frmhelp : public QWidget {
    Q_OBJECT
public:
    explicit frmhelp(QWidget *parent = nullptr);
};
