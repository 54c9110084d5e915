// The cost bound of the search: past it the script stays valid and says it may not be
// minimal; --minimal (no bound) stays exact; a stop ends a long search.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "diff/kn_unitDiff.h"
#include "tests/diff/diff_test_support.h"

namespace {

using namespace difftest;
using kn::TDiff;

TEST(TDiffCostBoundTest, BoundedSearchGivesValidScriptsOnRandomPairs)
{
    std::mt19937 rng(31);
    int approximate = 0, longer = 0;
    for (int round = 0; round < 600 && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const uint32_t alphabet = 2 + round % 6;
        auto a = RandomLines(rng, 20 + round % 200, alphabet);
        auto b = round % 2 ? RandomLines(rng, 20 + round % 150, alphabet) : Edited(rng, a, round % 80, alphabet);
        TDiff bounded({.SetAsideUnmatched = round % 3 != 0, .CostBound = 1 + round % 5});
        ASSERT_TRUE(bounded.Compare(a, b));
        Replay(a, b, bounded.GetChanges());
        const int64_t minimal = ReferenceEditDistance(a, b);
        const int64_t length = EditLength(bounded.Summary());
        EXPECT_GE(length, minimal);
        if (length > minimal) {
            ++longer;
            EXPECT_TRUE(bounded.Approximate()) << "a longer script is flagged";
        }
        approximate += bounded.Approximate();
    }
    EXPECT_GT(longer, 0) << "the bound was low enough to matter";
    EXPECT_GT(approximate, longer / 2);
}

TEST(TDiffCostBoundTest, MinimalSearchIgnoresTheBound)
{
    std::mt19937 rng(37);
    auto a = RandomLines(rng, 400, 3), b = RandomLines(rng, 400, 3);
    TDiff minimal({.Minimal = true, .CostBound = 2});
    ASSERT_TRUE(minimal.Compare(a, b));
    EXPECT_FALSE(minimal.Approximate());
    Replay(a, b, minimal.GetChanges());
    EXPECT_EQ(EditLength(minimal.Summary()), ReferenceEditDistance(a, b));
}

// Long lists with a huge edit distance: the bound takes over, the script is valid.
TEST(TDiffCostBoundTest, HugeEditDistanceIsApproximateAndValid)
{
    std::mt19937 rng(41);
    auto a = RandomLines(rng, 12000, 16), b = RandomLines(rng, 12000, 16);
    a.resize(12000, 0);
    b.resize(12000, 1);
    TDiff diff({.CostBound = 512});
    ASSERT_TRUE(diff.Compare(a, b));
    EXPECT_TRUE(diff.Approximate());
    Replay(a, b, diff.GetChanges());
}

TEST(TDiffStopTest, StopFromAnotherThreadEndsALongSearch)
{
    std::mt19937 rng(43);
    // An exact search over these takes seconds even in a release build.
    auto a = RandomLines(rng, 400000, 2), b = RandomLines(rng, 400000, 2);
    a.resize(400000, 0);
    b.resize(400000, 1);
    std::atomic<bool> stop{false}, started{false};
    TDiff diff({.Minimal = true, .Stop = &stop});
    std::thread stopper([&] {
        while (!started) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    started = true;
    EXPECT_FALSE(diff.Compare(a, b));
    stopper.join();
    EXPECT_TRUE(diff.Stopped());
    EXPECT_EQ(diff.GetChangeCount(), 0);
}

}  // namespace
