// One operation of a run, the one type both planners emit: the one-way rules (PlanRow, through
// OneWayOps) and the two-way plan (kn_unitTwoWayPlan.h). It says what happens to a path, on which
// side, against which entries, from which source, to which new path, and which operation must
// be done before it: a copy that keeps what it replaces (a Backup, a MoveAside) comes first, and
// the replacement is skipped when that copy could not be made. The executor
// (kn_unitCompareUpdate.h) carries a list of them out on its pool of workers, in the stages of
// kn_unitUpdateSchedule.h, whatever action made the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdatePlan.h"

namespace kn {

struct TKNOp {
    TKNOperation Op = TKNOperation::Nothing;
    // The side it writes, deletes or renames on (a copy's destination, a backup's source).
    bool WritesRight = false;
    std::string Path;     // below both roots, "/"-joined
    std::string NewPath;  // Rename, MoveAside, CopyWithin: the path the entry ends at
    // The entries at Path as the comparison listed them, either of them absent (an empty
    // record): the written side's must still be there when it is replaced or removed, the other
    // side's is the source. A planner that knows no records leaves it null and its runner
    // fills it in; a left-over temporary file has none.
    const TMyFileOpt* Pair = nullptr;
    bool Folder = false;  // the entry is a folder
    int64_t Bytes = 0;    // what a copy moves
    // What it replaces or deletes is backed up first whatever the run's Backup says.
    bool KeepOld = false;
    // The position of the operation that keeps what this one replaces: this one waits for it in
    // an earlier stage and is skipped unless it was done. -1: none.
    int After = -1;
    // The planner's own number for it (a two-way plan's position), kept when backups are put
    // in between; -1 for the backups.
    int Key = -1;

    TKNPlannedOp Planned() const { return {Op, WritesRight, TKNSkipReason::None}; }
    // Overwrites or deletes a file the comparison listed, or a left-over temporary file: what a
    // backup keeps.
    bool ReplacesFile() const;
};

// True for the operations that change a side (Record, Forget, Keep and Conflict touch none).
bool ChangesSide(TKNOperation op);

// The operations of the rows `indexes` of `engine`'s last comparison (positions as RowAt takes
// them) under `action` and `force`: each row PlanRow does not leave alone, in the order of
// `indexes`, except that a file or link that takes the place of a folder the run removes comes
// last and waits for that removal. E.g. a left-only file under LeftToRight gives one
// CopyLeftToRight of its path.
std::vector<TKNOp> OneWayOps(const TKNFileCompare& engine, const std::vector<int>& indexes, TKNAction action,
                             bool force);

// Puts a Backup before every operation that overwrites or deletes a listed file, when `all`
// says so or the operation's KeepOld does, and makes the operation wait for it. Positions in
// After move along. E.g. {copy over "a"} with `all` gives {backup "a", copy over "a" after 0}.
void ProtectEdits(std::vector<TKNOp>& ops, bool all);

// Makes each copy whose source is another name of a file that an earlier copy of `ops` reads
// (the same device and inode, more than one name) wait for that copy, so that the executor
// gives the written side another name of the file just written instead of a second copy:
// names that are one file on the source stay one file. Only where `hardLinks[side]` says the
// written side can, and only for copies that wait for nothing else (a backup). E.g. copies of
// "a" and "b", one file, give {copy "a", copy "b" after 0}.
void JoinHardLinks(std::vector<TKNOp>& ops, const bool hardLinks[2]);

// Counts one operation into `totals`: a removal without a Pair as a left-over temporary file's.
void CountOp(TKNPlanTotals& totals, const TKNOp& op);
// What the operations do, counted as a plan's totals.
TKNPlanTotals OpTotals(const std::vector<TKNOp>& ops);

}  // namespace kn
