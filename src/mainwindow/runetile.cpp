#include "runetile.h"

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
}

void RuneTile::setAppearance(int appearance)
{
    appearance_ = appearance;
    update();
}

void RuneTile::setBackColor(int colour)
{
    backColor_ = colour;
    update();
}

void RuneTile::setPicture(const QPixmap &picture)
{
    picture_ = picture;
    update();
}

void RuneTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), colourFromValue(backColor_));
    // The picture keeps its place in both states, inside the widest border.
    painter.setClipRect(rect().adjusted(2, 2, -2, -2));
    painter.drawPixmap(2, 2, picture_);
    painter.setClipping(false);
    if (appearance_ == 1) {
        qDrawWinPanel(&painter, rect(), palette(), true);
    } else {
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void RuneTile::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        Q_EMIT rightPressed(index_);
    event->accept();
}

void RuneTile::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and release of the primary button over the same tile.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked(index_);
    event->accept();
}
