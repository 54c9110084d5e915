// The order of an update's operations under a pool of workers: stages, each a set of
// operations that may run at once and in any order, a stage beginning when the one before it
// has ended. The rules it keeps:
// - a folder is made before anything is written into it: folders are made one depth at a
//   time, shallowest first, and a folder that becomes writable is made so with them;
// - files are copied (or their times or their own attributes set) once every folder exists;
// - files are deleted after the copies, so a run that is stopped has lost nothing it copied;
// - a folder becomes read-only after everything in it was written or deleted;
// - folders are removed last, deepest first, one depth per stage, after what they held.
// Within a stage the operations keep the order they were given in, so one worker carries the
// plan out in a fixed order.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/kn_unitUpdatePlan.h"

namespace kn {

struct TKNScheduleItem {
    TKNOperation Op = TKNOperation::Nothing;
    bool Folder = false;         // the entry is a folder (what SetAttributes acts on)
    bool MakesReadOnly = false;  // SetAttributes takes the write bits away
    int Depth = 1;               // names in its path below the root
};

// The stages of `items` (their indexes; Nothing is left out), in the order they run. E.g. a
// copy of "a/f", the making of "a" and the removal of "b/c" and "b" give {{make a}, {copy
// a/f}, {remove b/c}, {remove b}}.
std::vector<std::vector<std::size_t>> UpdateStages(const std::vector<TKNScheduleItem>& items);

// The most operations of one stage: more workers than that would have nothing to do.
std::size_t WidestStage(const std::vector<std::vector<std::size_t>>& stages);

}  // namespace kn
