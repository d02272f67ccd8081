#include "closestwindow.h"

#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>

namespace {

// The completes count with a bar in the rune's board colour, as long as its share of the
// largest count.
class CompletesBar : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString count = item.text;
        item.text.clear();
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        const QRect area = option.rect.adjusted(4, 3, -4, -3);
        const int numberWidth = option.fontMetrics.horizontalAdvance(QStringLiteral("00000"));
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRect(area.left(), area.top(), numberWidth, area.height()),
                          Qt::AlignRight | Qt::AlignVCenter, count);
        const QRect room(area.left() + numberWidth + 6, area.top(), area.width() - numberWidth - 6,
                         area.height());
        const double share = index.data(WantedTable::ShareRole).toDouble();
        const auto colour = index.data(WantedTable::ColourRole).value<QColor>();
        const int width = std::max(2, int(room.width() * share + 0.5));
        // The bar lies on a hatched, framed track across the cell, and has a border in a darker
        // shade of its colour: a white tile's bar would otherwise look like an empty box.
        const QColor track = option.palette.color(QPalette::Mid);
        painter->setPen(track);
        painter->setBrush(QBrush(track, Qt::BDiagPattern));
        painter->drawRect(room.adjusted(0, 0, -1, -1));
        const QRect bar(room.left(), room.top(), width, room.height());
        painter->fillRect(bar, colour.darker(200));
        painter->fillRect(bar.adjusted(2, 2, -2, -2), colour);
        painter->restore();
    }
};

// A rune's picture chosen as its tile chooses it (RuneTile::pictureAt) for the view's screen:
// the large one on any screen denser than 1, where the icon would take the nearer size.
class RunePicture : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const qreal ratio = option->widget ? option->widget->devicePixelRatioF() : 1;
        option->icon = QIcon(option->icon.pixmap(option->decorationSize, ratio > 1 ? 2 : 1));
    }
};

