// An open-addressing table from line bytes to class numbers, probed by the line's CRC-32.
#include "diff/kn_unitLineClasses.h"

#include <algorithm>
#include <bit>

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitTextFile.h"

namespace kn {

namespace {

class TClassTable {
public:
    explicit TClassTable(size_t lines) : Slots(std::bit_ceil(std::max<size_t>(16, lines + lines / 2))) {}

    // Each slot holds its class's hash, so a probe touches the line's bytes only when the
    // hashes are equal.
    uint32_t ClassOf(std::string_view line, uint32_t hash)
    {
        const size_t mask = Slots.size() - 1;
        for (size_t slot = SlotOf(hash);; slot = (slot + 1) & mask) {
            TSlot& s = Slots[slot];
            if (s.Class == Empty) {
                s = {hash, static_cast<uint32_t>(Lines.size())};
                Lines.push_back(line);
                return s.Class;
            }
            if (s.Hash == hash && Lines[s.Class] == line) return s.Class;
        }
    }
    uint32_t Count() const { return static_cast<uint32_t>(Lines.size()); }
    // The table is far larger than the caches: fetching a line's slot early hides the wait.
    void Prefetch(uint32_t hash) const { __builtin_prefetch(&Slots[SlotOf(hash)]); }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    // CRC-32 is linear, so its low bits alone cluster similar lines; mix before masking.
    size_t SlotOf(uint32_t hash) const { return (hash * 0x9E3779B1u) & (Slots.size() - 1); }
    struct TSlot {
        uint32_t Hash = 0;
        uint32_t Class = Empty;
    };
    std::vector<TSlot> Slots;
    std::vector<std::string_view> Lines;  // one line of each class
};

std::vector<uint32_t> Classify(TClassTable& table, const std::vector<std::string_view>& lines)
{
    const std::vector<uint32_t> hashes = HashLines(lines);
    std::vector<uint32_t> classes(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) classes[i] = table.ClassOf(lines[i], hashes[i]);
    return classes;
}

}  // namespace

TLineClasses ClassifyLines(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right)
{
    TClassTable table(left.size() + right.size());
    TLineClasses result;
    result.Left = Classify(table, left);
    result.Right = Classify(table, right);
    result.Count = table.Count();
    return result;
}

}  // namespace kn
