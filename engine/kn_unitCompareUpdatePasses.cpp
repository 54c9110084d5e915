// The jobs of an update run: the one-way operations of the chosen rows (OneWayOps) and the
// removal of the program's left-over temporary files, or a two-way plan's operations, and the
// stages in which the pool carries them out (UpdateStages: folders made before their contents,
// what keeps an edit before what replaces it, files copied, then deleted, folders made
// read-only after their contents and removed deepest first).
#include <algorithm>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdateSchedule.h"

namespace kn {

namespace {

int Depth(const std::string& relative)
{
    return 1 + static_cast<int>(std::count(relative.begin(), relative.end(), '/'));
}

// Operations that read the side they do not write: the copies and what takes the source's time
// or attributes.
bool ReadsSource(TKNOperation op)
{
    switch (op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CreateFolder:
        case TKNOperation::SetAttributes:
        case TKNOperation::SetTime:
            return true;
        default:
            return false;
    }
}

}  // namespace

void TKNUpdateThread::MakePlan()
{
    Ops = OneWayOps(FileCompare, Indexes, Direction, Force);
    for (bool right : {false, true})
        if (WritesSide(Direction, right))
            for (std::string& relative : OwnStaleTemps(right ? FileCompare.RightList : FileCompare.LeftList)) {
                TKNOp& op = Ops.emplace_back();
                op.Op = right ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft;
                op.WritesRight = right;
                op.Path = std::move(relative);
            }
}

std::vector<std::vector<std::size_t>> TKNUpdateThread::Stages(bool& reads, std::vector<bool>& grouped) const
{
    std::vector<TKNScheduleItem> items(Ops.size());
    grouped.assign(items.size(), false);
    for (std::size_t i = 0; i < Ops.size(); ++i) {
        const TKNOp& op = Ops[i];
        static const TKNFileRec kNone;
        const TKNFileRec& read = op.Pair ? (op.WritesRight ? op.Pair->Left : op.Pair->Right) : kNone;
        // A folder that moves arrives at its new path with the folders made at that depth.
        const bool movedFolder = op.Op == TKNOperation::Rename && op.Folder;
        items[i] = {op.Op,     op.Folder, (read.Attr & faReadOnly) != 0, Depth(movedFolder ? op.NewPath : op.Path),
                    read.Size, op.After};
        // Left-over temporaries are removed one at a time.
        grouped[i] = op.Pair && JoinsGroup(items[i]) && !read.IsFolder();
        reads = reads || ReadsSource(op.Op);
    }
    return UpdateStages(items);
}

void TKNUpdateThread::CarryJobs(TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs)
{
    if (jobs.size() > 1)
        worker.CarryGroup(jobs);
    else
        worker.Carry(Ops[jobs.front()], jobs.front());
}

}  // namespace kn
