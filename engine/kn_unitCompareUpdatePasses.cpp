// The three passes of an update run and the rule that decides what each row gets:
//
// | Row status              | Direction matches   | Update             | Force Update                    |
// |-------------------------|---------------------|--------------------|---------------------------------|
// | left/right, folder      | yes, or Auto        | create on the other side (same)                      |
// | left/right, file        | yes, or Auto        | back up and copy over the other side (same)          |
// | left/right, file        | no                  | nothing            | read side lacks it: back up and |
// |                         |                     |                    | delete it; else back up, copy   |
// | left/right, folder      | no                  | nothing            | delete it, deepest first        |
// | differ                  | fixed direction     | nothing            | attributes; copy if sizes differ|
// | differ                  | Auto                | nothing            | nothing                         |
#include "engine/kn_unitCompareUpdate.h"

#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"

#include <algorithm>
#include <exception>

namespace kn {

namespace {

bool IsFolderRec(const TKNFileRec& rec) { return (rec.Attr & faDirectory) != 0; }

// A side's full path; a folder record carries its own path and no name.
std::string FullPath(const TKNFileRec& rec) { return rec.Name.empty() ? rec.Path.str() : PathJoin(rec.Path, rec.Name); }

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

void TKNUpdateWorker::FailureStep(TKNUpdateProvider& provider)
{
    TKNFileCompare& engine = Run.FileCompare;
    vex::Synchronize([&] {
        Run.ErrorText = provider.ErrorText;
        if (engine.OnError) engine.OnError(&engine, Run.ErrorText);
    });
}

// Backs up what the copy replaces, then copies. A failed backup is reported and the copy is
// not made: the user asked to keep what would be overwritten.
void TKNUpdateWorker::CopyRow(TKNUpdateProvider& provider, const TKNFileRec& source, bool toRight,
                              const TKNFileRec& written)
{
    std::string dest = TKNUpdateThread::Destination(source, Run.RootOf(!toRight), Run.RootOf(toRight));
    Step(provider, dest, [&] { return provider.Backup(written) && provider.CopyFile(FullPath(source), dest, source); });
}

void TKNUpdateWorker::FileRow(const TMyFileOpt& row)
{
    const uint8_t direction = Run.Direction;
    const bool force = Run.Force;
    const uint8_t status = row.Status;
    if (status == stDiffer && (!force || direction == caAuto)) return;
    const bool leftSource =
        !IsFolderRec(row.Left) &&
        ((status == stLeft && (direction == caLeftToRight || force || direction == caAuto)) ||
         (status == stDiffer && direction == caLeftToRight && force));
    const bool rightSource =
        !leftSource && !IsFolderRec(row.Right) &&
        ((status == stRight && (direction == caRightToLeft || force || direction == caAuto)) ||
         (status == stDiffer && direction == caRightToLeft && force));
    if (!leftSource && !rightSource) return;
    if (direction == status || direction == caAuto || (status == stDiffer && row.Left.Size != row.Right.Size)) {
        TKNUpdateProvider& provider = direction == caRightToLeft ? ProviderRL
                                      : direction == caLeftToRight ? ProviderLR
                                      : leftSource ? ProviderLR
                                                   : ProviderRL;
        CopyRow(provider, leftSource ? row.Left : row.Right, leftSource, leftSource ? row.Right : row.Left);
        return;
    }
    ForcedRow(row);
}

// The direction is forced against the row: W is the side the direction writes, R the other.
void TKNUpdateWorker::ForcedRow(const TMyFileOpt& row)
{
    const bool toRight = Run.Direction == caLeftToRight;
    TKNUpdateProvider& provider = toRight ? ProviderLR : ProviderRL;
    const TKNFileRec& written = toRight ? row.Right : row.Left;
    const TKNFileRec& read = toRight ? row.Left : row.Right;
    if (read.Name.empty()) {
        std::string path = FullPath(written);
        Step(provider, path, [&] { return provider.Backup(written) && provider.DeleteFile(path); });
    } else if (row.Status == stDiffer) {
        std::string path = FullPath(written);
        Step(provider, path, [&] { return provider.ApplyAttributes(path, static_cast<int>(read.Attr)); });
    } else {
        CopyRow(provider, read, toRight, written);
    }
}

// --- Passes -------------------------------------------------------------------------------

void TKNUpdateThread::FolderPass(TKNUpdateWorker& worker)
{
    for (int index : Indexes) {
        if (StopRequested()) return;
        const TMyFileOpt* row = Row(index);
        if (!row) continue;
        if (row->Status == stDiffer && Direction != caAuto && Force) {
            bool toRight = Direction == caLeftToRight;
            const TKNFileRec& source = toRight ? row->Left : row->Right;
            TKNUpdateProvider& provider = toRight ? *ProviderLR : *ProviderRL;
            std::string dest = Destination(source, RootOf(!toRight), RootOf(toRight));
            worker.Step(provider, dest, [&] { return provider.ApplyAttributes(dest, static_cast<int>(source.Attr)); });
            continue;
        }
        if (Direction != caAuto && Direction != row->Status) continue;
        bool toRight;
        if (row->Status == stLeft && IsFolderRec(row->Left)) toRight = true;
        else if (row->Status == stRight && IsFolderRec(row->Right)) toRight = false;
        else continue;
        const TKNFileRec& source = toRight ? row->Left : row->Right;
        TKNUpdateProvider& provider = toRight ? *ProviderLR : *ProviderRL;
        std::string dest = Destination(source, RootOf(!toRight), RootOf(toRight));
        worker.Step(provider, dest, [&] { return provider.CreateFolder(dest, source); });
    }
}

void TKNUpdateThread::FilePass(TKNUpdateWorker& worker)
{
    for (int index : Indexes) {
        if (StopRequested()) return;
        if (const TMyFileOpt* row = Row(index)) worker.FileRow(*row);
    }
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
            for (int position = NextIndex++; position < count && !StopRequested(); position = NextIndex++)
                if (const TMyFileOpt* row = Row(Indexes[static_cast<size_t>(position)])) worker.FileRow(*row);
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

// Folders that exist only on the side being written, deepest first: a descending order of
// paths puts every sub-folder before the folder that holds it.
void TKNUpdateThread::DeletePass(TKNUpdateWorker& worker)
{
    if (Direction == caAuto || !Force || StopRequested()) return;
    TKNUpdateProvider& provider = Direction == caRightToLeft ? *ProviderRL : *ProviderLR;
    std::vector<const TKNFileRec*> folders;
    for (int index : Indexes) {
        const TMyFileOpt* row = Row(index);
        if (!row || row->Status == Direction) continue;
        if (row->Status == stLeft && IsFolderRec(row->Left)) folders.push_back(&row->Left);
        else if (row->Status == stRight && IsFolderRec(row->Right)) folders.push_back(&row->Right);
    }
    std::sort(folders.begin(), folders.end(), [](const TKNFileRec* a, const TKNFileRec* b) {
        return vex::CompareTextAscii(a->Path, b->Path) > 0;
    });
    for (const TKNFileRec* folder : folders) {
        if (StopRequested()) return;
        std::string path = FullPath(*folder);
        worker.Step(provider, path, [&] { return provider.DeleteFolder(path); });
    }
}

}  // namespace kn
