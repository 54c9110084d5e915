// TDiffBitSplit: a point on a shortest edit path through a box of two sequences of line
// values, found with bit-parallel rows of the longest-common-subsequence table. Its cost
// depends on the box's size only, not on its edit distance, so it takes over where the
// edit distance is so large that the diagonal search would cost more.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace kn {

// A box of list-1 lines [o1, e1) and list-2 lines [o2, e2) is split at (X, Y): a shortest
// path through the box passes that point. D1 and D2 are the edit distances of the two parts,
// [o1, X) x [o2, Y) and [X, e1) x [Y, e2).
struct TBitSplitPoint {
    int32_t X = 0, Y = 0;
    int64_t D1 = 0, D2 = 0;
};

class TDiffBitSplit {
public:
    // Indexes list 2's lines [o2, e2) by value and list 1's lines [o1, e1) by that index;
    // every box split later lies inside [o1, e1) x [o2, e2).
    TDiffBitSplit(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t o2, int32_t e1, int32_t e2);

    // Splits the box at its middle row of list 1, which needs e1 - o1 >= 2. False when a stop
    // was requested; checked once per row.
    bool Split(int32_t o1, int32_t o2, int32_t e1, int32_t e2, const std::atomic<bool>* stop, TBitSplitPoint& point);

    // The box lies inside the indexed lines.
    bool Covers(int32_t o1, int32_t o2, int32_t e1, int32_t e2) const
    {
        return Base1 <= o1 && e1 <= Base1 + static_cast<int32_t>(RowValue.size()) && Base2 <= o2 &&
               e2 <= Base2 + Columns;
    }

    // Word operations of Split on an n x m box, at most.
    static int64_t SplitCost(int64_t n, int64_t m) { return n * (m / 64 + 2); }

private:
    void IndexValues(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t e1);
    void BuildDenseMasks();
    bool RunRows(int32_t from, int32_t to, int32_t step, int32_t c0, int32_t c1, bool reversed,
                 const std::atomic<bool>* stop);
    void AddRow(int32_t row, int32_t c0, int32_t c1, bool reversed);

    int32_t Base1, Base2;  // list positions of row 0 and column 0
    int32_t Columns;
    std::vector<int32_t> RowValue;           // per line of list 1: its value's number, or -1 if not in list 2
    std::vector<int32_t> OccurStart, Occur;  // per value number: its columns, ascending
    std::vector<int32_t> DenseSlot;          // per value number: its dense masks, or -1
    std::vector<uint64_t> DenseForward, DenseReversed;
    std::vector<uint64_t> Scratch;            // the sparse match mask of one row, cleared after use
    std::vector<uint64_t> Forward, Reversed;  // the table rows, one bit per column
};

}  // namespace kn
