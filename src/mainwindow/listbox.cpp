#include "listbox.h"

#include <QSignalBlocker>

ListBox::ListBox(QWidget *parent) : QListView(parent)
{
    setModel(&model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListBox::itemSelectionChanged);
}

void TextListModel::clear()
{
    beginResetModel();
    texts_ = {};
    endResetModel();
}

void TextListModel::append(TextBlock texts)
{
    beginResetModel();
    if (texts_.isEmpty())
        texts_ = std::move(texts);
    else
        texts_.append(texts);
    endResetModel();
}

int TextListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : texts_.size();
}

QVariant TextListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= texts_.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return texts_.at(index.row()).toString();
}

QString ListBox::text(int row) const
{
    return model_.data(model_.index(row, 0), Qt::DisplayRole).toString();
}

void ListBox::setCurrentRow(int row)
{
    setCurrentIndex(model_.index(row, 0));
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex &index,
                                                              const QEvent *event) const
{
    // A click below the last entry, or Ctrl with a click or Space on the selected entry, would
    // empty the selection and still count as a selection event.
    if (!index.isValid() || selectionModel()->isSelected(index))
        return QItemSelectionModel::NoUpdate;
    return QListView::selectionCommand(index, event);
}

QStringList ListBox::selectedTexts() const
{
    QStringList texts;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        texts << index.data().toString();
    return texts;
}

void ListBox::clear()
{
    const QSignalBlocker blocker(this);
    model_.clear();
}

void ListBox::addItems(TextBlock texts)
{
    const QSignalBlocker blocker(this);
    model_.append(std::move(texts));
}

void ListBox::addItems(const QStringList &texts)
{
    TextBlock block;
    block.reserve(int(texts.size()));
    for (const QString &text : texts)
        block.append(text);
    addItems(std::move(block));
}
