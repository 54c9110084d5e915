#include "ui/kn_unitResultSort.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "framework/vex_unitText.h"

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

// Folders first whatever the direction: B's folder bit minus A's.
int FolderRule(const TKNFileRec& a, const TKNFileRec& b)
{
    return static_cast<int>(b.Attr & faDirectory) - static_cast<int>(a.Attr & faDirectory);
}

int ComparePathText(const TKNSharedText& a, const TKNSharedText& b)
{
    // Files of one folder share one path text: the common case costs a pointer test.
    if (a.SameText(b)) return 0;
    return vex::CompareTextAscii(a.str(), b.str());
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// Path, then name, of one side; folder rule first.
int CompareNameOnly(const TKNFileRec& a, const TKNFileRec& b, int direction)
{
    if (int folders = FolderRule(a, b)) return folders;
    int c = ComparePathText(a.Path, b.Path);
    if (c == 0) c = vex::CompareTextAscii(a.Name, b.Name);
    return Sign(c) * direction;
}

int CompareName(const TMyFileOpt& a, const TMyFileOpt& b, Side side, int direction, bool mayswitch)
{
    int c = CompareNameOnly(Entry(a, side), Entry(b, side), direction);
    if (c != 0 || !mayswitch) return c;
    return CompareName(a, b, Other(side), direction, false);
}

template <class Value>
int CompareValue(const TMyFileOpt& a, const TMyFileOpt& b, Side side, int direction, bool mayswitch, Value value)
{
    const TKNFileRec& ea = Entry(a, side);
    const TKNFileRec& eb = Entry(b, side);
    if (int folders = FolderRule(ea, eb)) return folders;
    if (value(ea) != value(eb)) return value(ea) > value(eb) ? direction : -direction;
    if (int c = CompareNameOnly(ea, eb, direction)) return c;
    return mayswitch ? CompareValue(a, b, Other(side), direction, false, value) : 0;
}

int CompareStatus(const TMyFileOpt& a, const TMyFileOpt& b, int direction)
{
    int c = (static_cast<int>(a.Status) - static_cast<int>(b.Status)) * direction;
    return c != 0 ? c : CompareName(a, b, Side::Left, direction, true);
}

// --- The fast path --------------------------------------------------------------------------
// Sorting a million rows through CompareResultRows chases pointers into every row and its
// texts on each of ~20 million comparisons. Instead each row's keys are extracted once into a
// compact record: the folder bit, the value (size or time) and the rank of (path, name) on
// each side, where ranks are equal exactly when CompareNameOnly finds the names equal. The
// compact records are sorted by the same rules, then the rows are put into that order.

// The first 16 bytes of a name, ASCII-folded, as two big-endian numbers: comparing them
// compares the texts' prefixes in the order of CompareTextAscii (names hold no NUL bytes, so
// the zero padding sorts a shorter text first).
struct NamePrefix {
    uint64_t high = 0;
    uint64_t low = 0;
    bool complete = true;  // the whole name fits in the prefix

    explicit NamePrefix(const std::string& name)
    {
        unsigned char bytes[16] = {};
        size_t n = std::min<size_t>(name.size(), 16);
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(vex::UpCaseAscii(name[i]));
        for (int i = 0; i < 8; ++i) high = (high << 8) | bytes[i];
        for (int i = 8; i < 16; ++i) low = (low << 8) | bytes[i];
        complete = name.size() <= 16;
    }
};

struct NameKey {
    uint32_t pathRank;
    uint32_t row;
    NamePrefix prefix;
    const std::string* name;
};

int CompareNameKeys(const NameKey& a, const NameKey& b)
{
    if (a.pathRank != b.pathRank) return a.pathRank < b.pathRank ? -1 : 1;
    if (a.prefix.high != b.prefix.high) return a.prefix.high < b.prefix.high ? -1 : 1;
    if (a.prefix.low != b.prefix.low) return a.prefix.low < b.prefix.low ? -1 : 1;
    if (a.prefix.complete && b.prefix.complete) return 0;
    return vex::CompareTextAscii(*a.name, *b.name);
}

// Gives each distinct path text an id while the rows are read, then turns ids into ranks:
// equal texts (by the folding rule) share a rank. Files of one folder share one text, so a
// one-entry cache answers most lookups.
class PathRanker {
public:
    uint32_t Id(const std::string* path)
    {
        if (path == lastPath_) return lastId_;
        auto [it, added] = ids_.emplace(path, static_cast<uint32_t>(paths_.size()));
        if (added) paths_.push_back(path);
        lastPath_ = path;
        lastId_ = it->second;
        return lastId_;
    }

    // Rank of every id.
    std::vector<uint32_t> Ranks() const
    {
        std::vector<uint32_t> order(paths_.size());
        for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [this](uint32_t a, uint32_t b) { return vex::CompareTextAscii(*paths_[a], *paths_[b]) < 0; });
        std::vector<uint32_t> ranks(paths_.size());
        uint32_t rank = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && vex::CompareTextAscii(*paths_[order[i - 1]], *paths_[order[i]]) != 0) ++rank;
            ranks[order[i]] = rank;
        }
        return ranks;
    }

private:
    std::unordered_map<const std::string*, uint32_t> ids_;
    std::vector<const std::string*> paths_;
    const std::string* lastPath_ = nullptr;
    uint32_t lastId_ = 0;
};

