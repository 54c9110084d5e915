// The order of the result list: rows compared by one column in one direction.
//
// Columns 0-2 look at the left entries, 4-6 at the right ones, 3 at the status. A row with no
// entry on the column's side is placed by its other side's entry (its folder rule, its path
// below that side's root and its name), so a right-only row sits among its neighbours in a
// sort by left name, and by left size among the absent sizes. Folders stand before files in
// both directions (the folder rule is never reversed). Ties on the chosen column are broken by
// the names; the first tie of a comparison switches once to the other side. Example, by left
// name ascending: left "b.txt", right-only "a.txt" and "c.txt" sort as "a.txt", "b.txt",
// "c.txt".
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/kn_unitCompare.h"

namespace kn {

constexpr int kResultColumnCount = 7;

// The length of each side's root folder in its record paths, which hold the root: names of
// the two sides are compared below their roots.
struct TKNResultRoots {
    std::size_t Left = 0;
    std::size_t Right = 0;
    bool operator==(const TKNResultRoots&) const = default;
};

// <0 when `a` goes first, 0 when the two rows are equal in this order, >0 otherwise.
// `direction` is 1 (ascending) or -1 (descending); a column outside 0-6 makes all rows equal.
int CompareResultRows(const TMyFileOpt& a, const TMyFileOpt& b, int column, int direction,
                      const TKNResultRoots& roots = {});

// Sorts the rows in place (not stable).
void SortResultRows(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction,
                    const TKNResultRoots& roots = {});

// Sorts one result again and again, by any column and direction, in the order of
// CompareResultRows. What it learns on the way (each side's rows ranked by name, by size and
// by time) serves every later sort of the same rows, so a re-sort costs a few passes over
// integers. It takes rows it does not know (other objects, or in an order it did not leave
// them in) as a new result; call Forget when a result is replaced, since new rows may reuse
// the old rows' addresses.
struct TKNSideRanks;

class TKNResultSorter {
public:
    TKNResultSorter();
    ~TKNResultSorter();
    TKNResultSorter(const TKNResultSorter&) = delete;
    TKNResultSorter& operator=(const TKNResultSorter&) = delete;

    void Sort(std::vector<std::unique_ptr<TMyFileOpt>>& rows, int column, int direction,
              const TKNResultRoots& roots = {});
    void Forget();

private:
    using Ranks = TKNSideRanks;
    bool Knows(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const TKNResultRoots& roots) const;
    void Learn(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const TKNResultRoots& roots);
    void Prepare(int kind);

    TKNResultRoots roots_;
    std::vector<const TMyFileOpt*> rows_;  // the rows as first seen: index = the row's slot
    std::vector<uint32_t> slotAt_;         // the slot of the row at each position
    std::unique_ptr<Ranks> ranks_[2][3];   // by side and kind (name, size, time), made when needed
};

}  // namespace kn
