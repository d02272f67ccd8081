#include "frame.h"

#include <QPainter>
#include <qdrawutil.h>

Frame::Frame(const QString &title, QWidget *parent) : QGroupBox(title, parent) {}

void Frame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int line = metrics.height() / 2;
    qDrawShadeRect(&painter, 0, line, width(), height() - line, palette(), true, 1);
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, palette().window());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}
