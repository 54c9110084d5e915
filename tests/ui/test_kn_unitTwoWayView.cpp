// The plan column of a two-way run: each decision's mark and the side it replaces or deletes,
// and the line a carried-out run leaves in the status bar.
#include <gtest/gtest.h>

#include "ui/kn_unitTwoWayView.h"

namespace {

using kn::TKNConflictPolicy;
using kn::TKNShownSide;
using kn::TKNTwoWayRowKind;

struct RowCase {
    TKNTwoWayRowKind kind;
    TKNConflictPolicy policy;
    bool leftNewer;
    bool movedOnRight;
    bool rightExists;
    const char* mark;
    TKNShownSide struck;
};

const RowCase kRowCases[] = {
    {TKNTwoWayRowKind::CopyToRight, TKNConflictPolicy::KeepBoth, false, false, true, "\u2192", TKNShownSide::Right},
    {TKNTwoWayRowKind::CopyToRight, TKNConflictPolicy::KeepBoth, false, false, false, "\u2192", TKNShownSide::None},
    {TKNTwoWayRowKind::CopyToLeft, TKNConflictPolicy::KeepBoth, false, false, true, "\u2190", TKNShownSide::Left},
    {TKNTwoWayRowKind::DeleteLeft, TKNConflictPolicy::KeepBoth, false, false, false, "\u00d7\u2190",
     TKNShownSide::Left},
    {TKNTwoWayRowKind::DeleteRight, TKNConflictPolicy::KeepBoth, false, false, true, "\u2192\u00d7",
     TKNShownSide::Right},
    {TKNTwoWayRowKind::Move, TKNConflictPolicy::KeepBoth, false, true, true, "\u2192R", TKNShownSide::None},
    {TKNTwoWayRowKind::Move, TKNConflictPolicy::KeepBoth, false, false, false, "R\u2190", TKNShownSide::None},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::KeepBoth, true, false, true, "!", TKNShownSide::None},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::Skip, true, false, true, "!", TKNShownSide::None},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::Left, false, false, true, "!\u2192", TKNShownSide::Right},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::Right, true, false, true, "\u2190!", TKNShownSide::Left},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::Newer, true, false, true, "!\u2192", TKNShownSide::Right},
    {TKNTwoWayRowKind::Conflict, TKNConflictPolicy::Newer, false, false, true, "\u2190!", TKNShownSide::Left},
    {TKNTwoWayRowKind::SetTime, TKNConflictPolicy::KeepBoth, false, false, true, "T", TKNShownSide::None},
    {TKNTwoWayRowKind::Kept, TKNConflictPolicy::KeepBoth, false, false, true, "\u2013", TKNShownSide::None},
};

TEST(TwoWayView, EachDecisionMarksTheSideItWritesAndStrikesWhatItReplaces)
{
    for (const RowCase& c : kRowCases) {
        kn::TKNTwoWayRowFacts facts;
        facts.Decision.Kind = c.kind;
        facts.Decision.Policy = c.policy;
        facts.Decision.Text = "text";
        facts.LeftExists = true;
        facts.RightExists = c.rightExists;
        facts.LeftNewer = c.leftNewer;
        facts.MovedOnRight = c.movedOnRight;
        const kn::TKNTwoWayShown shown = kn::ShowTwoWayRow(facts);
        const std::string context =
            "kind " + std::to_string(static_cast<int>(c.kind)) + ", policy " + kn::ConflictPolicyWord(c.policy);
        EXPECT_EQ(shown.Mark, QString::fromUtf8(c.mark)) << context;
        EXPECT_EQ(shown.Struck, c.struck) << context;
        EXPECT_TRUE(shown.Hint.startsWith("text")) << context;
    }
}

TEST(TwoWayView, TheDoneLineNeverReadsZeroFailedWhenSomethingWasSkippedOrLeftOpen)
{
    kn::TKNUpdateOutcome done;
    done.Done.FilesToCopy = 2;
    done.Done.BytesToCopy = 8;
    kn::TKNTwoWayOutcome outcome;
    EXPECT_EQ(kn::TwoWayDoneText(done, outcome),
              "Done: 2 files copied (8 bytes), 0 deleted, 0 folders created, 0 folders removed, 0 failed.");
    done.Failures.resize(1);
    outcome.Skipped = 1;
    outcome.ConflictsLeftOpen = true;
    EXPECT_EQ(kn::TwoWayDoneText(done, outcome),
              "Done: 2 files copied (8 bytes), 0 deleted, 0 folders created, 0 folders removed, 0 failed, 1 skipped "
              "(changed since the comparison), conflicts kept both ways or left alone.");
    outcome.Refusal = "The left folder lists no entries.";
    EXPECT_TRUE(kn::TwoWayDoneText(done, outcome).startsWith("Refused: The left folder lists no entries."));
}

}  // namespace
