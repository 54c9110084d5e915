// The pure rules of two-way synchronisation (kn_unitTwoWayPlan.h): what changed on a side, the
// decision per path, conflict names and policies, and the safety valves.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "engine/kn_unitTwoWayPlan.h"

namespace kn {

namespace {

enum class TSideStatus : uint8_t { Absent, Unknown, New, Unchanged, Changed, Deleted };

int64_t CutTo(int64_t seconds, int64_t step)
{
    const int64_t q = seconds / step;
    return (seconds % step < 0 ? q - 1 : q) * step;
}

bool SameTime(const TKNSideFacts& a, const TKNSideFacts& b, int ignoreHours)
{
    const int64_t step = std::max<int64_t>({1, a.TimeStep, b.TimeStep});
    const int64_t d = std::abs(CutTo(a.MTime, step) - CutTo(b.MTime, step));
    if (d == 0) return true;
    for (int64_t hours = 1; hours <= ignoreHours; ++hours)
        if (std::abs(d - hours * 3600) <= 1) return true;
    return false;
}

TSideStatus StatusOf(const TKNStateEntry* s, const TKNListedEntry* e, bool unknown, bool left, int ignoreHours)
{
    if (!e) return unknown ? TSideStatus::Unknown : s ? TSideStatus::Deleted : TSideStatus::Absent;
    if (!s) return TSideStatus::New;
    if (e->Kind != s->Kind) return TSideStatus::Changed;
    if (e->Kind == TKNEntryKind::Folder) return TSideStatus::Unchanged;
    return FactsChanged(left ? s->Left : s->Right, e->Facts, ignoreHours) ? TSideStatus::Changed
                                                                          : TSideStatus::Unchanged;
}

// The same content on both sides: folders always; files (or links) of one size whose hashes
// (when both were read) or else times agree; a link and a file never.
bool SameContent(const TKNListedEntry& l, const TKNListedEntry& r, int ignoreHours)
{
    if (l.Kind != TKNEntryKind::File) return true;
    if (l.Facts.Size != r.Facts.Size || l.Link != r.Link) return false;
    if (!l.Facts.Hash.empty() && !r.Facts.Hash.empty()) return l.Facts.Hash == r.Facts.Hash;
    return SameTime(l.Facts, r.Facts, ignoreHours);
}

TKNTwoWayDecision Decided(TKNOperation op, bool writesRight = false, bool keepOlder = false)
{
    return {op, writesRight, keepOlder};
}

// `source` (a file or a folder) brought onto the other side.
TKNTwoWayDecision CopyOf(const TKNListedEntry& source, bool toRight, bool keepOlder = false)
{
    if (source.Kind == TKNEntryKind::Folder) return Decided(TKNOperation::CreateFolder, toRight);
    return Decided(toRight ? TKNOperation::CopyLeftToRight : TKNOperation::CopyRightToLeft, toRight, keepOlder);
}

// `entry` removed from its side.
TKNTwoWayDecision DeletionOf(const TKNListedEntry& entry, bool onRight)
{
    if (entry.Kind == TKNEntryKind::Folder) return Decided(TKNOperation::RemoveFolder, onRight);
    return Decided(onRight ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft, onRight);
}

// Both sides hold the path.
TKNTwoWayDecision BothPresent(const TKNTwoWayInput& in, TSideStatus l, TSideStatus r, const TKNTwoWayRules& rules)
{
    if (in.Left->Kind != in.Right->Kind) return Decided(TKNOperation::Conflict);
    if (l == TSideStatus::Unchanged && r == TSideStatus::Unchanged) return Decided(TKNOperation::Nothing);
    // One side still holds what was recorded, so the other's change is new bytes (or only a new
    // time): however alike their sizes and times look now, the change goes across, unless both
    // hashes were read and agree.
    const bool hashedEqual = !in.Left->Facts.Hash.empty() && in.Left->Facts.Hash == in.Right->Facts.Hash &&
                             in.Left->Facts.Size == in.Right->Facts.Size;
    if (in.Left->Kind == TKNEntryKind::File && !hashedEqual) {
        if (r == TSideStatus::Unchanged) return CopyOf(*in.Left, true);
        if (l == TSideStatus::Unchanged) return CopyOf(*in.Right, false);
    }
    // Changed on both sides, or met for the first time on both; or equal bytes.
    if (SameContent(*in.Left, *in.Right, rules.IgnoreHours)) {
        if (in.Left->Kind != TKNEntryKind::File || SameTime(in.Left->Facts, in.Right->Facts, rules.IgnoreHours))
            return Decided(TKNOperation::Record);
        return Decided(TKNOperation::SetTime, in.Left->Facts.MTime > in.Right->Facts.MTime);
    }
    if (!rules.FirstRun || SameTime(in.Left->Facts, in.Right->Facts, rules.IgnoreHours))
        return Decided(TKNOperation::Conflict);
    const bool leftNewer = in.Left->Facts.MTime > in.Right->Facts.MTime;
    return CopyOf(leftNewer ? *in.Left : *in.Right, leftNewer, true);
}

// One side holds the path (`present`, its entry `entry`), the other does not.
TKNTwoWayDecision OnePresent(TSideStatus present, const TKNListedEntry& entry, bool presentIsLeft)
{
    return present == TSideStatus::Unchanged ? DeletionOf(entry, !presentIsLeft) : CopyOf(entry, presentIsLeft);
}

}  // namespace

bool FactsChanged(const TKNSideFacts& recorded, const TKNSideFacts& now, int ignoreHours, bool moved)
{
    if (recorded.Size != now.Size || !SameTime(recorded, now, ignoreHours)) return true;
    // Below the second where both sides know it: a same-size edit saved within the recorded
    // second is an edit.
    if (recorded.MTimeNsec >= 0 && now.MTimeNsec >= 0 && recorded.MTime == now.MTime &&
        recorded.MTimeNsec != now.MTimeNsec)
        return true;
    if (moved) return false;
    if (recorded.Inode != 0 && now.Inode != 0 && recorded.Inode != now.Inode) return true;
    return recorded.CTime != 0 && now.CTime != 0 &&
           (recorded.CTime != now.CTime || recorded.CTimeNsec != now.CTimeNsec);
}

TKNTwoWayDecision TwoWayDecide(const TKNTwoWayInput& in, const TKNTwoWayRules& rules)
{
    const TKNStateEntry* s = rules.FirstRun ? nullptr : in.State;
    const TSideStatus l = StatusOf(s, in.Left, in.LeftUnknown, true, rules.IgnoreHours);
    const TSideStatus r = StatusOf(s, in.Right, in.RightUnknown, false, rules.IgnoreHours);
    if (l == TSideStatus::Unknown || r == TSideStatus::Unknown) return Decided(TKNOperation::Keep);
    if (in.Left && in.Right) return BothPresent(in, l, r, rules);
    if (in.Left) return OnePresent(l, *in.Left, true);
    if (in.Right) return OnePresent(r, *in.Right, false);
    return Decided(s ? TKNOperation::Forget : TKNOperation::Nothing);
}

namespace {

const std::pair<TKNConflictPolicy, const char*> kPolicyWords[] = {
    {TKNConflictPolicy::KeepBoth, "keep-both"}, {TKNConflictPolicy::Newer, "newer"}, {TKNConflictPolicy::Left, "left"},
    {TKNConflictPolicy::Right, "right"},        {TKNConflictPolicy::Skip, "skip"},
};

}  // namespace

const char* ConflictPolicyWord(TKNConflictPolicy policy)
{
    for (const auto& [p, word] : kPolicyWords)
        if (p == policy) return word;
    return "skip";
}

bool ConflictPolicyOf(std::string_view word, TKNConflictPolicy& policy)
{
    for (const auto& [p, w] : kPolicyWords)
        if (word == w) {
            policy = p;
            return true;
        }
    return false;
}

namespace {

// The first `bytes` bytes of `text`, less a UTF-8 sequence that would be cut.
std::string CutUtf8(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes) return std::string(text);
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return std::string(text.substr(0, bytes));
}

}  // namespace

