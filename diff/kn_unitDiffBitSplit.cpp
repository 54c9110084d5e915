// A split point of a shortest edit path, by bit-parallel longest-common-subsequence rows:
// Hirschberg's divide step (D. S. Hirschberg, "A linear space algorithm for computing maximal
// common subsequences", CACM 18(6), 1975) on rows computed 64 columns per word by the
// recurrence of Allison and Dix (IPL 23, 1986) in H. Hyyrö's form ("Bit-parallel LCS-length
// computation revisited", AWOCA 2004): with V all ones at first and U = V & Match(a_i),
// V' = (V + U) | (V - U); the zero bits of V below column j count the longest common
// subsequence of the rows so far and the columns before j.
//
// The rows of the box's upper half run forward from its start; those of its lower half run
// over the columns in reverse from its end. The column where the two counts add up to the
// most is where a longest common subsequence, and so a shortest edit path, crosses the middle
// row. Since the edit distance is n + m - 2 * LCS, both halves' distances come out too.
//
// A row's match mask is built from the sorted columns of its value and cleared again, except
// for the few values frequent enough to keep a whole mask of their own.
#include "diff/kn_unitDiffBitSplit.h"

#include <algorithm>
#include <bit>

namespace kn {

namespace {

constexpr int32_t WordBits = 64;

int32_t WordOf(int32_t column)
{
    return column / WordBits;
}
uint64_t BitOf(int32_t column)
{
    return uint64_t{1} << (column % WordBits);
}

// Values seen this often among the columns keep dense masks; there are at most 64 of them.
int32_t DenseMinimum(int32_t columns)
{
    return std::max(256, columns / 64);
}

// Sets the row's words from `first` on to V' = (V + U) | (V - U), U = V & match, the sum
// carried across words. Words below `first` stay as they are (no match there, so no carry),
// and so do those past `lastMatch` once the carry has run out. lowMask clears match bits
// below the box in the first word.
void UpdateRow(uint64_t* v, const uint64_t* match, int32_t first, int32_t lastMatch, int32_t last, uint64_t lowMask)
{
    uint64_t carry = 0;
    auto step = [&](int32_t w, uint64_t m) {
        const uint64_t x = v[w], u = x & m, partial = x + u, sum = partial + carry;
        carry = (partial < x) | (sum < partial);
        v[w] = sum | (x - u);
    };
    step(first, match[first] & lowMask);
    int32_t w = first + 1;
    for (; w + 3 <= lastMatch; w += 4) {
        step(w, match[w]);
        step(w + 1, match[w + 1]);
        step(w + 2, match[w + 2]);
        step(w + 3, match[w + 3]);
    }
    for (; w <= lastMatch; ++w) step(w, match[w]);
    for (; carry != 0 && w <= last; ++w) step(w, 0);
}

// The table row before any line: all ones over columns [lo, hi).
void ResetRow(std::vector<uint64_t>& bits, int32_t lo, int32_t hi)
{
    std::fill(bits.begin() + WordOf(lo), bits.begin() + WordOf(hi - 1) + 1, ~uint64_t{0});
}

bool ZeroAt(const std::vector<uint64_t>& bits, int32_t column)
{
    return (bits[static_cast<size_t>(WordOf(column))] & BitOf(column)) == 0;
}

}  // namespace

TDiffBitSplit::TDiffBitSplit(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t o2, int32_t e1, int32_t e2)
    : Base1(o1), Base2(o2), Columns(e2 - o2)
{
    const size_t words = static_cast<size_t>(WordOf(Columns)) + 1;
    Scratch.assign(words, 0);
    Forward.assign(words, 0);
    Reversed.assign(words, 0);
    IndexValues(A, B, o1, e1);
    BuildDenseMasks();
}

// Numbers list 2's distinct values, lists each one's columns, and gives every line of list 1
// its value's number.
void TDiffBitSplit::IndexValues(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t e1)
{
    struct TSlot {
        uint32_t Value = 0;
        int32_t Number = -1;
    };
    std::vector<TSlot> table(std::bit_ceil(static_cast<size_t>(2 * Columns) + 16));
    const size_t mask = table.size() - 1;
    auto slotOf = [&](uint32_t value) -> TSlot& {
        size_t s = (value * 0x9E3779B1u) & mask;
        while (table[s].Number >= 0 && table[s].Value != value) s = (s + 1) & mask;
        return table[s];
    };
    std::vector<int32_t> columnValue(static_cast<size_t>(Columns));
    int32_t count = 0;
    for (int32_t c = 0; c < Columns; ++c) {
        TSlot& slot = slotOf(B[Base2 + c]);
        if (slot.Number < 0) slot = {B[Base2 + c], count++};
        columnValue[static_cast<size_t>(c)] = slot.Number;
    }
    OccurStart.assign(static_cast<size_t>(count) + 1, 0);
    for (int32_t v : columnValue) ++OccurStart[static_cast<size_t>(v) + 1];
    for (size_t v = 0; v < static_cast<size_t>(count); ++v) OccurStart[v + 1] += OccurStart[v];
    Occur.resize(static_cast<size_t>(Columns));
    std::vector<int32_t> next(OccurStart.begin(), OccurStart.end() - 1);
    for (int32_t c = 0; c < Columns; ++c) Occur[static_cast<size_t>(next[static_cast<size_t>(columnValue[c])]++)] = c;
    RowValue.resize(static_cast<size_t>(e1 - o1));
    for (int32_t i = o1; i < e1; ++i) RowValue[static_cast<size_t>(i - o1)] = slotOf(A[i]).Number;
}

void TDiffBitSplit::BuildDenseMasks()
{
    const size_t values = OccurStart.size() - 1, words = Scratch.size();
    DenseSlot.assign(values, -1);
    int32_t dense = 0;
    for (size_t v = 0; v < values; ++v) {
        if (OccurStart[v + 1] - OccurStart[v] < DenseMinimum(Columns)) continue;
        DenseSlot[v] = dense++;
        DenseForward.resize(static_cast<size_t>(dense) * words, 0);
        DenseReversed.resize(static_cast<size_t>(dense) * words, 0);
        uint64_t* forward = DenseForward.data() + (dense - 1) * words;
        uint64_t* reversed = DenseReversed.data() + (dense - 1) * words;
        for (int32_t k = OccurStart[v]; k < OccurStart[v + 1]; ++k) {
            const int32_t c = Occur[static_cast<size_t>(k)], r = Columns - 1 - c;
            forward[WordOf(c)] |= BitOf(c);
            reversed[WordOf(r)] |= BitOf(r);
        }
    }
}

// Adds list-1 line `row` to the table over columns [c0, c1), forward or reversed.
void TDiffBitSplit::AddRow(int32_t row, int32_t c0, int32_t c1, bool reversed)
{
    const int32_t value = RowValue[static_cast<size_t>(row - Base1)];
    if (value < 0) return;
    const auto begin = Occur.begin() + OccurStart[static_cast<size_t>(value)];
    const auto end = Occur.begin() + OccurStart[static_cast<size_t>(value) + 1];
    const auto first = std::lower_bound(begin, end, c0), last = std::lower_bound(first, end, c1);
    if (first == last) return;  // no match in the box: the row leaves the table as it was

    const int32_t lo = reversed ? Columns - c1 : c0, hi = reversed ? Columns - c0 : c1;
    const int32_t lowest = reversed ? Columns - 1 - *(last - 1) : *first;
    const int32_t highest = reversed ? Columns - 1 - *first : *(last - 1);
    const int32_t slot = DenseSlot[static_cast<size_t>(value)];
    const uint64_t* match = Scratch.data();
    if (slot >= 0) {
        match = (reversed ? DenseReversed : DenseForward).data() + static_cast<size_t>(slot) * Scratch.size();
    } else {
        for (auto c = first; c != last; ++c) {
            const int32_t column = reversed ? Columns - 1 - *c : *c;
            Scratch[static_cast<size_t>(WordOf(column))] |= BitOf(column);
        }
    }
    const int32_t firstWord = WordOf(lowest);
    const uint64_t lowMask = firstWord == WordOf(lo) ? ~uint64_t{0} << (lo % WordBits) : ~uint64_t{0};
    UpdateRow((reversed ? Reversed : Forward).data(), match, firstWord, WordOf(highest), WordOf(hi - 1), lowMask);
    if (slot < 0)
        for (auto c = first; c != last; ++c) Scratch[static_cast<size_t>(WordOf(reversed ? Columns - 1 - *c : *c))] = 0;
}

bool TDiffBitSplit::RunRows(int32_t from, int32_t to, int32_t step, int32_t c0, int32_t c1, bool reversed,
                            const std::atomic<bool>* stop)
{
    for (int32_t row = from; row != to; row += step) {
        if (stop && stop->load(std::memory_order_relaxed)) return false;
        AddRow(row, c0, c1, reversed);
    }
    return true;
}

bool TDiffBitSplit::Split(int32_t o1, int32_t o2, int32_t e1, int32_t e2, const std::atomic<bool>* stop,
                          TBitSplitPoint& point)
{
    const int32_t mid = o1 + (e1 - o1) / 2, c0 = o2 - Base2, c1 = e2 - Base2;
    ResetRow(Forward, c0, c1);
    ResetRow(Reversed, Columns - c1, Columns - c0);
    if (!RunRows(o1, mid, 1, c0, c1, false, stop) || !RunRows(e1 - 1, mid - 1, -1, c0, c1, true, stop)) return false;

    // upper: the LCS of the upper rows and columns [c0, j); lower: of the lower rows and [j, c1).
    int64_t upper = 0, lower = 0;
    for (int32_t r = Columns - c1; r < Columns - c0; ++r) lower += ZeroAt(Reversed, r);
    int64_t best = -1, bestUpper = 0, bestLower = 0;
    int32_t bestColumn = c0;
    for (int32_t j = c0;; ++j) {
        if (upper + lower > best) {
            best = upper + lower;
            bestColumn = j;
            bestUpper = upper;
            bestLower = lower;
        }
        if (j == c1) break;
        upper += ZeroAt(Forward, j);
        lower -= ZeroAt(Reversed, Columns - 1 - j);
    }
    point.X = mid;
    point.Y = Base2 + bestColumn;
    point.D1 = int64_t{mid - o1} + (bestColumn - c0) - 2 * bestUpper;
    point.D2 = int64_t{e1 - mid} + (c1 - bestColumn) - 2 * bestLower;
    return true;
}

}  // namespace kn
