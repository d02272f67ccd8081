#pragma once

#include <QListView>
#include <QStringList>
#include <QStringListModel>

// A single-selection list of plain texts.
class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget *parent);

    int count() const { return model_.rowCount(); }
    QString text(int row) const { return model_.stringList().value(row); }
    // The first row holding exactly this text, or -1.
    int find(const QString &text) const { return int(model_.stringList().indexOf(text)); }
    void setCurrentRow(int row);
    QStringList selectedTexts() const;

    // Filling the list is not a selection by the user: neither emits itemSelectionChanged.
    void clear();
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
    QStringListModel model_;
};
