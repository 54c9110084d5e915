// The plan column of a two-way run: each decision's mark and the side it replaces or deletes,
// and the line a carried-out run leaves in the status bar.
#include <gtest/gtest.h>

#include "ui/kn_unitTwoWayView.h"

namespace {

using kn::TKNConflictPolicy;
using kn::TKNOperation;
using kn::TKNShownSide;

struct RowCase {
    TKNOperation kind;
    TKNConflictPolicy policy;
    bool leftNewer;
    bool right;  // the side the decision writes
    bool rightExists;
    const char* mark;
    TKNShownSide struck;
};

const RowCase kRowCases[] = {
    {TKNOperation::CopyLeftToRight, TKNConflictPolicy::KeepBoth, false, true, true, "\u2192", TKNShownSide::Right},
    {TKNOperation::CopyLeftToRight, TKNConflictPolicy::KeepBoth, false, true, false, "\u2192", TKNShownSide::None},
    {TKNOperation::CopyRightToLeft, TKNConflictPolicy::KeepBoth, false, false, true, "\u2190", TKNShownSide::Left},
    {TKNOperation::DeleteLeft, TKNConflictPolicy::KeepBoth, false, false, false, "\u00d7\u2190", TKNShownSide::Left},
    {TKNOperation::DeleteRight, TKNConflictPolicy::KeepBoth, false, true, true, "\u2192\u00d7", TKNShownSide::Right},
    {TKNOperation::Rename, TKNConflictPolicy::KeepBoth, false, true, true, "\u2192R", TKNShownSide::None},
    {TKNOperation::Rename, TKNConflictPolicy::KeepBoth, false, false, false, "R\u2190", TKNShownSide::None},
    {TKNOperation::Conflict, TKNConflictPolicy::KeepBoth, true, false, true, "!", TKNShownSide::None},
    {TKNOperation::Conflict, TKNConflictPolicy::Skip, true, false, true, "!", TKNShownSide::None},
    {TKNOperation::Conflict, TKNConflictPolicy::Left, false, false, true, "!\u2192", TKNShownSide::Right},
    {TKNOperation::Conflict, TKNConflictPolicy::Right, true, false, true, "\u2190!", TKNShownSide::Left},
    {TKNOperation::Conflict, TKNConflictPolicy::Newer, true, false, true, "!\u2192", TKNShownSide::Right},
    {TKNOperation::Conflict, TKNConflictPolicy::Newer, false, false, true, "\u2190!", TKNShownSide::Left},
    {TKNOperation::SetTime, TKNConflictPolicy::KeepBoth, false, false, true, "T", TKNShownSide::None},
    {TKNOperation::Keep, TKNConflictPolicy::KeepBoth, false, false, true, "\u2013", TKNShownSide::None},
};

TEST(TwoWayView, EachDecisionMarksTheSideItWritesAndStrikesWhatItReplaces)
{
    for (const RowCase& c : kRowCases) {
        kn::TKNTwoWayRowFacts facts;
        facts.Decision.Op = c.kind;
        facts.Decision.WritesRight = c.right;
        facts.Decision.Policy = c.policy;
        facts.Decision.Text = "text";
        facts.LeftExists = true;
        facts.RightExists = c.rightExists;
        facts.LeftNewer = c.leftNewer;
        const kn::TKNTwoWayShown shown = kn::ShowTwoWayRow(facts);
        const std::string context = kn::OperationName(c.kind) + ", policy " + kn::ConflictPolicyWord(c.policy);
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
