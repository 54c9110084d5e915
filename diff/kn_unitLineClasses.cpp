// An open-addressing table from line bytes to class numbers, probed by the line's CRC-32.
#include "diff/kn_unitLineClasses.h"

#include <algorithm>
#include <array>

#include "diff/kn_unitDiff.h"

namespace kn {

namespace {

class TClassTable {
public:
    TClassTable(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right)
        : Left(left), Right(right)
    {
    }

    // Each slot holds its class's hash, so a probe touches the line's bytes only when the
    // hashes are equal. `line` is line number `at` of both files, the right one's counted
    // after the left one's.
    uint32_t ClassOf(std::string_view line, uint32_t hash, uint32_t at)
    {
        const size_t mask = Slots.size() - 1;
        for (size_t slot = SlotOf(hash);; slot = (slot + 1) & mask) {
            TSlot& s = Slots[slot];
            if (s.Class == Empty) {
                s = {hash, static_cast<uint32_t>(First.size())};
                First.push_back(at);
                if (2 * First.size() > Slots.size()) Grow();
                return static_cast<uint32_t>(First.size() - 1);
            }
            if (s.Hash == hash && LineAt(First[s.Class]) == line) return s.Class;
        }
    }
    uint32_t Count() const { return static_cast<uint32_t>(First.size()); }
    // A table of many classes is far larger than the caches: fetching a line's slot early
    // hides the wait.
    void Prefetch(uint32_t hash) const { __builtin_prefetch(&Slots[SlotOf(hash)]); }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    struct TSlot {
        uint32_t Hash = 0;
        uint32_t Class = Empty;
    };

    std::string_view LineAt(uint32_t at) const { return at < Left.size() ? Left[at] : Right[at - Left.size()]; }
    // CRC-32 is linear, so its low bits alone cluster similar lines; mix before masking.
    size_t SlotOf(uint32_t hash) const { return (hash * 0x9E3779B1u) & (Slots.size() - 1); }
    // The table grows with the classes, not the lines: files of few distinct lines keep a
    // small one.
    void Grow()
    {
        std::vector<TSlot> old(Slots.size() * 2);
        old.swap(Slots);
        const size_t mask = Slots.size() - 1;
        for (const TSlot& s : old) {
            if (s.Class == Empty) continue;
            size_t slot = SlotOf(s.Hash);
            while (Slots[slot].Class != Empty) slot = (slot + 1) & mask;
            Slots[slot] = s;
        }
    }

    const std::vector<std::string_view>& Left;
    const std::vector<std::string_view>& Right;
    std::vector<TSlot> Slots = std::vector<TSlot>(1024);
    std::vector<uint32_t> First;  // per class: the number of its first line
};

// The lines' hashes are computed a little ahead of their lookups, so that their slots can be
// fetched in time.
std::vector<uint32_t> Classify(TClassTable& table, const std::vector<std::string_view>& lines, uint32_t firstAt)
{
    constexpr size_t Ahead = 16;
    std::array<uint32_t, Ahead> hashes{};
    auto hashAhead = [&](size_t i) {
        if (i >= lines.size()) return;
        hashes[i % Ahead] = LineHash(lines[i]);
        table.Prefetch(hashes[i % Ahead]);
    };
    for (size_t i = 0; i < Ahead; ++i) hashAhead(i);
    std::vector<uint32_t> classes(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const uint32_t hash = hashes[i % Ahead];
        hashAhead(i + Ahead);
        classes[i] = table.ClassOf(lines[i], hash, firstAt + static_cast<uint32_t>(i));
    }
    return classes;
}

}  // namespace

TLineClasses ClassifyLines(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right)
{
    TClassTable table(left, right);
    TLineClasses result;
    result.Left = Classify(table, left, 0);
    result.Right = Classify(table, right, static_cast<uint32_t>(left.size()));
    result.Count = table.Count();
    return result;
}

}  // namespace kn
