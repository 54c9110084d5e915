// Two-way synchronisation: what a run does to bring two trees in line, decided per path against
// the state of their last synchronisation (kn_unitSyncState.h). The rules are pure functions:
// one decision per path (TwoWayDecide), the conflict names, the move detection, the safety
// valves; PlanTwoWay joins them into the list of operations an update carries out, in order.
//
// A side "changed" an entry when its kind, size or time (cut to that side's precision, whole-hour
// shifts up to the ignored hours aside) differ from what the state recorded for that side, in
// either direction. The decision table (S = a state record of the path exists):
//
// | left                | right               | decision                                         |
// |---------------------|---------------------|--------------------------------------------------|
// | unchanged           | unchanged           | nothing                                          |
// | changed or new      | unchanged or absent | copy left to right (also a file made older)      |
// | unchanged or absent | changed or new      | copy right to left                               |
// | deleted             | unchanged           | delete on the right (backup with --backup)       |
// | unchanged           | deleted             | delete on the left                               |
// | deleted             | changed             | copy right to left: the changed file survives    |
// | changed             | deleted             | copy left to right                               |
// | changed or new      | changed or new      | equal now (same size and bytes): record; the     |
// |                     |                     | older side takes the newer time. Else: conflict  |
// | deleted             | deleted             | forget the record                                |
// | not known (a folder that could not be listed, a path a filter left out) on either side |
// |                     |                     | keep: nothing done, the record kept              |
//
// A folder deleted on one side whose other side holds new or changed entries beneath it is made
// again, and those entries are copied back; the rest beneath it is deleted. A first run (no state
// for the pair) deletes nothing: one-sided entries are copied, an equal pair is recorded, and a
// pair that differs goes to its newer side with the older file kept in the backup folder
// whatever --backup says (equal times: a conflict). A path that is a file on one side and a folder
// on the other is a conflict that is always left alone and reported, with all beneath it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/kn_unitSyncState.h"
#include "engine/kn_unitUpdateOp.h"

namespace kn {

// One entry as a side lists it now, by its relative path.
struct TKNListedEntry {
    std::string Path;
    TKNEntryKind Kind = TKNEntryKind::File;
    TKNSideFacts Facts;
    // A symbolic link carried as a link: like a file, its Facts.Hash a hash of its text, so two
    // links are the same content when their texts are, and a link is never a file's.
    bool Link = false;
};

// One side's listing for a two-way plan.
struct TKNTwoWaySide {
    std::vector<TKNListedEntry> Entries;  // every entry listed and kept by the filters, any order
    // Paths whose content is not known: folders that could not be listed, and entries a filter
    // left out. What lies at or beneath them is never taken as deleted.
    std::vector<std::string> Unknown;
    bool RootMissing = false;  // the root itself could not be listed
    bool Inodes = false;       // the side's entries carry inodes (Facts.Inode)
};

class TKNFileBuffer;

// The side as a scan listed it in `list` (a comparison empties its lists when it ends, so a
// two-way run scans, or keeps the lists, itself): paths relative to its root, each record's exact
// time (MTime, at the record's TimeStep when that is coarser than 2 seconds), modes, attributes,
// and what the side's `caps` say it tells: inodes, and the nanoseconds and change times; the
// folders the scan could not list as unknown, and the links kept as links too unless
// `carryLinks` (both sides hold links: a link is then an entry like a file, made as a link where
// it is carried); a root that could not be listed as missing. Entries the scan's size, date or
// attribute filters left out are not in `list`: the caller adds them to Unknown.
TKNTwoWaySide TwoWaySideOf(const TKNFileBuffer& list, const TKNSideCaps& caps, bool carryLinks);

// What is known of one path. Null pointers: no record, or absent on that side.
struct TKNTwoWayInput {
    const TKNStateEntry* State = nullptr;
    const TKNListedEntry* Left = nullptr;
    const TKNListedEntry* Right = nullptr;
    bool LeftUnknown = false;  // absent from a listing that cannot tell (see TKNTwoWaySide::Unknown)
    bool RightUnknown = false;
};

struct TKNTwoWayRules {
    bool FirstRun = false;  // no state for this pair of roots (under these options)
    int IgnoreHours = 0;    // whole-hour time shifts up to this many count as equal times
};

// What happens to one path, as the one operation type says it (kn_unitUpdatePlan.h): a copy
// onto a side (CreateFolder for a folder), a deletion there (RemoveFolder), a time set, or one
// of Nothing, Keep, Record, Forget and Conflict.
struct TKNTwoWayDecision {
    TKNOperation Op = TKNOperation::Nothing;
    bool WritesRight = false;
    // A first run's copy over an existing older file: that file goes to the backup folder
    // whatever --backup says.
    bool KeepOlder = false;

