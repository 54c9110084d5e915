// The run layer both programs call between "compare, and maybe update, these two roots" and the
// engine, so that every rule holds alike for kestrune-cli's compare, update and batch and for
// the window's commands and batches:
// - each server location with a user and no password gets one from the observer;
// - the roots are identified by what they are (kn_unitRootIdentity.h): a missing local root,
//   and two roots that are one folder or lie one inside the other, refuse the run before
//   anything is changed (the check is made again once the comparison has connected both);
// - one run per pair of roots (kn_unitRunLock.h): a second one is refused, naming the first,
//   or waits for it; the run's temporary files carry the pair's tag;
// - a server not trusted yet is offered to the observer, and recorded when it says yes;
// - one mass-deletion guard (CheckDeletionGuard) for every action;
// - two-way runs plan against the state of the pair, keyed by the roots' identities.
//
// Errors: a refused run ends with TKNRunResult::Refusal set and nothing changed; a comparison
// that failed with Compared false and the engine's ErrorText; failures of operations are in
// the engine's LastUpdate. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitRootIdentity.h"
#include "engine/kn_unitRunLock.h"
#include "engine/kn_unitTwoWayPlan.h"
#include "side/kn_unitSideKind.h"

namespace kn {

// One request: what to compare, and what to do with the result.
struct TKNRunRequest {
    std::string Left, Right;  // the locations (a server's password may be missing)
    TKNOptionsRec Options;    // the comparison's settings (its folders are Left and Right)
    bool Update = true;       // false: compare only
    TKNAction Action = TKNAction::Auto;
    bool Force = false;
    bool Backup = false;
    bool DryRun = false;
    std::optional<int> Transfers;           // unset: the options'
    std::optional<int64_t> BandwidthLimit;  // bytes per second, 0 for none; unset: the options'
    std::optional<int64_t> MaxDelete;       // the deletions the run may make; unset: the guard's share
    TKNConflictPolicy Conflict = TKNConflictPolicy::KeepBoth;
    bool Wait = false;  // wait for a run in progress of the pair instead of being refused
    bool CompareAfter = true;
    std::string StateFile;  // two-way: the state database; empty: the program folder's
};

// What the layer asks and tells on the way; every answer has a refusing default.
class TKNRunObserver {
public:
    virtual ~TKNRunObserver() = default;
    // `location` with its password put in when one can be had; as it is otherwise.
    virtual std::string SupplyPassword(const std::string& location) { return location; }
    // A server of `folder` is not trusted yet: true to record `identity` as trusted.
    virtual bool TrustServer(const std::string& /*folder*/, const TKNServerIdentity& /*identity*/) { return false; }
    // The plan deletes `deletes` of the `entries` of `folder`: true to go on.
    virtual bool AllowMassDeletion(int64_t /*deletes*/, int64_t /*entries*/, const std::string& /*folder*/)
    {
        return false;
    }
    // The comparison has ended well; the update has not begun (a two-way plan is made). False
    // ends the run here, nothing refused (a plan only shown).
    virtual bool Compared(const TKNFileCompare& /*engine*/) { return true; }
    // The update is about to start with these totals.
    virtual void Updating(const TKNPlanTotals& /*plan*/) {}
};

struct TKNRunResult {
    std::string Refusal;  // why nothing was changed (roots, lock, guard, a two-way refusal)
    bool Compared = false;
    bool Updated = false;  // an update was carried out (or, dry, reported)
    bool Changed = false;  // the update did something to a side
    bool Stopped = false;
};

// The mass-deletion guard. `deletes` and `entries` per side (left, right; for a two-way run the
// larger of what a side holds and what the state remembers there): with `maxDelete` the run
// may delete that many entries on both sides together and no more; without, a side that would
// lose more than 10 entries and more than half of its entries trips it (the window may ask).
struct TKNGuardTrip {
    bool Tripped = false;
    bool OverMax = false;  // beyond --max-delete: never asked
    bool Right = false;    // the side that trips
    int64_t Deletes = 0, Entries = 0;
};
TKNGuardTrip CheckDeletionGuard(const int64_t deletes[2], const int64_t entries[2], std::optional<int64_t> maxDelete);
// The refusal in words, e.g. "The update would delete 200 of the 201 entries of "R"; nothing was
// changed (give --max-delete to allow it)."
std::string GuardRefusal(const TKNGuardTrip& trip, const std::string& folder, std::optional<int64_t> maxDelete);

class TKNRun {
public:
    TKNRun(TKNFileCompare& engine, TKNRunObserver& observer) : engine_(engine), observer_(observer) {}

    // Compares and, as asked, updates, waiting for both while serving the hand-over queue.
    TKNRunResult Execute(const TKNRunRequest& request);

    // The steps, for a front end that takes them one at a time (the window's interactive runs).
    // The identities of both roots, and why they must not be run together; empty when they may.
    // With `connect`, two folders on servers are asked what they are (a login each, which the
    // comparison's sides take over); without, a local folder that cannot be reached is no
    // problem here either (the comparison tells why).
    std::string CheckRoots(const std::string& left, const std::string& right, bool connect = true);
    // What root `right` (or the left one) was found to be by the last CheckRoots.
    const TKNRootIdentity& Identity(bool right) const { return identities_[right ? 1 : 0]; }
    // The lock of the pair (CheckRoots first); empty when it is taken, else why not.
    std::string Lock(bool wait);
    void Unlock();
    // After a failed comparison whose server is not trusted yet: asks the observer, records its
    // yes; true when a server was recorded (compare again).
    bool OfferTrust();
    // The guard over the plan of the engine's last comparison under `action` (`totals`): empty
    // when the run may go on, else the refusal.
    std::string Guard(const TKNPlanTotals& totals, TKNAction action, std::optional<int64_t> maxDelete);

private:
    std::string Shown(bool right) const;
    void SetUp(const TKNRunRequest& request);
    bool CompareTrusting();
    std::string PlanRefusal(const TKNRunRequest& request, TKNPlanTotals& plan);

    TKNFileCompare& engine_;
    TKNRunObserver& observer_;
    std::string locations_[2];
    TKNRootIdentity identities_[2];
    std::unique_ptr<TKNRunLock> lock_;
};

}  // namespace kn
