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
    explicit TClassTable(size_t lines) : Slots(std::bit_ceil(std::max<size_t>(16, lines + lines / 2)), Empty) {}

    uint32_t ClassOf(std::string_view line, uint32_t hash)
    {
        // CRC-32 is linear, so its low bits alone cluster similar lines; mix before masking.
        const size_t mask = Slots.size() - 1;
        for (size_t slot = (hash * 0x9E3779B1u) & mask;; slot = (slot + 1) & mask) {
            const uint32_t cls = Slots[slot];
            if (cls == Empty) {
                Slots[slot] = static_cast<uint32_t>(Lines.size());
                Lines.push_back(line);
                Hashes.push_back(hash);
                return Slots[slot];
            }
            if (Hashes[cls] == hash && Lines[cls] == line) return cls;
        }
    }
    uint32_t Count() const { return static_cast<uint32_t>(Lines.size()); }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    std::vector<uint32_t> Slots;
    std::vector<std::string_view> Lines;  // one line of each class
    std::vector<uint32_t> Hashes;         // its LineHash
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
