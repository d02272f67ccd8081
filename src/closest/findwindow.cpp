#include "findwindow.h"

#include "data/database.h"
#include "data/rowdata.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>

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

// A rune's picture as the wanted table chooses it for the view's screen.
class RunePicture : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto *wanted = static_cast<const WantedTable *>(index.model());
        option->icon = QIcon(
            wanted->picture(index.row(), option->widget ? option->widget->devicePixelRatioF() : 1));
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

QString FindWindow::lastGives;

FindWindow::FindWindow(Form1 *form) : QWidget(form, Qt::Window), form_(form)
{
    setObjectName(QStringLiteral("FindWindow"));
    setWindowTitle(QStringLiteral("Find runewords"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A child window does not take its parent's font by itself.
    setFont(form->font());
    for (int k = 1; k <= 46; ++k) {
        look_.pictures[size_t(k)] = form->PictureRunes[size_t(k)]->Picture();
        look_.largePictures[size_t(k)] = form->PictureRunes[size_t(k)]->pictureAt(2);
        look_.colours[size_t(k)] = colourFromValue(baseColour(k));
    }
    createControls();
    layOut();
    connectHandlers();
}

// The table goes before its view, whose selection would then change under the pane.
FindWindow::~FindWindow()
{
    disconnect(foundView->selectionModel(), nullptr, this, nullptr);
}

void FindWindow::createControls()
{
    gives = new QLineEdit(lastGives, this);
    gives->setObjectName(QStringLiteral("gives"));
    gives->setAccessibleName(QStringLiteral("Gives"));
    gives->setPlaceholderText(QStringLiteral("cold damage"));
    gives->setClearButtonEnabled(true);
    for (QToolButton *clear : gives->findChildren<QToolButton *>())
        clear->setAccessibleName(QStringLiteral("Clear Gives"));

    missingAtMost = new QSpinBox(this);
    missingAtMost->setObjectName(QStringLiteral("missingAtMost"));
    missingAtMost->setAccessibleName(QStringLiteral("Missing at most"));
    missingAtMost->setRange(0, mostMissing);
    missingAtMost->setValue(1);

    foundTable = new FoundTable(this);
    foundTable->setRuneLook(&look_);
    foundTable->setGives(lastGives);
    foundView = table(QStringLiteral("Runewords"), foundTable, this);
    foundView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    foundView->horizontalHeader()->setSortIndicator(FoundTable::Missing, Qt::AscendingOrder);
    foundView->setSortingEnabled(true);
    for (const auto &[column, width] : {std::pair{FoundTable::Runeword, 150},
                                        {FoundTable::Missing, 110},
                                        {FoundTable::Runes, 150},
                                        {FoundTable::ItemTypesColumn, 190},
                                        {FoundTable::Sockets, 52}})
        foundView->setColumnWidth(column, width);
    foundView->horizontalHeader()->setStretchLastSection(true);
    foundView->verticalHeader()->setDefaultSectionSize(foundView->fontMetrics().height() + 6);
    copyAction = new QAction(QStringLiteral("Copy"), foundView);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    foundView->addAction(copyAction);
    foundView->setContextMenuPolicy(Qt::ActionsContextMenu);

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

    runewordText = new QPlainTextEdit(this);
    runewordText->setObjectName(QStringLiteral("runewordText"));
    runewordText->setAccessibleName(QStringLiteral("Runeword text"));
    runewordText->setReadOnly(true);
    runewordText->setTabChangesFocus(true);

    exportButton = new QPushButton(QStringLiteral("&Export..."), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setAccessibleName(QStringLiteral("Export"));
    exportButton->setAutoDefault(false);
}

void FindWindow::layOut()
{
    auto *top = new QHBoxLayout;
    top->addWidget(caption(QStringLiteral("&Gives:"), gives, this));
    top->addWidget(gives, 1);
    top->addSpacing(12);
    top->addWidget(caption(QStringLiteral("&Missing at most"), missingAtMost, this));
    top->addWidget(missingAtMost);
    top->addSpacing(12);
    top->addWidget(exportButton);
    auto *grid = new QGridLayout(this);
    grid->addLayout(top, 0, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("&Runewords"), foundView, this), 1, 0);
    grid->addWidget(caption(QStringLiteral("Most &wanted runes"), wantedView, this), 1, 1);
    grid->addWidget(foundView, 2, 0);
    grid->addWidget(caption(QStringLiteral("Runeword &text"), runewordText, this), 3, 0);
    grid->addWidget(runewordText, 4, 0);
    grid->addWidget(wantedView, 2, 1, 3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 3);
    grid->setRowStretch(4, 1);
    setTabOrder(gives, missingAtMost);
    setTabOrder(missingAtMost, exportButton);
    setTabOrder(exportButton, foundView);
    setTabOrder(foundView, runewordText);
    setTabOrder(runewordText, wantedView);
    resize(960, 560);
}

void FindWindow::connectHandlers()
{
    connect(gives, &QLineEdit::textChanged, this, guarded([this] { filterByGives(); }));
    connect(missingAtMost, &QSpinBox::valueChanged, this, guarded<int>([this](int maximum) {
                foundTable->setMaximumMissing(maximum);
                showText();
            }));
    connect(foundTable, &QAbstractItemModel::modelReset, this, [this] { showText(); });
    connect(foundView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { showText(); });
    connect(foundView, &QTableView::doubleClicked, this,
            guarded<const QModelIndex &>([this](const QModelIndex &i) { showRuneword(i); }));
    connect(wantedView, &QTableView::doubleClicked, this,
            guarded<const QModelIndex &>([this](const QModelIndex &i) { selectRowsMissing(i); }));
    connect(copyAction, &QAction::triggered, this,
            guarded([this] { QGuiApplication::clipboard()->setText(selectedRowsAsText()); }));
    connect(exportButton, &QPushButton::clicked, this, guarded([this] { exportClicked(); }));
    foundView->installEventFilter(this);
    wantedView->installEventFilter(this);
    gives->installEventFilter(this);
    // The main window's Exit (or close box) closes this window with it.
    form_->installEventFilter(this);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { escape(); });
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this,
            [this] { focusGives(); });
}

