// A two-way run over a comparison: the plan of kn_unitTwoWayPlan.h made from the comparison's
// own listings and the state of the last synchronisation, the decision it shows for each result
// row, and the update that carries the plan out on the one executor (kn_unitCompareUpdate.h):
// its operations are the executor's list, carried on its pool of workers, and the state is
// written from the executor's completion hook as each operation ends done.
//
// Use: set TKNFileCompare::TwoWay to a run, then Compare. The comparison reads the state while
// it scans, and plans before it empties its listings; once it has ended (State 0), Ready() says
// whether a plan was made. Update(TKNAction::TwoWay, ...) carries the plan out; a dry run
// reports every operation and changes nothing, the state included. A plan carried out is spent:
// a new comparison makes the next one.
//
// Threads: Begin and Listed run on the compare thread, Prepare and Carried on the update
// thread, the completion hook on the workers; everything else on the main thread while the
// engine is idle.
//
// Errors: Problem() says why no plan could be made (the state could not be read, a side could
// not be read for the hashes); Refusal() why a plan must not run (the run then changes nothing
// and ends with exit status 2). Operations report through the engine's usual events.
#pragma once

#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSyncState.h"
#include "engine/kn_unitTwoWayPlan.h"
#include "engine/kn_unitUpdatePlan.h"

namespace kn {

class TKNUpdateThread;

// What a two-way run needs besides the comparison's options.
struct TKNTwoWaySettings {
    std::string StateFile;  // the state database; empty: DefaultStateFile()
    TKNConflictPolicy Policy = TKNConflictPolicy::KeepBoth;
    // What the roots are (TKNRootIdentity::Key), which key the state; empty: their texts.
    std::string Roots[2];
};

// A row's two-way decision, for the plan column: what happens at its path (Rename or CopyWithin
// a move there, Conflict one settled as Policy says) and on which side.
struct TKNTwoWayRowDecision {
    TKNOperation Op = TKNOperation::Nothing;
    bool WritesRight = false;
    // E.g. "Copy left to right", "Delete on the right", "Move on the right: a.txt -> b.txt",
    // "Conflict: keep both (the older right as a.conflict-20240102-030405.txt)",
    // "Conflict: skipped (both have the same time)", "Kept: a side cannot tell".
    std::string Text;
    // For a conflict: how it is settled now (SettleConflict changes it).
    TKNConflictPolicy Policy = TKNConflictPolicy::KeepBoth;
};

// What a carried-out two-way run did, beside the engine's LastUpdate.
struct TKNTwoWayOutcome {
    std::string Refusal;     // the run was refused: nothing was changed
    std::string StateError;  // the state could not be written (the run stopped there)
    int64_t Skipped = 0;     // operations skipped: an entry changed since the comparison, or what
                             // keeps the version they replace could not be made
    int64_t Failed = 0;      // operations that failed
    bool ConflictsLeftOpen = false;
    int64_t LeftAlone = 0;  // paths a side could not tell, left unsettled
    // 2 refused; 1 an operation failed or was skipped, a conflict was kept both ways or
    // skipped, paths were left unsettled, or the state could not be written; else 0.
    int ExitStatus() const;
};

class TKNTwoWayRun {
public:
    // `options` are the comparison's (they key the state with both roots).
    TKNTwoWayRun(const TKNOptionsRec& options, TKNTwoWaySettings settings);
    ~TKNTwoWayRun();
    TKNTwoWayRun(const TKNTwoWayRun&) = delete;
    TKNTwoWayRun& operator=(const TKNTwoWayRun&) = delete;

    // --- After the comparison (main thread, engine idle) ---------------------------------------

