#include "findmodel.h"

#include "data/database.h"
#include "mainwindow/form1.h"

#include <QStringView>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The fields a runeword is judged by, in the order read: nrrunes, the six slots, the name and
// the text, which only the runewords kept need, then the nine item types.
constexpr int nrrunesField = 0;
constexpr int firstSlotField = 1;
constexpr int nameField = firstSlotField + 6;
constexpr int textField = nameField + 1;
constexpr int firstTypeField = textField + 1;

QString runewordsQuery()
{
    QStringList types;
    for (const ItemType &type : itemTypes)
        types << QLatin1String(type.column);
    return QStringLiteral("SELECT nrrunes, rune1, rune2, rune3, rune4, rune5, rune6, "
                          "RuneWordName, runewordText, %1 FROM RuneWords")
        .arg(types.join(QStringLiteral(", ")));
}

// A number field's value as the search's comparisons ("nrrunes = 2", "rune1 in (0, 5)") see
// it: a whole number from 0 to most, stored as an integer or as a number with no fraction. A
// fraction, a negative or a larger number (1e300 too) is none, and the runeword is never
// listed; so is any value that is not a number (Row::isNumber).
int wholeUpTo(double value, int most)
{
    return value >= 0 && value <= most && value == std::floor(value) ? int(value) : -1;
}

bool passesSockets(int sockets, const RuneSet &set)
{
    return sockets == 1 || (sockets >= 2 && sockets <= 6 && (set.sockets >> sockets & 1));
}

// Reads the runeword on that row into runeword; whether the search lists it or would with up
// to three more runes.
bool readRuneword(const Database::Row &row, const RuneSet &set, FoundRuneword &runeword)
{
    // The slots first, by value: most runewords lack too many runes and need no more. Only then
    // are their types looked at (a text reads as a number too).
    quint64 runes = 0;
    for (int slot = 0; slot < 6; ++slot) {
        const int rune = wholeUpTo(row.real(firstSlotField + slot), 46);
        if (rune < 0)
            return false;
        runeword.slots[size_t(slot)] = quint8(rune);
        runes |= rune > 0 ? quint64(1) << rune : 0;
    }
    runeword.missing = runes & ~set.owned;
    runeword.missingCount = int(qPopulationCount(runeword.missing));
    if (runeword.missingCount > mostMissing)
        return false;
    for (int slot = 0; slot < 6; ++slot) {
        if (!row.isNumber(firstSlotField + slot))
            return false;
    }
    const int sockets = row.isNumber(nrrunesField) ? wholeUpTo(row.real(nrrunesField), 6) : -1;
    if (sockets < 0 || !passesSockets(sockets, set))
        return false;
    runeword.sockets = quint8(sockets);
    // True as the search's "= true" sees it: 1, or 1.0 where a column keeps reals.
    for (size_t i = 0; i < itemTypes.size(); ++i) {
        const int field = firstTypeField + int(i);
        if (row.real(field) == 1 && row.isNumber(field))
            runeword.itemTypes |= quint16(1u << i);
    }
    if (!(runeword.itemTypes & set.itemTypes))
        return false;
    runeword.name = row.text(nameField);
    runeword.text = row.text(textField);
    // The first characters as numbers, which order most names without reading them again when
    // the rows are sorted.
    for (qsizetype k = 0; k < qsizetype(4 * runeword.namePrefix.size()); ++k) {
        quint64 &part = runeword.namePrefix[size_t(k / 4)];
        part = part << 16 | (k < runeword.name.size() ? runeword.name[k].unicode() : 0);
    }
    return true;
}

QString itemTypeCaptions(const FoundRuneword &runeword)
{
    QStringList captions;
    for (size_t i = 0; i < itemTypes.size(); ++i) {
        if (runeword.itemTypes >> i & 1)
            captions << QLatin1String(itemTypes[i].caption);
    }
    return captions.join(QStringLiteral(", "));
}

bool isLineBreak(char32_t c)
{
    return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x2028 || c == 0x2029;
}

// Whether a term may start at that place of folded text: at its start, or after a character
// that is no letter or digit. "old" does not find "cold"; "+2" finds "+20".
bool startsWord(const QString &folded, qsizetype at)
{
    return at == 0 || !folded.at(at - 1).isLetterOrNumber();
}

