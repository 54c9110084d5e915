// The update plan: what an update does with each result row, decided by one pure rule, and the
// totals of a whole plan. The update passes carry out exactly what PlanRow returns; the
// windows and kestrune-cli show the same plan before anything is touched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "side/kn_unitSide.h"

namespace kn {

// What happens to one path: the one list of what any run does, one-way or two-way. A new kind of
// operation is one value here, one rule in a planner and one carry function in the updater.
enum class TKNOperation : uint8_t {
    Nothing,
    CopyLeftToRight,
    CopyRightToLeft,
    DeleteLeft,   // a file on the left
    DeleteRight,  // a file on the right
    CreateFolder,
    RemoveFolder,
    SetAttributes,
    SetTime,  // the written file holds the source's bytes already: only its time is set
    Rename,   // the written side's entry takes a new path (a two-way move)
    // The written side's entry goes to the run's backup folder before the operation that
    // depends on it replaces or deletes it.
    Backup,
    // The written side's entry takes a new path so that the operation that depends on it writes
    // a new file in its place (the older version of a conflict kept under a conflict name).
    MoveAside,
    // The written side copies its own entry to the new path itself (a server-side copy), where
    // it cannot rename: a move there is this and a deletion.
    CopyWithin,
    // Two-way decisions that touch no side: the pair is in line and only the state is written;
    // the path is gone from both sides and its record dropped; a side cannot tell what is
    // there, so both are left alone with the record kept; both sides changed and differ, which
    // the conflict policy settles (or leaves open).
    Record,
    Forget,
    Keep,
    Conflict,
};

// Why a row gets nothing.
enum class TKNSkipReason : uint8_t {
    None,            // the row gets an operation
    NotForced,       // the other side is newer, or sizes/attributes differ: only Force acts
    AutoDiffer,      // Auto leaves rows that differ at the same time alone
    Unlisted,        // a side could not list the folder: what is there is unknown
    NoLinks,         // the source is a symbolic link and the written side holds none
    SameBytes,       // the files hold the same bytes and the written side cannot set times
    NoEmptyFolders,  // the written side holds no folder of its own: its files make it
    NoModes,         // the written side keeps no modes
};

// What the planners know of the two sides: what each can do (TKNSideCaps), left and right. A
// rule reads only these, never which kind a side is.
struct TKNPairCaps {
    TKNSideCaps Left;
    TKNSideCaps Right;

    const TKNSideCaps& Of(bool right) const { return right ? Right : Left; }
};

// The capabilities of the sides of `engine`'s last comparison (a side it did not open can do
// everything a local folder can).
TKNPairCaps PairCapsOf(const TKNFileCompare& engine);

struct TKNPlannedOp {
    TKNOperation Op = TKNOperation::Nothing;
    // The side the operation writes or deletes on (for the copies: the destination).
    bool WritesRight = false;
    TKNSkipReason Reason = TKNSkipReason::None;

    bool IsNothing() const { return Op == TKNOperation::Nothing; }
    friend bool operator==(const TKNPlannedOp&, const TKNPlannedOp&) = default;
};

// The rule. For a fixed direction D, W is the side D writes and R the other:
//
// | Row status            | Not forced                      | Forced                              |
// |-----------------------|---------------------------------|-------------------------------------|
// | R newer or R only     | folder: create on W; file: copy R over W (same)                       |
// | W newer or W only     | nothing                         | folder: remove on W (deepest first);|
// |                       |                                 | file: R lacks it: delete on W, else |
// |                       |                                 | copy R over W                       |
// | Differ                | nothing                         | sizes or compared contents differ:  |
// |                       |                                 | copy R over W; else set W's         |
// |                       |                                 | attributes from R                   |
//
// A file copy of a row marked ContentEqual (same bytes, other times) becomes SetTime. What the
// written side W can do (`caps`) narrows this: a link is made only where W holds links, else
// nothing (NoLinks); a content-equal copy is SetTime only where W sets times, else nothing
// (SameBytes); a folder is created only where W holds folders of its own, else nothing
// (NoEmptyFolders: the files copied into it make it); attributes are set only where W keeps
// modes (NoModes).
//
// Auto writes every Left/Right row from its status side and leaves Differ rows alone; TwoWay and
// an unknown action plan a row as Auto does, whatever `force` says (a row alone cannot tell a
// deletion from a new entry, so nothing is deleted). Rows marked Unlisted get nothing. A pair
// that differs at the same time where either is a link is a copy when forced, whatever the
// sizes. E.g. PlanRow({Left only "a.txt"}, RightToLeft, true) is DeleteLeft; without force it
// is Nothing with reason NotForced.
TKNPlannedOp PlanRow(const TMyFileOpt& row, TKNAction action, bool force, const TKNPairCaps& caps);

// What a plan does, counted per kind of operation.
struct TKNPlanTotals {
    int64_t FilesToCopy = 0;
    int64_t BytesToCopy = 0;
    int64_t FilesToDelete = 0;
    int64_t FoldersToCreate = 0;
    int64_t FoldersToRemove = 0;
    int64_t AttributeChanges = 0;
    int64_t TimesToSet = 0;
    int64_t Renames = 0;  // moves and the conflicts' versions moved aside
    // Left-over temporary files of the program among FilesToDelete.
    int64_t TempFilesToRemove = 0;