    friend bool operator==(const TKNTwoWayDecision&, const TKNTwoWayDecision&) = default;
};

// The decision for one path, exactly the table above (folders without their descendants: see
// PlanTwoWay). E.g. a record of "a.txt", the left unchanged and the right absent: DeleteLeft.
TKNTwoWayDecision TwoWayDecide(const TKNTwoWayInput& in, const TKNTwoWayRules& rules);

// True when `now` differs from `recorded` (kind aside) in size or time, times cut to the coarser
// of both steps and whole-hour shifts up to `ignoreHours` forgiven; to the nanosecond, and by
// change time and inode, where both know them. A rename changes a file's change time: with
// `moved` the change time is not compared.
bool FactsChanged(const TKNSideFacts& recorded, const TKNSideFacts& now, int ignoreHours, bool moved = false);

// How a conflict is settled.
enum class TKNConflictPolicy : uint8_t {
    KeepBoth,  // the newer under the name, the older beside it under a conflict name, on both sides
    Newer,     // the newer is kept, the older goes to the backup folder (equal times: skipped)
    Left,      // the left is kept, the right goes to the backup folder
    Right,     //
    Skip,      // both are left as they are and reported
};
// "keep-both", "newer", "left", "right", "skip" and back; false for any other word.
const char* ConflictPolicyWord(TKNConflictPolicy policy);
bool ConflictPolicyOf(std::string_view word, TKNConflictPolicy& policy);
// The policy a stored byte holds (TKNOptionsRec::ConflictPolicy): 0..4 as they are, anything else
// keep-both, which loses neither version. E.g. StoredConflictPolicy(4) == Skip.
inline TKNConflictPolicy StoredConflictPolicy(int value)
{
    return value >= 0 && value <= 4 ? static_cast<TKNConflictPolicy>(value) : TKNConflictPolicy::KeepBoth;
}

// The name the older version of a conflict takes: STEM.conflict-YYYYMMDD-HHMMSS.EXT with the
// time `mtime` (UTC seconds) in UTC, the extension after the last dot that is not the first
// character; "-2", "-3", ... follow the time while `taken` says the name is in use. A name that
// would pass kMaxNameBytes loses bytes at the end of its stem (never inside a UTF-8 sequence),
// then of its extension, so the conflict part always stays. E.g.
// ConflictName("report.txt", 0, none) == "report.conflict-19700101-000000.txt",
// ConflictName(".profile", 0, none) == ".profile.conflict-19700101-000000".
constexpr std::size_t kMaxNameBytes = 255;
std::string ConflictName(std::string_view name, int64_t mtime, const std::function<bool(const std::string&)>& taken);

// A move on one side: `From` vanished and `To` appeared on side `OnLeft`, the same entry (same
// size and time, the same inode where the side has inodes, and the same bytes: the content
// hashes agree; for a folder, every entry beneath it moved along). Carried out as a rename on
// the other side.
struct TKNMove {
    bool OnLeft = true;
    bool Folder = false;
    std::string From;
    std::string To;

    friend bool operator==(const TKNMove&, const TKNMove&) = default;
};

// A file whose content hash a move needs: `Path` on the left or on the right side.
struct TKNHashWanted {
    bool Left = true;
    std::string Path;

    friend bool operator==(const TKNHashWanted&, const TKNHashWanted&) = default;
    friend bool operator<(const TKNHashWanted& a, const TKNHashWanted& b)
    {
        return a.Left != b.Left ? a.Left : a.Path < b.Path;
    }
};

// The moves of both sides. A move counts when its old path is unchanged on the other side and
// its new path absent there, it is the only candidate either way (entries of the same size and
// time without inodes that could be told apart are copied and deleted instead), and the bytes
// are known to be the same: the moved file's hash (TKNSideFacts::Hash as listed) equals the
// hash the state recorded for the old path, or else that of the other side's file at the old
// path. A candidate whose hashes are not all known is no move; its files go to `wanted` (when
// given), so that a caller may read them and ask again. A renamed folder is one move, never one
// per entry beneath it, confirmed by every file beneath it. `state` is sorted by path.
std::vector<TKNMove> DetectMoves(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left,
                                 const TKNTwoWaySide& right, int ignoreHours,
                                 std::vector<TKNHashWanted>* wanted = nullptr);

// A conflict and how the policy settled it.
struct TKNTwoWayConflict {
    std::string Path;
    TKNConflictPolicy Settled = TKNConflictPolicy::KeepBoth;  // Skip also for one that had to be left alone
    bool LeftNewer = false;
    std::string OlderName;  // KeepBoth: the name the older version took
    std::string Reason;     // why it was left alone, when the policy did not say so
};

struct TKNTwoWayTotals {
    int64_t CopiesToRight = 0;
    int64_t CopiesToLeft = 0;
    int64_t BytesToRight = 0;  // the bytes of the copies each way
    int64_t BytesToLeft = 0;
    int64_t FoldersToMake = 0;
    int64_t DeletesLeft = 0;  // files and folders
    int64_t DeletesRight = 0;
    int64_t Moves = 0;
    int64_t TimesToSet = 0;
    int64_t Conflicts = 0;
    int64_t Kept = 0;          // paths left alone because a side could not tell
    int64_t StateUpdates = 0;  // Records and Forgets

