// The bit-parallel split: the point lies on a shortest path of its box, whatever the box's
// place among the 64-bit words, and the exact search hands very costly boxes to it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitDiffBitSplit.h"
#include "tests/diff/diff_test_support.h"

namespace {

using namespace difftest;
using kn::TDiff;
using kn::TDiffChange;

constexpr kn::TDiffKind Add = kn::TDiffKind::dkAdd;
constexpr kn::TDiffKind Mod = kn::TDiffKind::dkModify;
constexpr kn::TDiffKind Del = kn::TDiffKind::dkDelete;

std::vector<uint32_t> Slice(const std::vector<uint32_t>& v, int32_t from, int32_t to)
{
    return {v.begin() + from, v.begin() + to};
}

struct SplitShape {
    const char* name;
    size_t maxLength;
    uint32_t alphabet;  // 2 and 3 make values frequent enough for dense masks
};

TEST(TDiffBitSplitTest, SplitPointLiesOnAShortestPathOfTheBox)
{
    const SplitShape shapes[] = {
        {"short, few values", 70, 3},           {"short, many values", 70, 40}, {"across words, few values", 700, 2},
        {"across words, many values", 700, 30}, {"long, dense masks", 3000, 2},
    };
    std::mt19937 rng(53);
    for (const SplitShape& shape : shapes) {
        for (int round = 0; round < 60 && !HasFailure(); ++round) {
            SCOPED_TRACE(std::string(shape.name) + ", round " + std::to_string(round));
            auto a = RandomLines(rng, shape.maxLength, shape.alphabet);
            auto b = round % 2 ? RandomLines(rng, shape.maxLength, shape.alphabet)
                               : Edited(rng, a, 1 + round % 40, shape.alphabet + 1);
            a.resize(std::max<size_t>(a.size(), 2), 0);
            b.resize(std::max<size_t>(b.size(), 1), 1);
            const auto n = static_cast<int32_t>(a.size()), m = static_cast<int32_t>(b.size());
            // A box somewhere inside the indexed lists, at any bit offset.
            const int32_t o1 = static_cast<int32_t>(rng() % static_cast<unsigned>(n - 1));
            const int32_t e1 = o1 + 2 + static_cast<int32_t>(rng() % static_cast<unsigned>(n - o1 - 1));
            const int32_t o2 = static_cast<int32_t>(rng() % static_cast<unsigned>(m));
            const int32_t e2 = o2 + 1 + static_cast<int32_t>(rng() % static_cast<unsigned>(m - o2));
            // Indexed over the box or over both whole lists.
            kn::TDiffBitSplit split = round % 3 == 0 ? kn::TDiffBitSplit(a.data(), b.data(), o1, o2, e1, e2)
                                                     : kn::TDiffBitSplit(a.data(), b.data(), 0, 0, n, m);
            ASSERT_TRUE(split.Covers(o1, o2, e1, e2));
            EXPECT_EQ(split.Covers(0, 0, n, m), round % 3 != 0 || (o1 == 0 && o2 == 0 && e1 == n && e2 == m));
            kn::TBitSplitPoint p;
            ASSERT_TRUE(split.Split(o1, o2, e1, e2, nullptr, p));
            EXPECT_EQ(p.X, o1 + (e1 - o1) / 2) << "the middle row";
            ASSERT_TRUE(o2 <= p.Y && p.Y <= e2) << p.Y;
            const int64_t upper = ReferenceEditDistance(Slice(a, o1, p.X), Slice(b, o2, p.Y));
            const int64_t lower = ReferenceEditDistance(Slice(a, p.X, e1), Slice(b, p.Y, e2));
            EXPECT_EQ(p.D1, upper);
            EXPECT_EQ(p.D2, lower);
            EXPECT_EQ(upper + lower, ReferenceEditDistance(Slice(a, o1, e1), Slice(b, o2, e2)));
        }
    }
}

TEST(TDiffBitSplitTest, StopEndsTheSplit)
{
    const auto a = Letters("abcabba"), b = Letters("cbabac");
    kn::TDiffBitSplit split(a.data(), b.data(), 0, 0, 7, 6);
    std::atomic<bool> stop{true};
    kn::TBitSplitPoint p;
    EXPECT_FALSE(split.Split(0, 0, 7, 6, &stop, p));
    stop = false;
    EXPECT_TRUE(split.Split(0, 0, 7, 6, &stop, p));
}

// Pairs costly enough that the exact search hands boxes to the rows, split down to boxes of
// one line: the records stay minimal, against the table and against the search alone, which
// may choose another of the equally short scripts.
TEST(TDiffBitSplitTest, CostlyPairsStayMinimal)
{
    std::mt19937 rng(59);
    int differing = 0, rounds = 0;
    for (int round = 0; round < 8 && !HasFailure(); ++round, ++rounds) {
        SCOPED_TRACE("round " + std::to_string(round));
        const uint32_t alphabet = 2 + 3 * round;
        auto a = RandomLines(rng, 3000, alphabet);
        auto b = round % 2 ? RandomLines(rng, 3000, alphabet) : Edited(rng, a, 1500, alphabet);
        a.resize(std::max<size_t>(a.size(), 2000), 0);
        b.resize(std::max<size_t>(b.size(), 2000), 1);
        TDiff diff({.SetAsideUnmatched = round % 4 < 2, .Minimal = true});
        TDiff searchOnly({.SetAsideUnmatched = round % 4 < 2, .Minimal = true, .BitRows = false});
        ASSERT_TRUE(diff.Compare(a, b));
        ASSERT_TRUE(searchOnly.Compare(a, b));
        Replay(a, b, diff.GetChanges());
        EXPECT_EQ(EditLength(diff.Summary()), ReferenceEditDistance(a, b));
        EXPECT_EQ(EditLength(diff.Summary()), EditLength(searchOnly.Summary()));
        EXPECT_FALSE(diff.Approximate());
        differing += diff.GetChanges() != searchOnly.GetChanges();
    }
    EXPECT_GT(differing, 0) << "the rows took over in some pairs";
    RecordProperty("differing", std::to_string(differing) + " of " + std::to_string(rounds) + " pairs");
}

struct ThinExample {
    const char* name;
    std::vector<uint32_t> a, b;
    std::vector<TDiffChange> expected;
};

// n lines of 7 with `value` at the given positions.
std::vector<uint32_t> Sevens(int32_t n, std::initializer_list<std::pair<int32_t, uint32_t>> values)
{
    std::vector<uint32_t> v(static_cast<size_t>(n), 7);
    for (auto [at, value] : values) v[static_cast<size_t>(at)] = value;
    return v;
}

TEST(TDiffBitSplitTest, TwoLinesAgainstManyAreSolvedLineByLine)
{
    const ThinExample examples[] = {
        {"both lines found",
         {1, 2},
         Sevens(50000, {{10000, 1}, {30000, 2}}),
         {{Add, 0, 0, 10000}, {Add, 1, 10001, 19999}, {Add, 2, 30001, 19999}}},
        {"second line missing",
         {1, 2},
         Sevens(50000, {{10000, 1}}),
         {{Add, 0, 0, 10000}, {Mod, 1, 10001, 1}, {Add, 2, 10002, 39998}}},
        {"many lines against two",
         Sevens(50000, {{10000, 1}, {30000, 2}}),
         {1, 2},
         {{Del, 0, 0, 10000}, {Del, 10001, 0, 19999}, {Del, 30001, 0, 19999}}},
    };
    for (const ThinExample& ex : examples) {
        SCOPED_TRACE(ex.name);
        TDiff diff({.SetAsideUnmatched = false, .Minimal = true});
        ASSERT_TRUE(diff.Compare(ex.a, ex.b));
        EXPECT_EQ(diff.GetChanges(), ex.expected);
        Replay(ex.a, ex.b, diff.GetChanges());
    }
}

}  // namespace
