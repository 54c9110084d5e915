// TDiff: a shortest edit script between two sequences of line hashes, handed out as change
// records (runs of added, deleted and modified lines). LineHash: the CRC-32 of one line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

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

    bool operator==(const TDiffChange&) const = default;
};

// Lines counted over a change list (not records).
struct TDiffSummary {
    int64_t Added = 0;
    int64_t Modified = 0;
    int64_t Deleted = 0;

    bool Empty() const { return Added == 0 && Modified == 0 && Deleted == 0; }
};

class TDiff {
public:
    // Called once per step of the search, so a caller on a user-interface thread can let its
    // event loop run. It must not start another Compare on this object or destroy it.
    using TProcessMessages = std::function<void()>;

    explicit TDiff(TProcessMessages processMessages = {});

    // Hashes1/Hashes2 point to N and M values. True when an edit script was found (also for
    // equal inputs, leaving no records); false for an absent pointer, a list of a billion
    // lines or more, or an exhausted search bound, leaving no records.
    bool Compare(const uint32_t* Hashes1, const uint32_t* Hashes2, int32_t N, int32_t M);
    // Two whole lists; an empty list counts as present. Lists of a billion lines or more are
    // refused (false).
    bool Compare(const std::vector<uint32_t>& Hashes1, const std::vector<uint32_t>& Hashes2);

    int32_t GetChangeCount() const { return static_cast<int32_t>(Changes.size()); }
    TDiffChange GetChange(int32_t Index) const { return Changes.at(static_cast<size_t>(Index)); }
    const std::vector<TDiffChange>& GetChanges() const { return Changes; }
    TDiffSummary Summary() const;

private:
    bool Solve(int32_t o1, int32_t o2, int32_t e1, int32_t e2);
    // One step D of the search inside a box; true when the two searches met, with the
    // meeting point in x, y and whether the forward pass found it.
    struct TBox;
    bool ForwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y);
    bool BackwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y);
    bool SolveForwardMeeting(const TBox& box, int32_t x, int32_t y);
    bool SolveBackwardMeeting(const TBox& box, int32_t x, int32_t y);

    void AddLine(int32_t x, int32_t y);
    void DeleteLine(int32_t x);
    void Flush(std::optional<TDiffChange>& pending);

    int32_t& F(int32_t k) { return ForwardReach[static_cast<size_t>(k + Zero)]; }
    int32_t& R(int32_t k) { return BackwardReach[static_cast<size_t>(k + Zero)]; }

    TProcessMessages ProcessMessages;
    std::vector<TDiffChange> Changes;
    std::optional<TDiffChange> PendingAdd, PendingDelete, PendingModify;
    const uint32_t* A = nullptr;
    const uint32_t* B = nullptr;
    int32_t MaxD = 0;
    int32_t Zero = 0;  // vector index of diagonal 0
    std::vector<int32_t> ForwardReach, BackwardReach;
};

}  // namespace kn