    // Adds one planned operation of `row`.
    void Add(const TMyFileOpt& row, const TKNPlannedOp& op);
    // Adds one operation `op` that moves `bytes` (a copy); operations that change no side count
    // nowhere.
    void Add(TKNOperation op, int64_t bytes);
    // Adds the removal of one left-over temporary file (a deletion like any other).
    void AddStaleTemp();
    int64_t Deletions() const { return FilesToDelete + FoldersToRemove; }
};

// The totals of the rows `indexes` (positions in `rows`; others are ignored), in one pass.
TKNPlanTotals PlanTotals(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const std::vector<int>& indexes,
                         TKNAction action, bool force, const TKNPairCaps& caps);

// True when `action` writes (and may delete on) the right side, or the left one.
bool WritesSide(TKNAction action, bool right);

// The part of `full` below `root`, without leading "/" ("" for the root itself).
std::string RelativeToRoot(std::string_view full, std::string_view root);

// The left-over temporary files of `list`'s last scan whose names the program can prove its
// own (IsOwnTempName), relative to its root; anything else is a user's file.
std::vector<std::string> OwnStaleTemps(const TKNFileBuffer& list);

// The totals of the rows `indexes` of `engine`'s last comparison (positions as RowAt takes
// them, so the set-time operations of TimeOnlyItems are counted too) under its sides'
// capabilities, and the removal of the left-over temporary files of the sides `action` writes.
TKNPlanTotals PlanTotals(const TKNFileCompare& engine, const std::vector<int>& indexes, TKNAction action, bool force);

// The plan's totals in words, e.g. "12 files to copy (3.4 MB), 328 to delete, 2 folders to
// create". Kinds with a count of 0 are left out; an empty plan reads "Nothing to do".
std::string PlanSummary(const TKNPlanTotals& totals);

// The mass-deletion guard: true when a plan deletes more than 10 entries and more than half of
// the `entries` of the side it writes (only a forced fixed direction deletes, on one side).
bool TripsDeletionGuard(int64_t deletes, int64_t entries);

// The guard for a plan of `engine`'s last comparison under `action`: the side the action writes
// (Auto deletes nothing). `entries` is set to that side's count of entries.
bool PlanTripsDeletionGuard(const TKNFileCompare& engine, const TKNPlanTotals& totals, TKNAction action,
                            int64_t& entries);

// One operation that failed: what it was, the paths it read and wrote, and the provider's
// message (which names the paths again with the system's reason).
struct TKNUpdateFailure {
    TKNOperation Op = TKNOperation::Nothing;
    std::string Source;  // empty for deletions
    std::string Target;
    std::string Message;
};

// What an update run did. Complete once the run has ended (the engine's State is 0 again, or
// the follow-up comparison has begun).
struct TKNUpdateOutcome {
    TKNPlanTotals Planned;
    TKNPlanTotals Done;  // operations that succeeded
    std::vector<TKNUpdateFailure> Failures;
    std::string BackupFolder;  // empty when no backup was made
    bool Stopped = false;
};

// The plan in one line, every kind named: "Plan: 2 files to copy (8 bytes), 1 to delete, 0
// folders to create, 0 folders to remove, 0 attribute changes." (", 3 times to set" follows the
// attribute changes when a content comparison planned any, ", 2 renamed" when the plan renames;
// " (1 left-over temporary files)" follows the deletions that remove any).
std::string PlanLine(const TKNPlanTotals& totals);
// What a run did in one line: "Done: 2 files copied (8 bytes), 1 deleted, 0 folders created, 0
// folders removed, 0 attribute changes, 0 failed." and, when a backup was made, " Backup
// folder: <folder>".
std::string DoneLine(const TKNUpdateOutcome& outcome);

// The name of an operation for failure lists: "Copy", "Delete", "Create folder", "Remove
// folder", "Set attributes", "Set time", "Rename", "Back up", "Move aside", "Copy on the side",
// "Record", "Forget", "Keep", "Conflict".
std::string OperationName(TKNOperation op);

// The planned operation in words, for hints: "Copy left to right", "Delete on the left",
// "Nothing: only Force Update acts on this row", ...
std::string PlanText(const TKNPlannedOp& op);

}  // namespace kn
