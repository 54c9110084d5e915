// The update run: carries out the chosen rows of a comparison result on a worker thread, in
// three passes (folders and attributes, files, deletion of folders), optionally with two
// sub-workers for the file pass, through one provider per copy direction. Progress, failures
// and the end reach the engine's events on the main thread.
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

class TKNUpdateThread;

// One worker's view of a run: the provider pair it uses and how it reports. The update thread
// has one; in multiple-thread mode each sub-worker has its own.
class TKNUpdateWorker {
public:
    TKNUpdateWorker(TKNUpdateThread& run, TKNUpdateProvider& lr, TKNUpdateProvider& rl)
        : Run(run), ProviderLR(lr), ProviderRL(rl)
    {
    }

    // Carries out the planned operation of one row (never Nothing).
    void Carry(const TMyFileOpt& row, const TKNPlannedOp& op);
    // Raises the row progress for the path the provider is about to write or delete.
    void ProgressStep(TKNUpdateProvider& provider, const std::string& path);
    // Reports the provider's ErrorText and records the failure.
    void FailureStep(TKNUpdateProvider& provider, TKNOperation op, const std::string& source,
                     const std::string& target);

    TKNUpdateThread& Run;
    TKNUpdateProvider& ProviderLR;
    TKNUpdateProvider& ProviderRL;

private:
    // Runs one operation between its progress and failure steps and counts its success.
    template <class Operation>
    void Step(TKNUpdateProvider& provider, const TMyFileOpt& row, const TKNPlannedOp& op, const std::string& source,
              const std::string& target, Operation operation);
};

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

    // What providers need from their owner.
    bool StopRequested() const;
    const std::string& LeftRoot() const { return LeftRootText; }
    const std::string& RightRoot() const { return RightRootText; }
    void ReportFileProgress(const TKNUpdateProvider& provider);
    // Raises OnNotice with `text`, unless this run has given that text already.
    void Notice(const std::string& text);

    // Destination of an entry of side `source` (root `sourceRoot`) written to the side with
    // root `destRoot`: destRoot + the entry's full path after sourceRoot.
    static std::string Destination(const TKNFileRec& source, const std::string& sourceRoot,
                                   const std::string& destRoot);
    const std::string& RootOf(bool right) const { return right ? RightRootText : LeftRootText; }
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

    std::unique_ptr<TKNUpdateProvider> ProviderLR, ProviderRL, ProviderLR2, ProviderRL2;

private:
    void Execute();
    void Passes();
    void CreateProviders(bool multi);
    void RemoveStaleTempFiles(TKNUpdateWorker& worker);
    void MakePlan();
    // Carries out, in Indexes order, the planned operations that `wanted` picks.
    template <class Wanted>
    void CarryOut(TKNUpdateWorker& worker, Wanted wanted);
    void FolderPass(TKNUpdateWorker& worker);
    void FilePass(TKNUpdateWorker& worker);
    void MultiThreadFilePass();
    void DeletePass(TKNUpdateWorker& worker);
    void Finish();

    std::string LeftRootText, RightRootText;
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
