// Change records from an edit path: the common head and tail are stripped, lines that cannot
// match are set aside (kn_unitDiffSetAside), the rest is searched (kn_unitDiffSearch), and the
// single-line insertions and removals of the path are merged into runs, each gap between two
// equal lines giving its modified lines first and then its added or deleted ones.
#include "diff/kn_unitDiff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "diff/kn_unitDiffSetAside.h"

namespace kn {

namespace {

constexpr int32_t MaxSearchBound = 16777215;
// Longest list the diagonal vectors can index with 32-bit diagonal numbers.
constexpr int32_t MaxListLength = INT32_MAX / 2 - 2;
// Steps of the search per box before it settles for a near-minimal split, at least; larger
// inputs get about 4 * sqrt(N + M), so a bounded box costs a few milliseconds.
constexpr int32_t MinCostBound = 4096;

// Slicing-by-8 tables: Table[0] is the classic byte table, Table[k][b] the CRC of byte b
// followed by k zero bytes, so eight bytes are folded per step.
struct TCrcTables {
    uint32_t Table[8][256];
    TCrcTables()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            Table[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int k = 1; k < 8; ++k) Table[k][n] = (Table[k - 1][n] >> 8) ^ Table[0][Table[k - 1][n] & 0xFFu];
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
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
              t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; left > 0; --left, ++p) crc = t[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

TDiff::TDiff(TDiffOptions options) : Options(options) {}

TDiffSummary TDiff::Summary() const
{
    TDiffSummary s;
    for (const TDiffChange& c : Changes) {
        switch (c.Kind) {
            case TDiffKind::dkAdd:
                s.Added += c.Count;
                break;
            case TDiffKind::dkModify:
                s.Modified += c.Count;
                break;
            case TDiffKind::dkDelete:
                s.Deleted += c.Count;
                break;
        }
    }
    return s;
}

bool TDiff::Compare(const uint32_t* Hashes1, const uint32_t* Hashes2, int32_t N, int32_t M)
{
    Changes.clear();
    Gap = {};
    WasApproximate = WasStopped = false;
    if (Hashes1 == nullptr || Hashes2 == nullptr || N < 0 || M < 0 || N > MaxListLength || M > MaxListLength)
        return false;
    const uint32_t *A = Hashes1, *B = Hashes2;
    Changes.reserve(static_cast<size_t>(std::max(std::min(std::max(N, M), MaxSearchBound), 1024) / 32 * 4));

    int32_t s = 0;
    while (s < N && s < M && A[s] == B[s]) ++s;
    int32_t e1 = N, e2 = M;
    while (s < e1 && s < e2 && A[e1 - 1] == B[e2 - 1]) {
        --e1;
        --e2;
    }
    bool result =
        (s >= e1 && s >= e2) || (Options.SetAsideUnmatched ? SearchKept(A, B, s, e1, e2) : Search(A, B, s, e1, e2));

    FlushGap();
    if (!result) Changes.clear();
    if (WasApproximate) KeepEqualPairsUnchanged(A, B);
    return result;
}

// A bounded search may end one box with an insertion and start the next with the removal of
// an equal line; paired into a modified line, the two would show as a change. Such pairs are
// taken out of their dkModify records, leaving the line unchanged between the parts.
// Example: A = [a, b, c], B = [x, b, y] as (dkModify, 0, 0, 3) becomes (dkModify, 0, 0, 1)
// and (dkModify, 2, 2, 1).
void TDiff::KeepEqualPairsUnchanged(const uint32_t* A, const uint32_t* B)
{
    std::vector<TDiffChange> kept;
    kept.reserve(Changes.size());
    for (const TDiffChange& c : Changes) {
        if (c.Kind != TDiffKind::dkModify) {
            kept.push_back(c);
            continue;
        }
        int32_t start = 0;
        for (int32_t r = 0; r <= c.Count; ++r) {
            if (r < c.Count && A[c.Index1 + r] != B[c.Index2 + r]) continue;
            if (r > start) kept.push_back({TDiffKind::dkModify, c.Index1 + start, c.Index2 + start, r - start});
            start = r + 1;
        }
    }
    Changes = std::move(kept);
}

bool TDiff::Compare(const std::vector<uint32_t>& Hashes1, const std::vector<uint32_t>& Hashes2)
{
    static const uint32_t none = 0;
    auto length = [](const std::vector<uint32_t>& v) {
        return static_cast<int32_t>(std::min(v.size(), static_cast<size_t>(INT32_MAX)));
    };
    return Compare(Hashes1.empty() ? &none : Hashes1.data(), Hashes2.empty() ? &none : Hashes2.data(), length(Hashes1),
                   length(Hashes2));
}

TDiffSearchLimits TDiff::LimitsFor(int32_t n, int32_t m) const
{
    TDiffSearchLimits limits;
    limits.MaxD = std::min(std::max(n, m), MaxSearchBound);
    if (!Options.Minimal)
        limits.CostBound = Options.CostBound > 0
                               ? Options.CostBound
                               : std::max(MinCostBound, static_cast<int32_t>(4 * std::sqrt(double(n) + double(m))));
    limits.BitRows = Options.Minimal && Options.BitRows;
    limits.Stop = Options.Stop;
    return limits;
}

// Lines [s, e1) of A against [s, e2) of B, reported to the record layer directly.
bool TDiff::Search(const uint32_t* A, const uint32_t* B, int32_t s, int32_t e1, int32_t e2)
{
    TDiffSearch search(A, B, *this, LimitsFor(e1 - s, e2 - s));
    const bool found = search.Run(s, s, e1, e2);
    WasApproximate = search.Approximate();
    WasStopped = search.Stopped();
    return found;
}

// The same with the lines that cannot match set aside first and put back on the way out.
bool TDiff::SearchKept(const uint32_t* A, const uint32_t* B, int32_t s, int32_t e1, int32_t e2)
{
    TKeptLines kept = KeepMatchableLines(A, B, s, s, e1, e2);
    if (!kept.SetAside) {
        kept = {};  // the copies are not needed: free them before the search takes its own memory
        return Search(A, B, s, e1, e2);
    }
    const auto n = static_cast<int32_t>(kept.Values1.size()), m = static_cast<int32_t>(kept.Values2.size());
    TPutBack putBack(kept, s, s, e1, e2, *this);
    TDiffSearch search(kept.Values1.data(), kept.Values2.data(), putBack, LimitsFor(n, m));
    const bool found = search.Run(0, 0, n, m);
    if (found) putBack.Finish();
    WasApproximate = search.Approximate();
    WasStopped = search.Stopped();
    return found;
}

// A gap's lines pair up into modified lines, whatever order the path took through it; the
// rest are added or deleted after them.
void TDiff::FlushGap()
{
    const int32_t modified = std::min(Gap.Deleted, Gap.Added);
    if (modified > 0) Changes.push_back({TDiffKind::dkModify, Gap.X, Gap.Y, modified});
    if (Gap.Deleted > modified) Changes.push_back({TDiffKind::dkDelete, Gap.X + modified, 0, Gap.Deleted - modified});
    if (Gap.Added > modified)
        Changes.push_back({TDiffKind::dkAdd, Gap.X + modified, Gap.Y + modified, Gap.Added - modified});
    Gap = {};
}

// Line y of list 2 is inserted before position x of list 1.
void TDiff::AddLine(int32_t x, int32_t y)
{
    const bool continues = Gap.Open() && x == Gap.X + Gap.Deleted && (Gap.Added == 0 || y == Gap.Y + Gap.Added);
    if (!continues) {
        FlushGap();
        Gap.X = x;
    }
    if (Gap.Added == 0) Gap.Y = y;
    ++Gap.Added;
}

// Line x of list 1 is removed.
void TDiff::DeleteLine(int32_t x)
{
    if (!Gap.Open() || x != Gap.X + Gap.Deleted) {
        FlushGap();
        Gap.X = x;
    }
    ++Gap.Deleted;
}

}  // namespace kn
