#include "tests/diff/diff_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kn {

std::ostream& operator<<(std::ostream& os, const TDiffChange& c)
{
    static const char* const kinds[] = {"add", "delete", "modify"};
    return os << "(" << kinds[static_cast<int>(c.Kind)] << ", " << c.Index1 << ", " << c.Index2 << ", " << c.Count
              << ")";
}

}  // namespace kn

namespace difftest {

using kn::TDiffChange;
constexpr kn::TDiffKind Add = kn::TDiffKind::dkAdd;
constexpr kn::TDiffKind Del = kn::TDiffKind::dkDelete;
constexpr kn::TDiffKind Mod = kn::TDiffKind::dkModify;

void Replay(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const std::vector<TDiffChange>& changes)
{
    std::vector<uint32_t> left, right;
    size_t i = 0, j = 0;
    auto copyEqualUpTo = [&](size_t end) {
        for (; i < end; ++i, ++j) {
            ASSERT_LT(j, b.size());
            ASSERT_EQ(a[i], b[j]) << "unequal lines " << i << " and " << j << " outside every record";
            left.push_back(a[i]);
            right.push_back(b[j]);
        }
    };
    int32_t lastIndex1 = -1;
    const TDiffChange* previous = nullptr;
    for (const TDiffChange& c : changes) {
        ASSERT_GE(c.Count, 1) << c;
        ASSERT_GE(c.Index1, lastIndex1) << "records out of order at " << c;
        lastIndex1 = c.Index1;
        ASSERT_LE(static_cast<size_t>(c.Index1), a.size()) << c;
        // No equal line between two records: one gap, which is a modify run and then at most
        // one add or delete run.
        if (previous != nullptr && static_cast<size_t>(c.Index1) == i) {
            EXPECT_TRUE(previous->Kind == Mod && c.Kind != Mod) << "one gap in several records: " << *previous << c;
        }
        previous = &c;
        copyEqualUpTo(static_cast<size_t>(c.Index1));
        if (c.Kind != Del)
            ASSERT_EQ(static_cast<size_t>(c.Index2), j) << "record does not continue list 2: " << c;
        else
            ASSERT_EQ(c.Index2, 0) << c;
        for (int32_t r = 0; r < c.Count; ++r) {
            if (c.Kind != Add) {
                ASSERT_LT(i, a.size()) << c;
                left.push_back(a[i++]);
            }
            if (c.Kind != Del) {
                ASSERT_LT(j, b.size()) << c;
                right.push_back(b[j++]);
            }
            if (c.Kind == Mod) {
                ASSERT_NE(left.back(), right.back()) << "modify pairs equal lines: " << c;
            }
        }
    }
    copyEqualUpTo(a.size());
    EXPECT_EQ(left, a);
    EXPECT_EQ(right, b);
}

int64_t ReferenceEditDistance(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    std::vector<int32_t> prev(b.size() + 1, 0), cur(b.size() + 1, 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j)
            cur[j] = a[i - 1] == b[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], cur[j - 1]);
        std::swap(prev, cur);
    }
    return static_cast<int64_t>(a.size() + b.size()) - 2 * prev[b.size()];
}

std::vector<uint32_t> RandomLines(std::mt19937& rng, size_t maxLen, uint32_t alphabet)
{
    std::vector<uint32_t> v(std::uniform_int_distribution<size_t>(0, maxLen)(rng));
    for (auto& x : v) x = std::uniform_int_distribution<uint32_t>(0, alphabet - 1)(rng);
    return v;
}

std::vector<uint32_t> Edited(std::mt19937& rng, const std::vector<uint32_t>& a, int edits, uint32_t alphabet)
{
    std::vector<uint32_t> b = a;
    for (int e = 0; e < edits; ++e) {
        size_t pos = std::uniform_int_distribution<size_t>(0, b.size())(rng);
        uint32_t line = std::uniform_int_distribution<uint32_t>(0, alphabet - 1)(rng);
        switch (rng() % 3) {
            case 0:
                b.insert(b.begin() + static_cast<ptrdiff_t>(pos), line);
                break;
            case 1:
                if (pos < b.size()) b.erase(b.begin() + static_cast<ptrdiff_t>(pos));
                break;
            default:
                if (pos < b.size()) b[pos] = line;
                break;
        }
    }
    return b;
}

}  // namespace difftest