qsizetype termAt(const QString &folded, const QString &term, qsizetype from)
{
    for (qsizetype at = folded.indexOf(term, from); at >= 0; at = folded.indexOf(term, at + 1)) {
        if (startsWord(folded, at))
            return at;
    }
    return -1;
}

} // namespace

std::vector<FoundRuneword> readRunewords(Database &db, const RuneSet &set, size_t expected)
{
    static const QString sql = runewordsQuery();
    std::vector<FoundRuneword> found;
    found.reserve(expected);
    db.forEachRow(sql, QStringLiteral("run the query"), [&](const Database::Row &row) {
        if (!readRuneword(row, set, found.emplace_back()))
            found.pop_back();
    });
    return found;
}

QString fold(const QString &text, std::vector<int> *origins)
{
    // Written in place, for opening at 100,000 within its budget: appended one character at a
    // time, folding took 20 ms of processor time there. Folding plain ASCII never makes a text
    // longer; only a character that folds to more than it was grows the buffer.
    QString folded(text.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    qsizetype used = 0;
    enum { None, Space, Break } gap = None;
    int gapStart = 0;
    const auto append = [&](QChar c, int origin) {
        if (gap != None && used > 0) {
            out[used++] = gap == Break ? u'\n' : u' ';
            if (origins)
                origins->push_back(gapStart);
        }
        gap = None;
        out[used++] = c;
        if (origins)
            origins->push_back(origin);
    };
    const QChar *in = text.constData();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype at = i;
        char32_t c = in[i++].unicode();
        if (QChar::isHighSurrogate(c) && i < text.size() && in[i].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), in[i++].unicode());
        if (isLineBreak(c) || QChar::isSpace(c)) {
            gapStart = gap == None ? int(at) : gapStart;
            gap = gap == Break || isLineBreak(c) ? Break : Space;
        } else if (c < 0x80) {
            append(QLatin1Char(char(c >= 'A' && c <= 'Z' ? c + 32 : c)), int(at));
        } else {
            QString parts = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_D);
            parts.removeIf([](QChar part) { return part.category() == QChar::Mark_NonSpacing; });
            // Qt folds one character to one; the upper case first gives "ß" the "ss" of
            // Unicode's full folding.
            parts = parts.toUpper().toCaseFolded();
            const qsizetype needed = used + 1 + parts.size() + (text.size() - i);
            if (needed > folded.size()) {
                folded.resize(needed);
                out = folded.data();
            }
            for (QChar part : std::as_const(parts))
                append(part, int(at));
        }
    }
    folded.truncate(used);
    return folded;
}

Gives::Gives(const QString &typed)
{
    // Quotes delimit phrases; an unclosed one runs to the end. Everything else is searched for
    // as it is.
    const QStringList pieces = fold(typed).split(QLatin1Char('"'));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QStringList words =
            pieces[i].simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (i % 2 == 1 && !words.isEmpty())
            terms_ << words.join(QLatin1Char(' '));
        else if (i % 2 == 0)
            terms_ << words;
    }
}

bool Gives::matches(const QString &folded) const
{
    return std::all_of(terms_.begin(), terms_.end(),
                       [&](const QString &term) { return termAt(folded, term, 0) >= 0; });
}

std::vector<std::pair<int, int>> Gives::stretches(const QString &folded) const
{
    std::vector<std::pair<int, int>> found;
    for (const QString &term : terms_) {
        for (qsizetype at = termAt(folded, term, 0); at >= 0;
             at = termAt(folded, term, at + term.size()))
            found.emplace_back(int(at), int(term.size()));
    }
    return found;
}

FoundTable::FoundTable(QObject *parent) : QAbstractTableModel(parent) {}

void FoundTable::setRunewords(std::vector<FoundRuneword> runewords)
{
    beginResetModel();
    read_ = std::move(runewords);
    folded_ = false;
    filter();
    show();
    endResetModel();
}

void FoundTable::setMaximumMissing(int maximum)
{
    if (maximum == maximum_)
        return;
    beginResetModel();
    maximum_ = maximum;
    show();
    endResetModel();
}

void FoundTable::setGives(const QString &typed)
{
    beginResetModel();
    gives_ = Gives(typed);
    filter();
    show();
    endResetModel();
}

void FoundTable::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    beginResetModel();
    sortColumn_ = column;
    sortOrder_ = order;
    show();
    endResetModel();
}

