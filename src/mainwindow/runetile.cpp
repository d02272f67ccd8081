#include "runetile.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

QColor colourFromValue(int value)
{
    return QColor(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

RuneTile::RuneTile(int index, QWidget *parent) : QWidget(parent), index_(index)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The board can be worked from the keyboard: Tab to a tile, Space to toggle it, the menu
    // key (or Shift+F10) for its pop-up menu.
    setFocusPolicy(Qt::StrongFocus);
}

// A reset of the board sets every tile; only the tiles that change are painted again.
void RuneTile::setAppearance(int appearance)
{
    if (appearance_ == appearance)
        return;
    appearance_ = appearance;
    update();
}

void RuneTile::setBackColor(int colour)
{
    if (backColor_ == colour)
        return;
    backColor_ = colour;
    update();
}

void RuneTile::setPicture(const QPixmap &picture, const QPixmap &large)
{
    picture_ = picture;
    large_ = large;
    update();
}

// Chosen when painting, as the window may have moved to a screen of another density.
const QPixmap &RuneTile::pictureAt(qreal ratio) const
{
    return ratio > 1 && !large_.isNull() ? large_ : picture_;
}

void RuneTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), colourFromValue(backColor_));
    // The picture keeps its place in both states, inside the widest border.
    painter.setClipRect(rect().adjusted(2, 2, -2, -2));
    painter.drawPixmap(2, 2, pictureAt(devicePixelRatioF()));
    painter.setClipping(false);
    if (appearance_ == 1) {
        qDrawWinPanel(&painter, rect(), palette(), true);
    } else {
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        QPen focus(palette().color(QPalette::Highlight), 1, Qt::DotLine);
        painter.setPen(focus);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void RuneTile::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        Q_EMIT rightPressed(index_);
    event->accept();
}

void RuneTile::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        Q_EMIT clicked(index_);
    } else if (event->key() == Qt::Key_Menu ||
               (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        Q_EMIT rightPressed(index_);
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void RuneTile::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and release of the primary button over the same tile.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked(index_);
    event->accept();
}
