// Whole two-way plans: folders against what lies beneath them, conflicts under each policy,
// paths a side cannot tell, moves, conflict names and the safety valves.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <utility>

#include "engine/kn_unitRun.h"
#include "tests/twoway/twoway_fixture.h"

namespace {

using twtest::File;
using twtest::Folder;
using Entries = std::vector<kn::TKNListedEntry>;
using Lines = std::vector<std::string>;

// Each operation as a short line: "copy>R p", "mkdir>L d", "del L p", "rmdir R d", "ren R a>b"
// (a version moved aside), "move R a>b", "time L p"; "!" marks a forced backup, "@N" the
// operation it waits for.
Lines Ops(const kn::TKNTwoWayPlan& plan)
{
    Lines lines;
    for (const kn::TKNOp& op : plan.Ops) {
        const std::string side = op.WritesRight ? "R" : "L";
        std::string line;
        switch (op.Op) {
            case kn::TKNOperation::CreateFolder:
                line = "mkdir>" + side + " " + op.Path;
                break;
            case kn::TKNOperation::CopyLeftToRight:
            case kn::TKNOperation::CopyRightToLeft:
                line = "copy>" + side + " " + op.Path + (op.KeepOld ? "!" : "");
                break;
            case kn::TKNOperation::DeleteLeft:
            case kn::TKNOperation::DeleteRight:
                line = "del " + side + " " + op.Path;
                break;
            case kn::TKNOperation::RemoveFolder:
                line = "rmdir " + side + " " + op.Path;
                break;
            case kn::TKNOperation::MoveAside:
                line = "ren " + side + " " + op.Path + ">" + op.NewPath;
                break;
            case kn::TKNOperation::Rename:
                line = "move " + side + " " + op.Path + ">" + op.NewPath;
                break;
            case kn::TKNOperation::SetTime:
                line = "time " + side + " " + op.Path;
                break;
            default:
                line = kn::OperationName(op.Op) + " " + op.Path;
        }
        lines.push_back(line + (op.After >= 0 ? "@" + std::to_string(op.After) : ""));
    }
    return lines;
}

// The entries with a content hash made of their size and time: the same bytes where they agree.
Entries Hashed(Entries entries)
{
    for (kn::TKNListedEntry& e : entries)
        if (e.Kind == kn::TKNEntryKind::File)
            e.Facts.Hash = std::to_string(e.Facts.Size) + "@" + std::to_string(e.Facts.MTime);
    return entries;
}

kn::TKNTwoWaySide Side(Entries entries, std::vector<std::string> unknown = {}, bool inodes = false)
{
    kn::TKNTwoWaySide side;
    side.Entries = std::move(entries);
    side.Unknown = std::move(unknown);
    side.Inodes = inodes;
    return side;
}

kn::TKNTwoWayPlan Plan(const Entries& recorded, const kn::TKNTwoWaySide& left, const kn::TKNTwoWaySide& right,
                       kn::TKNConflictPolicy policy = kn::TKNConflictPolicy::KeepBoth, bool firstRun = false)
{
    kn::TKNTwoWayOptions options;
    options.Rules.FirstRun = firstRun;
    options.Policy = policy;
    return kn::PlanTwoWay(twtest::Records(recorded), left, right, options);
}

TEST(TwoWayPlan, FolderRemovedOnOneSideKeepsWhatTheOtherChangedBeneathIt)
{
    const Entries was = {Folder("d"), File("d/a", 1, 10), File("d/b", 2, 10), Folder("d/e"), File("d/e/x", 3, 10)};
    // The left removed d; the right edited d/b and added d/c, and left d/a and d/e alone.
    const auto right = Side(
        {Folder("d"), File("d/a", 1, 10), File("d/b", 5, 20), File("d/c", 1, 20), Folder("d/e"), File("d/e/x", 3, 10)});
    EXPECT_EQ(Ops(Plan(was, Side({}), right)),
              (Lines{"mkdir>L d", "copy>L d/b", "copy>L d/c", "del R d/a", "del R d/e/x", "rmdir R d/e"}));
    // Nothing new beneath it: the folder goes, deepest first.
    const auto unchanged =
        Side({Folder("d"), File("d/a", 1, 10), File("d/b", 2, 10), Folder("d/e"), File("d/e/x", 3, 10)});
    EXPECT_EQ(Ops(Plan(was, Side({}), unchanged)),
              (Lines{"del R d/a", "del R d/b", "del R d/e/x", "rmdir R d/e", "rmdir R d"}));
}

TEST(TwoWayPlan, WhatASideCannotTellIsLeftAloneAndItsRecordKept)
{
    const Entries was = {File("a.txt", 1, 10), Folder("d"), File("d/x", 1, 10), File("gone.txt", 1, 10)};
    // The left could not list d, and a size filter left a.txt out; gone.txt really was deleted.
    const auto left = Side({Folder("d")}, {"d", "a.txt"});
    const auto right = Side({File("a.txt", 1, 10), Folder("d"), File("d/x", 1, 10), File("gone.txt", 1, 10)});
    const kn::TKNTwoWayPlan plan = Plan(was, left, right);
    EXPECT_EQ(Ops(plan), (Lines{"del R gone.txt"}));
    EXPECT_EQ(plan.Kept, (Lines{"a.txt", "d/x"}));

    // A file on one side where the other has a folder: both left alone, with all beneath them.
    const kn::TKNTwoWayPlan kinds =
        Plan({}, Side({Folder("p"), File("p/a", 1, 1)}), Side({File("p", 2, 2)}), kn::TKNConflictPolicy::Left);
    EXPECT_EQ(Ops(kinds), Lines{});
    ASSERT_EQ(kinds.Conflicts.size(), 1u);
    EXPECT_EQ(kinds.Conflicts[0].Settled, kn::TKNConflictPolicy::Skip);
    EXPECT_EQ(kinds.Kept, (Lines{"p/a"}));
}

TEST(TwoWayPlan, FirstRunDeletesNothing)
{
    const auto left =
        Side({File("a", 1, 10), File("both", 1, 30), Folder("d"), File("d/x", 2, 10), File("same", 4, 5)});
    const auto right = Side({File("b", 1, 10), File("both", 2, 20), File("same", 4, 5)});
    const kn::TKNTwoWayPlan plan = Plan({}, left, right, kn::TKNConflictPolicy::KeepBoth, true);
    EXPECT_EQ(Ops(plan), (Lines{"mkdir>R d", "copy>R a", "copy>L b", "copy>R both!", "copy>R d/x"}));
    ASSERT_EQ(plan.Records.size(), 1u);
    EXPECT_EQ(plan.Records[0].Path, "same");
    EXPECT_EQ(plan.Totals.Deletions(), 0);
    EXPECT_TRUE(plan.ContentWanted.empty()) << "sizes tell \"both\" apart";
}

// Equal files whose times differ look like a first run's differing pair or a conflict until their
// bytes are read: the plan names them, and planned again with their hashes they are equal.
TEST(TwoWayPlan, ContentSettlesPairsOfOneSize)
{
    Entries left = {File("conflict", 4, 300), File("twin", 4, 30)};
    Entries right = {File("conflict", 4, 200), File("twin", 4, 20)};
    const Entries was = {File("conflict", 1, 1), File("twin", 4, 20)};
    const kn::TKNTwoWayPlan first = Plan({}, Side(left), Side(right), kn::TKNConflictPolicy::Skip, true);
    EXPECT_EQ(first.ContentWanted, (Lines{"conflict", "twin"}));
    EXPECT_EQ(Plan(was, Side(left), Side(right), kn::TKNConflictPolicy::Skip).ContentWanted, Lines{"conflict"});
    for (Entries* side : {&left, &right})
        for (kn::TKNListedEntry& e : *side) e.Facts.Hash = "same";
    const kn::TKNTwoWayPlan hashed = Plan(was, Side(left), Side(right));
    EXPECT_EQ(Ops(hashed), (Lines{"time R conflict", "time R twin"}));
    EXPECT_TRUE(hashed.ContentWanted.empty());
}

TEST(TwoWayPlan, ConflictsUnderEachPolicy)
{
    const Entries was = {File("dir/r.txt", 1, 1000)};
    // Both edited; the left is newer, the right's older time is 2024-01-02 03:04:05 UTC.
    const auto left = Side({File("dir/r.txt", 5, 1704164700)});
    const auto right = Side({File("dir/r.conflict-20240102-030405.txt", 9, 9), File("dir/r.txt", 7, 1704164645)});
    const std::string older = "dir/r.conflict-20240102-030405-2.txt";
    const struct {
        kn::TKNConflictPolicy policy;
        Lines ops;
        bool leftOpen;
    } rows[] = {
        {kn::TKNConflictPolicy::KeepBoth,
         {"ren R dir/r.txt>" + older, "copy>R dir/r.txt@1", "copy>L " + older + "@1"},
         true},
        {kn::TKNConflictPolicy::Newer, {"copy>R dir/r.txt!"}, false},
        {kn::TKNConflictPolicy::Left, {"copy>R dir/r.txt!"}, false},
        {kn::TKNConflictPolicy::Right, {"copy>L dir/r.txt!"}, false},
        {kn::TKNConflictPolicy::Skip, {}, true},
    };
    for (const auto& row : rows) {
        const kn::TKNTwoWayPlan plan = Plan(was, left, right, row.policy);
        Lines ops = Ops(plan);
        ops.erase(ops.begin());  // the right's own new file "dir/r.conflict-20240102-030405.txt"
        EXPECT_EQ(ops, row.ops) << kn::ConflictPolicyWord(row.policy);
        ASSERT_EQ(plan.Conflicts.size(), 1u);
        EXPECT_EQ(plan.Conflicts[0].Settled, row.policy);
        EXPECT_EQ(plan.ConflictsLeftOpen(), row.leftOpen) << kn::ConflictPolicyWord(row.policy);
    }
    // A conflict name that a side's filters leave out is taken there too.
    const kn::TKNTwoWayPlan hidden =
        Plan(was, left, Side(right.Entries, {"dir/r.conflict-20240102-030405-2.txt"}), kn::TKNConflictPolicy::KeepBoth);
    ASSERT_EQ(hidden.Conflicts.size(), 1u);
    EXPECT_EQ(hidden.Conflicts[0].OlderName, "dir/r.conflict-20240102-030405-3.txt");
    // Equal times leave no newer version: keep-both and newer leave the pair alone.
    const auto sameTime = Side({File("dir/r.txt", 8, 1704164645)});
    const kn::TKNTwoWayPlan plan = Plan(was, sameTime, right, kn::TKNConflictPolicy::Newer);
    ASSERT_EQ(plan.Conflicts.size(), 1u);
    EXPECT_EQ(plan.Conflicts[0].Settled, kn::TKNConflictPolicy::Skip);
    EXPECT_TRUE(plan.ConflictsLeftOpen());
}

TEST(TwoWayPlan, ConflictNames)
{
    const int64_t t = 1704164645;  // 2024-01-02 03:04:05 UTC
    std::set<std::string> taken;
    auto inUse = [&taken](const std::string& name) { return taken.count(name) != 0; };
    EXPECT_EQ(kn::ConflictName("report.txt", t, inUse), "report.conflict-20240102-030405.txt");
    EXPECT_EQ(kn::ConflictName("a.tar.gz", t, inUse), "a.tar.conflict-20240102-030405.gz");
    EXPECT_EQ(kn::ConflictName(".profile", t, inUse), ".profile.conflict-20240102-030405");
    EXPECT_EQ(kn::ConflictName("Makefile", 0, inUse), "Makefile.conflict-19700101-000000");
    taken = {"report.conflict-20240102-030405.txt", "report.conflict-20240102-030405-2.txt"};
    EXPECT_EQ(kn::ConflictName("report.txt", t, inUse), "report.conflict-20240102-030405-3.txt");
    // A name with no room for the conflict part keeps the part whole and fits 255 bytes.
    const std::string longName = std::string(240, 'n') + ".data";
    const std::string cut = kn::ConflictName(longName, t, inUse);
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.substr(cut.size() - 30), ".conflict-20240102-030405.data");
    const std::string utf8 = std::string(225, 'n') + "\xc3\xa9" + std::string(20, 'x') + ".txt";
    EXPECT_EQ(kn::ConflictName(utf8, t, inUse), std::string(225, 'n') + ".conflict-20240102-030405.txt")
        << "a cut never splits a UTF-8 sequence";
    for (const char* word : {"keep-both", "newer", "left", "right", "skip"}) {
        kn::TKNConflictPolicy policy;
        ASSERT_TRUE(kn::ConflictPolicyOf(word, policy)) << word;
        EXPECT_STREQ(kn::ConflictPolicyWord(policy), word);
    }
    kn::TKNConflictPolicy policy;
    EXPECT_FALSE(kn::ConflictPolicyOf("both", policy));
}

