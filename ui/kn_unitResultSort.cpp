#include "ui/kn_unitResultSort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <future>
#include <limits>
#include <numeric>
#include <utility>

#include "framework/vex_unitText.h"
#include "framework/vex_unitTextRanks.h"

namespace kn {

namespace {

enum class Side { Left, Right };

Side Other(Side side)
{
    return side == Side::Left ? Side::Right : Side::Left;
}

const TKNFileRec& Entry(const TMyFileOpt& row, Side side)
{
    return side == Side::Left ? row.Left : row.Right;
}

std::size_t RootLength(Side side, const TKNResultRoots& roots)
{
    return side == Side::Left ? roots.Left : roots.Right;
}

// The entry a row is placed by on one side: its own, or the other side's where it has none,
// with the length of that entry's root in its path.
struct Named {
    const TKNFileRec* rec;
    std::size_t skip;
};

Named NamedEntry(const TMyFileOpt& row, Side side, const TKNResultRoots& roots)
{
    if (Entry(row, side).Path.empty()) side = Other(side);
    return {&Entry(row, side), RootLength(side, roots)};
}

// Folders first whatever the direction: B's folder bit minus A's.
int FolderRule(const TKNFileRec& a, const TKNFileRec& b)
{
    return static_cast<int>(b.Attr & faDirectory) - static_cast<int>(a.Attr & faDirectory);
}

std::string_view BelowRoot(const Named& entry)
{
    const std::string_view path = entry.rec->Path;
    return path.substr(std::min(entry.skip, path.size()));
}

int ComparePathText(const Named& a, const Named& b)
{
    // Files of one folder share one path text: the common case costs a pointer test.
    if (a.skip == b.skip && a.rec->Path.SameText(b.rec->Path)) return 0;
    return vex::CompareTextAscii(BelowRoot(a), BelowRoot(b));
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// Path below the root, then name; folder rule first.
int CompareNameOnly(const Named& a, const Named& b, int direction)
{
    if (int folders = FolderRule(*a.rec, *b.rec)) return folders;
    int c = ComparePathText(a, b);
    if (c == 0) c = vex::CompareTextAscii(a.rec->Name, b.rec->Name);
    return Sign(c) * direction;
}

int CompareName(const TMyFileOpt& a, const TMyFileOpt& b, Side side, int direction, bool mayswitch,
                const TKNResultRoots& roots)
{
    int c = CompareNameOnly(NamedEntry(a, side, roots), NamedEntry(b, side, roots), direction);
    if (c != 0 || !mayswitch) return c;
    return CompareName(a, b, Other(side), direction, false, roots);
}

// The folder rule and the name of the entry the row is placed by; the value of the side's own
// entry (an absent one's is 0 or no time).
template <class Value>
int CompareValue(const TMyFileOpt& a, const TMyFileOpt& b, Side side, int direction, bool mayswitch, Value value,
                 const TKNResultRoots& roots)
{
    const Named na = NamedEntry(a, side, roots);
    const Named nb = NamedEntry(b, side, roots);
    if (int folders = FolderRule(*na.rec, *nb.rec)) return folders;
    const auto va = value(Entry(a, side));
    const auto vb = value(Entry(b, side));
    if (va != vb) return va > vb ? direction : -direction;
    if (int c = CompareNameOnly(na, nb, direction)) return c;
    return mayswitch ? CompareValue(a, b, Other(side), direction, false, value, roots) : 0;
}

int CompareStatus(const TMyFileOpt& a, const TMyFileOpt& b, int direction, const TKNResultRoots& roots)
{
    int c = (static_cast<int>(a.Status) - static_cast<int>(b.Status)) * direction;
    return c != 0 ? c : CompareName(a, b, Side::Left, direction, true, roots);
}

// --- Ranks --------------------------------------------------------------------------------
// Sorting a million rows through CompareResultRows chases pointers into every row and its
// texts on each of ~20 million comparisons. Instead, each side's rows are ranked once per kind
// of key: by name (folder rule, path, name), by size and by time (folder rule, value, name).
// Equal ranks mean CompareResultRows finds that side equal. A column's order is then a pair of
// ranks, the column's side and the other side (the status column puts the status before the
// two name ranks), sorted with stable counting passes. A descending order keeps folders first
// and reverses the ranks within the folders and within the files, so one ranking serves both
// directions.

enum Kind { kName = 0, kSize = 1, kTime = 2 };

// A size or time as a number whose unsigned order is the value's order.
uint64_t OrderedValue(const TKNFileRec& rec, int kind)
{
    if (kind == kSize) return static_cast<uint64_t>(rec.Size) ^ (uint64_t{1} << 63);
    const double shown = ShownTime(rec);
    const double time = shown == 0.0 ? 0.0 : shown;  // -0.0 equals 0.0
    const auto bits = std::bit_cast<uint64_t>(time);
    return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

}  // namespace

// One side's rows ranked by one kind of key: ascending dense ranks, the folders' below the
// files' (folders come first in both directions).
struct TKNSideRanks {
    std::vector<uint32_t> rank;  // by slot
    uint32_t folders = 0;        // ranks held by folders
    uint32_t count = 0;          // ranks in all

    // The rank in the order of `direction`.
    uint32_t Directed(uint32_t slot, int direction) const
    {
        const uint32_t r = rank[slot];
        if (direction > 0) return r;
        return r < folders ? folders - 1 - r : folders + (count - 1 - r);
    }

    // Dense ranks along sorted keys: `sameAsBefore(i)` tells whether key i shares key i-1's rank.
    template <class Key, class SameAsBefore, class IsFolder>
    void Assign(const std::vector<Key>& sorted, SameAsBefore sameAsBefore, IsFolder isFolder)
    {
        rank.assign(sorted.size(), 0);
        count = 0;
        folders = 0;
        for (size_t i = 0; i < sorted.size(); ++i) {
            if (i > 0 && !sameAsBefore(i)) ++count;
            rank[sorted[i].slot] = count;
            if (isFolder(i)) folders = count + 1;
        }
        if (!sorted.empty()) ++count;
    }
};

namespace {

using Ranks = TKNSideRanks;

// Eight bytes of text read as a big-endian number, lower-case ASCII letters made upper-case:
// each byte from 'a' to 'z' loses its 0x20 bit, all eight at once.
uint64_t FoldedWord(const char* bytes)
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    constexpr uint64_t kOnes = 0x0101010101010101;
    const uint64_t low7 = word & (0x7F * kOnes);
    const uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;    // high bit: byte >= 'a'
    const uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * kOnes;  // high bit: byte > 'z'
    const uint64_t letters = atLeastA & ~aboveZ & ~word & (0x80 * kOnes);
    return __builtin_bswap64(word ^ (letters >> 2));
}

// A name's first 16 bytes, ASCII-folded, as two big-endian numbers: comparing them compares
// the names' prefixes in the order of CompareTextAscii (names hold no NUL bytes, so the zero
// padding sorts a shorter name first).
struct NameKey {
    uint32_t group;  // folder rule and path rank
    uint32_t slot;
    uint64_t high;
    uint64_t low;
    const std::string* name;

    NameKey(uint32_t at, const std::string& text) : group(0), slot(at), name(&text)
    {
        char bytes[16] = {};
        std::memcpy(bytes, text.data(), std::min<size_t>(text.size(), sizeof bytes));
        high = FoldedWord(bytes);
        low = FoldedWord(bytes + 8);
    }
};

int CompareNames(const NameKey& a, const NameKey& b)
{
    if (a.high != b.high) return a.high < b.high ? -1 : 1;
    if (a.low != b.low) return a.low < b.low ? -1 : 1;
    if (a.name->size() <= 16 && b.name->size() <= 16) return 0;
    return vex::CompareTextAscii(*a.name, *b.name);
}

// Puts `items` in ascending order of group(item) < range, keeping the order of equal groups.
template <class Item, class Group>
void CountingSort(std::vector<Item>& items, uint32_t range, Group group)
{
    std::vector<uint32_t> next(static_cast<size_t>(range) + 1, 0);
    for (const Item& item : items) ++next[group(item) + 1];
    for (size_t k = 1; k < next.size(); ++k) next[k] += next[k - 1];
    std::vector<Item> sorted = items;
    for (const Item& item : items) sorted[next[group(item)]++] = item;
    items.swap(sorted);
}

// Ranks one side's rows by folder rule, path and name. The rows are grouped by path with a
// counting pass, and only each path's names are sorted, by their folded prefixes; rows seen in
// the comparison's order mostly hold them sorted already.
Ranks RankNames(const std::vector<const TMyFileOpt*>& rows, Side side, const TKNResultRoots& roots)
{
    const auto n = static_cast<uint32_t>(rows.size());
    vex::TTextRanks ids;
    std::vector<NameKey> keys;
    keys.reserve(n);
    std::vector<bool> folder(n);
    for (uint32_t slot = 0; slot < n; ++slot) {
        const Named named = NamedEntry(*rows[slot], side, roots);
        const TKNFileRec& rec = *named.rec;
        keys.emplace_back(slot, rec.Name);
        keys.back().group = ids.Id(&rec.Path.str(), named.skip);
        folder[slot] = rec.IsFolder();
    }
    uint32_t paths = 0;
    const std::vector<uint32_t> pathRank = ids.Ranks(vex::CompareTextAscii, paths);
    for (NameKey& key : keys) key.group = pathRank[key.group] + (folder[key.slot] ? 0 : paths);
    CountingSort(keys, 2 * paths, [](const NameKey& key) { return key.group; });
    auto byName = [](const NameKey& a, const NameKey& b) { return CompareNames(a, b) < 0; };
    for (auto first = keys.begin(); first != keys.end();) {
        auto last = std::find_if(first, keys.end(), [&](const NameKey& key) { return key.group != first->group; });
        if (!std::is_sorted(first, last, byName)) std::sort(first, last, byName);
        first = last;
    }
    Ranks ranks;
    ranks.Assign(
        keys, [&](size_t i) { return keys[i - 1].group == keys[i].group && CompareNames(keys[i - 1], keys[i]) == 0; },
        [&](size_t i) { return folder[keys[i].slot]; });
    return ranks;
}

struct ValueKey {
    uint64_t value;
    uint32_t slot;
    uint32_t name;  // the name rank
};

// Sorts by value, keeping the order of equal values: 11 bits at a time from the least
// significant, skipping the digits that all values share (sizes and times vary in few bits).
void RadixSortValues(std::vector<ValueKey>& keys)
{
    constexpr int kBits = 11;
    constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
    std::vector<ValueKey> sorted(keys.size());
    std::vector<size_t> next(kMask + 1);
    for (int shift = 0; shift < 64; shift += kBits) {
        std::fill(next.begin(), next.end(), 0);
        for (const ValueKey& key : keys) ++next[(key.value >> shift) & kMask];
        if (std::find(next.begin(), next.end(), keys.size()) != next.end()) continue;
        size_t sum = 0;
        for (size_t& count : next) sum += std::exchange(count, sum);
        for (const ValueKey& key : keys) sorted[next[(key.value >> shift) & kMask]++] = key;
        keys.swap(sorted);
    }
}

// Ranks one side's rows by folder rule, size or time, and name: the rows in name order (the
// name ranks put folders first), then sorted by value, which keeps the name order among equal
// values, and the folders moved before the files, which keeps both orders.
Ranks RankValues(const std::vector<const TMyFileOpt*>& rows, Side side, int kind, const Ranks& names)
{
    std::vector<ValueKey> keys(rows.size());
    for (uint32_t slot = 0; slot < keys.size(); ++slot)
        keys[slot] = {OrderedValue(Entry(*rows[slot], side), kind), slot, names.rank[slot]};
    CountingSort(keys, names.count, [](const ValueKey& key) { return key.name; });
    RadixSortValues(keys);
    auto isFolder = [&names](const ValueKey& key) { return key.name < names.folders; };
    std::stable_partition(keys.begin(), keys.end(), isFolder);
    Ranks ranks;
    ranks.Assign(
        keys, [&](size_t i) { return keys[i - 1].value == keys[i].value && keys[i - 1].name == keys[i].name; },
        [&](size_t i) { return isFolder(keys[i]); });
    return ranks;
}

}  // namespace

int CompareResultRows(const TMyFileOpt& a, const TMyFileOpt& b, int column, int direction, const TKNResultRoots& roots)
{
    auto size = [](const TKNFileRec& rec) { return rec.Size; };
    auto time = [](const TKNFileRec& rec) { return ShownTime(rec); };
    switch (column) {
        case 0:
            return CompareName(a, b, Side::Left, direction, true, roots);
        case 1:
            return CompareValue(a, b, Side::Left, direction, true, size, roots);
        case 2:
            return CompareValue(a, b, Side::Left, direction, true, time, roots);
        case 3:
            return CompareStatus(a, b, direction, roots);
        case 4:
            return CompareValue(a, b, Side::Right, direction, true, time, roots);
        case 5:
            return CompareValue(a, b, Side::Right, direction, true, size, roots);
        case 6:
            return CompareName(a, b, Side::Right, direction, true, roots);
        default:
            return 0;
    }
}

void SortResultRows(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction,
                    const TKNResultRoots& roots)
{
    TKNResultSorter().Sort(rows, column, direction, roots);
}

TKNResultSorter::TKNResultSorter() = default;
TKNResultSorter::~TKNResultSorter() = default;

void TKNResultSorter::Forget()
{
    rows_.clear();
    slotAt_.clear();
    for (auto& side : ranks_)
        for (auto& ranks : side) ranks.reset();
}

bool TKNResultSorter::Knows(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const TKNResultRoots& roots) const
{
    if (rows.size() != rows_.size() || !(roots == roots_)) return false;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].get() != rows_[slotAt_[i]]) return false;
    return true;
}

