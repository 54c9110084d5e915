// TDiffSearch: the shortest-edit-script search between two sequences of line values, reporting
// each inserted and removed line in path order to a TEditSink. Optionally bounded: past a cost
// bound it settles for a near-minimal script.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "diff/kn_unitDiffBitSplit.h"

namespace kn {

// Receives an edit path one line at a time, in path order; lines between reports are equal.
class TEditSink {
public:
    // Line y of list 2 is inserted before position x of list 1.
    virtual void AddLine(int32_t x, int32_t y) = 0;
    // Line x of list 1 is removed.
    virtual void DeleteLine(int32_t x) = 0;

protected:
    ~TEditSink() = default;
};

struct TDiffSearchLimits {
    int32_t MaxD = 0;                         // the exact search fails beyond this many steps in a box
    int32_t CostBound = 0;                    // steps after which a box is split at its best point; 0: never
    bool BitRows = false;                     // costly boxes are split by bit-parallel rows (kn_unitDiffBitSplit)
    const std::atomic<bool>* Stop = nullptr;  // checked once per step of the search
};

class TDiffSearch {
public:
    // A and B point to the values of both lists; they and the sink must outlive the search.
    TDiffSearch(const uint32_t* A, const uint32_t* B, TEditSink& sink, const TDiffSearchLimits& limits);

    // Reports an edit script of lines [o1, e1) of list 1 and [o2, e2) of list 2. False when
    // the exact search exhausted MaxD or a stop was requested; what was reported is then
    // incomplete.
    bool Run(int32_t o1, int32_t o2, int32_t e1, int32_t e2);
    // True when some box was split at a cost bound, so the script may be longer than minimal.
    bool Approximate() const { return WasApproximate; }
    bool Stopped() const { return WasStopped; }

private:
    struct TBox;
    enum class TOutcome { Met, Bounded, Costly, Exhausted, Stopped };
    void TrimCommonEnds(int32_t& o1, int32_t& o2, int32_t& e1, int32_t& e2) const;
    bool SolveTrimmed(int32_t o1, int32_t o2, int32_t e1, int32_t e2, int64_t knownD);
    bool Solve(int32_t o1, int32_t o2, int32_t e1, int32_t e2, int64_t knownD);
    bool SolveByRows(const TBox& box);
    void SolveThin(const TBox& box);
    TOutcome Search(const TBox& box, int32_t& x, int32_t& y, bool& forward);
    bool BestSplit(const TBox& box, int32_t D, int32_t& x, int32_t& y, bool& forward);
    bool ForwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y);
    bool BackwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y);

    int32_t& F(int32_t k) { return Forward[k]; }
    int32_t& R(int32_t k) { return Backward[k]; }

    const uint32_t* A;
    const uint32_t* B;
    TEditSink& Sink;
    TDiffSearchLimits Limits;
    std::vector<int32_t> ForwardReach, BackwardReach;
    int32_t* Forward = nullptr;  // ForwardReach at diagonal 0
    int32_t* Backward = nullptr;
    std::unique_ptr<TDiffBitSplit> Rows;  // made when a box first needs it
    bool WasApproximate = false;
    bool WasStopped = false;
};

}  // namespace kn
