#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

// One tile of the rune board: a picture on a background colour, with a flat border when the
// rune is not owned and a sunken one when it is.
class RuneTile : public QWidget {
    Q_OBJECT
public:
    RuneTile(int index, QWidget *parent);

    // 1: three-dimensional (sunken) border; 0: flat.
    int Appearance() const { return appearance_; }
    void setAppearance(int appearance);
    // Colour value: red + 256 * green + 65536 * blue.
    int BackColor() const { return backColor_; }
    void setBackColor(int colour);
    // The picture, and the same drawn at twice the size for denser screens (devicePixelRatio 2;
    // null when there is none, and the picture stands in for it).
    const QPixmap &Picture() const { return picture_; }
    void setPicture(const QPixmap &picture, const QPixmap &large);
    // The one to show on a screen of that device pixel ratio.
    const QPixmap &pictureAt(qreal ratio) const;

    // The tile's base colour as decimal text.
    QString Tag;

Q_SIGNALS:
    void clicked(int index);
    void rightPressed(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int index_;
    int appearance_ = 0;
    int backColor_ = 0;
    QPixmap picture_;
    QPixmap large_;
};

QColor colourFromValue(int value);
