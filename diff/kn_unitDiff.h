// TDiff: a shortest edit script between two sequences of line values, handed out as change
// records (runs of added, deleted and modified lines). LineHash: the CRC-32 of one line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "diff/kn_unitDiffSearch.h"

namespace kn {

// CRC-32 (reflected polynomial 0xEDB88320, initial value and final complement 0xFFFFFFFF)
// of one line's bytes without its line break.
uint32_t LineHash(std::string_view line);

enum class TDiffKind : uint8_t { dkAdd = 0, dkDelete = 1, dkModify = 2 };

// dkAdd: lines Index2.. of list 2 are inserted before position Index1 of list 1.
// dkDelete: lines Index1.. of list 1 are removed (Index2 is 0).
// dkModify: lines Index1.. of list 1 are replaced one for one by lines Index2.. of list 2.
struct TDiffChange {
    TDiffKind Kind = TDiffKind::dkAdd;
    int32_t Index1 = 0;
    int32_t Index2 = 0;
    int32_t Count = 0;
    // Made only of differences the caller asked to ignore (kn_unitTextDiff); TDiff never sets it.
    bool Ignored = false;

    bool operator==(const TDiffChange&) const = default;
};

// Lines counted over a change list (not records).
struct TDiffSummary {
    int64_t Added = 0;
    int64_t Modified = 0;
    int64_t Deleted = 0;

    bool Empty() const { return Added == 0 && Modified == 0 && Deleted == 0; }
};

struct TDiffOptions {
    // Lines found nowhere in the other list skip the search. The records stay minimal; among
    // equally short scripts another one may be chosen than by the plain search.
    bool SetAsideUnmatched = true;
    // The exact search whatever it costs; otherwise a box whose search runs past the cost
    // bound is split at its best point, and the script may be longer than minimal.
    bool Minimal = false;
    // Steps of the search per box before that split; 0 chooses it from the input sizes.
    int32_t CostBound = 0;
    // With Minimal, a box whose search would cost more than bit-parallel rows of its table is
    // split by those rows. The records stay minimal; among equally short scripts another one
    // may be chosen than by the search alone.
    bool BitRows = true;
    // Set from any thread to end a running Compare, which then fails.
    const std::atomic<bool>* Stop = nullptr;
};

class TDiff final : private TEditSink {
public:
    explicit TDiff(TDiffOptions options = {});

    // Hashes1/Hashes2 point to N and M values; equal values are equal lines. True when an
    // edit script was found (also for equal inputs, leaving no records); false for an absent
    // pointer, a list of a billion lines or more, an exhausted search bound (minimal search
    // only) or a stop, leaving no records.
    bool Compare(const uint32_t* Hashes1, const uint32_t* Hashes2, int32_t N, int32_t M);
    // Two whole lists; an empty list counts as present. Lists of a billion lines or more are
    // refused (false).
    bool Compare(const std::vector<uint32_t>& Hashes1, const std::vector<uint32_t>& Hashes2);

    int32_t GetChangeCount() const { return static_cast<int32_t>(Changes.size()); }
    TDiffChange GetChange(int32_t Index) const { return Changes.at(static_cast<size_t>(Index)); }
    const std::vector<TDiffChange>& GetChanges() const { return Changes; }
    TDiffSummary Summary() const;
    // The last Compare split the search at its cost bound: the script may not be minimal.
    bool Approximate() const { return WasApproximate; }
    // The last Compare failed because a stop was requested.
    bool Stopped() const { return WasStopped; }

private:
    bool Search(const uint32_t* A, const uint32_t* B, int32_t s, int32_t e1, int32_t e2);
    bool SearchKept(const uint32_t* A, const uint32_t* B, int32_t s, int32_t e1, int32_t e2);
    TDiffSearchLimits LimitsFor(int32_t n, int32_t m) const;
    void KeepEqualPairsUnchanged(const uint32_t* A, const uint32_t* B);

    // The lines between two equal lines of the path: Deleted lines of list 1 from X on and
    // Added lines of list 2 from Y on (Y is known once a line is added).
    struct TGap {
        int32_t X = 0, Y = 0, Deleted = 0, Added = 0;
        bool Open() const { return Deleted > 0 || Added > 0; }
    };
    void AddLine(int32_t x, int32_t y) override;
    void DeleteLine(int32_t x) override;
    void FlushGap();

    TDiffOptions Options;
    std::vector<TDiffChange> Changes;
    TGap Gap;
    bool WasApproximate = false;
    bool WasStopped = false;
};

}  // namespace kn
