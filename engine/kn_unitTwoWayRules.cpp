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

// The same content on both sides: folders always; files of one size whose hashes (when both
// were read) or else times agree.
bool SameContent(const TKNListedEntry& l, const TKNListedEntry& r, int ignoreHours)
{
    if (l.Kind != TKNEntryKind::File) return true;
    if (l.Facts.Size != r.Facts.Size) return false;
    if (!l.Facts.Hash.empty() && !r.Facts.Hash.empty()) return l.Facts.Hash == r.Facts.Hash;
    return SameTime(l.Facts, r.Facts, ignoreHours);
}

TKNTwoWayDecision Act(TKNTwoWayAct act, bool keepOlder = false)
{
    return {act, keepOlder};
}

// Both sides hold the path.
TKNTwoWayDecision BothPresent(const TKNTwoWayInput& in, TSideStatus l, TSideStatus r, const TKNTwoWayRules& rules)
{
    if (in.Left->Kind != in.Right->Kind) return Act(TKNTwoWayAct::Conflict);
    if (l == TSideStatus::Unchanged && r == TSideStatus::Unchanged) return Act(TKNTwoWayAct::Nothing);
    if (SameContent(*in.Left, *in.Right, rules.IgnoreHours)) {
        if (in.Left->Kind != TKNEntryKind::File || SameTime(in.Left->Facts, in.Right->Facts, rules.IgnoreHours))
            return Act(TKNTwoWayAct::Record);
        return Act(in.Left->Facts.MTime < in.Right->Facts.MTime ? TKNTwoWayAct::SetTimeLeft
                                                                : TKNTwoWayAct::SetTimeRight);
    }
    if (r == TSideStatus::Unchanged) return Act(TKNTwoWayAct::CopyToRight);
    if (l == TSideStatus::Unchanged) return Act(TKNTwoWayAct::CopyToLeft);
    // Changed on both sides, or met for the first time on both.
    if (!rules.FirstRun || SameTime(in.Left->Facts, in.Right->Facts, rules.IgnoreHours))
        return Act(TKNTwoWayAct::Conflict);
    return Act(in.Left->Facts.MTime > in.Right->Facts.MTime ? TKNTwoWayAct::CopyToRight : TKNTwoWayAct::CopyToLeft,
               true);
}

// One side holds the path (`present`), the other does not.
TKNTwoWayDecision OnePresent(TSideStatus present, bool presentIsLeft)
{
    const TKNTwoWayAct copy = presentIsLeft ? TKNTwoWayAct::CopyToRight : TKNTwoWayAct::CopyToLeft;
    const TKNTwoWayAct remove = presentIsLeft ? TKNTwoWayAct::DeleteLeft : TKNTwoWayAct::DeleteRight;
    return Act(present == TSideStatus::Unchanged ? remove : copy);
}

}  // namespace

bool FactsChanged(const TKNSideFacts& recorded, const TKNSideFacts& now, int ignoreHours)
{
    return recorded.Size != now.Size || !SameTime(recorded, now, ignoreHours);
}

TKNTwoWayDecision TwoWayDecide(const TKNTwoWayInput& in, const TKNTwoWayRules& rules)
{
    const TKNStateEntry* s = rules.FirstRun ? nullptr : in.State;
    const TSideStatus l = StatusOf(s, in.Left, in.LeftUnknown, true, rules.IgnoreHours);
    const TSideStatus r = StatusOf(s, in.Right, in.RightUnknown, false, rules.IgnoreHours);
    if (l == TSideStatus::Unknown || r == TSideStatus::Unknown) return Act(TKNTwoWayAct::Keep);
    if (in.Left && in.Right) return BothPresent(in, l, r, rules);
    if (in.Left) return OnePresent(l, true);
    if (in.Right) return OnePresent(r, false);
    return Act(s ? TKNTwoWayAct::Forget : TKNTwoWayAct::Nothing);
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

std::string ConflictName(std::string_view name, int64_t mtime, const std::function<bool(const std::string&)>& taken)
{
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string_view::npos && dot > 0;
    const std::string stem(hasExt ? name.substr(0, dot) : name);
    const std::string ext = hasExt ? std::string(name.substr(dot)) : std::string();
    const std::time_t t = static_cast<std::time_t>(mtime);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = stem + ".conflict-" + stamp;
    std::string candidate = base + ext;
    for (int n = 2; taken && taken(candidate); ++n) candidate = base + "-" + std::to_string(n) + ext;
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

bool ExceedsMaxDelete(const TKNTwoWayPlan& plan, int64_t maxDelete)
{
    return maxDelete >= 0 && plan.Totals.Deletions() > maxDelete;
}

bool TKNTwoWayPlan::ConflictsLeftOpen() const
{
    for (const TKNTwoWayConflict& c : Conflicts)
        if (c.Settled == TKNConflictPolicy::KeepBoth || c.Settled == TKNConflictPolicy::Skip) return true;
    return false;
}

}  // namespace kn