QTableView *table(const QString &name, QAbstractItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setObjectName(name);
    view->setAccessibleName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTabKeyNavigation(false);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

QLabel *caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ClosestWindow::ClosestWindow(Form1 *form) : QWidget(form, Qt::Window), form_(form)
{
    setObjectName(QStringLiteral("ClosestWindow"));
    setWindowTitle(QStringLiteral("Closest runewords"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A child window does not take its parent's font by itself.
    setFont(form->font());

    // The names and pictures the main window has already loaded.
    for (int k = 1; k <= 46; ++k) {
        const RuneTile *tile = form->PictureRunes[size_t(k)];
        look_.names[size_t(k)] = form->Label1[size_t(k - 1)]->text();
        look_.pictures[size_t(k)] = QIcon(tile->Picture());
        look_.pictures[size_t(k)].addPixmap(tile->pictureAt(2));
        look_.colours[size_t(k)] = colourFromValue(tile->Tag.toInt());
    }

    createControls();
    layOut();

    connect(missingAtMost, &QSpinBox::valueChanged, this,
            guarded<int>([this](int maximum) { closestTable->setMaximumMissing(maximum); }));
    connect(closestView, &QTableView::doubleClicked, this,
            guarded<const QModelIndex &>([this](const QModelIndex &i) { showRuneword(i); }));
    connect(wantedView, &QTableView::doubleClicked, this,
            guarded<const QModelIndex &>([this](const QModelIndex &i) { selectRowsMissing(i); }));
    closestView->installEventFilter(this);
    wantedView->installEventFilter(this);
    // The main window's Exit (or close box) closes this window with it.
    form->installEventFilter(this);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void ClosestWindow::createControls()
{
    missingAtMost = new QSpinBox(this);
    missingAtMost->setObjectName(QStringLiteral("missingAtMost"));
    missingAtMost->setAccessibleName(QStringLiteral("Missing at most"));
    missingAtMost->setRange(1, mostMissing);
    missingAtMost->setValue(1);

    closestTable = new ClosestTable(this);
    closestTable->setRuneLook(&look_);
    closestView = table(QStringLiteral("Closest runewords"), closestTable, this);
    closestView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    closestView->horizontalHeader()->setSortIndicator(ClosestTable::Missing, Qt::AscendingOrder);
    closestView->setSortingEnabled(true);
    for (const auto &[column, width] : {std::pair{ClosestTable::Runeword, 150},
                                        {ClosestTable::Missing, 110},
                                        {ClosestTable::Runes, 150},
                                        {ClosestTable::ItemTypesColumn, 190},
                                        {ClosestTable::Sockets, 52}})
        closestView->setColumnWidth(column, width);
    closestView->horizontalHeader()->setStretchLastSection(true);
    closestView->verticalHeader()->setDefaultSectionSize(closestView->fontMetrics().height() + 6);

    wantedTable = new WantedTable(this);
    wantedTable->setRuneLook(&look_);
    wantedView = table(QStringLiteral("Most wanted runes"), wantedTable, this);
    wantedView->setSelectionMode(QAbstractItemView::SingleSelection);
    wantedView->setItemDelegateForColumn(WantedTable::Completes, new CompletesBar(wantedView));
    wantedView->setItemDelegateForColumn(WantedTable::Rune, new RunePicture(wantedView));
    wantedView->setIconSize(QSize(27, 26));
    wantedView->verticalHeader()->setDefaultSectionSize(30);
    wantedView->setColumnWidth(WantedTable::Rune, 110);
    wantedView->horizontalHeader()->setStretchLastSection(true);
    wantedView->setMinimumWidth(250);
}

void ClosestWindow::layOut()
{
    auto *missingRow = new QHBoxLayout;
    missingRow->addWidget(caption(QStringLiteral("&Missing at most"), missingAtMost, this));
    missingRow->addWidget(missingAtMost);
    missingRow->addStretch();
    auto *grid = new QGridLayout(this);
    grid->addLayout(missingRow, 0, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("&Closest runewords"), closestView, this), 1, 0);
    grid->addWidget(caption(QStringLiteral("Most &wanted runes"), wantedView, this), 1, 1);
    grid->addWidget(closestView, 2, 0);
    grid->addWidget(wantedView, 2, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    setTabOrder(missingAtMost, closestView);
    setTabOrder(closestView, wantedView);
    resize(960, 440);
}

bool ClosestWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == form_ && event->type() == QEvent::Close) {
        close();
    } else if ((watched == closestView || watched == wantedView) &&
               event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            auto *view = static_cast<QTableView *>(watched);
            const QModelIndex current = view->currentIndex();
            runGuarded([&] {
                if (view == closestView)
                    showRuneword(current);
                else
                    selectRowsMissing(current);
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ClosestWindow::refresh()
{
    RuneSet set;
    for (int k = 1; k <= 46; ++k) {
        if (form_->PictureRunes[size_t(k)]->Appearance() == 1)
            set.owned |= quint64(1) << k;
    }
    for (size_t i = 0; i < itemTypes.size(); ++i) {
        if ((form_->*itemTypes[i].box)->isChecked())
            set.itemTypes |= quint16(1u << i);
    }
    for (int n = 2; n <= 6; ++n) {
        if (form_->Checksockets[size_t(n - 1)]->isChecked())
            set.sockets |= quint8(1u << n);
    }
    Closeness closeness = readCloseness(*form_->runeDb, set);
    wantedTable->setCompletes(closeness.completes);
    closestTable->setRunewords(std::move(closeness));
}

// As picking the name in the main window's list would, but the list stays as it is.
void ClosestWindow::showRuneword(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    if (!form_->ownedSaved) {
        form_->SaveOwned();
        form_->ownedSaved = true;
    }
    form_->SetCurrentRuneword(closestTable->name(index.row()));
}

// Selects the runewords of table 1 that lack the rune; the board is left alone.
void ClosestWindow::selectRowsMissing(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const quint64 bit = quint64(1) << wantedTable->rune(index.row());
    QItemSelection rows;
    int first = -1;
    // One range for each run of rows, not one for each row.
    for (int row = 0, start = -1; row <= closestTable->rowCount(); ++row) {
        const bool lacks =
            row < closestTable->rowCount() && (closestTable->runeword(row).missing & bit);
        if (lacks && start < 0)
            start = row;
        if (!lacks && start >= 0) {
            rows.select(closestTable->index(start, 0),
                        closestTable->index(row - 1, ClosestTable::ColumnCount - 1));
            first = first < 0 ? start : first;
            start = -1;
        }
    }
    closestView->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    if (first >= 0) {
        closestView->selectionModel()->setCurrentIndex(closestTable->index(first, 0),
                                                       QItemSelectionModel::NoUpdate);
        closestView->scrollTo(closestTable->index(first, 0));
    }
}

void Form1::mnuClosest_Click()
{
    if (!closestWindow) {
        auto window = std::make_unique<ClosestWindow>(this);
        window->refresh();
        closestWindow = window.release();
    }
    closestWindow->show();
    closestWindow->raise();
    closestWindow->activateWindow();
}
