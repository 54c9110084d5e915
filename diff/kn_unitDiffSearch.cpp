// Shortest edit script between two sequences of line values: Myers' O(ND) difference
// algorithm in its linear-space form (E. W. Myers, "An O(ND) Difference Algorithm and Its
// Variations", Algorithmica 1, 1986, section 4b). The middle snake of a box is searched from
// both ends at once; the box is split at it and both halves are solved recursively. The
// edge values and tie-breaks below fix which of several equally short scripts comes out.
//
// Optionally, a box whose edit distance is so large that this search would cost more than
// bit-parallel rows of the whole box (kn_unitDiffBitSplit) is split by those rows instead,
// at a point of a shortest path, so the script stays minimal. The search finds out by its
// work so far; after such a split, the halves' edit distances are known and choose their way
// at once.
//
// With a cost bound, a box whose search has run that many steps without the two searches
// meeting is split at the point that got furthest from its end instead: both halves are
// solved again, so the script stays valid but may be longer than minimal. This keeps the
// work near O((N + M) * bound) for inputs with huge edit distances.
#include "diff/kn_unitDiffSearch.h"

#include <algorithm>
#include <cstdint>

namespace kn {

namespace {

// Word operations of the bit-parallel rows that cost as much as one diagonal of this search
// (measured: about 1 ns against 3 ns).
constexpr int64_t RowWordsPerDiagonal = 3;
// Diagonals any box may search before the rows are considered: small boxes always take this
// search, so their scripts do not depend on the rows' choice among equally short ones.
constexpr int64_t MinSearchWork = int64_t{1} << 16;

// Diagonals of the rows' whole work on an n x m box, its halves included.
int64_t RowsWork(int64_t n, int64_t m)
{
    return 2 * TDiffBitSplit::SplitCost(n, m) / RowWordsPerDiagonal;
}

// Diagonals this search visits on an n x m box of edit distance D, its halves included:
// both passes run D / 2 steps of up to D / 2 diagonals each.
int64_t SearchWork(int64_t n, int64_t m, int64_t D)
{
    const int64_t half = D / 2 + 1;
    return half * (std::min(half, n) + std::min(half, m));
}

}  // namespace

// The box of list-1 lines [o1, e1) and list-2 lines [o2, e2); a point (x, y) lies on
// diagonal k = (x - o1) - (y - o2).
struct TDiffSearch::TBox {
    int32_t o1, o2, e1, e2;
    int32_t n() const { return e1 - o1; }
    int32_t m() const { return e2 - o2; }
    int32_t Delta() const { return n() - m(); }
    int32_t YOf(int32_t x, int32_t k) const { return x - o1 + o2 - k; }
    bool Inside(int32_t x, int32_t y) const { return o1 <= x && x <= e1 && o2 <= y && y <= e2; }
};

TDiffSearch::TDiffSearch(const uint32_t* a, const uint32_t* b, TEditSink& sink, const TDiffSearchLimits& limits)
    : A(a), B(b), Sink(sink), Limits(limits)
{
}

// Moves the box's corners past the equal lines at both of its ends.
void TDiffSearch::TrimCommonEnds(int32_t& o1, int32_t& o2, int32_t& e1, int32_t& e2) const
{
    while (o1 < e1 && o2 < e2 && A[o1] == B[o2]) {
        ++o1;
        ++o2;
    }
    while (o1 < e1 && o2 < e2 && A[e1 - 1] == B[e2 - 1]) {
        --e1;
        --e2;
    }
}

bool TDiffSearch::Run(int32_t o1, int32_t o2, int32_t e1, int32_t e2)
{
    TrimCommonEnds(o1, o2, e1, e2);
    if (o1 == e1 && o2 == e2) return true;
    // Diagonals of any box lie in -(m + 1) .. n, so this covers every box inside this one.
    const size_t zero = static_cast<size_t>(std::max(e1 - o1, e2 - o2)) + 2;
    ForwardReach.assign(2 * zero + 1, 0);
    BackwardReach.assign(2 * zero + 1, 0);
    Forward = ForwardReach.data() + zero;
    Backward = BackwardReach.data() + zero;
    const bool result = Solve(o1, o2, e1, e2, -1);
    ForwardReach = {};
    BackwardReach = {};
    Rows.reset();
    return result;
}

// Walks the snakes at both ends of the box, then solves what lies between. knownD is the
// box's edit distance, or -1.
bool TDiffSearch::SolveTrimmed(int32_t o1, int32_t o2, int32_t e1, int32_t e2, int64_t knownD)
{
    TrimCommonEnds(o1, o2, e1, e2);
    return Solve(o1, o2, e1, e2, knownD);
}

// Precondition: the box starts and ends with a difference (the caller has walked the snakes
// around it), so the search may start without a snake at D = 0.
// Example: A = [a, b], B = [c, d] has n = m = 2, meets in the backward pass at D = 1 and is
// split into two 1 x 1 boxes, each reporting AddLine then DeleteLine: one modify run of 2.
bool TDiffSearch::Solve(int32_t o1, int32_t o2, int32_t e1, int32_t e2, int64_t knownD)
{
    for (;; knownD = -1) {
        if (o1 == e1) {
            for (int32_t y = o2; y < e2; ++y) Sink.AddLine(o1, y);
            return true;
        }
        if (o2 == e2) {
            for (int32_t x = o1; x < e1; ++x) Sink.DeleteLine(x);
            return true;
        }
        const TBox box{o1, o2, e1, e2};
        if (knownD >= 0 && SearchWork(box.n(), box.m(), knownD) > RowsWork(box.n(), box.m())) return SolveByRows(box);
        int32_t x = 0, y = 0;
        bool forward = false;
        const TOutcome outcome = Search(box, x, y, forward);
        if (outcome == TOutcome::Stopped || outcome == TOutcome::Exhausted) return false;
        if (outcome == TOutcome::Costly) return SolveByRows(box);
        if (forward) {
            // (x, y) ends a snake: solve up to its start, then the rest from its end.
            int32_t sx = x, sy = y;
            while (sx > o1 && sy > o2 && A[sx - 1] == B[sy - 1]) {
                --sx;
                --sy;
            }
            if (!Solve(o1, o2, sx, sy, -1)) return false;
        } else {
            if (outcome == TOutcome::Met && box.n() == 1 && box.m() == 1) {
                Sink.AddLine(o1, o2);
                Sink.DeleteLine(o1);
                return true;
            }
            // (x, y) starts a snake: solve up to it, then the rest from the snake's end.
            if (!Solve(o1, o2, x, y, -1)) return false;
            while (x < e1 && y < e2 && A[x] == B[y]) {
                ++x;
                ++y;
            }
        }
        o1 = x;  // solve the rest of the box in this frame
        o2 = y;
    }
}

// Splits the box where a shortest path crosses its middle row and solves both parts.
bool TDiffSearch::SolveByRows(const TBox& box)
{
    if (box.n() == 1 || box.m() == 1) {
        SolveThin(box);
        return true;
    }
    // Indexed once for the box and all boxes inside it: the index costs memory in proportion to
    // the box, not to the whole input.
    if (!Rows || !Rows->Covers(box.o1, box.o2, box.e1, box.e2))
        Rows = std::make_unique<TDiffBitSplit>(A, B, box.o1, box.o2, box.e1, box.e2);
    TBitSplitPoint point;
    if (!Rows->Split(box.o1, box.o2, box.e1, box.e2, Limits.Stop, point)) {
        WasStopped = true;
        return false;
    }
    return SolveTrimmed(box.o1, box.o2, point.X, point.Y, point.D1) &&
           SolveTrimmed(point.X, point.Y, box.e1, box.e2, point.D2);
}

// A box of one line in either list: that line matches its first equal line on the other side,
// or else replaces the other side's first line.
void TDiffSearch::SolveThin(const TBox& box)
{
    if (box.n() == 1) {
        int32_t y = static_cast<int32_t>(std::find(B + box.o2, B + box.e2, A[box.o1]) - B);
        if (y < box.e2) {
            for (int32_t before = box.o2; before < y; ++before) Sink.AddLine(box.o1, before);
        } else {
            y = box.o2;
            Sink.AddLine(box.o1, y);
            Sink.DeleteLine(box.o1);
        }
        for (++y; y < box.e2; ++y) Sink.AddLine(box.e1, y);
        return;
    }
    int32_t x = static_cast<int32_t>(std::find(A + box.o1, A + box.e1, B[box.o2]) - A);
    if (x < box.e1) {
        for (int32_t before = box.o1; before < x; ++before) Sink.DeleteLine(before);
    } else {
        x = box.o1;
        Sink.AddLine(x, box.o2);
        Sink.DeleteLine(x);
    }
    for (++x; x < box.e1; ++x) Sink.DeleteLine(x);
}

// Runs both searches in the box until they meet (the point in x, y and whether the forward
// pass found it), the cost bound is reached (the best split point instead), the work so far
// is a quarter of that of the bit-parallel rows (Costly), MaxD is exhausted or a stop is requested.
TDiffSearch::TOutcome TDiffSearch::Search(const TBox& box, int32_t& x, int32_t& y, bool& forward)
{
    const int32_t n = box.n(), m = box.m(), delta = box.Delta();
    F(0) = box.o1;
    R(delta) = box.e1;
    F(n) = box.e1;
    R(n) = box.e1;
    if (delta > 0) {
        F(-(m + 1)) = box.o1;
        R(-(m + 1)) = box.o1;
    }
    // Giving up after a quarter of the rows' work wastes at most that much where the rows win,
    // and costs at most a few times the search where the search would have met soon after.
    const int64_t rowsWork = Limits.BitRows ? std::max(MinSearchWork, RowsWork(n, m) / 4) : INT64_MAX;
    int64_t work = 0;
    for (int32_t D = 1; D <= Limits.MaxD; ++D) {
        if (Limits.Stop && Limits.Stop->load(std::memory_order_relaxed)) {
            WasStopped = true;
            return TOutcome::Stopped;
        }
        if ((forward = ForwardPass(box, D, x, y)) || BackwardPass(box, D, x, y)) return TOutcome::Met;
        if ((work += std::min(D, n) + std::min(D, m)) > rowsWork) return TOutcome::Costly;
        if (D == Limits.CostBound && BestSplit(box, D, x, y, forward)) {
            WasApproximate = true;
            return TOutcome::Bounded;
        }
    }
    return TOutcome::Exhausted;
}

// After step D of both passes: the forward end point furthest from the box's start or the
// backward start point furthest from its end, whichever got further. False when neither is
// strictly inside the box (the search then goes on).
bool TDiffSearch::BestSplit(const TBox& box, int32_t D, int32_t& x, int32_t& y, bool& forward)
{
    const int32_t n = box.n(), m = box.m(), delta = box.Delta();
    int64_t best = 0;
    auto consider = [&](int32_t px, int32_t k, int64_t progress, bool isForward) {
        const int32_t py = box.YOf(px, k);
        const bool atCorner = isForward ? (px == box.e1 && py == box.e2) : (px == box.o1 && py == box.o2);
        if (progress > best && box.Inside(px, py) && !atCorner) {
            best = progress;
            x = px;
            y = py;
            forward = isForward;
        }
    };
    for (int32_t k = std::max(-D, -m + ((D + m) & 1)); k <= std::min(D, n - 1); k += 2)
        consider(F(k), k, int64_t{F(k)} - box.o1 + box.YOf(F(k), k) - box.o2, true);
    for (int32_t k = std::max(delta - D, -m + ((delta - D + m) & 1)); k <= std::min(delta + D, n - 1); k += 2)
        consider(R(k), k, int64_t{box.e1} - R(k) + box.e2 - box.YOf(R(k), k), false);
    return best > 0;
}

// The passes keep everything in locals: stores through the reach vectors could otherwise
// alias the outputs and members, forcing reloads at every diagonal.
bool TDiffSearch::ForwardPass(const TBox& box, int32_t D, int32_t& meetX, int32_t& meetY)
{
    const uint32_t* const a = A;
    const uint32_t* const b = B;
    int32_t* const f = Forward;
    const int32_t* const r = Backward;
    const int32_t n = box.n(), m = box.m(), delta = box.Delta(), e1 = box.e1, e2 = box.e2, shift = box.o2 - box.o1;
    const bool deltaOdd = (delta & 1) != 0;
    int32_t k = -D;
    while (k < -m) k += 2;
    const int32_t last = std::min<int32_t>(D, n - 1);
    for (; k <= last; k += 2) {
        int32_t x;
        if (k == -D)
            x = f[k + 1];
        else if (k < D)
            x = f[k - 1] >= f[k + 1] ? f[k - 1] + 1 : f[k + 1];
        else
            x = f[k - 1] + 1;
        int32_t y = x + shift - k;
        while (x < e1 && y < e2 && a[x] == b[y]) {
            ++x;
            ++y;
        }
        f[k] = x;
        if (deltaOdd && delta - D < k && k < delta + D && x >= r[k]) {
            meetX = x;
            meetY = y;
            return true;
        }
    }
    return false;
}

bool TDiffSearch::BackwardPass(const TBox& box, int32_t D, int32_t& meetX, int32_t& meetY)
{
    const uint32_t* const a = A;
    const uint32_t* const b = B;
    const int32_t* const f = Forward;
    int32_t* const r = Backward;
    const int32_t n = box.n(), m = box.m(), delta = box.Delta(), o1 = box.o1, o2 = box.o2, shift = o2 - o1;
    const bool deltaEven = (delta & 1) == 0;
    // Where k - 1 is -(m + 1) and the box set no edge value there.
    const int32_t noLowerEdgeK = delta <= 0 ? -m : INT32_MIN;
    int32_t k = delta - D;
    while (k < -m) k += 2;
    const int32_t last = std::min<int32_t>(delta + D, n - 1);
    for (; k <= last; k += 2) {
        int32_t x;
        if (k == delta + D)
            x = r[k - 1];
        else if (k > delta - D)
            x = (k == noLowerEdgeK || r[k + 1] <= r[k - 1]) ? r[k + 1] - 1 : r[k - 1];
        else
            x = r[k + 1] - 1;
        int32_t y = x + shift - k;
        while (x > o1 && y > o2 && a[x - 1] == b[y - 1]) {
            --x;
            --y;
        }
        r[k] = x;
        if (deltaEven && -D <= k && k <= D && f[k] >= x) {
            meetX = x;
            meetY = y;
            return true;
        }
    }
    return false;
}

}  // namespace kn
