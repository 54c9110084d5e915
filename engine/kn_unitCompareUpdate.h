// The update run: carries out the chosen rows of a comparison result on a worker thread with a
// pool of TKNUpdateWorkers (kn_unitUpdatePool.h), each with its own pair of sides (see
// kn_unitUpdate.h), in the stages kn_unitUpdateSchedule.h orders. Progress, operation events,
// failures and notices reach the engine's events on the main thread in batches
// (kn_unitUpdateReports.h), without making a worker wait; only the end of the run waits.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdatePlan.h"
#include "engine/kn_unitUpdateReports.h"

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
    // The end of one operation: its event, and the outcome counts it (as done for a row `row`
    // or a left-over temporary when `row` is null, or as `failure` when it has a message; a
    // Skipped event without one is not counted).
    void Record(const TKNOpEvent& event, const TMyFileOpt* row, const TKNPlannedOp& op,
                const TKNUpdateFailure& failure);
    // Raises OnNotice with `text`, unless this run has given that text already.
    void Notice(const std::string& text);
    // The side `right` was found not to keep permission bits: the engine remembers it when the
    // run ends, so the comparisons after it show no permission difference there.
    void ModesNotKept(bool right) { modesNotKept_[right ? 1 : 0] = true; }
    // False once any worker found the side `right` not to keep permission bits.
    bool KeepsModes(bool right) const { return !modesNotKept_[right ? 1 : 0]; }

    // The row at `index` for the run to act on: null for a position outside the result and
    // for a row marked Unlisted, which no operation may touch.
    const TMyFileOpt* Row(int index) const;

    TKNFileCompare& FileCompare;
    const TKNAction Direction;
    const bool Force;
    const std::vector<int> Indexes;
    // The planned operation of each position of Indexes (Nothing for a position without a row).
    std::vector<TKNPlannedOp> Plan;
    const bool Backup;
    std::string BackupFolder;
    // Row progress, byte progress, events, failures and notices of every worker.
    TKNUpdateReports Reports;
    // What the run has done so far; every worker records here, under the lock.
    std::mutex OutcomeLock;
    TKNUpdateOutcome Outcome;

private:
    // A left-over temporary file of the written side `Right` to remove.
    struct TStaleTemp {
        bool Right = false;
        std::string Relative;
    };

    void Execute();
    void Passes();
    void MakePlan();
    // The jobs of the run, in the stages the schedule gives them: the rows' positions of
    // Indexes, then the left-over temporaries (positions from Indexes.size() on); `grouped`
    // tells for each job whether it may be carried in a group of copies.
    std::vector<std::vector<std::size_t>> Stages(bool& reads, std::vector<bool>& grouped) const;
    // One job, or a group of copies.
    void CarryJobs(TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs);
    void Finish();
    std::vector<const TMyFileOpt*> TouchedRows() const;

    std::atomic<bool> modesNotKept_[2] = {false, false};
    std::vector<TStaleTemp> staleTemps_;
    std::mutex noticesLock_;
    std::vector<std::string> notices_;  // the texts Notice gave
    std::thread Thread;
};

// "The folder "%s" lies inside "%s"." when one local root is, or lies inside, the other
// (links resolved); empty otherwise.
std::string NestedRootsProblem(const std::string& left, const std::string& right);

// Makes a run's backup folder at `base` and returns it. Two runs within one second would share
// one, and the second would overwrite the first one's backups: mkdir itself decides, so a later
// run (in this process or another) takes "-2", "-3", ... instead. The folder holding `base` is
// made if missing. Throws with the failure message when no folder can be made.
std::string MakeBackupFolder(const std::string& base);

// Backup folder of a run started at `now` (local date-time): <program folder>/yymmddhhnnss.
std::string BackupFolderName(const std::string& programFolder, double now);

}  // namespace kn
