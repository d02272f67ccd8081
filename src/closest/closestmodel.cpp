#include "closestmodel.h"

#include "data/database.h"
#include "data/querydef.h"
#include "data/recordset.h"
#include "mainwindow/form1.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

// The fields a runeword is judged by, in the order read: the name, nrrunes, the six slots, then
// the item types. No ordering: through the index of names the engine would visit the rows in a
// random order, which costs it many times the scan; the close runewords are sorted here instead.
constexpr int nrrunesField = 1;
constexpr int firstSlotField = 2;
constexpr int firstTypeField = firstSlotField + 6;

QStringList closenessFields()
{
    QStringList fields{QStringLiteral("RuneWordName"), QStringLiteral("nrrunes")};
    for (int slot = 1; slot <= 6; ++slot)
        fields << QStringLiteral("rune%1").arg(slot);
    for (const ItemType &type : itemTypes)
        fields << QLatin1String(type.column);
    return fields;
}

QString closenessQuery(const QStringList &fields)
{
    return QStringLiteral("SELECT ") + fields.join(QStringLiteral(", ")) +
           QStringLiteral(" FROM RuneWords");
}

// A field's value as the search's comparisons ("nrrunes = 2", "rune1 in (0, 5)") see it: a
// whole number from 0 to most, stored as an integer or as a number with no fraction. Null, a
// text, a fraction, a negative or a larger number (1e300 too) is none, and the runeword is
// never listed.
int wholeUpTo(const QVariant &value, int most)
{
    switch (value.typeId()) {
    case QMetaType::LongLong: {
        const qint64 integer = value.toLongLong();
        return integer >= 0 && integer <= most ? int(integer) : -1;
    }
    case QMetaType::Double: {
        const double real = value.toDouble();
        return real >= 0 && real <= most && real == std::floor(real) ? int(real) : -1;
    }
    default:
        return -1;
    }
}

// A name's first twelve UTF-16 units, four to a part, the first in the highest bits, and the
// runeword it belongs to.
struct NameKey {
    quint64 part[3];
    int index;
};

// Byte digit of a key, 0 being the least significant.
inline unsigned digitOf(const NameKey &key, int digit)
{
    return unsigned(key.part[2 - digit / 8] >> (8 * (digit % 8))) & 0xFF;
}

// Sorts by the keys a byte at a time from the least significant, each pass a stable counting
// sort, and skips the bytes in which all keys agree (as the high bytes of Latin letters do).
void radixSort(std::vector<NameKey> &keys)
{
    constexpr int digits = 24;
    if (keys.size() < 2)
        return;
    std::vector<std::array<quint32, 256>> counts(digits);
    for (const NameKey &key : keys) {
        for (int digit = 0; digit < digits; ++digit)
            ++counts[size_t(digit)][digitOf(key, digit)];
    }
    std::vector<NameKey> sorted(keys.size());
    for (int digit = 0; digit < digits; ++digit) {
        std::array<quint32, 256> &place = counts[size_t(digit)];
        if (place[digitOf(keys.front(), digit)] == keys.size())
            continue;
        quint32 before = 0;
        for (quint32 &count : place)
            before += std::exchange(count, before);
        for (const NameKey &key : keys)
            sorted[place[digitOf(key, digit)]++] = key;
        keys.swap(sorted);
    }
}

// Ranks the runewords by name, then orders them by the number missing and then by name. Names
// are sorted by their first twelve characters as numbers first, and only those that agree in
// all twelve are compared as texts: comparing the texts for every pair took as long as reading
// the file.
void orderByName(Closeness &read)
{
    std::vector<CloseRuneword> &runewords = read.runewords;
    std::vector<NameKey> byName;
    byName.reserve(runewords.size());
    for (const CloseRuneword &runeword : runewords) {
        const QStringView name = read.name(runeword);
        NameKey key{{0, 0, 0}, int(byName.size())};
        for (int i = 0; i < 12; ++i)
            key.part[i / 4] = key.part[i / 4] << 16 | (i < name.size() ? name[i].unicode() : 0);
        byName.push_back(key);
    }
    radixSort(byName);
    const auto sameKey = [](const NameKey &a, const NameKey &b) {
        return std::equal(std::begin(a.part), std::end(a.part), std::begin(b.part));
    };
    for (auto run = byName.begin(); run != byName.end();) {
        const auto end = std::find_if_not(run + 1, byName.end(),
                                          [&](const NameKey &key) { return sameKey(key, *run); });
        if (end - run > 1) {
            std::sort(run, end, [&](const NameKey &a, const NameKey &b) {
                return read.name(runewords[size_t(a.index)]) <
                       read.name(runewords[size_t(b.index)]);
            });
        }
        run = end;
    }
    // Each runeword goes straight to its place: after all those missing fewer runes, and
    // after those missing as many that come before it by name.
    std::array<size_t, mostMissing + 2> place{};
    for (const CloseRuneword &runeword : runewords)
        ++place[size_t(runeword.missingCount) + 1];
    for (size_t count = 1; count < place.size(); ++count)
        place[count] += place[count - 1];
    std::vector<CloseRuneword> ordered(runewords.size());
    for (size_t rank = 0; rank < byName.size(); ++rank) {
        CloseRuneword &runeword = runewords[size_t(byName[rank].index)];
        runeword.rank = int(rank);
        ordered[place[size_t(runeword.missingCount)]++] = runeword;
    }
    runewords = std::move(ordered);
}

