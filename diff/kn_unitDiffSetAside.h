// Lines that occur nowhere in the other list can never be part of a common subsequence. They
// are set aside before the search, which then runs on the remaining lines only, and put back
// afterwards as inserted and removed lines. Unrelated files then cost almost nothing to compare.
#pragma once

#include <cstdint>
#include <vector>

#include "diff/kn_unitDiffSearch.h"

namespace kn {

// The lines of both lists that have an equal line in the other list.
struct TKeptLines {
    std::vector<uint32_t> Values1, Values2;  // their values, in order
    std::vector<int32_t> Index1, Index2;     // their positions in the original lists
    bool SetAside = false;                   // some line was not kept
};

// Keeps the lines of A[o1, e1) that occur in B[o2, e2) and the other way round.
TKeptLines KeepMatchableLines(const uint32_t* A, const uint32_t* B, int32_t o1, int32_t o2, int32_t e1, int32_t e2);

// Turns the edit path reported for the kept lines into the path over the original lists:
// a set-aside line is inserted or removed where the path passes its place; where lines of
// both lists are set aside at the same place, the insertions come first, so that they pair
// with the removals into modified lines.
class TPutBack final : public TEditSink {
public:
    // The original lists are [o1, e1) and [o2, e2); `out` receives original positions.
    TPutBack(const TKeptLines& kept, int32_t o1, int32_t o2, int32_t e1, int32_t e2, TEditSink& out);

    void AddLine(int32_t x, int32_t y) override;
    void DeleteLine(int32_t x) override;
    // Reports the set-aside lines after the path's last report. Call once, at the end.
    void Finish();

private:
    void MatchUpTo(int32_t x);
    int32_t NextKept2() const;
    void PutBackAdds(int32_t before2);
    void PutBackDeletes(int32_t before1);

    const TKeptLines& Kept;
    TEditSink& Out;
    int32_t X = 0, Y = 0;  // position of the path among the kept lines
    int32_t Next1, Next2;  // first original line of each list the path has not passed
    int32_t End1, End2;
};

}  // namespace kn