// Collects the (path, name) keys of one side for some rows and ranks them.
class NameRanker {
public:
    void Add(const TKNFileRec& rec, uint32_t row)
    {
        keys_.push_back({paths_.Id(&rec.Path.str()), row, NamePrefix(rec.Name), &rec.Name});
    }

    // Calls rank(row, rank, shared) for every added row, `shared` telling whether another row
    // has the same rank.
    template <class Callback>
    void Rank(Callback rank)
    {
        std::vector<uint32_t> pathRanks = paths_.Ranks();
        for (NameKey& key : keys_) key.pathRank = pathRanks[key.pathRank];
        std::sort(keys_.begin(), keys_.end(),
                  [](const NameKey& a, const NameKey& b) { return CompareNameKeys(a, b) < 0; });
        uint32_t current = 0;
        for (size_t i = 0; i < keys_.size(); ++i) {
            bool sameAsBefore = i > 0 && CompareNameKeys(keys_[i - 1], keys_[i]) == 0;
            bool sameAsNext = i + 1 < keys_.size() && CompareNameKeys(keys_[i], keys_[i + 1]) == 0;
            if (i > 0 && !sameAsBefore) ++current;
            rank(keys_[i].row, current, sameAsBefore || sameAsNext);
        }
    }

private:
    PathRanker paths_;
    std::vector<NameKey> keys_;
};

struct SideKey {
    bool folder;
    uint32_t rank;
    double value;  // size or time; sizes of 2^53 bytes and more lose nothing that matters here
};

struct RowKey {
    SideKey first;   // the column's side (the left side for the status column)
    SideKey second;  // the other side: only consulted when `first` ties, and only filled then
    int status;
    uint32_t row;
};

template <class T>
int Order(T a, T b)
{
    return (a > b) - (a < b);
}

// The rules of CompareResultRows over extracted keys. `useValue`: size or time columns.
int CompareSideKeys(const SideKey& a, const SideKey& b, int direction, bool useValue)
{
    if (a.folder != b.folder) return a.folder ? -1 : 1;
    if (useValue) {
        if (int c = Order(a.value, b.value)) return c * direction;
    }
    return Order(a.rank, b.rank) * direction;
}

int CompareRowKeys(const RowKey& a, const RowKey& b, int column, int direction)
{
    bool useValue = column != 0 && column != 3 && column != 6;
    if (column == 3) {
        if (int c = Order(a.status, b.status)) return c * direction;
    }
    if (int c = CompareSideKeys(a.first, b.first, direction, useValue)) return c;
    return CompareSideKeys(a.second, b.second, direction, useValue);
}

double KeyValue(const TKNFileRec& rec, int column)
{
    bool size = column == 1 || column == 5;
    return size ? static_cast<double>(rec.Size) : rec.Time;
}

}  // namespace

int CompareResultRows(const TMyFileOpt& a, const TMyFileOpt& b, int column, int direction)
{
    auto size = [](const TKNFileRec& rec) { return rec.Size; };
    auto time = [](const TKNFileRec& rec) { return rec.Time; };
    switch (column) {
        case 0:
            return CompareName(a, b, Side::Left, direction, true);
        case 1:
            return CompareValue(a, b, Side::Left, direction, true, size);
        case 2:
            return CompareValue(a, b, Side::Left, direction, true, time);
        case 3:
            return CompareStatus(a, b, direction);
        case 4:
            return CompareValue(a, b, Side::Right, direction, true, time);
        case 5:
            return CompareValue(a, b, Side::Right, direction, true, size);
        case 6:
            return CompareName(a, b, Side::Right, direction, true);
        default:
            return 0;
    }
}

void SortResultRows(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction)
{
    if (column < 0 || column >= kResultColumnCount || rows.size() < 2) return;
    direction = direction >= 1 ? 1 : -1;
    Side first = column >= 4 ? Side::Right : Side::Left;
    std::vector<RowKey> keys(rows.size());
    NameRanker firstNames;
    for (uint32_t i = 0; i < keys.size(); ++i) {
        const TKNFileRec& entry = Entry(*rows[i], first);
        keys[i] = {
            {entry.IsFolder(), 0, KeyValue(entry, column)}, {false, 0, 0.0}, static_cast<int>(rows[i]->Status), i};
        firstNames.Add(entry, i);
    }
    // The other side decides only between rows whose first-side names are equal: mostly rows
    // with no entry on the first side.
    NameRanker secondNames;
    firstNames.Rank([&](uint32_t row, uint32_t rank, bool shared) {
        keys[row].first.rank = rank;
        if (!shared) return;
        const TKNFileRec& entry = Entry(*rows[row], Other(first));
        keys[row].second.folder = entry.IsFolder();
        keys[row].second.value = KeyValue(entry, column);
        secondNames.Add(entry, row);
    });
    secondNames.Rank([&](uint32_t row, uint32_t rank, bool) { keys[row].second.rank = rank; });
    std::sort(keys.begin(), keys.end(), [column, direction](const RowKey& a, const RowKey& b) {
        return CompareRowKeys(a, b, column, direction) < 0;
    });
    std::vector<std::unique_ptr<TMyFileOpt>> sorted;
    sorted.reserve(rows.size());
    for (const RowKey& key : keys) sorted.push_back(std::move(rows[key.row]));
    rows = std::move(sorted);
}

}  // namespace kn