TEST(TwoWayPlan, Moves)
{
    const Entries was = Hashed({Folder("d"), File("d/x", 3, 50, 7), File("d/y", 4, 60, 8), File("a", 10, 100, 5),
                                File("b", 10, 100, 6), File("c", 20, 200, 9)});
    const Entries wasRight = twtest::OnRight(was);
    // The left as it was, with the entries at some recorded paths now standing as others.
    const auto leftWith = [&was](const std::vector<std::pair<std::string, kn::TKNListedEntry>>& changes) {
        Entries left = was;
        for (const auto& [path, now] : changes)
            for (kn::TKNListedEntry& e : left)
                if (e.Path == path) e = now;
        return Hashed(left);
    };
    Entries otherBytes = leftWith({{"c", File("c2", 20, 200, 9)}});
    otherBytes.back().Facts.Hash = "rewritten in place";
    const Entries twinsRenamed = leftWith({{"a", File("a2", 10, 100, 5)}, {"b", File("b2", 10, 100, 6)}});
    const struct {
        const char* name;
        Entries left;
        bool inodes;
        std::vector<kn::TKNMove> moves;
    } rows[] = {
        {"FileRenamed", leftWith({{"c", File("c2", 20, 200, 9)}}), false, {{true, false, "c", "c2"}}},
        {"FolderRenamedIsOneMove",
         leftWith({{"d", Folder("e", 0)}, {"d/x", File("e/x", 3, 50, 7)}, {"d/y", File("e/y", 4, 60, 8)}}),
         false,
         {{true, true, "d", "e"}}},
        {"TwinsWithoutInodesAreNotGuessed", twinsRenamed, false, {}},
        {"TwinsToldApartByInode", twinsRenamed, true, {{true, false, "a", "a2"}, {true, false, "b", "b2"}}},
        {"OtherInodeIsNoMove", leftWith({{"c", File("c2", 20, 200, 99)}}), true, {}},
        {"EditedOnTheWayIsNoMove", leftWith({{"c", File("c2", 21, 200, 9)}}), false, {}},
        {"SameSizeTimeAndInodeButOtherBytesIsNoMove", otherBytes, true, {}},
    };
    for (const auto& row : rows) {
        const auto left = Side(row.left, {}, row.inodes);
        EXPECT_EQ(kn::DetectMoves(twtest::Records(was), left, Side(wasRight), 0), row.moves) << row.name;
    }
    // The old path changed on the other side: copied and deleted as usual, not renamed.
    Entries rightEdited = wasRight;
    rightEdited.back().Facts.Size = 21;
    EXPECT_TRUE(kn::DetectMoves(twtest::Records(was), Side(rows[0].left), Side(rightEdited), 0).empty());
    // Without the moved file's hash it is no move yet: the hash is asked for.
    Entries unread = rows[0].left;
    for (kn::TKNListedEntry& e : unread) e.Facts.Hash.clear();
    std::vector<kn::TKNHashWanted> wanted;
    EXPECT_TRUE(kn::DetectMoves(twtest::Records(was), Side(unread), Side(wasRight), 0, &wanted).empty());
    EXPECT_EQ(wanted, (std::vector<kn::TKNHashWanted>{{true, "c2"}}));

    // A renamed folder is one rename on the other side and deletes nothing, whatever --max-delete says.
    const kn::TKNTwoWayPlan plan = Plan(was, Side(rows[1].left), Side(wasRight));
    EXPECT_EQ(Ops(plan), (Lines{"move R d>e"}));
    ASSERT_EQ(plan.Ops.size(), 1u);
    EXPECT_EQ(plan.OpRecords[0].size(), 3u) << "e, e/x and e/y recorded under their new paths";
    EXPECT_EQ(plan.Totals.Moves, 1);
    EXPECT_EQ(plan.Totals.Deletions(), 0);
    // A side that cannot rename takes the move as a copy and a deletion.
    kn::TKNTwoWayOptions noRename;
    noRename.Caps[1].Rename = false;
    const kn::TKNTwoWayPlan copied = kn::PlanTwoWay(twtest::Records(was), Side(rows[0].left), Side(wasRight), noRename);
    EXPECT_EQ(Ops(copied), (Lines{"copy>R c2", "del R c"}));
}

