#pragma once

#include <QGroupBox>

// A frame whose caption sits on its top line, so that the first row of controls, placed just
// below the caption, stays clear of the line.
class Frame : public QGroupBox {
    Q_OBJECT
public:
    Frame(const QString &title, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};
