// Shortest edit script between two sequences of line hashes: Myers' O(ND) difference
// algorithm in its linear-space form (E. W. Myers, "An O(ND) Difference Algorithm and Its
// Variations", Algorithmica 1, 1986, section 4b). The middle snake of a box is searched from
// both ends at once; the box is split at it and both halves are solved recursively. The
// edge values and tie-breaks below fix which of several equally short scripts comes out.
// The single-line insertions and removals of the recursion are merged into runs, and an
// insertion and a removal at the same place are paired into modified lines.
#include "diff/kn_unitDiff.h"

#include <algorithm>
#include <cstdint>

namespace kn {

namespace {

constexpr int32_t MaxSearchBound = 16777215;
// Longest list the diagonal vectors can index with 32-bit diagonal numbers.
constexpr int32_t MaxListLength = INT32_MAX / 2 - 2;

// Slicing-by-8 tables: Table[0] is the classic byte table, Table[k][b] the CRC of byte b
// followed by k zero bytes, so eight bytes are folded per step.
struct TCrcTables {
    uint32_t Table[8][256];
    TCrcTables()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            Table[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int k = 1; k < 8; ++k)
                Table[k][n] = (Table[k - 1][n] >> 8) ^ Table[0][Table[k - 1][n] & 0xFFu];
    }
};

uint32_t LoadLittleEndian32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t LineHash(std::string_view line)
{
    static const TCrcTables tables;
    const auto& t = tables.Table;
    auto p = reinterpret_cast<const unsigned char*>(line.data());
    size_t left = line.size();
    uint32_t crc = 0xFFFFFFFFu;
    for (; left >= 8; left -= 8, p += 8) {
        const uint32_t lo = crc ^ LoadLittleEndian32(p), hi = LoadLittleEndian32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; left > 0; --left, ++p)
        crc = t[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// The box of list-1 lines [o1, e1) and list-2 lines [o2, e2); a point (x, y) lies on
// diagonal k = (x - o1) - (y - o2).
struct TDiff::TBox {
    int32_t o1, o2, e1, e2;
    int32_t n() const { return e1 - o1; }
    int32_t m() const { return e2 - o2; }
    int32_t Delta() const { return n() - m(); }
    int32_t YOf(int32_t x, int32_t k) const { return x - o1 + o2 - k; }
};

TDiff::TDiff(TProcessMessages processMessages) : ProcessMessages(std::move(processMessages)) {}

TDiffSummary TDiff::Summary() const
{
    TDiffSummary s;
    for (const TDiffChange& c : Changes) {
        switch (c.Kind) {
        case TDiffKind::dkAdd: s.Added += c.Count; break;
        case TDiffKind::dkModify: s.Modified += c.Count; break;
        case TDiffKind::dkDelete: s.Deleted += c.Count; break;
        }
    }
    return s;
}

bool TDiff::Compare(const uint32_t* Hashes1, const uint32_t* Hashes2, int32_t N, int32_t M)
{
    Changes.clear();
    PendingAdd.reset();
    PendingDelete.reset();
    PendingModify.reset();
    if (Hashes1 == nullptr || Hashes2 == nullptr || N < 0 || M < 0 || N > MaxListLength || M > MaxListLength)
        return false;
    A = Hashes1;
    B = Hashes2;
    MaxD = std::min(std::max(N, M), MaxSearchBound);
    Changes.reserve(static_cast<size_t>(std::max(MaxD, 1024) / 32 * 4));

    // Diagonals of any box lie in -(m + 1) .. n, so this covers every box even when the
    // inputs are longer than the search bound.
    Zero = std::max(N, M) + 2;
    ForwardReach.assign(static_cast<size_t>(2 * Zero + 1), 0);
    BackwardReach.assign(static_cast<size_t>(2 * Zero + 1), 0);

    int32_t s = 0;
    while (s < N && s < M && A[s] == B[s])
        ++s;
    int32_t e1 = N, e2 = M;
    while (s < e1 && s < e2 && A[e1 - 1] == B[e2 - 1]) {
        --e1;
        --e2;
    }
    bool result = (s >= e1 && s >= e2) || Solve(s, s, e1, e2);

    Flush(PendingModify);
    Flush(PendingAdd);
    Flush(PendingDelete);
    if (!result)
        Changes.clear();
    ForwardReach = {};
    BackwardReach = {};
    A = B = nullptr;
    return result;
}

bool TDiff::Compare(const std::vector<uint32_t>& Hashes1, const std::vector<uint32_t>& Hashes2)
{
    static const uint32_t none = 0;
    auto length = [](const std::vector<uint32_t>& v) {
        return static_cast<int32_t>(std::min(v.size(), static_cast<size_t>(INT32_MAX)));
    };
    return Compare(Hashes1.empty() ? &none : Hashes1.data(), Hashes2.empty() ? &none : Hashes2.data(),
                   length(Hashes1), length(Hashes2));
}

// Precondition: the box starts and ends with a difference (the caller has walked the snakes
// around it), so the search may start without a snake at D = 0.
// Example: A = [a, b], B = [c, d] has n = m = 2, meets in the backward pass at D = 1 and is
// split into two 1 x 1 boxes, each reporting AddLine then DeleteLine: one modify run of 2.
bool TDiff::Solve(int32_t o1, int32_t o2, int32_t e1, int32_t e2)
{
    for (;;) {
        if (o1 == e1) {
            for (int32_t y = o2; y < e2; ++y)
                AddLine(o1, y);
            return true;
        }
        if (o2 == e2) {
            for (int32_t x = o1; x < e1; ++x)
                DeleteLine(x);
            return true;
        }
        const TBox box{o1, o2, e1, e2};
        const int32_t n = box.n(), m = box.m(), delta = box.Delta();
        F(0) = o1;
        R(delta) = e1;
        F(n) = e1;
        R(n) = e1;
        if (delta > 0) {
            F(-(m + 1)) = o1;
            R(-(m + 1)) = o1;
        }
        int32_t x = 0, y = 0;
        bool forward = false, met = false;
        for (int32_t D = 1; D <= MaxD && !met; ++D) {
            if (ProcessMessages)
                ProcessMessages();
            if (ForwardPass(box, D, x, y))
                met = forward = true;
            else if (BackwardPass(box, D, x, y))
                met = true;
        }
        if (!met)
            return false;
        if (forward)
            return SolveForwardMeeting(box, x, y);
        if (n == 1 && m == 1) {
            AddLine(o1, o2);
            DeleteLine(o1);
            return true;
        }
        if (!Solve(o1, o2, x, y))
            return false;
        while (x < e1 && y < e2 && A[x] == B[y]) {
            ++x;
            ++y;
        }
        o1 = x;  // solve the rest of the box in this frame
        o2 = y;
    }
}

bool TDiff::SolveForwardMeeting(const TBox& box, int32_t x, int32_t y)
{
    const int32_t endX = x, endY = y;
    while (x > box.o1 && y > box.o2 && A[x - 1] == B[y - 1]) {
        --x;
        --y;
    }
    return Solve(box.o1, box.o2, x, y) && Solve(endX, endY, box.e1, box.e2);
}

bool TDiff::ForwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y)
{
    const int32_t n = box.n(), m = box.m(), delta = box.Delta();
    const bool deltaOdd = (delta & 1) != 0;
    int32_t k = -D;
    while (k < -m)
        k += 2;
    const int32_t last = std::min(D, n - 1);
    for (; k <= last; k += 2) {
        if (k == -D)
            x = F(k + 1);
        else if (k < D)
            x = F(k - 1) >= F(k + 1) ? F(k - 1) + 1 : F(k + 1);
        else
            x = F(k - 1) + 1;
        y = box.YOf(x, k);
        while (x < box.e1 && y < box.e2 && A[x] == B[y]) {
            ++x;
            ++y;
        }
        F(k) = x;
        if (deltaOdd && delta - D < k && k < delta + D && F(k) >= R(k))
            return true;
    }
    return false;
}

bool TDiff::BackwardPass(const TBox& box, int32_t D, int32_t& x, int32_t& y)
{
    const int32_t n = box.n(), m = box.m(), delta = box.Delta();
    const bool deltaEven = (delta & 1) == 0;
    int32_t k = delta - D;
    while (k < -m)
        k += 2;
    const int32_t last = std::min(delta + D, n - 1);
    for (; k <= last; k += 2) {
        if (k == delta + D)
            x = R(k - 1);
        else if (k > delta - D) {
            const bool noLowerEdge = k - 1 == -(m + 1) && delta <= 0;
            x = (noLowerEdge || R(k + 1) <= R(k - 1)) ? R(k + 1) - 1 : R(k - 1);
        } else
            x = R(k + 1) - 1;
        y = box.YOf(x, k);
        while (x > box.o1 && y > box.o2 && A[x - 1] == B[y - 1]) {
            --x;
            --y;
        }
        R(k) = x;
        if (deltaEven && -D <= k && k <= D && F(k) >= R(k))
            return true;
    }
    return false;
}

void TDiff::Flush(std::optional<TDiffChange>& pending)
{
    if (pending) {
        Changes.push_back(*pending);
        pending.reset();
    }
}

// Line y of list 2 is inserted before position x of list 1.
void TDiff::AddLine(int32_t x, int32_t y)
{
    if (PendingAdd) {
        if (x == PendingAdd->Index1 && y == PendingAdd->Index2 + PendingAdd->Count) {
            ++PendingAdd->Count;
            return;
        }
        Flush(PendingModify);
        Flush(PendingAdd);
        PendingAdd = TDiffChange{TDiffKind::dkAdd, x, y, 1};
    } else if (PendingDelete) {
        Flush(PendingModify);
        if (x != PendingDelete->Index1) {
            Flush(PendingDelete);
            PendingAdd = TDiffChange{TDiffKind::dkAdd, x, y, 1};
            return;
        }
        // The removed line at x becomes the modified one.
        PendingModify = TDiffChange{TDiffKind::dkModify, x, y, 1};
        if (PendingDelete->Count == 1) {
            PendingDelete.reset();
        } else {
            --PendingDelete->Count;
            ++PendingDelete->Index1;
        }
    } else {
        PendingAdd = TDiffChange{TDiffKind::dkAdd, x, y, 1};
    }
}

// Line x of list 1 is removed.
void TDiff::DeleteLine(int32_t x)
{
    if (PendingDelete) {
        if (x == PendingDelete->Index1 + PendingDelete->Count) {
            ++PendingDelete->Count;
            return;
        }
        Flush(PendingModify);
        Flush(PendingDelete);
        PendingDelete = TDiffChange{TDiffKind::dkDelete, x, 0, 1};
    } else if (PendingAdd) {
        if (x != PendingAdd->Index1) {
            Flush(PendingModify);
            Flush(PendingAdd);
            PendingDelete = TDiffChange{TDiffKind::dkDelete, x, 0, 1};
            return;
        }
        if (PendingModify && x == PendingModify->Index1 + PendingModify->Count) {
            ++PendingModify->Count;
        } else {
            Flush(PendingModify);
            PendingModify = TDiffChange{TDiffKind::dkModify, x, PendingAdd->Index2, 1};
        }
        if (PendingAdd->Count == 1) {
            PendingAdd.reset();
        } else {
            --PendingAdd->Count;
            ++PendingAdd->Index1;
            ++PendingAdd->Index2;
        }
    } else {
        PendingDelete = TDiffChange{TDiffKind::dkDelete, x, 0, 1};
    }
}

}  // namespace kn
