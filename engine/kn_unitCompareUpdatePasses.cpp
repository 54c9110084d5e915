// The three passes of an update run. Each only carries out what PlanRow decided for its rows:
// the folder pass creates folders and sets attributes (so folders exist before files are
// copied into them), the file pass copies and deletes files, and the last pass removes
// folders deepest first, after the entries in them.
#include <algorithm>
#include <exception>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdateEvent.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"

namespace kn {

namespace {

// A side's full path; a folder record carries its own path and no name.
std::string FullPath(const TKNFileRec& rec)
{
    return rec.Name.empty() ? rec.Path.str() : PathJoin(rec.Path, rec.Name);
}

// The typed event of one operation of `row`, its path relative to the roots.
TKNOpEvent OperationEvent(const TKNUpdateThread& run, const TMyFileOpt& row, const TKNPlannedOp& op)
{
    TKNOpEvent event;
    event.Op = op.Op;
    event.WritesRight = op.WritesRight;
    event.Row = row;
    const bool written = !(op.WritesRight ? row.Right : row.Left).Path.empty();
    const bool right = written == op.WritesRight;
    const TKNFileRec& rec = right ? row.Right : row.Left;
    const std::string full = FullPath(rec);
    const std::string& root = run.RootOf(right);
    event.Path = full.size() > root.size() ? full.substr(root.size()) : std::string();
    while (!event.Path.empty() && event.Path.front() == '/') event.Path.erase(0, 1);
    if (rec.IsFolder()) event.Path += "/";
    return event;
}

}  // namespace

std::string TKNUpdateThread::Destination(const TKNFileRec& source, const std::string& sourceRoot,
                                         const std::string& destRoot)
{
    std::string full = FullPath(source);
    return destRoot + (full.size() > sourceRoot.size() ? full.substr(sourceRoot.size()) : std::string());
}

// --- One worker's steps -------------------------------------------------------------------

void TKNUpdateWorker::ProgressStep(TKNUpdateProvider& provider, const std::string& path)
{
    int done = ++Run.DoneCount;
    TKNFileCompare& engine = Run.FileCompare;
    if (!engine.OnUpdateProgress) return;
    vex::Deliver(engine.ProgressDelivery, &engine.OnUpdateProgress,
                 // The run outlives this worker, and its end report comes after this one.
                 [&run = Run, &engine, name = provider.DisplayName(path), done] {
                     run.CurrentName = name;
                     engine.OnUpdateProgress(&engine, name, done);
                 });
}

template <class Operation>
void TKNUpdateWorker::Step(TKNUpdateProvider& provider, const TMyFileOpt& row, const TKNPlannedOp& op,
                           const std::string& source, const std::string& target, Operation operation)
{
    ProgressStep(provider, target);
    TKNOpEvent event = OperationEvent(Run, row, op);
    if (operation()) {
        std::lock_guard<std::mutex> lock(Run.OutcomeLock);
        Run.Outcome.Done.Add(row, op);
        event.Result = Run.FileCompare.UpdateDryRun ? TKNOpResult::Planned : TKNOpResult::Done;
        if (op.Op == TKNOperation::CopyLeftToRight || op.Op == TKNOperation::CopyRightToLeft)
            event.Bytes = (op.WritesRight ? row.Left : row.Right).Size;
    } else {
        FailureStep(provider, op.Op, source, target);
        event.Result = TKNOpResult::Failed;
        event.ErrorKind = TKNSideError::Other;
        event.Message = HideLocationPasswords(provider.ErrorText);
    }
    TKNFileCompare& engine = Run.FileCompare;
    if (engine.OnOperation)
        vex::Deliver(vex::TDelivery::Queued, &engine.OnOperation,
                     [&engine, event = std::move(event)] { engine.OnOperation(&engine, event); });
}

void TKNUpdateWorker::FailureStep(TKNUpdateProvider& provider, TKNOperation op, const std::string& source,
                                  const std::string& target)
{
    {
        std::lock_guard<std::mutex> lock(Run.OutcomeLock);
        Run.Outcome.Failures.push_back({op, source, target, provider.ErrorText});
    }
    TKNFileCompare& engine = Run.FileCompare;
    vex::Synchronize([&] {
        Run.ErrorText = provider.ErrorText;
        if (engine.OnError) engine.OnError(&engine, Run.ErrorText);
    });
}

// The read side is the source of copies, new folders and attributes; the written side is what
// is overwritten, deleted or removed. A copy or deletion first backs up what it replaces; a
// failed backup is reported and the operation not made: the user asked to keep it.
void TKNUpdateWorker::Carry(const TMyFileOpt& row, const TKNPlannedOp& op)
{
    const bool toRight = op.WritesRight;
    TKNUpdateProvider& provider = toRight ? ProviderLR : ProviderRL;
    const TKNFileRec& written = toRight ? row.Right : row.Left;
    const TKNFileRec& read = toRight ? row.Left : row.Right;
    auto run = [&](const std::string& source, const std::string& target, auto operation) {
        Step(provider, row, op, source, target, operation);
    };
    const std::string dest = TKNUpdateThread::Destination(read, Run.RootOf(!toRight), Run.RootOf(toRight));
    const std::string source = FullPath(read);
    const std::string path = FullPath(written);
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            run(source, dest, [&] { return provider.Backup(written) && provider.CopyFile(source, dest, read); });
            break;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            run(std::string(), path, [&] { return provider.Backup(written) && provider.DeleteFile(path); });
            break;
        case TKNOperation::CreateFolder:
            run(source, dest, [&] { return provider.CreateFolder(dest, read); });
            break;
        case TKNOperation::RemoveFolder:
            run(std::string(), path, [&] { return provider.DeleteFolder(path); });
            break;
        case TKNOperation::SetAttributes:
            run(source, dest, [&] { return provider.ApplyAttributes(dest, static_cast<int>(read.Attr)); });
            break;
        case TKNOperation::SetTime:
            run(source, path, [&] { return provider.SetTime(path, read.Time); });
            break;
        case TKNOperation::Nothing:
            break;
    }
}

