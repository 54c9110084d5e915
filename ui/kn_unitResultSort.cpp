#include "ui/kn_unitResultSort.h"

#include <algorithm>

#include "framework/vex_unitText.h"

namespace kn {

namespace {

enum class Side { Left, Right };

Side Other(Side side) { return side == Side::Left ? Side::Right : Side::Left; }

const TKNFileRec& Entry(const TMyFileOpt& row, Side side) { return side == Side::Left ? row.Left : row.Right; }

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

int Sign(int value) { return (value > 0) - (value < 0); }

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
int CompareValue(const TMyFileOpt& a, const TMyFileOpt& b, Side side, int direction, bool mayswitch,
                 Value value)
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

}  // namespace

int CompareResultRows(const TMyFileOpt& a, const TMyFileOpt& b, int column, int direction)
{
    auto size = [](const TKNFileRec& rec) { return rec.Size; };
    auto time = [](const TKNFileRec& rec) { return rec.Time; };
    switch (column) {
    case 0: return CompareName(a, b, Side::Left, direction, true);
    case 1: return CompareValue(a, b, Side::Left, direction, true, size);
    case 2: return CompareValue(a, b, Side::Left, direction, true, time);
    case 3: return CompareStatus(a, b, direction);
    case 4: return CompareValue(a, b, Side::Right, direction, true, time);
    case 5: return CompareValue(a, b, Side::Right, direction, true, size);
    case 6: return CompareName(a, b, Side::Right, direction, true);
    default: return 0;
    }
}

void SortResultRows(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction)
{
    if (column < 0 || column >= kResultColumnCount) return;
    direction = direction >= 1 ? 1 : -1;
    std::sort(rows.begin(), rows.end(), [column, direction](const auto& a, const auto& b) {
        return CompareResultRows(*a, *b, column, direction) < 0;
    });
}

}  // namespace kn
