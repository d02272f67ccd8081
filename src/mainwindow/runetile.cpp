#include "runetile.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {

// The tile as assistive tools see it: a check box named by the label under it, checked
// exactly when owned, which a press toggles as a click does.
class RuneTileAccessible : public QAccessibleWidget {
public:
    explicit RuneTileAccessible(RuneTile *tile) : QAccessibleWidget(tile, QAccessible::CheckBox) {}

    RuneTile *tile() const { return static_cast<RuneTile *>(widget()); }

    // Read from the label each time, so that the name follows new game data.
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return tile()->label() ? tile()->label()->text() : QString();
        case QAccessible::Description:
            return QStringLiteral("rune %1 of 46").arg(tile()->index());
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = tile()->Appearance() == 1;
        return state;
    }

    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        // Its own label first, before the frame that Qt names as every control's label.
        QList<QPair<QAccessibleInterface *, QAccessible::Relation>> related;
        if ((match & QAccessible::Label) && tile()->label())
            related.append(
                {QAccessible::queryAccessibleInterface(tile()->label()), QAccessible::Label});
        return related + QAccessibleWidget::relations(match);
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction() || action == toggleAction())
            tile()->click();
        else
            QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString &action) const override
    {
        if (action == pressAction() || action == toggleAction())
            return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(action);
    }
};

QAccessibleInterface *tileAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("RuneTile"))
        return new RuneTileAccessible(static_cast<RuneTile *>(object));
    return nullptr;
}

} // namespace

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
    static const bool accessible = (QAccessible::installFactory(tileAccessible), true);
    Q_UNUSED(accessible);
}

// A reset of the board sets every tile; only the tiles that change are painted again.
void RuneTile::setAppearance(int appearance)
{
    if (appearance_ == appearance)
        return;
    const bool wasOwned = appearance_ == 1;
    appearance_ = appearance;
    update();
    if ((appearance_ == 1) != wasOwned) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

QLabel *RuneTile::label() const
{
    return label_;
}

void RuneTile::setLabel(QLabel *label)
{
    label_ = label;
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