bool FindWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == form_ && event->type() == QEvent::Close) {
        close();
    } else if (event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        // The view would copy the current cell alone.
        if (watched == foundView && keyEvent->matches(QKeySequence::Copy)) {
            copyAction->trigger();
            return true;
        }
        if (watched == gives && key == Qt::Key_Down) {
            foundView->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
        if ((watched == foundView || watched == wantedView) &&
            (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            auto *view = static_cast<QTableView *>(watched);
            const QModelIndex current = view->currentIndex();
            runGuarded([&] {
                if (view == foundView)
                    showRuneword(current);
                else
                    selectRowsMissing(current);
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The names as the data file holds them now, read with the runewords that show them.
void FindWindow::readRuneLook()
{
    const RowData rows = form_->runeDb->select(QStringLiteral("SELECT Runename FROM runesQuery"),
                                               {}, QStringLiteral("read the rune names"));
    for (int k = 1; k <= 46; ++k)
        look_.names[size_t(k)] = k <= rows.rowCount() ? rows.value(k - 1, 0).toString() : QString();
}

void FindWindow::refresh()
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
    readRuneLook();
    current_ = -1;
    // The rows read last go first, so that the new ones take their memory and their room.
    const size_t expected = foundTable->runewordsRead();
    foundTable->setRunewords({});
    foundTable->setRunewords(readRunewords(*form_->runeDb, set, expected));
    wantedTable->setCompletes(foundTable->completes());
}

void FindWindow::filterByGives()
{
    lastGives = gives->text();
    foundTable->setGives(lastGives);
    wantedTable->setCompletes(foundTable->completes());
}

void FindWindow::focusGives()
{
    gives->setFocus(Qt::ShortcutFocusReason);
    gives->selectAll();
}

void FindWindow::escape()
{
    if (gives->text().isEmpty())
        close();
    else
        gives->clear();
}

// The text of the current runeword: after the table changes, the one shown before if it is
// still there, else the first. What Gives matched stands out.
void FindWindow::showText()
{
    QItemSelectionModel *selection = foundView->selectionModel();
    int row = selection->currentIndex().row();
    if (row < 0 && foundTable->rowCount() > 0) {
        row = std::max(current_ >= 0 ? foundTable->rowOf(current_) : 0, 0);
        const QSignalBlocker blocker(selection);
        selection->setCurrentIndex(foundTable->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    current_ = row >= 0 ? foundTable->readAt(row) : -1;
    // The pane counts a CR LF as one line break.
    QString text = row >= 0 ? foundTable->runeword(row).text : QString();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    runewordText->setPlainText(text);
    std::vector<int> origins;
    const QString folded = fold(text, &origins);
    QTextCharFormat matched;
    matched.setFontWeight(QFont::Bold);
    matched.setBackground(palette().color(QPalette::Highlight));
    matched.setForeground(palette().color(QPalette::HighlightedText));
    for (const auto &[start, length] : foundTable->gives().stretches(folded)) {
        QTextCursor cursor(runewordText->document());
        cursor.setPosition(origins[size_t(start)]);
        cursor.setPosition(size_t(start + length) < origins.size() ? origins[size_t(start + length)]
                                                                   : int(text.size()),
                           QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(matched);
    }
}

// As picking the name in the main window's list would, but the list stays as it is.
void FindWindow::showRuneword(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    form_->keepOwnedSet();
    form_->SetCurrentRuneword(foundTable->runeword(index.row()).name);
}

// Selects the runewords of table 1 that lack the rune; the board is left alone.
void FindWindow::selectRowsMissing(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const quint64 bit = quint64(1) << wantedTable->rune(index.row());
    QItemSelection rows;
    int first = -1;
    // One range for each run of rows, not one for each row.
    for (int row = 0, start = -1; row <= foundTable->rowCount(); ++row) {
        const bool lacks =
            row < foundTable->rowCount() && (foundTable->runeword(row).missing & bit);
        if (lacks && start < 0)
            start = row;
        if (!lacks && start >= 0) {
            rows.select(foundTable->index(start, 0),
                        foundTable->index(row - 1, FoundTable::ColumnCount - 1));
            first = first < 0 ? start : first;
            start = -1;
        }
    }
    foundView->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    if (first >= 0) {
        foundView->selectionModel()->setCurrentIndex(foundTable->index(first, 0),
                                                     QItemSelectionModel::NoUpdate);
        foundView->scrollTo(foundTable->index(first, 0));
    }
}

void Form1::mnuFind_Click()
{
    if (!findWindow) {
        auto window = std::make_unique<FindWindow>(this);
        window->refresh();
        findWindow = window.release();
    }
    findWindow->show();
    findWindow->raise();
    findWindow->activateWindow();
    findWindow->focusGives();
}