std::string ConflictName(std::string_view name, int64_t mtime, const std::function<bool(const std::string&)>& taken)
{
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string_view::npos && dot > 0;
    const std::string_view stem = hasExt ? name.substr(0, dot) : name;
    const std::string_view ext = hasExt ? name.substr(dot) : std::string_view();
    const std::time_t t = static_cast<std::time_t>(mtime);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    // The conflict part always stays whole: the extension, then the stem, give way to it.
    auto fitted = [&](const std::string& tail) {
        const std::size_t room = kMaxNameBytes - std::min(kMaxNameBytes, tail.size());
        const std::string keptExt = CutUtf8(ext, room > 1 ? room - 1 : 0);
        return CutUtf8(stem, room - std::min(room, keptExt.size())) + tail + keptExt;
    };
    const std::string conflict = std::string(".conflict-") + stamp;
    std::string candidate = fitted(conflict);
    for (int n = 2; taken && taken(candidate); ++n) candidate = fitted(conflict + "-" + std::to_string(n));
    return candidate;
}

std::string RootRefusal(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left, const TKNTwoWaySide& right)
{
    if (state.empty()) return {};
    for (const auto& [side, name] : {std::pair{&left, "left"}, std::pair{&right, "right"}}) {
        if (!side->RootMissing && !side->Entries.empty()) continue;
        return std::string("The ") + name + " folder " +
               (side->RootMissing ? "could not be listed" : "lists no entries") +
               ", yet the last synchronisation recorded " + std::to_string(state.size()) +
               " there: nothing is changed.";
    }
    return {};
}

bool TKNTwoWayPlan::ConflictsLeftOpen() const
{
    for (const TKNTwoWayConflict& c : Conflicts)
        if (c.Settled == TKNConflictPolicy::KeepBoth || c.Settled == TKNConflictPolicy::Skip) return true;
    return false;
}

}  // namespace kn
