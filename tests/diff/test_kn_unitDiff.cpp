#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "diff/kn_unitDiff.h"
#include "tests/diff/diff_test_support.h"

namespace {

using namespace difftest;
using kn::TDiff;
using kn::TDiffChange;
using kn::TDiffKind;

constexpr TDiffKind Add = TDiffKind::dkAdd;
constexpr TDiffKind Del = TDiffKind::dkDelete;
constexpr TDiffKind Mod = TDiffKind::dkModify;

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

TEST(TDiffTest, StopFlagIsCheckedDuringTheSearchOnly)
{
    std::atomic<bool> stop{true};
    TDiff diff({.Stop = &stop});
    EXPECT_TRUE(diff.Compare(Letters("abcd"), Letters("abcd"))) << "equal inputs need no search";
    EXPECT_FALSE(diff.Stopped());
    EXPECT_FALSE(diff.Compare(Letters("abcabba"), Letters("cbabac")));
    EXPECT_TRUE(diff.Stopped());
    EXPECT_EQ(diff.GetChangeCount(), 0);
    stop = false;
    EXPECT_TRUE(diff.Compare(Letters("abcabba"), Letters("cbabac")));
    EXPECT_FALSE(diff.Stopped());
    EXPECT_EQ(diff.GetChangeCount(), 4);
}

TEST(LineHashTest, IsTheStandardCrc32)
{
    EXPECT_EQ(kn::LineHash(""), 0x00000000u);
    EXPECT_EQ(kn::LineHash("123456789"), 0xCBF43926u);
    EXPECT_EQ(kn::LineHash("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(LineHashTest, TDiffTakesEqualValuesForEqualLines)
{
    // A known CRC-32 collision: TDiff sees values only, so callers pass line classes
    // (kn_unitLineClasses), not raw hashes.
    ASSERT_EQ(kn::LineHash("plumless"), kn::LineHash("buckeroo"));
    std::vector<uint32_t> a{kn::LineHash("x"), kn::LineHash("plumless")};
    std::vector<uint32_t> b{kn::LineHash("x"), kn::LineHash("buckeroo")};
    TDiff diff;
    EXPECT_TRUE(Diff(diff, a, b).empty());
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
