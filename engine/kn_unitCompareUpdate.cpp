#include "engine/kn_unitCompareUpdate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "engine/kn_unitRootIdentity.h"
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
    // Private: the backups hold names and contents of whatever folders they come from; the
    // folders inside take the modes of the folders they stand for.
    const std::string home = vex::FolderOfPath(base);
    for (std::size_t slash = 1; slash != std::string::npos; slash = home.find('/', slash + 1))
        mkdir(home.substr(0, slash).c_str(), 0700);
    mkdir(home.c_str(), 0700);
    std::string folder = base;
    for (int n = 2; mkdir(folder.c_str(), 0700) != 0; ++n) {
        if (errno != EEXIST || n > 10000)
            throw std::runtime_error(MsgCreateFolderFailed(folder, vex::ErrorText(errno)));
        folder = base + "-" + std::to_string(n);
    }
    return folder;
}

TKNUpdateThread::TKNUpdateThread(TKNFileCompare& fileCompare, TKNAction direction, bool force, std::vector<int> indexes,
                                 bool backup)
    : FileCompare(fileCompare),
      Direction(direction),
      Force(force),
      Indexes(std::move(indexes)),
      Backup(backup),
      Reports(fileCompare, kMaxTransfers),
      Bandwidth(fileCompare.BandwidthLimit > 0 ? std::make_unique<vex::TRateLimit>(fileCompare.BandwidthLimit)
                                               : nullptr)
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

void TKNUpdateThread::Record(std::size_t index, const TKNOpEvent& event, const TKNUpdateFailure& failure,
                             const TKNOpFacts& facts)
{
    const TKNOp& op = Ops[index];
    const bool failed = !failure.Message.empty();
    const bool done = event.Result == TKNOpResult::Done || event.Result == TKNOpResult::Planned;
    results_[index] = static_cast<uint8_t>(event.Result);
    {
        std::lock_guard<std::mutex> lock(OutcomeLock);
        // A skip without a failure did nothing, for a reason the run has told once.
        if (failed)
            Outcome.Failures.push_back(failure);
        else if (event.Result != TKNOpResult::Skipped)
            CountOp(Outcome.Done, op);
    }
    if (event.Result == TKNOpResult::Done && OnOpEnded) OnOpEnded(index, facts);
    if (op.Op != TKNOperation::Backup || !done) Reports.Operation(event);
    if (failed) Reports.Error(failure.Message);
}

bool TKNUpdateThread::Succeeded(std::size_t index) const
{
    const std::optional<TKNOpResult> result = Result(index);
    return result == TKNOpResult::Done || result == TKNOpResult::Planned;
}

