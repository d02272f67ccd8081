#include "closestmodel.h"

#include "data/database.h"
#include "mainwindow/form1.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace {

// The fields a runeword is judged by, in the order read: the name, nrrunes, the six slots, the
// item types as one number, then the row id.
constexpr int nrrunesField = 1;
constexpr int firstSlotField = 2;
constexpr int typesField = firstSlotField + 6;
constexpr int rowIdField = typesField + 1;

// The rows come a batch at a time, in the order of their row ids, as a scan of the table gives
// them: read at once, 100,000 runewords take some 30 MB of values, fresh from the system on
// every reading, and that costs more than the reading. No ordering by name: through the index
// of names the engine would visit the rows in a random order, which costs it many times the
// scan.
constexpr int batchRows = 1024;

// The item types come as one number, bit i for itemTypes[i]: one value a row, not nine. "IS 1"
// holds where the search's "= true" does, for 1 alone, and for no Null; the "+" keeps a text
// column from making the 1 a text.
QString closenessQuery()
{
    QStringList types;
    for (size_t i = 0; i < itemTypes.size(); ++i)
        types << QStringLiteral("iif(+%1 IS 1, %2, 0)")
                     .arg(QLatin1String(itemTypes[i].column))
                     .arg(1 << i);
    return QStringLiteral("SELECT RuneWordName, nrrunes, rune1, rune2, rune3, rune4, rune5, rune6, "
                          "%1, rowid FROM RuneWords WHERE rowid >= ? ORDER BY rowid LIMIT %2")
        .arg(types.join(QStringLiteral(" + ")))
        .arg(batchRows);
}

// A field's value as the search's comparisons ("nrrunes = 2", "rune1 in (0, 5)") see it: a
// whole number from 0 to most, stored as an integer or as a number with no fraction. Null, a
// text, a fraction, a negative or a larger number (1e300 too) is none, and the runeword is
// never listed.
int wholeUpTo(const QVariant &value, int most)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int: {
        const qlonglong number = value.value<qlonglong>();
        return number >= 0 && number <= most ? int(number) : -1;
    }
    case QMetaType::Double: {
        const double number = value.value<double>();
        return number >= 0 && number <= most && number == std::floor(number) ? int(number) : -1;
    }
    default:
        return -1;
    }
}

bool passesSockets(int sockets, const RuneSet &set)
{
    return sockets == 1 || (sockets >= 2 && sockets <= 6 && (set.sockets >> sockets & 1));
}

// The runeword on that row, if it is close to the set.
std::optional<CloseRuneword> closeRuneword(const RowData &rows, int row, const RuneSet &set)
{
    const auto whole = [&](int field, int most) { return wholeUpTo(rows.value(row, field), most); };
    // The slots first: most runewords lack too many runes, or none, and need no more.
    CloseRuneword runeword;
    quint64 runes = 0;
    for (int slot = 0; slot < 6; ++slot) {
        const int rune = whole(firstSlotField + slot, 46);
        if (rune < 0)
            return std::nullopt;
        runeword.slots[size_t(slot)] = quint8(rune);
        runes |= rune > 0 ? quint64(1) << rune : 0;
    }
    runeword.missing = runes & ~set.owned;
    runeword.missingCount = int(qPopulationCount(runeword.missing));
    if (runeword.missingCount < 1 || runeword.missingCount > mostMissing)
        return std::nullopt;
    const int sockets = whole(nrrunesField, 6);
    if (sockets < 0 || !passesSockets(sockets, set))
        return std::nullopt;
    runeword.sockets = quint8(sockets);
    runeword.itemTypes = quint16(rows.value(row, typesField).value<qlonglong>());
    if (!(runeword.itemTypes & set.itemTypes))
        return std::nullopt;
    runeword.name = rows.value(row, 0).toString();
    return runeword;
}

} // namespace

Closeness readCloseness(Database &db, const RuneSet &set)
{
    static const QString sql = closenessQuery();
    Closeness result;
    for (qint64 from = std::numeric_limits<qint64>::min();;) {
        const RowData rows = db.select(sql, {from}, QStringLiteral("run the query"));
        for (int row = 0; row < rows.rowCount(); ++row) {
            std::optional<CloseRuneword> runeword = closeRuneword(rows, row, set);
            if (!runeword)
                continue;
            if (runeword->missingCount == 1)
                ++result.completes[size_t(qCountTrailingZeroBits(runeword->missing))];
            result.runewords.push_back(std::move(*runeword));
        }
        if (rows.rowCount() < batchRows)
            break;
        // A foreign table may have a column of its own named rowid, holding anything: the
        // reading must end all the same.
        const qint64 last = rows.value(batchRows - 1, rowIdField).toLongLong();
        if (last < from || last == std::numeric_limits<qint64>::max())
            break;
        from = last + 1;
    }
    return result;
}

