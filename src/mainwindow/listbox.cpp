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

void ListBox::setCurrentRow(int row)
{
    setCurrentIndex(model_.index(row));
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
    model_.setStringList({});
}

void ListBox::addItems(const QStringList &texts)
{
    const QSignalBlocker blocker(this);
    model_.setStringList(model_.stringList() + texts);
}
