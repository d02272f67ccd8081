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

QString ListBox::text(int row) const
{
    return model_.data(model_.index(row)).toString();
}

void ListBox::setCurrentRow(int row)
{
    setCurrentIndex(model_.index(row));
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
