// The order of an update's operations under a pool of workers: stages, each a set of
// operations that may run at once and in any order, a stage beginning when the one before it
// has ended. The rules it keeps:
// - a folder is made before anything is written into it: folders are made one depth at a
//   time, shallowest first, and a folder that becomes writable is made so with them; a folder
//   moved to a new path arrives there with the folders of that depth;
// - what keeps an edit (a backup, a version moved aside) is made before anything is copied;
// - files are copied (or moved, or their times or their own attributes set) once every folder
//   exists;
// - files are deleted after the copies, so a run that is stopped has lost nothing it copied;
// - a folder becomes read-only after everything in it was written or deleted;
// - folders are removed last, deepest first, one depth per stage, after what they held.
// - an operation that waits for another (TKNScheduleItem::After) comes in a later stage.
// Within a stage the operations keep the order they were given in, so one worker carries the
// plan out in a fixed order.
//
// A worker whose sides carry several files at once on one connection (TKNSideCaps::FilesAtOnce)
// takes consecutive small copies of a stage as one group: their round trips overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/kn_unitUpdatePlan.h"
#include "side/kn_unitSide.h"

namespace kn {

struct TKNScheduleItem {
    TKNOperation Op = TKNOperation::Nothing;
    bool Folder = false;         // the entry is a folder (what SetAttributes acts on)
    bool MakesReadOnly = false;  // SetAttributes takes the write bits away
    int Depth = 1;               // names in its path below the root (a moved folder's: its new path)
    int64_t Bytes = 0;           // the size of the file a copy reads
    int After = -1;              // the item it waits for (an earlier one), -1 none
};

// The most copies one group holds, and the largest file it takes: a side may hold a group's
// small files in memory while the others wait for their turn.
constexpr int kMaxGroupFiles = 16;
constexpr int64_t kMaxGroupFileBytes = 1 << 20;

// How many copies one worker carries as a group between the sides of `a` and `b` (either may
// be read or written): 1 unless one is a server, else the fewest files either carries at
// once, at most kMaxGroupFiles. E.g. local (64) and SFTP (16) give 16; local and local give 1.
int FilesPerGroup(const TKNSideCaps& a, const TKNSideCaps& b);

// Whether an operation may be carried in a group: a copy of a file of at most
// kMaxGroupFileBytes (never a folder, whose contents follow in later stages).
bool JoinsGroup(const TKNScheduleItem& item);

// The stages of `items` (their indexes; Nothing is left out), in the order they run. E.g. a
// copy of "a/f", the making of "a" and the removal of "b/c" and "b" give {{make a}, {copy
// a/f}, {remove b/c}, {remove b}}.
std::vector<std::vector<std::size_t>> UpdateStages(const std::vector<TKNScheduleItem>& items);

// The most operations of one stage: more workers than that would have nothing to do.
std::size_t WidestStage(const std::vector<std::vector<std::size_t>>& stages);

}  // namespace kn
