// Lines that occur nowhere in the other list are set aside before the search: the records
// stay valid and minimal, and match those of the plain search wherever nothing was set aside.
#include <gtest/gtest.h>

#include <string>

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitDiffSetAside.h"
#include "tests/diff/diff_test_support.h"

namespace {

using namespace difftest;
using kn::TDiff;
using kn::TDiffChange;

constexpr kn::TDiffKind Add = kn::TDiffKind::dkAdd;
constexpr kn::TDiffKind Del = kn::TDiffKind::dkDelete;
constexpr kn::TDiffKind Mod = kn::TDiffKind::dkModify;

// The search as it was before lines were set aside: the reference for the records.
const kn::TDiffOptions Plain{.SetAsideUnmatched = false, .Minimal = true};

TEST(KeepMatchableLinesTest, KeepsLinesFoundInTheOtherRangeWithTheirPositions)
{
    const auto a = Letters("xaub"), b = Letters("bav");
    kn::TKeptLines kept = kn::KeepMatchableLines(a.data(), b.data(), 1, 0, 4, 3);
    EXPECT_EQ(kept.Values1, Letters("ab"));
    EXPECT_EQ(kept.Index1, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(kept.Values2, Letters("ba"));
    EXPECT_EQ(kept.Index2, (std::vector<int32_t>{0, 1}));
    EXPECT_TRUE(kept.SetAside);
    kept = kn::KeepMatchableLines(a.data(), b.data(), 1, 1, 2, 2);
    EXPECT_FALSE(kept.SetAside) << "\"a\" against \"a\"";
    EXPECT_EQ(kept.Index1, (std::vector<int32_t>{1}));

    // Values far above the list lengths take the hashed set instead of one flag per value.
    const std::vector<uint32_t> sparse1{4000000000u, 7, 3000000000u, 4000000000u}, sparse2{3000000000u, 5, 4000000000u};
    kept = kn::KeepMatchableLines(sparse1.data(), sparse2.data(), 0, 0, 4, 3);
    EXPECT_EQ(kept.Index1, (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(kept.Index2, (std::vector<int32_t>{0, 2}));
}

struct SetAsideExample {
    const char* name;
    std::string a, b;
    std::vector<TDiffChange> expected;
};

TEST(TDiffSetAsideTest, WorkedExamplesGiveTheRecordsOfThePlainSearch)
{
    const SetAsideExample examples[] = {
        {"unrelated", "abc", "xyz", {{Mod, 0, 0, 3}}},
        {"unrelated, left longer", "abcd", "xy", {{Mod, 0, 0, 2}, {Del, 2, 0, 2}}},
        {"unrelated, right longer", "ab", "wxyz", {{Mod, 0, 0, 2}, {Add, 2, 2, 2}}},
        {"one line replaced", "axb", "ayb", {{Mod, 1, 1, 1}}},
        {"unique line removed among repeats", "aaxaa", "aaaa", {{Del, 2, 0, 1}}},
        {"unique lines on both sides of a match", "uavbw", "xaybz", {{Mod, 0, 0, 1}, {Mod, 2, 2, 1}, {Mod, 4, 4, 1}}},
        {"unique line beside a moved one", "abcu", "cab", {{Add, 0, 0, 1}, {Del, 2, 0, 2}}},
    };
    TDiff diff, plain(Plain);
    for (const auto& ex : examples) {
        SCOPED_TRACE(ex.name);
        ASSERT_TRUE(diff.Compare(Letters(ex.a), Letters(ex.b)));
        ASSERT_TRUE(plain.Compare(Letters(ex.a), Letters(ex.b)));
        EXPECT_EQ(plain.GetChanges(), ex.expected) << "the reference itself";
        EXPECT_EQ(diff.GetChanges(), ex.expected);
        EXPECT_FALSE(diff.Approximate());
    }
}

TEST(TDiffSetAsideTest, LargeUnrelatedListsAreOneModifyRun)
{
    std::vector<uint32_t> a(30000), b(40000);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint32_t>(2 * i);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint32_t>(2 * i + 1);
    TDiff diff;
    ASSERT_TRUE(diff.Compare(a, b));
    EXPECT_EQ(diff.GetChanges(), (std::vector<TDiffChange>{{Mod, 0, 0, 30000}, {Add, 30000, 30000, 10000}}));
    EXPECT_FALSE(diff.Approximate()) << "nothing is left to search";
}

// Checks one pair against the plain search; returns whether the records differ.
bool DiffersFromPlain(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    TDiff diff, plain(Plain);
    EXPECT_TRUE(diff.Compare(a, b));
    EXPECT_TRUE(plain.Compare(a, b));
    Replay(a, b, diff.GetChanges());
    EXPECT_EQ(EditLength(diff.Summary()), EditLength(plain.Summary())) << "both are minimal";
    // The lines between the common head and tail are the ones searched.
    int32_t s = 0, e1 = static_cast<int32_t>(a.size()), e2 = static_cast<int32_t>(b.size());
    for (; s < e1 && s < e2 && a[s] == b[s]; ++s) {
    }
    for (; s < e1 && s < e2 && a[e1 - 1] == b[e2 - 1]; --e1, --e2) {
    }
    if (!kn::KeepMatchableLines(a.data(), b.data(), s, s, e1, e2).SetAside) {
        EXPECT_EQ(diff.GetChanges(), plain.GetChanges()) << "nothing set aside, so the same search";
    }
    return diff.GetChanges() != plain.GetChanges();
}

TEST(TDiffSetAsideTest, RandomPairsAgreeWithThePlainSearch)
{
    std::mt19937 rng(23);
    int differing = 0, editedDiffering = 0, rounds = 0;
    for (int round = 0; round < 3000 && !HasFailure(); ++round, ++rounds) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Values from two overlapping ranges, so that some lines occur on one side only.
        const uint32_t alphabet = 3 + round % 12;
        auto a = RandomLines(rng, 1 + round % 50, alphabet);
        auto b = RandomLines(rng, 1 + (round * 7) % 50, alphabet);
        for (auto& v : b) v += round % 4;
        differing += DiffersFromPlain(a, b);
    }
    for (int round = 0; round < 300 && !HasFailure(); ++round, ++rounds) {
        SCOPED_TRACE("edited round " + std::to_string(round));
        const uint32_t alphabet = round % 2 ? 1000 : 8;
        auto a = RandomLines(rng, 600, alphabet);
        editedDiffering += DiffersFromPlain(a, Edited(rng, a, 1 + round % 60, alphabet + 50));
    }
    // Where lines were set aside, another of the equally short scripts may come out.
    RecordProperty("differing", std::to_string(differing) + " random, " + std::to_string(editedDiffering) +
                                    " edited of " + std::to_string(rounds) + " pairs");
}

}  // namespace