// --- Passes -------------------------------------------------------------------------------

namespace {

bool IsFolderStep(TKNOperation op)
{
    return op == TKNOperation::CreateFolder || op == TKNOperation::SetAttributes;
}

bool IsFileStep(TKNOperation op)
{
    return op == TKNOperation::CopyLeftToRight || op == TKNOperation::CopyRightToLeft ||
           op == TKNOperation::DeleteLeft || op == TKNOperation::DeleteRight || op == TKNOperation::SetTime;
}

}  // namespace

void TKNUpdateThread::MakePlan()
{
    Plan.assign(Indexes.size(), TKNPlannedOp{});
    for (std::size_t position = 0; position < Indexes.size(); ++position)
        if (const TMyFileOpt* row = Row(Indexes[position])) {
            Plan[position] = PlanRow(*row, Direction, Force);
            Outcome.Planned.Add(*row, Plan[position]);
        }
}

template <class Wanted>
void TKNUpdateThread::CarryOut(TKNUpdateWorker& worker, Wanted wanted)
{
    for (std::size_t position = 0; position < Indexes.size(); ++position) {
        if (StopRequested()) return;
        if (wanted(Plan[position].Op)) worker.Carry(*Row(Indexes[position]), Plan[position]);
    }
}

void TKNUpdateThread::FolderPass(TKNUpdateWorker& worker)
{
    CarryOut(worker, IsFolderStep);
}

void TKNUpdateThread::FilePass(TKNUpdateWorker& worker)
{
    CarryOut(worker, IsFileStep);
}

// Two sub-workers take positions one at a time; an exception in either is carried out of the
// pass once both have ended.
void TKNUpdateThread::MultiThreadFilePass()
{
    NextIndex = 0;
    ProviderLR2->Connect(LeftRootText, RightRootText);
    ProviderRL2->Connect(LeftRootText, RightRootText);
    TKNUpdateWorker first(*this, *ProviderLR, *ProviderRL);
    TKNUpdateWorker second(*this, *ProviderLR2, *ProviderRL2);
    std::exception_ptr failures[2];
    auto subWorker = [this](TKNUpdateWorker& worker, std::exception_ptr& failure) {
        try {
            const int count = static_cast<int>(Indexes.size());
            for (int position = NextIndex++; position < count && !StopRequested(); position = NextIndex++) {
                const TKNPlannedOp& op = Plan[static_cast<size_t>(position)];
                if (IsFileStep(op.Op)) worker.Carry(*Row(Indexes[static_cast<size_t>(position)]), op);
            }
        } catch (...) {
            failure = std::current_exception();
        }
    };
    std::thread a(subWorker, std::ref(first), std::ref(failures[0]));
    std::thread b(subWorker, std::ref(second), std::ref(failures[1]));
    a.join();
    b.join();
    ProviderRL2->Disconnect();
    ProviderLR2->Disconnect();
    for (auto& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

// Folders to remove, deepest first: a descending order of paths puts every sub-folder before
// the folder that holds it.
void TKNUpdateThread::DeletePass(TKNUpdateWorker& worker)
{
    std::vector<std::size_t> positions;
    for (std::size_t position = 0; position < Plan.size(); ++position)
        if (Plan[position].Op == TKNOperation::RemoveFolder) positions.push_back(position);
    auto removedPath = [this](std::size_t position) -> const TKNSharedText& {
        const TMyFileOpt& row = *Row(Indexes[position]);
        return Plan[position].WritesRight ? row.Right.Path : row.Left.Path;
    };
    std::sort(positions.begin(), positions.end(),
              [&](std::size_t a, std::size_t b) { return vex::CompareTextAscii(removedPath(a), removedPath(b)) > 0; });
    for (std::size_t position : positions) {
        if (StopRequested()) return;
        worker.Carry(*Row(Indexes[position]), Plan[position]);
    }
}

}  // namespace kn
