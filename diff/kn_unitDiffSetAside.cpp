#include "diff/kn_unitDiffSetAside.h"

#include <algorithm>
#include <bit>

namespace kn {

namespace {

// A set of 32-bit values: a flag per value when the values are small (line classes are),
// an open-addressing table otherwise.
class TValueSet {
public:
    TValueSet(const uint32_t* values, int32_t from, int32_t to)
    {
        const size_t count = static_cast<size_t>(to - from);
        const uint32_t largest = from < to ? *std::max_element(values + from, values + to) : 0;
        if (largest < 8 * count + 4096) {
            Present.assign(size_t{largest} + 1, 0);
            for (int32_t i = from; i < to; ++i) Present[values[i]] = 1;
            return;
        }
        Slots.assign(std::bit_ceil(std::max<size_t>(8, 2 * count)), 0);
        Used.assign(Slots.size(), false);
        for (int32_t i = from; i < to; ++i) Insert(values[i]);
    }
    bool Contains(uint32_t value) const
    {
        if (Slots.empty()) return value < Present.size() && Present[value] != 0;
        for (size_t slot = SlotOf(value); Used[slot]; slot = (slot + 1) & (Slots.size() - 1))
            if (Slots[slot] == value) return true;
        return false;
    }

private:
    size_t SlotOf(uint32_t value) const { return (value * 0x9E3779B1u) & (Slots.size() - 1); }
    void Insert(uint32_t value)
    {
        size_t slot = SlotOf(value);
        for (; Used[slot]; slot = (slot + 1) & (Slots.size() - 1))
            if (Slots[slot] == value) return;
        Slots[slot] = value;
        Used[slot] = true;
    }
    std::vector<uint8_t> Present;
    std::vector<uint32_t> Slots;
    std::vector<bool> Used;
};

void KeepFound(const uint32_t* values, int32_t from, int32_t to, const TValueSet& other, std::vector<uint32_t>& kept,
               std::vector<int32_t>& index)
{
    kept.reserve(static_cast<size_t>(to - from));
    index.reserve(static_cast<size_t>(to - from));
    for (int32_t i = from; i < to; ++i) {
        if (other.Contains(values[i])) {
            kept.push_back(values[i]);
            index.push_back(i);
        }
    }
}

}  // namespace

TKeptLines KeepMatchableLines(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t o2, int32_t e1, int32_t e2)
{
    TKeptLines kept;
    KeepFound(A, o1, e1, TValueSet(B, o2, e2), kept.Values1, kept.Index1);
    KeepFound(B, o2, e2, TValueSet(A, o1, e1), kept.Values2, kept.Index2);
    kept.SetAside =
        kept.Values1.size() < static_cast<size_t>(e1 - o1) || kept.Values2.size() < static_cast<size_t>(e2 - o2);
    return kept;
}

TPutBack::TPutBack(const TKeptLines& kept, int32_t o1, int32_t o2, int32_t e1, int32_t e2, TEditSink& out)
    : Kept(kept), Out(out), Next1(o1), Next2(o2), End1(e1), End2(e2)
{
}

void TPutBack::AddLine(int32_t x, int32_t y)
{
    MatchUpTo(x);
    const int32_t line = Kept.Index2[static_cast<size_t>(y)];
    PutBackAdds(line);
    Out.AddLine(Next1, line);
    Next2 = line + 1;
    Y = y + 1;
}

void TPutBack::DeleteLine(int32_t x)
{
    MatchUpTo(x);
    PutBackAdds(NextKept2());
    const int32_t line = Kept.Index1[static_cast<size_t>(x)];
    PutBackDeletes(line);
    Out.DeleteLine(line);
    Next1 = line + 1;
    X = x + 1;
}

// The original position of the next kept line of list 2, or the end of the list.
int32_t TPutBack::NextKept2() const
{
    return static_cast<size_t>(Y) < Kept.Index2.size() ? Kept.Index2[static_cast<size_t>(Y)] : End2;
}

void TPutBack::Finish()
{
    MatchUpTo(static_cast<int32_t>(Kept.Values1.size()));
    PutBackAdds(End2);
    PutBackDeletes(End1);
}

// The path runs along equal kept lines up to kept line x of list 1; set-aside lines on the
// way are reported where they lie.
void TPutBack::MatchUpTo(int32_t x)
{
    for (; X < x; ++X, ++Y) {
        const int32_t line1 = Kept.Index1[static_cast<size_t>(X)], line2 = Kept.Index2[static_cast<size_t>(Y)];
        PutBackAdds(line2);
        PutBackDeletes(line1);
        Next1 = line1 + 1;
        Next2 = line2 + 1;
    }
}

void TPutBack::PutBackAdds(int32_t before2)
{
    for (; Next2 < before2; ++Next2) Out.AddLine(Next1, Next2);
}

void TPutBack::PutBackDeletes(int32_t before1)
{
    for (; Next1 < before1; ++Next1) Out.DeleteLine(Next1);
}

}  // namespace kn
