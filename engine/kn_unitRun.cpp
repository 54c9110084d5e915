#include "engine/kn_unitRun.h"

#include <exception>

#include "engine/kn_unitServerTrust.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitCounts.h"
#include "framework/vex_unitThreads.h"

namespace kn {

TKNGuardTrip CheckDeletionGuard(const int64_t deletes[2], const int64_t entries[2], std::optional<int64_t> maxDelete)
{
    TKNGuardTrip trip;
    if (maxDelete) {
        trip.Tripped = trip.OverMax = deletes[0] + deletes[1] > *maxDelete;
        trip.Right = deletes[1] > deletes[0];
        trip.Deletes = deletes[0] + deletes[1];
        trip.Entries = entries[trip.Right ? 1 : 0];
        return trip;
    }
    for (int side = 0; side < 2; ++side)
        if (TripsDeletionGuard(deletes[side], entries[side]))
            return {true, false, side == 1, deletes[side], entries[side]};
    return trip;
}

std::string GuardRefusal(const TKNGuardTrip& trip, const std::string& folder, std::optional<int64_t> maxDelete)
{
    if (trip.OverMax)
        return "The update would delete " + vex::CountOf(trip.Deletes, "entry", "entries") +
               ", more than --max-delete " + std::to_string(maxDelete.value_or(0)) + "; nothing was changed.";
    return "The update would delete " + std::to_string(trip.Deletes) + " of the " + std::to_string(trip.Entries) +
           " entries of \"" + HideLocationPasswords(folder) +
           "\"; nothing was changed (give --max-delete to allow it).";
}

std::string TKNRun::Shown(bool right) const
{
    return HideLocationPasswords(locations_[right ? 1 : 0]);
}

std::string TKNRun::CheckRoots(const std::string& left, const std::string& right, bool connect)
{
    locations_[0] = left;
    locations_[1] = right;
    // Two folders on servers may be one; a local folder and a server's never are.
    const bool servers = connect && IsRemoteLocation(left) && IsRemoteLocation(right);
    for (int i = 0; i < 2; ++i) {
        std::string error;
        identities_[i] = SideRootIdentity(locations_[i], {});
        if (IsRemoteLocation(locations_[i]) && !servers) continue;
        if (!RootIdentityOf(locations_[i], identities_[i], error) && connect) return error;
    }
    return RootsProblem(identities_[0], identities_[1], Shown(false), Shown(true));
}

std::string TKNRun::Lock(bool wait)
{
    std::string refusal;
    auto stopped = [this] {
        vex::WaitDraining([] { return true; });  // one pass: the program's stop requests
        return engine_.Stop != 0;
    };
    lock_ = TKNRunLock::Take(identities_[0].Key, identities_[1].Key, Shown(false) + " <-> " + Shown(true), wait,
                             stopped, refusal);
    engine_.RunTag = lock_ ? lock_->Tag() : std::string();
    return refusal;
}

void TKNRun::Unlock()
{
    lock_.reset();
    engine_.RunTag.clear();
}

bool TKNRun::OfferTrust()
{
    if (engine_.ErrorKind != TKNSideError::Untrusted) return false;
    bool recorded = false;
    for (const std::string& folder : locations_) {
        TKNServerIdentity identity;
        try {
            if (!ReadServerIdentity(folder, identity) || identity.Known || identity.Changed) continue;
            if (!observer_.TrustServer(folder, identity)) continue;
            TrustServer(folder, identity);
            recorded = true;
        } catch (const std::exception&) {
            // Unreachable now, or not recorded: the comparison's own failure stands.
        }
    }
    return recorded;
}

std::string TKNRun::Guard(const TKNPlanTotals& totals, TKNAction action, std::optional<int64_t> maxDelete)
{
    int64_t deletes[2] = {0, 0}, entries[2] = {engine_.LeftEntries, engine_.RightEntries};
    if (action == TKNAction::TwoWay && engine_.TwoWay) {
        const TKNTwoWayTotals& t = engine_.TwoWay->Plan().Totals;
        deletes[0] = t.DeletesLeft;
        deletes[1] = t.DeletesRight;
        // What the state remembers of a side counts too: a side that lost most of its entries
        // since makes the other lose them.
        for (int64_t& side : entries) side = std::max(side, engine_.TwoWay->Remembered());
    } else if (action == TKNAction::LeftToRight || action == TKNAction::RightToLeft) {
        deletes[action == TKNAction::LeftToRight ? 1 : 0] = totals.Deletions();
    }
    const TKNGuardTrip trip = CheckDeletionGuard(deletes, entries, maxDelete);
    if (!trip.Tripped) return {};
    if (!trip.OverMax && observer_.AllowMassDeletion(trip.Deletes, trip.Entries, locations_[trip.Right ? 1 : 0]))
        return {};
    return GuardRefusal(trip, locations_[trip.Right ? 1 : 0], maxDelete);
}

void TKNRun::SetUp(const TKNRunRequest& request)
{
    engine_.ApplyOptions(request.Options);
    engine_.SetLeftFolder(locations_[0]);
    engine_.SetRightFolder(locations_[1]);
    if (request.Transfers) engine_.Transfers = *request.Transfers;
    if (request.BandwidthLimit) engine_.BandwidthLimit = *request.BandwidthLimit;
    engine_.TwoWay.reset();
    if (request.Update && request.Action == TKNAction::TwoWay) {
        TKNTwoWaySettings settings;
        settings.StateFile = request.StateFile;
        settings.Policy = request.Conflict;
        settings.Roots[0] = identities_[0].Key;
        settings.Roots[1] = identities_[1].Key;
        engine_.TwoWay = std::make_shared<TKNTwoWayRun>(request.Options, settings);
    }
}

bool TKNRun::CompareTrusting()
{
    engine_.Compare(true);
    if (engine_.Stop == 0 && !engine_.ErrorText.empty() && OfferTrust()) engine_.Compare(true);
    return engine_.Stop == 0 && engine_.ErrorText.empty();
}

// Why the plan must not run (a two-way run's own refusals, then the guard); its totals.
std::string TKNRun::PlanRefusal(const TKNRunRequest& request, TKNPlanTotals& plan)
{
    if (request.Action == TKNAction::TwoWay) {
        if (std::string refusal = engine_.TwoWay->Refusal(); !refusal.empty()) return refusal;
        plan = OpTotals(engine_.TwoWay->Plan().Ops);
    } else {
        std::vector<int> rows(engine_.Items.size());
        for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
        plan = PlanTotals(engine_, rows, request.Action, request.Force);
    }
    return Guard(plan, request.Action, request.MaxDelete);
}

TKNRunResult TKNRun::Execute(const TKNRunRequest& request)
{
    TKNRunResult result;
    auto supplied = [this](const std::string& location) {
        return AsksForPassword(location) ? observer_.SupplyPassword(location) : location;
    };
    const bool writes = request.Update && !request.DryRun;
    result.Refusal = CheckRoots(supplied(request.Left), supplied(request.Right));
    if (result.Refusal.empty() && writes) result.Refusal = Lock(request.Wait);
    if (!result.Refusal.empty()) return result;
    struct TUnlock {
        TKNRun& run;
        ~TUnlock() { run.Unlock(); }
    } unlock{*this};
    SetUp(request);
    // Content-equal pairs whose times differ stay rows, so the update sets their times.
    engine_.KeepContentEqualRows = request.Update && engine_.CompareContent;
    const bool compared = CompareTrusting();
    engine_.KeepContentEqualRows = false;
    result.Stopped = engine_.Stop != 0;
    if (!compared) return result;
    // What the comparison's sides told they are: two server folders may be one.
    for (int i = 0; i < 2; ++i) {
        const TKNScanProvider& provider = *(i ? engine_.RightList : engine_.LeftList).Provider;
        if (!identities_[i].Local && !provider.SideIdentity().empty())
            identities_[i] = SideRootIdentity(locations_[i], provider.SideIdentity());
    }
    result.Refusal = RootsProblem(identities_[0], identities_[1], Shown(false), Shown(true));
    if (!result.Refusal.empty()) return result;
    result.Compared = true;
    if (!observer_.Compared(engine_) || !request.Update) return result;
    TKNPlanTotals plan;
    result.Refusal = PlanRefusal(request, plan);
    if (!result.Refusal.empty()) return result;
    observer_.Updating(plan);
    std::vector<int> rows(engine_.Items.size() + engine_.TimeOnlyItems.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    engine_.UpdateDryRun = request.DryRun;
    engine_.Update(request.Action, request.Force, rows, true, request.CompareAfter && !request.DryRun,
                   request.Backup && !request.DryRun);
    engine_.UpdateDryRun = false;
    result.Updated = true;
    const TKNPlanTotals& done = engine_.LastUpdate().Done;
    result.Changed = !request.DryRun && (done.FilesToCopy + done.Deletions() + done.FoldersToCreate +
                                             done.AttributeChanges + done.TimesToSet + done.Renames >
                                         0);
    result.Stopped = engine_.LastUpdate().Stopped;
    return result;
}

}  // namespace kn
