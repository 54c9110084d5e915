#include "engine/kn_unitCompareUpdate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePool.h"
#include "engine/kn_unitUpdateSchedule.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitPathBeneath.h"
#include "framework/vex_unitProgramFolder.h"
#include "framework/vex_unitThreads.h"

namespace kn {

std::string BackupFolderName(const std::string& programFolder, double now)
{
    vex::DateTimeFields f = vex::DecodeDateTime(now);
    char name[16];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d%02d%02d", f.year % 100, f.month, f.day, f.hour, f.minute,
                  f.second);
    return programFolder + "/" + name;
}

static bool PathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string MakeBackupFolder(const std::string& base)
{
    const std::string home = vex::FolderOfPath(base);
    for (std::size_t slash = 1; slash != std::string::npos; slash = home.find('/', slash + 1))
        mkdir(home.substr(0, slash).c_str(), 0777);
    mkdir(home.c_str(), 0777);
    std::string folder = base;
    for (int n = 2; mkdir(folder.c_str(), 0777) != 0; ++n) {
        if (errno != EEXIST || n > 10000)
            throw std::runtime_error(MsgCreateFolderFailed(folder, vex::ErrorText(errno)));
        folder = base + "-" + std::to_string(n);
    }
    return folder;
}

std::string NestedRootsProblem(const std::string& left, const std::string& right)
{
    const std::string l = vex::CanonicalPath(left), r = vex::CanonicalPath(right);
    if (l.empty() || r.empty()) return {};
    auto inside = [](const std::string& inner, const std::string& outer) {
        return inner == outer || vex::PathLiesBeneath(inner, outer);
    };
    auto message = [](const std::string& inner, const std::string& outer) {
        return "The folder \"" + inner + "\" lies inside \"" + outer + "\".";
    };
    if (inside(r, l)) return message(right, left);
    if (inside(l, r)) return message(left, right);
    return {};
}

TKNUpdateThread::TKNUpdateThread(TKNFileCompare& fileCompare, TKNAction direction, bool force, std::vector<int> indexes,
                                 bool backup)
    : FileCompare(fileCompare),
      Direction(direction),
      Force(force),
      Indexes(std::move(indexes)),
      Backup(backup),
      Reports(fileCompare, kMaxTransfers)
{
}

TKNUpdateThread::~TKNUpdateThread()
{
    Join();
}

void TKNUpdateThread::Start()
{
    Thread = std::thread([this] { Execute(); });
}

void TKNUpdateThread::Join()
{
    if (Thread.joinable()) Thread.join();
}

bool TKNUpdateThread::StopRequested() const
{
    return FileCompare.Stop != 0;
}

const TMyFileOpt* TKNUpdateThread::Row(int index) const
{
    const TMyFileOpt* row = FileCompare.RowAt(index);
    // What lies in a folder that could not be listed cannot be judged: no operation touches it.
    return row && row->Unlisted ? nullptr : row;
}

std::string TKNUpdateThread::Location(bool right) const
{
    return (right ? FileCompare.RightList : FileCompare.LeftList).Location();
}

std::unique_ptr<TKNSide> TKNUpdateThread::OpenWorkerSide(const std::string& location,
                                                         const TKNSideContext& context) const
{
    return FileCompare.OpenUpdateSide ? FileCompare.OpenUpdateSide(location, context) : OpenSide(location, context);
}

std::string TKNUpdateThread::Relative(const TKNFileRec& rec, bool right) const
{
    return RelativeToRoot(rec.Name.empty() ? rec.Path.str() : PathJoin(rec.Path, rec.Name),
                          (right ? FileCompare.RightList : FileCompare.LeftList).Folder);
}

void TKNUpdateThread::Record(const TKNOpEvent& event, const TMyFileOpt* row, const TKNPlannedOp& op,
                             const TKNUpdateFailure& failure)
{
    const bool failed = !failure.Message.empty();
    {
        std::lock_guard<std::mutex> lock(OutcomeLock);
        // A skip without a failure did nothing, for a reason the run has told once.
        if (failed)
            Outcome.Failures.push_back(failure);
        else if (event.Result != TKNOpResult::Skipped)
            row ? Outcome.Done.Add(*row, op) : Outcome.Done.AddStaleTemp();
    }
    Reports.Operation(event);
    if (failed) Reports.Error(failure.Message);
}

void TKNUpdateThread::Notice(const std::string& text)
{
    {
        std::lock_guard<std::mutex> lock(noticesLock_);
        if (std::find(notices_.begin(), notices_.end(), text) != notices_.end()) return;
        notices_.push_back(text);
    }
    Reports.Notice(text);
}