    // A plan was made by the last comparison.
    bool Ready() const { return ready_; }
    // Why no plan was made; empty when one was.
    const std::string& Problem() const { return problem_; }
    // Why the plan must not run (a root that lists empty or missing while the state remembers
    // entries there); empty when it may. The mass-deletion guard is the run layer's, as for
    // every action (kn_unitRun.h).
    std::string Refusal() const;
    // How many entries the state remembers of the pair.
    int64_t Remembered() const { return static_cast<int64_t>(state_.size()); }
    // No state was found for these roots under these options: nothing is deleted.
    bool FirstRun() const { return firstRun_; }
    const TKNTwoWayPlan& Plan() const { return plan_; }
    // The confirmation's counts in words (TwoWaySummary).
    std::string Summary() const { return TwoWaySummary(plan_.Totals); }
    // The plan as a dry run prints it (TwoWayPlanText).
    std::string PlanText() const { return TwoWayPlanText(plan_); }

    // The decision of the engine's row `index` (as RowAt takes it); Nothing outside the result.
    TKNTwoWayRowDecision RowDecision(const TKNFileCompare& engine, int index) const;
    // The row's path relative to both roots ("/"-joined).
    static std::string RowPath(const TKNFileCompare& engine, const TMyFileOpt& row);
    // Settles the conflict at `path` by `policy` instead of the run's, and plans again; false
    // when `path` is no conflict of the plan.
    bool SettleConflict(const std::string& path, TKNConflictPolicy policy);

    // What the last Carry did.
    const TKNTwoWayOutcome& Outcome() const { return outcome_; }

    // --- The engine's hooks -------------------------------------------------------------------

    // A comparison of `engine` begins (compare thread, before the scans): the scans keep what
    // their filters leave out, and the state is read beside them.
    void Begin(TKNFileCompare& engine);
    // Both listings are complete and not yet emptied (compare thread): the plan is made. Not
    // called for a comparison that failed or was stopped (the run then has no plan).
    void Listed(const TKNFileCompare& engine);
    // Hands the plan's operations, with their pairs, and the removal of the left-over temporary
    // files of both sides to the executor `run`, and hooks the state's writing to their ends
    // (update thread, before the workers start). Throws with the message when the plan must
    // not run.
    void Prepare(TKNUpdateThread& run);
    // The workers have ended: what is pending is written, then the pairs found equal and the
    // paths gone from both sides, and the plan is spent. Throws when the state cannot be
    // written.
    void Carried(TKNUpdateThread& run);

private:
    struct TSideKept;
    class TRecorder;
    void PlanFrom(const TKNFileCompare& engine);
    void MakePlan();
    void DotNamesUnknown(TKNTwoWaySide& hiding, const TKNTwoWaySide& other) const;
    bool ReadHashes(const TKNFileCompare& engine);
    void KeepRecords(const TKNFileCompare& engine);
    const TMyFileOpt* PairOf(const TKNOp& op);
    int64_t Unsettled() const;
    void IndexRows();

    const TKNOptionsRec options_;
    const TKNTwoWaySettings settings_;
    TKNSyncState db_;
    bool dbOpen_ = false;
    TKNStateKey key_;
    std::future<bool> loading_;
    std::vector<TKNStateEntry> state_;
    std::string loadError_;
    TKNStateMatch match_ = TKNStateMatch::None;
    int ignoreHours_ = 0;
    TKNTwoWaySide sides_[2];
    std::map<std::string, TKNConflictPolicy, std::less<>> settled_;
    TKNTwoWayPlan plan_;
    std::unordered_map<std::string, TKNTwoWayRowDecision> rows_;
    std::unique_ptr<TSideKept> kept_[2];
    TKNSideCaps caps_[2];
    std::vector<std::string> leftOut_[2];  // the paths each side's filters left out
    // The pairs the operations act on (both sides' records at a path), and the state's writer.
    std::unordered_map<std::string, std::unique_ptr<TMyFileOpt>> pairs_;
    std::unique_ptr<TRecorder> recorder_;
    bool ready_ = false;
    bool firstRun_ = false;
    std::string problem_;
    TKNTwoWayOutcome outcome_;
};

}  // namespace kn
