// What an update run reports at its end: the plan it carried out, what succeeded, every
// failure with its paths, the backup folder, and whether it was stopped (then no follow-up
// comparison runs). Rows beneath a folder that could not be listed are never touched.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/kn_unitUpdatePlan.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

// L: new.txt (6 bytes), sub/in.txt (2 bytes, in a folder only the left has).
// R: stale.txt, old/x.txt (a folder only the right has).
void MixedTrees(const TempDir& dir)
{
    Put(dir / "L/new.txt", "123456", 0);
    Put(dir / "L/sub/in.txt", "ab", 0);
    Put(dir / "R/stale.txt", "x", 0);
    Put(dir / "R/old/x.txt", "y", 0);
}

}  // namespace

TEST(UpdateOutcome, DoneMatchesThePlanAndNamesTheBackupFolder)
{
    ProgramFolderHere program;
    TempDir dir;
    MixedTrees(dir);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 6u);
    h.Update(kn::TKNAction::LeftToRight, true, true);
    const kn::TKNUpdateOutcome& outcome = h.engine.LastUpdate();
    EXPECT_TRUE(outcome.Failures.empty());
    EXPECT_FALSE(outcome.Stopped);
    for (const kn::TKNPlanTotals* t : {&outcome.Planned, &outcome.Done}) {
        EXPECT_EQ(t->FilesToCopy, 2);
        EXPECT_EQ(t->BytesToCopy, 8);
        EXPECT_EQ(t->FilesToDelete, 2);
        EXPECT_EQ(t->FoldersToCreate, 1);
        EXPECT_EQ(t->FoldersToRemove, 1);
    }
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"new.txt", "123456"}, {"sub", "<dir>"}, {"sub/in.txt", "ab"}}));
    ASSERT_FALSE(outcome.BackupFolder.empty());
    EXPECT_EQ(ReadFile(outcome.BackupFolder + "/Right/stale.txt"), "x");
}

TEST(UpdateOutcome, NoBackupFolderIsNamedWhenNothingWasBackedUp)
{
    ProgramFolderHere program;
    TempDir dir;
    Put(dir / "L/only.txt", "1", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, false, true);
    EXPECT_EQ(h.engine.LastUpdate().Done.FilesToCopy, 1);
    EXPECT_EQ(h.engine.LastUpdate().BackupFolder, "");
}

// A source that vanishes between the comparison and the update fails its copy alone.
TEST(UpdateOutcome, FailuresAreGatheredWithTheirPaths)
{
    TempDir dir;
    Put(dir / "L/a.txt", "a", 0);
    Put(dir / "L/b.txt", "b", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 2u);
    RemoveTree(dir / "L/a.txt");
    h.Update(kn::TKNAction::LeftToRight, false);
    const kn::TKNUpdateOutcome& outcome = h.engine.LastUpdate();
    ASSERT_EQ(outcome.Failures.size(), 1u);
    const kn::TKNUpdateFailure& failure = outcome.Failures[0];
    EXPECT_EQ(failure.Op, kn::TKNOperation::CopyLeftToRight);
    EXPECT_EQ(failure.Source, dir / "L/a.txt");
    EXPECT_EQ(failure.Target, dir / "R/a.txt");
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(failure.Message, h.errors[0]);
    EXPECT_EQ(outcome.Planned.FilesToCopy, 2);
    EXPECT_EQ(outcome.Done.FilesToCopy, 1);
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"b.txt", "b"}}));
}

TEST(UpdateOutcome, AStoppedRunStartsNoFollowUpComparison)
{
    TempDir dir;
    for (int i = 0; i < 6; ++i) Put(dir / ("L/f" + std::to_string(i)), "x", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 6u);
    int comparisons = 0;
    h.engine.OnCompareStart = [&](void*) { ++comparisons; };
    h.engine.Transfers = 1;  // one operation in work when the stop comes
    h.onProgress = [&](const std::string&) {
        if (h.progress.size() == 2) h.engine.StopCompare();
    };
    h.engine.Update(kn::TKNAction::LeftToRight, false, h.AllRows(), true, true, false);
    EXPECT_EQ(comparisons, 0);
    EXPECT_TRUE(h.engine.LastUpdate().Stopped);
    EXPECT_EQ(h.engine.State, 0);
    EXPECT_EQ(h.engine.Items.size(), 6u) << "the rows of the comparison before stay";
    EXPECT_EQ(h.engine.LastUpdate().Done.FilesToCopy, 2);
}

TEST(UpdateOutcome, AFinishedRunStillComparesAfterwards)
{
    TempDir dir;
    Put(dir / "L/f", "x", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 1u);
    int comparisons = 0;
    h.engine.OnCompareStart = [&](void*) { ++comparisons; };
    h.engine.Update(kn::TKNAction::LeftToRight, false, h.AllRows(), true, true, false);
    EXPECT_EQ(comparisons, 1);
    EXPECT_FALSE(h.engine.LastUpdate().Stopped);
    EXPECT_TRUE(h.engine.Items.empty());
}

TEST(UpdateOutcome, UnlistedRowsAreNeverWrittenOrDeleted)
{
    TempDir dir;
    Put(dir / "R/locked/keep.txt", "precious", 0);
    Put(dir / "R/gone.txt", "x", 0);
    MakeDirs(dir / "L");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 3u);
    for (auto& row : h.engine.Items)
        if (row->Right.Path.str().find("locked") != std::string::npos) row->Unlisted = true;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"locked", "<dir>"}, {"locked/keep.txt", "precious"}}));
    EXPECT_EQ(h.engine.LastUpdate().Planned.Deletions(), 1);
}