void TKNResultSorter::Learn(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const TKNResultRoots& roots)
{
    Forget();
    roots_ = roots;
    rows_.reserve(rows.size());
    for (const auto& row : rows) rows_.push_back(row.get());
    slotAt_.resize(rows.size());
    std::iota(slotAt_.begin(), slotAt_.end(), 0u);
}

// Every column orders by both sides' ranks of its kind, so both are made at once, the right
// side's on a second thread (the rows are only read; each side's ranks are its thread's own).
void TKNResultSorter::Prepare(int kind)
{
    if (kind != kName) Prepare(kName);
    auto make = [this, kind](int side) {
        const Side which = side == 0 ? Side::Left : Side::Right;
        return std::make_unique<Ranks>(kind == kName ? RankNames(rows_, which, roots_)
                                                     : RankValues(rows_, which, kind, *ranks_[side][kName]));
    };
    std::future<std::unique_ptr<Ranks>> right;
    if (!ranks_[1][kind]) right = std::async(std::launch::async, make, 1);
    if (!ranks_[0][kind]) ranks_[0][kind] = make(0);
    if (right.valid()) ranks_[1][kind] = right.get();
}

void TKNResultSorter::Sort(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction,
                           const TKNResultRoots& roots)
{
    if (column < 0 || column >= kResultColumnCount || rows.size() < 2) return;
    if (rows.size() > std::numeric_limits<int32_t>::max()) return;  // slots are 32-bit
    direction = direction >= 1 ? 1 : -1;
    if (!Knows(rows, roots)) Learn(rows, roots);
    // Column kinds from left to right: name, size, time, (status), time, size, name.
    const int kind = column == 3 ? kName : column < 3 ? column : 6 - column;
    const int first = column >= 4 ? 1 : 0;
    Prepare(kind);
    const Ranks& primary = *ranks_[first][kind];
    const Ranks& secondary = *ranks_[1 - first][kind];
    // The least significant key first: every pass keeps the order of the one before for ties.
    std::vector<uint32_t> order = slotAt_;
    CountingSort(order, secondary.count, [&](uint32_t slot) { return secondary.Directed(slot, direction); });
    CountingSort(order, primary.count, [&](uint32_t slot) { return primary.Directed(slot, direction); });
    if (column == 3) {
        CountingSort(order, 3, [&](uint32_t slot) {
            const int status = static_cast<int>(rows_[slot]->Status);
            return static_cast<uint32_t>(direction > 0 ? status : 2 - status);
        });
    }
    std::vector<uint32_t> positionOf(rows.size());
    for (uint32_t i = 0; i < slotAt_.size(); ++i) positionOf[slotAt_[i]] = i;
    std::vector<std::unique_ptr<TMyFileOpt>> sorted(rows.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = std::move(rows[positionOf[order[i]]]);
    rows = std::move(sorted);
    slotAt_ = std::move(order);
}

}  // namespace kn
