#include "diff/kn_unitDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace kn {

static std::ostream& operator<<(std::ostream& os, const TDiffChange& c)
{
    static const char* const kinds[] = {"add", "delete", "modify"};
    return os << "(" << kinds[static_cast<int>(c.Kind)] << ", " << c.Index1 << ", " << c.Index2 << ", "
              << c.Count << ")";
}

}  // namespace kn

namespace {

using kn::TDiff;
using kn::TDiffChange;
using kn::TDiffKind;

constexpr TDiffKind Add = TDiffKind::dkAdd;
constexpr TDiffKind Del = TDiffKind::dkDelete;
constexpr TDiffKind Mod = TDiffKind::dkModify;

// One letter per line; the letter is the line's hash.
std::vector<uint32_t> Letters(const std::string& s) { return std::vector<uint32_t>(s.begin(), s.end()); }

std::vector<TDiffChange> Diff(TDiff& diff, const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    EXPECT_TRUE(diff.Compare(a, b));
    return diff.GetChanges();
}

struct WorkedExample {
    const char* name;
    std::string a, b;
    std::vector<TDiffChange> expected;
};

TEST(TDiffTest, WorkedExamplesGiveExactlyTheseRecords)
{
    const WorkedExample examples[] = {
        {"equal", "abc", "abc", {}},
        {"both empty", "", "", {}},
        {"one line each, different", "a", "b", {{Mod, 0, 0, 1}}},
        {"middle line removed", "abc", "ac", {{Del, 1, 0, 1}}},
        {"middle line inserted", "ac", "abc", {{Add, 1, 1, 1}}},
        {"left empty", "", "ab", {{Add, 0, 0, 2}}},
        {"right empty", "ab", "", {{Del, 0, 0, 2}}},
        {"two lines replaced", "ab", "cd", {{Mod, 0, 0, 2}}},
        {"inner pair replaced", "abcd", "axyd", {{Mod, 1, 1, 2}}},
        {"three replaced by five", "aaa", "bbbbb", {{Mod, 0, 0, 3}, {Add, 3, 3, 2}}},
        {"classic pair", "abcabba", "cbabac", {{Mod, 0, 0, 1}, {Del, 2, 0, 1}, {Del, 5, 0, 1}, {Add, 7, 5, 1}}},
    };
    TDiff diff;
    for (const auto& ex : examples) {
        SCOPED_TRACE(ex.name);
        EXPECT_EQ(Diff(diff, Letters(ex.a), Letters(ex.b)), ex.expected);
        EXPECT_EQ(diff.GetChangeCount(), static_cast<int32_t>(ex.expected.size()));
    }
}

TEST(TDiffTest, AbsentInputFailsAndClearsThePreviousRun)
{
    TDiff diff;
    auto a = Letters("a"), b = Letters("b");
    Diff(diff, a, b);
    ASSERT_EQ(diff.GetChangeCount(), 1);
    EXPECT_FALSE(diff.Compare(nullptr, b.data(), 0, 1));
    EXPECT_EQ(diff.GetChangeCount(), 0);
    EXPECT_FALSE(diff.Compare(a.data(), nullptr, 1, 0));
    EXPECT_THROW(diff.GetChange(0), std::out_of_range);
}

TEST(TDiffTest, SummaryCountsLinesNotRecords)
{
    TDiff diff;
    Diff(diff, Letters("aaa"), Letters("bbbbb"));
    kn::TDiffSummary s = diff.Summary();
    EXPECT_EQ(s.Added, 2);
    EXPECT_EQ(s.Modified, 3);
    EXPECT_EQ(s.Deleted, 0);
}

TEST(TDiffTest, MessageCallbackRunsDuringTheSearchOnly)
{
    int calls = 0;
    TDiff diff([&calls] { ++calls; });
    Diff(diff, Letters("abcd"), Letters("abcd"));
    EXPECT_EQ(calls, 0) << "equal inputs need no search";
    Diff(diff, Letters("abcabba"), Letters("cbabac"));
    EXPECT_GT(calls, 0);
}

TEST(LineHashTest, IsTheStandardCrc32)
{
    EXPECT_EQ(kn::LineHash(""), 0x00000000u);
    EXPECT_EQ(kn::LineHash("123456789"), 0xCBF43926u);
    EXPECT_EQ(kn::LineHash("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(LineHashTest, DifferentLinesWithEqualCrcCountAsEqual)
{
    // A known CRC-32 collision.
    ASSERT_EQ(kn::LineHash("plumless"), kn::LineHash("buckeroo"));
    std::vector<uint32_t> a{kn::LineHash("x"), kn::LineHash("plumless")};
    std::vector<uint32_t> b{kn::LineHash("x"), kn::LineHash("buckeroo")};
    TDiff diff;
    EXPECT_TRUE(Diff(diff, a, b).empty());
}

// ---- randomized pairs ----

// Rebuilds both inputs from the records the way the differences window lays them out,
// checking on the way that lines between records are equal and that records are well formed.
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
    for (const TDiffChange& c : changes) {
        ASSERT_GE(c.Count, 1) << c;
        ASSERT_GE(c.Index1, lastIndex1) << "records out of order at " << c;
        lastIndex1 = c.Index1;
        ASSERT_LE(static_cast<size_t>(c.Index1), a.size()) << c;
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

// Minimal number of inserted plus removed lines, from the longest common subsequence.
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
    for (auto& x : v)
        x = std::uniform_int_distribution<uint32_t>(0, alphabet - 1)(rng);
    return v;
}

// b is a with random lines removed, inserted and replaced: long common runs, like real edits.
std::vector<uint32_t> Edited(std::mt19937& rng, const std::vector<uint32_t>& a, int edits, uint32_t alphabet)
{
    std::vector<uint32_t> b = a;
    for (int e = 0; e < edits; ++e) {
        size_t pos = std::uniform_int_distribution<size_t>(0, b.size())(rng);
        uint32_t line = std::uniform_int_distribution<uint32_t>(0, alphabet - 1)(rng);
        switch (rng() % 3) {
        case 0: b.insert(b.begin() + static_cast<ptrdiff_t>(pos), line); break;
        case 1: if (pos < b.size()) b.erase(b.begin() + static_cast<ptrdiff_t>(pos)); break;
        default: if (pos < b.size()) b[pos] = line; break;
        }
    }
    return b;
}

void CheckPair(TDiff& diff, const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    auto changes = Diff(diff, a, b);
    Replay(a, b, changes);
    kn::TDiffSummary s = diff.Summary();
    EXPECT_EQ(s.Added + s.Deleted + 2 * s.Modified, ReferenceEditDistance(a, b));
}

TEST(TDiffRandomTest, UnrelatedPairsReplayAndAreMinimal)
{
    std::mt19937 rng(7);
    TDiff diff;
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        uint32_t alphabet = 2 + round % 5;
        auto a = RandomLines(rng, 1 + round % 40, alphabet);
        auto b = RandomLines(rng, 1 + (round * 7) % 40, alphabet);
        SCOPED_TRACE("round " + std::to_string(round));
        CheckPair(diff, a, b);
    }
}

TEST(TDiffRandomTest, EditedPairsReplayAndAreMinimal)
{
    std::mt19937 rng(11);
    TDiff diff;
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        uint32_t alphabet = round % 2 ? 1000 : 4;
        auto a = RandomLines(rng, 600, alphabet);
        auto b = Edited(rng, a, 1 + round % 60, alphabet);
        SCOPED_TRACE("round " + std::to_string(round));
        CheckPair(diff, a, b);
    }
}

}  // namespace
