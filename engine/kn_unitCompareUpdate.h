// The update run, the one executor of every action: the list of operations (kn_unitUpdateOp.h)
// that the one-way rules make of the chosen rows, or that a two-way run planned, with the
// backups that keep what it replaces, carried out on a worker thread with a pool of
// TKNUpdateWorkers (kn_unitUpdatePool.h), each with its own pair of sides (kn_unitUpdate.h), in
// the stages kn_unitUpdateSchedule.h orders. A run that keeps a state (two-way) hears of every
// operation that ended from a completion hook, on the worker that carried it. Progress,
// operation events, failures and notices reach the engine's events on the main thread in
// batches (kn_unitUpdateReports.h), without making a worker wait; only the end of the run waits.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdateOp.h"
#include "engine/kn_unitUpdatePlan.h"
#include "engine/kn_unitUpdateReports.h"
#include "framework/vex_unitRateLimit.h"

namespace kn {

class TKNUpdateThread {
public:
    TKNUpdateThread(TKNFileCompare& fileCompare, TKNAction direction, bool force, std::vector<int> indexes,
                    bool backup);
    ~TKNUpdateThread();
    TKNUpdateThread(const TKNUpdateThread&) = delete;
    TKNUpdateThread& operator=(const TKNUpdateThread&) = delete;

    void Start();
    // Waits for the thread's end (the owner calls it; never from the thread itself).
    void Join();

    // What the workers need from their run; every one may be called from any worker.
    bool StopRequested() const;
    // The location a side was compared at, with its options: what the registry opens.
    std::string Location(bool right) const;
    // A side for a worker: the engine's OpenUpdateSide where set, else the registry's.
    std::unique_ptr<TKNSide> OpenWorkerSide(const std::string& location, const TKNSideContext& context) const;
    // The record's path below its side's root, "/"-joined without a leading "/".
    std::string Relative(const TKNFileRec& rec, bool right) const;
    // The end of operation `index`: its result for those that wait for it, its event, the
    // outcome's count (as done, or as `failure` when that has a message; a Skipped event without
    // one is not counted), and the completion hook with what it left (`facts`). A backup that
    // was made raises no event: it is part of the replacement that waited for it.
    void Record(std::size_t index, const TKNOpEvent& event, const TKNUpdateFailure& failure, const TKNOpFacts& facts);
    // Whether operation `index` ended done (or planned, in a dry run).
    bool Succeeded(std::size_t index) const;
    // How operation `index` ended; nothing while it has not (or never will, the run stopped).
    std::optional<TKNOpResult> Result(std::size_t index) const;
    // A state is kept from this run's operations (a two-way run that changes things): copies
    // are hashed and their written entries learned for the completion hook.
    bool KeepsState() const { return static_cast<bool>(OnOpEnded); }
    // Raises OnNotice with `text`, unless this run has given that text already.
    void Notice(const std::string& text);
    // The side `right` was found not to keep permission bits: the engine remembers it when the
    // run ends, so the comparisons after it show no permission difference there.
    void ModesNotKept(bool right) { modesNotKept_[right ? 1 : 0] = true; }
    // False once any worker found the side `right` not to keep permission bits.
    bool KeepsModes(bool right) const { return !modesNotKept_[right ? 1 : 0]; }

    TKNFileCompare& FileCompare;
    const TKNAction Direction;
    const bool Force;
    const std::vector<int> Indexes;
    // The operations of the run, in their order; fixed once the workers start.
    std::vector<TKNOp> Ops;
    // Called on the worker after each operation that ended done, with what it left (any
    // thread, one call at a time per operation); set by a run that keeps a state.
    std::function<void(std::size_t index, const TKNOpFacts& facts)> OnOpEnded;
    const bool Backup;
    std::string BackupFolder;
    // Row progress, byte progress, events, failures and notices of every worker.
    TKNUpdateReports Reports;
    // The engine's bandwidth limit for all workers together; null without one.
    const std::unique_ptr<vex::TRateLimit> Bandwidth;
    // What the run has done so far; every worker records here, under the lock.
    std::mutex OutcomeLock;
    TKNUpdateOutcome Outcome;

private:
    void Execute();
    void CheckRoots() const;
    void Passes();
    // The one-way operations of the chosen rows and the removal of the left-over temporary
    // files of the sides the action writes.
    void MakePlan();
    void NoticeLinksNotHeld();
    // The positions of Ops in the stages the schedule gives them; `grouped` tells for each
    // whether it may be carried in a group of copies.
    std::vector<std::vector<std::size_t>> Stages(bool& reads, std::vector<bool>& grouped) const;
    // One job, or a group of copies.
    void CarryJobs(TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs);
    void Finish();
    // The folders (relative to the roots, "" the root) whose listings the run's operations
    // changed, done, failed or skipped alike: what the comparison after it lists again.
    std::vector<std::string> TouchedFolders() const;

    std::atomic<bool> modesNotKept_[2] = {false, false};
    // How each operation of Ops ended: a TKNOpResult, or kNotEnded.
    static constexpr uint8_t kNotEnded = 0xFF;
    std::unique_ptr<std::atomic<uint8_t>[]> results_;
    std::mutex noticesLock_;
    std::vector<std::string> notices_;  // the texts Notice gave
    std::thread Thread;
};

// Makes a run's backup folder at `base` (mode 0700) and returns it. Two runs within one second
// would share one, and the second would overwrite the first one's backups: mkdir itself decides,
// so a later run (in this process or another) takes "-2", "-3", ... instead. The folder holding
// `base` is made if missing, also 0700. Throws with the failure message when no folder can be
// made.
std::string MakeBackupFolder(const std::string& base);

// Backup folder of a run started at `now` (local date-time): <program folder>/yymmddhhnnss.
std::string BackupFolderName(const std::string& programFolder, double now);

}  // namespace kn
