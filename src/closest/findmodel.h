#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <utility>
#include <vector>

class Database;

// What the search would be given: the owned runes and the ticked boxes.
struct RuneSet {
    quint64 owned = 0;     // bit k: rune k is owned
    quint16 itemTypes = 0; // bit i: itemTypes[i] is ticked
    quint8 sockets = 0;    // bit n: "n sockets" is ticked, n = 2 to 6; "1 socket" is never read
};

// A runeword the search lists for a set, or would list with up to three more runes owned.
struct FoundRuneword {
    QString name;
    QString text;
    QString folded;                      // the name, a line break and the text, folded for Gives
    std::array<quint64, 3> namePrefix{}; // the name's first twelve characters, for sorting
    std::array<quint8, 6> slots{};       // 0 for an unused slot, else 1 to 46
    quint8 sockets = 0;                  // nrrunes
    quint16 itemTypes = 0;               // bit i: itemTypes[i] is true
    quint64 missing = 0;                 // bit k: rune k is lacking
    int missingCount = 0;                // 0: the search lists it now
};

inline constexpr int mostMissing = 3;

// Reads the runewords afresh, in the order of the file, with room made at once for the number
// expected: after a Search, moving 100,000 rows as the room grows took a tenth of the time.
// Throws Failure.
std::vector<FoundRuneword> readRunewords(Database &db, const RuneSet &set, size_t expected = 0);

// Text as Gives compares it: decomposed, marks dropped, case folded; each run of blanks becomes
// one space and each run holding a line break one line break. With origins, each folded
// character's index in text is appended to it.
QString fold(const QString &text, std::vector<int> *origins = nullptr);

// What the player typed into Gives: words, and phrases in double quotes. A runeword passes
// when each of them starts at the start of a word of its folded name or text.
class Gives {
public:
    explicit Gives(const QString &typed = {});
    bool isEmpty() const { return terms_.isEmpty(); }
    bool matches(const QString &folded) const;
    // Where the terms start in folded text, and how long they are.
    std::vector<std::pair<int, int>> stretches(const QString &folded) const;

private:
    QStringList terms_; // folded; a phrase's words joined by one space
};

// The names, pictures and board colours of the runes, by rune number.
struct RuneLook {
    std::array<QString, 47> names;
    std::array<QPixmap, 47> pictures, largePictures; // a large one may be null
    std::array<QColor, 47> colours;
};

// Table 1: the runewords that pass Gives and lack at most a chosen number of runes, in the
// order the player sorts them (by the number missing, then by name, at first).
class FoundTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Runeword, Missing, Runes, ItemTypesColumn, Sockets, ColumnCount };

    explicit FoundTable(QObject *parent = nullptr);

    void setRuneLook(const RuneLook *look) { look_ = look; }
    void setRunewords(std::vector<FoundRuneword> runewords);
    void setMaximumMissing(int maximum);
    int maximumMissing() const { return maximum_; }
    void setGives(const QString &typed);
    const Gives &gives() const { return gives_; }
    // For each rune, how many of the runewords that pass Gives lack it alone.
    const std::array<int, 47> &completes() const { return completes_; }

    const FoundRuneword &runeword(int row) const { return read_[size_t(shown_[size_t(row)])]; }
    size_t runewordsRead() const { return read_.size(); }
    // The row of the runeword read at that place, or -1 when it is not shown.
    int rowOf(int read) const;
    int readAt(int row) const { return shown_[size_t(row)]; }
    QString cell(int row, int column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    void filter();
    void show();
    QString missingNames(const FoundRuneword &runeword) const;
    QString runeNames(const FoundRuneword &runeword) const;

    const RuneLook *look_ = nullptr;
    std::vector<FoundRuneword> read_;
    bool folded_ = false;      // each runeword's folded text is made
    std::vector<bool> passes_; // by place read: passes Gives
    std::vector<int> shown_;   // places read, in the order shown
    std::array<int, 47> completes_{};
    Gives gives_;
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
    // The picture a screen of that pixel ratio shows, as a tile chooses it: the large one on any
    // screen denser than 1, where an icon would take the nearer size.
    const QPixmap &picture(int row, qreal ratio) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const RuneLook *look_ = nullptr;
    std::vector<std::pair<int, int>> rows_; // rune, count
};