// Connects, carries out every job and disconnects in every case. Two local roots of which one
// holds the other are refused: a run would copy the tree into itself or delete the inner root.
void TKNUpdateThread::Passes()
{
    if (!IsRemoteLocation(Location(false)) && !IsRemoteLocation(Location(true))) {
        const std::string nested = NestedRootsProblem(FileCompare.GetLeftFolder(), FileCompare.GetRightFolder());
        if (!nested.empty()) throw std::runtime_error(nested);
    }
    // A two-way run may keep what it replaces whatever Backup says; an unused folder goes again.
    const bool twoWay = Direction == TKNAction::TwoWay && FileCompare.TwoWay;
    if ((Backup || twoWay) && !FileCompare.UpdateDryRun)
        BackupFolder = MakeBackupFolder(BackupFolderName(vex::ProgramFolder(), vex::Now()));
    struct EmptyBackupRemover {
        const std::string& folder;
        ~EmptyBackupRemover()
        {
            if (!folder.empty()) rmdir(folder.c_str());  // only when nothing was backed up
        }
    } emptyBackupRemover{BackupFolder};
    if (twoWay) {
        FileCompare.TwoWay->Carry(*this);
        return;
    }
    MakePlan();
    bool reads = false;
    std::vector<bool> grouped;
    const std::vector<std::vector<std::size_t>> stages = Stages(reads, grouped);
    // A dry run changes nothing and connects nothing: one worker tells the plan in its order.
    int workers = FileCompare.UpdateDryRun ? 1 : std::clamp(FileCompare.Transfers, 1, kMaxTransfers);
    workers = std::max(1, std::min(workers, static_cast<int>(WidestStage(stages))));
    TKNUpdatePool pool(*this, workers);
    pool.Run(stages, grouped, reads,
             [this](TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs) { CarryJobs(worker, jobs); });
}

// A failure that escapes the jobs (no side that could be reached, above all) ends the run
// early; it is reported like any failed operation, so a run that did nothing never looks done.
void TKNUpdateThread::Execute()
{
    std::string failure;
    try {
        Passes();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown error";
    }
    if (!failure.empty()) Reports.Error(failure);
    Finish();
}

// The end events, on the main thread: the follow-up comparison takes the engine's State over,
// or the State-0 report ends the run. A stopped run starts no comparison: whoever stopped it
// (the window closing, above all) would otherwise wait for a whole new scan.
void TKNUpdateThread::Finish()
{
    TKNFileCompare& engine = FileCompare;
    vex::Synchronize([this, &engine] {
        Reports.Drain();  // whatever the workers told last comes before the end
        {
            std::lock_guard<std::mutex> lock(OutcomeLock);
            Outcome.Stopped = StopRequested();
            // A backup folder is made only when something was backed up into it.
            if (!BackupFolder.empty() && PathExists(BackupFolder)) Outcome.BackupFolder = BackupFolder;
            *engine.lastUpdate_ = Outcome;
        }
        for (bool right : {false, true})
            if (modesNotKept_[right ? 1 : 0]) engine.modesNotKept_.insert(Location(right));
        if (engine.OnUpdateDone) engine.OnUpdateDone(&engine);
        if (engine.CompareAfterUpdate && !engine.LastUpdate().Stopped) {
            engine.State = 0;
            engine.CompareAfter(TouchedRows());
            return;
        }
        if (engine.OnProgress) engine.OnProgress(&engine, 0, std::string());
        engine.State = 0;
    });
}

// The rows the run acted on, whatever came of it: what the comparison after it lists again.
// A dry run changed nothing.
std::vector<const TMyFileOpt*> TKNUpdateThread::TouchedRows() const
{
    std::vector<const TMyFileOpt*> rows;
    if (FileCompare.UpdateDryRun) return rows;
    for (std::size_t position = 0; position < Plan.size(); ++position)
        if (!Plan[position].IsNothing()) rows.push_back(Row(Indexes[position]));
    return rows;
}

// --- The engine's entry ---------------------------------------------------------------------

void TKNFileCompare::Update(TKNAction Direction, bool Force, const std::vector<int>& Indexes, bool Wait,
                            bool AfterUpdate, bool Backup)
{
    // The rows must not change under a run: nothing starts while a comparison or update runs.
    if (State != 0) return;
    // The previous run has reported its end (State 0); its thread is at most returning.
    if (updateThread_) updateThread_->Join();
    Stop = 0;
    *lastUpdate_ = TKNUpdateOutcome{};
    CompareAfterUpdate = AfterUpdate;
    State = 4;
    if (OnUpdateStart) OnUpdateStart(this);
    updateThread_ = std::make_shared<TKNUpdateThread>(*this, Direction, Force, Indexes, Backup);
    updateThread_->Start();
    if (Wait) WaitIdle();
}

}  // namespace kn
