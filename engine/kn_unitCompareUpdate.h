// The update run: carries out the chosen rows of a comparison result on a worker thread, in
// three passes (folders and attributes, files, deletion of folders), optionally with two
// sub-workers for the file pass, each a TKNUpdateWorker with its own pair of sides (see
// kn_unitUpdate.h). Progress, operation events, failures and the end reach the engine's
// events on the main thread; only failures and the end make a worker wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdatePlan.h"

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
    // The record's path below its side's root, "/"-joined without a leading "/".
    std::string Relative(const TKNFileRec& rec, bool right) const;
    // An operation on the written side's `shown` path begins: the row progress.
    void ReportStep(const std::string& shown);
    // Bytes of the transfer in work: the file progress.
    void ReportBytes(const std::string& shown, int64_t total, int64_t done);
    // The end of one operation: its event, and the outcome counts it (as done for a row `row`
    // or a left-over temporary when `row` is null, or as `failure` when it has a message).
    void Record(const TKNOpEvent& event, const TMyFileOpt* row, const TKNPlannedOp& op,
                const TKNUpdateFailure& failure);
    // What a dry run would do, in words (OnDryRunOperation).
    void TellDryRun(const std::string& text);
    // Raises OnNotice with `text`, unless this run has given that text already.
    void Notice(const std::string& text);

    // The row at `index` for the passes to act on: null for a position outside the result and
    // for a row marked Unlisted, which no pass may touch.
    const TMyFileOpt* Row(int index) const;

    TKNFileCompare& FileCompare;
    const TKNAction Direction;
    const bool Force;
    const std::vector<int> Indexes;
    // The planned operation of each position of Indexes (Nothing for a position without a row).
    std::vector<TKNPlannedOp> Plan;
    const bool Backup;
    std::string BackupFolder;

    // Written only on the main thread, inside the hand-over of a report.
    std::string CurrentName;
    std::string ErrorText;
    int64_t TransferDone = 0;
    int64_t TransferTotal = 0;
    // Operations begun so far; both sub-workers count here.
    std::atomic<int> DoneCount{0};
    // Next position of Indexes for a sub-worker; taken one at a time, each exactly once.
    std::atomic<int> NextIndex{0};
    // What the run has done so far; both sub-workers record here, under the lock.
    std::mutex OutcomeLock;
    TKNUpdateOutcome Outcome;

private:
    void Execute();
    void Passes();
    void RemoveStaleTempFiles(TKNUpdateWorker& worker);
    void MakePlan();
    // Carries out, in Indexes order, the planned operations that `wanted` picks.
    template <class Wanted>
    void CarryOut(TKNUpdateWorker& worker, Wanted wanted);
    void FolderPass(TKNUpdateWorker& worker);
    void FilePass(TKNUpdateWorker& worker);
    void MultiThreadFilePass(TKNUpdateWorker& first);
    void DeletePass(TKNUpdateWorker& worker);
    void Finish();
    std::vector<const TMyFileOpt*> TouchedRows() const;

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
