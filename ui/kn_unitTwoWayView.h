// How the window shows a two-way run: the plan column's mark of each row's decision and the side
// it replaces or deletes, the conflict policies the user can pick, the planned operations in
// words, and what a carried-out run did. Pure functions over the engine's plan and outcome.
#pragma once

#include <QString>
#include <cstdint>

#include "engine/kn_unitTwoWayPlan.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePlan.h"

namespace kn {

// The five conflict policies in the order every list shows them, with their captions.
struct TKNConflictChoice {
    TKNConflictPolicy Policy;
    const char* Caption;  // "Keep both", "Newer", "Left", "Right", "Skip"
    const char* Hint;
};
extern const TKNConflictChoice kConflictChoices[5];
// The position of `policy` in kConflictChoices.
int ConflictChoiceIndex(TKNConflictPolicy policy);

// What the plan column knows of one row of a two-way plan.
struct TKNTwoWayRowFacts {
    TKNTwoWayRowDecision Decision;
    bool LeftExists = false;
    bool RightExists = false;
    bool LeftNewer = false;  // a conflict: the left version is the newer one
};

enum class TKNShownSide : uint8_t { None, Left, Right };

// The row as the plan column shows it: its mark, the side whose entry the run replaces or
// deletes (struck through), and the hint. The arrow of a mark points at the side written; "×"
// deletes there ("×←" on the left, "→×" on the right), "R" renames there, "!" is a conflict,
// "=" only records, "T" sets a time, "–" leaves the row alone, "·" does nothing.
struct TKNTwoWayShown {
    QString Mark;
    TKNShownSide Struck = TKNShownSide::None;
    QString Hint;
};
TKNTwoWayShown ShowTwoWayRow(const TKNTwoWayRowFacts& facts);

// The legend line under the list while a two-way plan is shown.
QString TwoWayLegend();

// One planned operation in words for the confirmation, e.g. "Copy left to right:  docs/a.txt",
// "Delete on the right:  old.txt", "Rename on the left:  a.txt -> b.txt".
QString TwoWayOpLine(const TKNOp& op);
// A conflict the run leaves open, e.g. "Conflict left alone:  b.txt".
QString OpenConflictLine(const TKNTwoWayConflict& conflict);

// What a carried-out two-way run did, in one line, e.g. "Done: 2 files copied (8 bytes),
// 1 deleted, 0 folders created, 0 folders removed, 0 failed, 1 skipped (changed since the
// comparison), conflicts kept both ways or left alone." Only a run with nothing failed, skipped
// or left open ends with " 0 failed."; times set and renames are named where there are any. A state that could not be
// written and the backup folder follow; a refused run reads "Refused: ...".
QString TwoWayDoneText(const TKNUpdateOutcome& done, const TKNTwoWayOutcome& outcome);

}  // namespace kn
