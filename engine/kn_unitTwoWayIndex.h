// The lookups the two-way plan and the move detection share: both listings and the state by
// path, and whether a side can tell that a path is absent. Internal to the engine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/kn_unitTwoWayPlan.h"

namespace kn {

// Whether `path` is `folder` or lies beneath it ("a/b" beneath "a", not "ab").
bool PathAtOrBeneath(std::string_view path, std::string_view folder);

// One side's listing sorted by path.
class TKNSideIndex {
public:
    explicit TKNSideIndex(const TKNTwoWaySide& side);

    const TKNTwoWaySide& Side() const { return side_; }
    const std::vector<const TKNListedEntry*>& Sorted() const { return sorted_; }
    const TKNListedEntry* Find(std::string_view path) const;
    // True when the side cannot tell whether `path` is there (see TKNTwoWaySide::Unknown).
    bool Unknown(std::string_view path) const;

private:
    const TKNTwoWaySide& side_;
    std::vector<const TKNListedEntry*> sorted_;
    std::vector<std::string_view> unknown_;
};

// The state sorted by path (the caller's own vector when it already is).
class TKNStateIndex {
public:
    explicit TKNStateIndex(const std::vector<TKNStateEntry>& state);

    const std::vector<const TKNStateEntry*>& Sorted() const { return sorted_; }
    const TKNStateEntry* Find(std::string_view path) const;
    // The records at and beneath `folder`, in path order: [first, last).
    std::pair<std::size_t, std::size_t> Subtree(std::string_view folder) const;

private:
    std::vector<const TKNStateEntry*> sorted_;
};

// A move found, with what the state records for it once the rename is done: every path it
// carries, under its new name (the moving side's facts as listed, the other side's as recorded).
struct TKNMoveFound {
    TKNMove Move;
    std::vector<TKNStateEntry> Records;
};

// The move detection over prepared indexes (DetectMoves is this with indexes of its own); the
// files whose hashes would confirm a candidate go to `wanted` when it is given.
std::vector<TKNMoveFound> FindMoves(const TKNStateIndex& state, const TKNSideIndex& left, const TKNSideIndex& right,
                                    int ignoreHours, std::vector<TKNHashWanted>* wanted);

}  // namespace kn
