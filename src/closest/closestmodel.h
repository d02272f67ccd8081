#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

class Database;

// What the search would be given: the owned runes and the ticked boxes.
struct RuneSet {
    quint64 owned = 0;     // bit k: rune k is owned
    quint16 itemTypes = 0; // bit i: itemTypes[i] is ticked
    quint8 sockets = 0;    // bit n: "n sockets" is ticked, n = 2 to 6; "1 socket" is never read
};

// A runeword that owning from one to three more runes would put into the search's list.
struct CloseRuneword {
    QString name;
    std::array<quint8, 6> slots{}; // 0 for an unused slot, else 1 to 46
    quint8 sockets = 0;            // nrrunes
    quint16 itemTypes = 0;         // bit i: itemTypes[i] is true
    quint64 missing = 0;           // bit k: rune k is lacking
    int missingCount = 0;
};

// Every runeword within three missing runes of a set, in the order read, and for each rune how
// many runewords it alone would complete.
struct Closeness {
    std::vector<CloseRuneword> runewords;
    std::array<int, 47> completes{}; // by rune number
};

inline constexpr int mostMissing = 3;

// Reads the runewords afresh, a batch of rows at a time. Throws Failure.
Closeness readCloseness(Database &db, const RuneSet &set);

// The names and pictures of the runes and their board colours, by rune number.
struct RuneLook {
    std::array<QString, 47> names;
    std::array<QIcon, 47> pictures; // the tile's picture and its large one
    std::array<QColor, 47> colours;
};

// Table 1: the close runewords missing at most a chosen number of runes, in the order the
// player sorts them (by the number missing, then by name, at first).
class ClosestTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Runeword, Missing, Runes, ItemTypesColumn, Sockets, ColumnCount };

    explicit ClosestTable(QObject *parent = nullptr);

    void setRuneLook(const RuneLook *look) { look_ = look; }
    void setRunewords(Closeness closeness);
    void setMaximumMissing(int maximum);
    int maximumMissing() const { return maximum_; }
    const CloseRuneword &runeword(int row) const
    {
        return read_.runewords[size_t(shown_[size_t(row)])];
    }
    QString name(int row) const { return runeword(row).name; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    QString missingNames(const CloseRuneword &runeword) const;
    QString runeNames(const CloseRuneword &runeword) const;
    static QString itemTypeCaptions(const CloseRuneword &runeword);

private:
    void showWithin();

    const RuneLook *look_ = nullptr;
    Closeness read_;
    std::vector<int> shown_; // those of read_.runewords missing at most maximum_, in order
    int maximum_ = 1;
    int sortColumn_ = Missing;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

// Table 2: the lacking runes that alone complete a runeword, the most completing first.
class WantedTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Rune, Completes, ColumnCount };
    // The completes cell's bar: its share of the largest count, and its colour.
    enum Role { ShareRole = Qt::UserRole, ColourRole };

    explicit WantedTable(QObject *parent = nullptr);

    void setRuneLook(const RuneLook *look) { look_ = look; }
    void setCompletes(const std::array<int, 47> &completes);
    int rune(int row) const { return rows_[size_t(row)].first; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const RuneLook *look_ = nullptr;
    std::vector<std::pair<int, int>> rows_; // rune, count
};