bool passesSockets(int sockets, const RuneSet &set)
{
    return sockets == 1 || (sockets >= 2 && sockets <= 6 && (set.sockets >> sockets & 1));
}

} // namespace

Closeness readCloseness(Database &db, const RuneSet &set)
{
    static const QStringList fields = closenessFields();
    static const QString sql = closenessQuery(fields);
    const std::unique_ptr<QueryDef> query = db.createQueryDef(sql);
    Closeness result;
    const std::unique_ptr<Recordset> rows = query->openRecordset();
    std::vector<int> columns;
    for (const QString &field : fields)
        columns.push_back(rows->fieldIndex(field));
    const auto readRow = [&](const auto &row) {
        // The slots first: most runewords lack too many runes, or none, and need no more.
        CloseRuneword runeword;
        quint64 runes = 0;
        for (int slot = 0; slot < 6; ++slot) {
            const int rune = wholeUpTo(row(firstSlotField + slot), 46);
            if (rune < 0)
                return;
            runeword.slots[size_t(slot)] = quint8(rune);
            runes |= rune > 0 ? quint64(1) << rune : 0;
        }
        const quint64 missing = runes & ~set.owned;
        const int count = int(qPopulationCount(missing));
        if (count < 1 || count > mostMissing)
            return;
        const int sockets = wholeUpTo(row(nrrunesField), 6);
        if (sockets < 0 || !passesSockets(sockets, set))
            return;
        // "= true" holds for 1 alone.
        quint16 types = 0;
        for (int i = 0; i < int(itemTypes.size()); ++i)
            types |= quint16(wholeUpTo(row(firstTypeField + i), 1) == 1 ? 1u << i : 0u);
        if (!(types & set.itemTypes))
            return;
        runeword.name = result.names.size();
        result.names.append(row(0).toString());
        runeword.sockets = quint8(sockets);
        runeword.itemTypes = types;
        runeword.missing = missing;
        runeword.missingCount = count;
        if (count == 1)
            ++result.completes[size_t(qCountTrailingZeroBits(missing))];
        result.runewords.push_back(runeword);
    };
    for (; !rows->eof(); rows->moveNext())
        readRow([&](int field) { return rows->field(columns[size_t(field)]); });
    rows->close();
    query->close();
    orderByName(result);
    return result;
}

ClosestTable::ClosestTable(QObject *parent) : QAbstractTableModel(parent) {}

void ClosestTable::setRunewords(Closeness closeness)
{
    beginResetModel();
    read_ = std::move(closeness);
    order();
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
    this->order();
    showWithin();
    endResetModel();
}

// Ties keep the order of names.
void ClosestTable::order()
{
    ordered_.resize(read_.runewords.size());
    for (size_t i = 0; i < ordered_.size(); ++i)
        ordered_[i] = int(i);
    const auto byKey = [this](auto key) {
        std::vector<decltype(key(read_.runewords.front()))> keys;
        keys.reserve(read_.runewords.size());
        for (const CloseRuneword &runeword : read_.runewords)
            keys.push_back(key(runeword));
        std::stable_sort(ordered_.begin(), ordered_.end(), [&](int a, int b) {
            if (keys[size_t(a)] != keys[size_t(b)])
                return keys[size_t(a)] < keys[size_t(b)];
            return read_.runewords[size_t(a)].rank < read_.runewords[size_t(b)].rank;
        });
    };
    // They come ordered by the number missing and then by name.
    if (!read_.runewords.empty() && sortColumn_ != Missing) {
        switch (sortColumn_) {
        case Runeword:
            byKey([](const CloseRuneword &w) { return w.rank; });
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
    }
    if (sortOrder_ == Qt::DescendingOrder)
        std::reverse(ordered_.begin(), ordered_.end());
}

void ClosestTable::showWithin()
{
    shown_.clear();
    for (int i : ordered_) {
        if (read_.runewords[size_t(i)].missingCount <= maximum_)
            shown_.push_back(i);
    }
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
        return read_.name(w).toString();
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