TEST(TwoWayPlan, SafetyValves)
{
    const std::vector<kn::TKNStateEntry> state = twtest::Records({File("a", 1, 1), File("b", 1, 1)});
    const auto full = Side({File("a", 1, 1), File("b", 1, 1)});
    kn::TKNTwoWaySide missing = Side({});
    missing.RootMissing = true;
    EXPECT_EQ(kn::RootRefusal(state, full, full), "");
    EXPECT_EQ(kn::RootRefusal({}, Side({}), missing), "") << "a first run has nothing to lose";
    EXPECT_EQ(kn::RootRefusal(state, full, Side({})),
              "The right folder lists no entries, yet the last synchronisation recorded 2 there: nothing is changed.");
    EXPECT_NE(kn::RootRefusal(state, missing, full).find("The left folder could not be listed"), std::string::npos);

    const kn::TKNTwoWayPlan plan =
        kn::PlanTwoWay(state, Side({File("b", 1, 1)}), Side({File("a", 1, 1)}), kn::TKNTwoWayOptions{});
    EXPECT_EQ(Ops(plan), (Lines{"del R a", "del L b"}));

    // The one mass-deletion guard of every action: --max-delete counts both sides together;
    // without it, a side that loses more than 10 entries and more than half of what it holds.
    const struct {
        int64_t deletes[2], entries[2];
        std::optional<int64_t> max;
        bool tripped, overMax, right;
    } guards[] = {
        {{1, 1}, {5, 5}, 1, true, true, false},        {{1, 1}, {5, 5}, 2, false, false, false},
        {{0, 200}, {201, 201}, {}, true, false, true}, {{0, 200}, {201, 201}, 200, false, false, false},
        {{10, 0}, {12, 12}, {}, false, false, false},  {{0, 11}, {30, 30}, {}, false, false, false},
        {{0, 11}, {21, 21}, {}, true, false, true},
    };
    for (const auto& g : guards) {
        const kn::TKNGuardTrip trip = kn::CheckDeletionGuard(g.deletes, g.entries, g.max);
        EXPECT_EQ(trip.Tripped, g.tripped) << g.deletes[0] << "/" << g.deletes[1] << " of " << g.entries[1];
        EXPECT_EQ(trip.OverMax, g.overMax);
        EXPECT_EQ(trip.Tripped && trip.Right, g.tripped && g.right);
    }
}

TEST(TwoWayPlan, DryRunText)
{
    const Entries was = {File("old.txt", 1, 10), File("r.txt", 1, 10)};
    const auto left = Side({File("new.txt", 2048, 20), File("r.txt", 5, 1704164700)});
    const auto right = Side({File("old.txt", 1, 10), File("r.txt", 7, 1704164645)});
    EXPECT_EQ(kn::TwoWayPlanText(Plan(was, left, right)),
              "copy left -> right  new.txt\n"
              "rename right  r.txt -> r.conflict-20240102-030405.txt\n"
              "copy left -> right  r.txt\n"
              "copy right -> left  r.conflict-20240102-030405.txt\n"
              "delete right  old.txt\n"
              "conflict  r.txt: kept both, the older right as r.conflict-20240102-030405.txt\n"
              "Two-way plan: 2 to copy left to right (2.0 KiB), 1 right to left (7 bytes), 1 to delete on the right, "
              "1 conflict.\n");
    EXPECT_EQ(kn::TwoWayPlanText(kn::TKNTwoWayPlan{}), "Two-way plan: Nothing to do.\n");
}

}  // namespace