    int64_t Deletions() const { return DeletesLeft + DeletesRight; }
};

struct TKNTwoWayOptions {
    TKNTwoWayRules Rules;
    TKNConflictPolicy Policy = TKNConflictPolicy::KeepBoth;
    // Conflicts settled one by one (by path), instead of by Policy.
    std::map<std::string, TKNConflictPolicy, std::less<>> Settled;
    // What each side can do: a move becomes a rename only where the side renames, else a copy
    // on the side and a deletion where it copies by itself, else a copy and a deletion; a time
    // is set only where the side sets times (elsewhere equal bytes are only recorded); a folder
    // is made only where the side holds folders of its own (elsewhere the files make it).
    TKNSideCaps Caps[2];
};

// The operations of a plan are TKNOps (kn_unitUpdateOp.h) without their pairs, in the order
// they are carried out; an operation that keeps the older version of a conflict (MoveAside)
// comes before the copies that wait for it (After). Each one's Key is its position in Ops.
// What the state records once an operation is done: a copy the source as listed and the written
// entry as written; a deletion forgets the path; a move forgets the old path and writes
// OpRecords; a time set writes OpRecords; a version moved aside writes nothing.
struct TKNTwoWayPlan {
    std::vector<TKNOp> Ops;
    std::vector<std::vector<TKNStateEntry>> OpRecords;  // per operation of Ops
    // The state-only updates, written in one transaction once the operations are done: pairs
    // found equal (path order), and paths gone from both sides (with all beneath them).
    std::vector<TKNStateEntry> Records;
    std::vector<std::string> Forgets;
    std::vector<TKNTwoWayConflict> Conflicts;
    std::vector<std::string> Kept;  // paths left alone because a side could not tell
    // Pairs of files of one size whose times differ, taken as a conflict or as a first run's copy
    // over a file kept in the backup folder only because their bytes were not read: the update
    // reads their hashes (TKNSideFacts::Hash on both sides) and plans again, so that equal files
    // are only recorded.
    std::vector<std::string> ContentWanted;
    // Files whose hashes would confirm a move (DetectMoves): without them the entries are
    // copied and deleted; the update reads them and plans again.
    std::vector<TKNHashWanted> HashesWanted;
    TKNTwoWayTotals Totals;

    // A conflict kept both ways or skipped ends the run with exit status 1.
    bool ConflictsLeftOpen() const;
};

// The plan of a run: folders made (outermost first), moves, copies, times and the conflicts'
// operations, then deletions (files, then folders deepest first); and the state-only updates. `state` is sorted by path
// (as TKNSyncState::Load gives it).
TKNTwoWayPlan PlanTwoWay(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left, const TKNTwoWaySide& right,
                         const TKNTwoWayOptions& options);

// Why the run must not start (exit 2, nothing changed): a side that lists empty or could not be
// listed at its root while the state remembers entries; empty when it may. E.g. "The right
// folder lists no entries, yet the last synchronisation recorded 12 there: nothing is changed."
std::string RootRefusal(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left, const TKNTwoWaySide& right);

// The plan as a dry run prints it: one line per operation and conflict, e.g.
// "copy left -> right  docs/a.txt", "delete right  old.txt", "move right  a -> b",
// "conflict  b.txt: kept both, the older right as b.conflict-20240102-030405.txt",
// then the totals (TwoWaySummary).
std::string TwoWayPlanText(const TKNTwoWayPlan& plan);
// The totals in words for the confirmation, e.g. "3 to copy left to right, 1 to copy right to
// left (4.0 KB), 2 to delete on the right, 1 move, 1 conflict"; "Nothing to do" when empty.
std::string TwoWaySummary(const TKNTwoWayTotals& totals);

}  // namespace kn