std::optional<TKNOpResult> TKNUpdateThread::Result(std::size_t index) const
{
    if (index >= Ops.size() || results_[index] == kNotEnded) return std::nullopt;
    return static_cast<TKNOpResult>(results_[index].load());
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

// Roots that are one folder, or of which one holds the other, are refused whoever started the
// run: it would copy a tree into itself or delete the inner root. The roots are known by what
// they are: locally by device and inode, on a server by what its side told the comparison.
void TKNUpdateThread::CheckRoots() const
{
    TKNRootIdentity roots[2];
    for (bool right : {false, true}) {
        const TKNFileBuffer& list = right ? FileCompare.RightList : FileCompare.LeftList;
        std::string error;
        if (list.IsRemote())
            roots[right ? 1 : 0] = SideRootIdentity(list.Location(), list.Provider->SideIdentity());
        else if (!RootIdentityOf(list.Location(), roots[right ? 1 : 0], error))
            return;  // each operation there fails with its own message
    }
    const std::string problem =
        RootsProblem(roots[0], roots[1], HideLocationPasswords(Location(false)), HideLocationPasswords(Location(true)));
    if (!problem.empty()) throw std::runtime_error(problem);
}

// Connects, carries out every job and disconnects in every case. A run with nothing to do
// reaches no side.
void TKNUpdateThread::Passes()
{
    CheckRoots();
    const bool twoWay = Direction == TKNAction::TwoWay && FileCompare.TwoWay;
    if (twoWay)
        FileCompare.TwoWay->Prepare(*this);
    else
        MakePlan();
    NoticeLinksNotHeld();
    ProtectEdits(Ops, Backup);
    // Not in two-way runs: their state learns each copy's hash from its bytes.
    if (!twoWay) {
        bool hardLinks[2];
        for (bool right : {false, true}) {
            const TKNSideCaps* caps = (right ? FileCompare.RightList : FileCompare.LeftList).Provider->SideCaps();
            hardLinks[right ? 1 : 0] = caps && caps->HardLinks;
        }
        JoinHardLinks(Ops, hardLinks);
    }
    results_ = std::make_unique<std::atomic<uint8_t>[]>(Ops.size());
    for (std::size_t i = 0; i < Ops.size(); ++i) results_[i] = kNotEnded;
    {
        std::lock_guard<std::mutex> lock(OutcomeLock);
        Outcome.Planned = OpTotals(Ops);
    }
    const bool backups =
        std::any_of(Ops.begin(), Ops.end(), [](const TKNOp& op) { return op.Op == TKNOperation::Backup; });
    if (backups && !FileCompare.UpdateDryRun)
        BackupFolder = MakeBackupFolder(BackupFolderName(vex::ProgramFolder(), vex::Now()));
    struct EmptyBackupRemover {
        const std::string& folder;
        ~EmptyBackupRemover()
        {
            if (!folder.empty()) rmdir(folder.c_str());  // only when nothing was backed up
        }
    } emptyBackupRemover{BackupFolder};
    bool reads = false;
    std::vector<bool> grouped;
    const std::vector<std::vector<std::size_t>> stages = Stages(reads, grouped);
    if (!stages.empty()) {
        // A dry run changes nothing and connects nothing: one worker tells the plan in its order.
        int workers = FileCompare.UpdateDryRun ? 1 : std::clamp(FileCompare.Transfers, 1, kMaxTransfers);
        workers = std::max(1, std::min(workers, static_cast<int>(WidestStage(stages))));
        TKNUpdatePool pool(*this, workers);
        pool.Run(stages, grouped, reads,
                 [this](TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs) { CarryJobs(worker, jobs); });
    }
    if (twoWay) FileCompare.TwoWay->Carried(*this);
}

// The links a run leaves out because the side it would make them on holds none: said once.
void TKNUpdateThread::NoticeLinksNotHeld()
{
    const TKNPairCaps caps = PairCapsOf(FileCompare);
    for (bool right : {false, true}) {
        if (!WritesSide(Direction, right) || caps.Of(right).Links) continue;
        int64_t links = 0;
        for (int index : Indexes)
            if (const TMyFileOpt* row = FileCompare.RowAt(index);
                row && (right ? row->Left : row->Right).Link &&
                PlanRow(*row, Direction, Force, caps).Reason == TKNSkipReason::NoLinks)
                ++links;
        if (links > 0)
            Notice(std::to_string(links) + " symbolic link(s) left out: " +
                   Quoted(HideLocationPasswords(Location(right))) + " cannot hold links.");
    }
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
            engine.CompareAfter(TouchedFolders());
            return;
        }
        if (engine.OnProgress) engine.OnProgress(&engine, 0, std::string());
        engine.State = 0;
    });
}

// The folders whose listings hold what the run acted on, whatever came of it: a file's
// folder, a folder's parent, for the old and the new path of a rename. A dry run changed
// nothing.
std::vector<std::string> TKNUpdateThread::TouchedFolders() const
{
    std::vector<std::string> folders;
    if (FileCompare.UpdateDryRun) return folders;
    auto listing = [](const std::string& path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : "/" + path.substr(0, slash);
    };
    for (const TKNOp& op : Ops) {
        if (!ChangesSide(op.Op) || op.Op == TKNOperation::Backup) continue;
        folders.push_back(listing(op.Path));
        if (!op.NewPath.empty()) folders.push_back(listing(op.NewPath));
    }
    return folders;
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