// Which runewords pass Gives, and what each lacking rune would complete among them.
void FoundTable::filter()
{
    // Folded when first needed: most windows open and close with Gives empty.
    if (!gives_.isEmpty() && !folded_) {
        for (FoundRuneword &runeword : read_)
            runeword.folded = fold(runeword.name + QLatin1Char('\n') + runeword.text);
        folded_ = true;
    }
    passes_.assign(read_.size(), true);
    completes_.fill(0);
    for (size_t i = 0; i < read_.size(); ++i) {
        const FoundRuneword &runeword = read_[i];
        passes_[i] = gives_.isEmpty() || gives_.matches(runeword.folded);
        if (passes_[i] && runeword.missingCount == 1)
            ++completes_[size_t(qCountTrailingZeroBits(runeword.missing))];
    }
}

// Only the rows shown are sorted: when the window opens, those missing one rune at most. Ties
// keep the order of names, and equal names the order read.
void FoundTable::show()
{
    // Most names differ in their first twelve characters, which each runeword holds as numbers:
    // "Change Missing at most" and opening at 100,000 stay within their budgets on a busy
    // machine.
    struct Item {
        decltype(FoundRuneword::namePrefix) prefix;
        int read;
    };
    std::vector<Item> items;
    for (int i = 0; i < int(read_.size()); ++i) {
        if (passes_[size_t(i)] && read_[size_t(i)].missingCount <= maximum_)
            items.push_back({read_[size_t(i)].namePrefix, i});
    }
    const auto byKey = [&](auto key) {
        std::vector<decltype(key(read_.front()))> keys(read_.size());
        for (const Item &item : items)
            keys[size_t(item.read)] = key(read_[size_t(item.read)]);
        std::stable_sort(items.begin(), items.end(), [&](const Item &a, const Item &b) {
            if (keys[size_t(a.read)] != keys[size_t(b.read)])
                return keys[size_t(a.read)] < keys[size_t(b.read)];
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            return read_[size_t(a.read)].name < read_[size_t(b.read)].name;
        });
    };
    switch (sortColumn_) {
    case Runeword:
        byKey([](const FoundRuneword &) { return 0; }); // by name alone
        break;
    case Missing:
        byKey([](const FoundRuneword &w) { return w.missingCount; });
        break;
    case Runes:
        byKey([this](const FoundRuneword &w) { return runeNames(w); });
        break;
    case ItemTypesColumn:
        byKey([](const FoundRuneword &w) { return itemTypeCaptions(w); });
        break;
    case Sockets:
        byKey([](const FoundRuneword &w) { return int(w.sockets); });
        break;
    }
    if (sortOrder_ == Qt::DescendingOrder)
        std::reverse(items.begin(), items.end());
    shown_.clear();
    shown_.reserve(items.size());
    for (const Item &item : items)
        shown_.push_back(item.read);
}

int FoundTable::rowOf(int read) const
{
    const auto found = std::find(shown_.begin(), shown_.end(), read);
    return found == shown_.end() ? -1 : int(found - shown_.begin());
}

int FoundTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int FoundTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString FoundTable::missingNames(const FoundRuneword &runeword) const
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

QString FoundTable::runeNames(const FoundRuneword &runeword) const
{
    QStringList names;
    for (quint8 rune : runeword.slots) {
        if (rune > 0)
            names << look_->names[rune];
    }
    return names.join(QLatin1Char(' '));
}

QString FoundTable::cell(int row, int column) const
{
    const FoundRuneword &w = runeword(row);
    switch (column) {
    case Runeword:
        return w.name;
    case Missing:
        return missingNames(w);
    case Runes:
        return runeNames(w);
    case ItemTypesColumn:
        return itemTypeCaptions(w);
    case Sockets:
        return QString::number(w.sockets);
    }
    return {};
}

QVariant FoundTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == Sockets)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    return cell(index.row(), index.column());
}

QVariant FoundTable::headerData(int section, Qt::Orientation orientation, int role) const
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

const QPixmap &WantedTable::picture(int row, qreal ratio) const
{
    const int k = rune(row);
    return ratio > 1 && !look_->largePictures[size_t(k)].isNull() ? look_->largePictures[size_t(k)]
                                                                  : look_->pictures[size_t(k)];
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
