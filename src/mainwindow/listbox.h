#pragma once

#include "textblock.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

// The texts of a ListBox, read-only.
class TextListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    const TextBlock &texts() const { return texts_; }
    // Each tells the views that every row is new, as refilling a list of strings does.
    void clear();
    void append(TextBlock texts);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    TextBlock texts_;
};

// A single-selection list of plain texts. The texts live in one block rather than in an item
// object or a string each: the result list may hold every runeword of a large modification,
// and is refilled on every search.
class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget *parent);

    int count() const { return model_.rowCount(); }
    QString text(int row) const;
    // The first row holding exactly this text, or -1.
    int find(const QString &text) const { return model_.texts().indexOf(text); }
    int currentRow() const { return currentIndex().row(); }
    void setCurrentRow(int row);
    QStringList selectedTexts() const;

    // Filling the list is not a selection by the user: neither emits itemSelectionChanged.
    void clear();
    void addItems(TextBlock texts);
    void addItems(const QStringList &texts);
    void addItem(const QString &text) { addItems(QStringList{text}); }

protected:
    // Once an entry is selected, the player can only select another one, never none.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

Q_SIGNALS:
    // The selection changed, by the mouse, the keyboard or setCurrentRow.
    void itemSelectionChanged();

private:
    TextListModel model_;
};