ClosestTable::ClosestTable(QObject *parent) : QAbstractTableModel(parent) {}

void ClosestTable::setRunewords(Closeness closeness)
{
    beginResetModel();
    read_ = std::move(closeness);
    showWithin();
    endResetModel();
}

void ClosestTable::setMaximumMissing(int maximum)
{
    if (maximum == maximum_)
        return;
    beginResetModel();
    maximum_ = maximum;
    showWithin();
    endResetModel();
}

void ClosestTable::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    beginResetModel();
    sortColumn_ = column;
    sortOrder_ = order;
    showWithin();
    endResetModel();
}

// Only the rows shown are sorted: when the window opens, those missing one rune alone. Ties keep
// the order of names, and equal names the order read.
void ClosestTable::showWithin()
{
    shown_.clear();
    for (int i = 0; i < int(read_.runewords.size()); ++i) {
        if (read_.runewords[size_t(i)].missingCount <= maximum_)
            shown_.push_back(i);
    }
    const auto byKey = [this](auto key) {
        std::vector<decltype(key(read_.runewords.front()))> keys(read_.runewords.size());
        for (int i : shown_)
            keys[size_t(i)] = key(read_.runewords[size_t(i)]);
        std::stable_sort(shown_.begin(), shown_.end(), [&](int a, int b) {
            if (keys[size_t(a)] != keys[size_t(b)])
                return keys[size_t(a)] < keys[size_t(b)];
            return read_.runewords[size_t(a)].name < read_.runewords[size_t(b)].name;
        });
    };
    switch (sortColumn_) {
    case Runeword:
        byKey([](const CloseRuneword &) { return 0; }); // by name alone
        break;
    case Missing:
        byKey([](const CloseRuneword &w) { return w.missingCount; });
        break;
    case Runes:
        byKey([this](const CloseRuneword &w) { return runeNames(w); });
        break;
    case ItemTypesColumn:
        byKey([](const CloseRuneword &w) { return itemTypeCaptions(w); });
        break;
    case Sockets:
        byKey([](const CloseRuneword &w) { return int(w.sockets); });
        break;
    }
    if (sortOrder_ == Qt::DescendingOrder)
        std::reverse(shown_.begin(), shown_.end());
}

int ClosestTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int ClosestTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ClosestTable::missingNames(const CloseRuneword &runeword) const
{
    QStringList names;
    quint64 named = 0;
    for (quint8 rune : runeword.slots) {
        const quint64 bit = quint64(1) << rune;
        if (rune > 0 && (runeword.missing & bit) && !(named & bit)) {
            named |= bit;
            names << look_->names[rune];
        }
    }
    return names.join(QLatin1Char(' '));
}

QString ClosestTable::runeNames(const CloseRuneword &runeword) const
{
    QStringList names;
    for (quint8 rune : runeword.slots) {
        if (rune > 0)
            names << look_->names[rune];
    }
    return names.join(QLatin1Char(' '));
}

QString ClosestTable::itemTypeCaptions(const CloseRuneword &runeword)
{
    QStringList captions;
    for (size_t i = 0; i < itemTypes.size(); ++i) {
        if (runeword.itemTypes >> i & 1)
            captions << QLatin1String(itemTypes[i].caption);
    }
    return captions.join(QStringLiteral(", "));
}

QVariant ClosestTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CloseRuneword &w = runeword(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == Sockets)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Runeword:
        return w.name;
    case Missing:
        return missingNames(w);
    case Runes:
        return runeNames(w);
    case ItemTypesColumn:
        return itemTypeCaptions(w);
    case Sockets:
        return int(w.sockets);
    }
    return {};
}

QVariant ClosestTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[] = {"Runeword", "Missing", "Runes", "Item types", "Sockets"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QLatin1String(titles[section]);
}

WantedTable::WantedTable(QObject *parent) : QAbstractTableModel(parent) {}

void WantedTable::setCompletes(const std::array<int, 47> &completes)
{
    beginResetModel();
    rows_.clear();
    for (int rune = 1; rune <= 46; ++rune) {
        if (completes[size_t(rune)] > 0)
            rows_.emplace_back(rune, completes[size_t(rune)]);
    }
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const auto &a, const auto &b) { return a.second > b.second; });
    endResetModel();
}

int WantedTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int WantedTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WantedTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto [rune, count] = rows_[size_t(index.row())];
    if (index.column() == Rune) {
        if (role == Qt::DisplayRole)
            return look_->names[size_t(rune)];
        if (role == Qt::DecorationRole)
            return look_->pictures[size_t(rune)];
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return count;
    case ShareRole:
        return double(count) / rows_.front().second; // the first row holds the largest count
    case ColourRole:
        return look_->colours[size_t(rune)];
    }
    return {};
}

QVariant WantedTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == Rune ? QStringLiteral("Rune") : QStringLiteral("Completes");
}
