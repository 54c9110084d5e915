// The jobs of an update run: the plan of every chosen row (PlanRow), the removal of the
// program's left-over temporary files, and the stages in which the pool carries them out
// (UpdateStages: folders made before their contents, files copied, then deleted, folders made
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
    return op != TKNOperation::Nothing && op != TKNOperation::DeleteLeft && op != TKNOperation::DeleteRight &&
           op != TKNOperation::RemoveFolder;
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
    staleTemps_.clear();
    for (bool right : {false, true})
        if (WritesSide(Direction, right))
            for (std::string& relative : OwnStaleTemps(right ? FileCompare.RightList : FileCompare.LeftList)) {
                staleTemps_.push_back({right, std::move(relative)});
                Outcome.Planned.AddStaleTemp();
            }
}

std::vector<std::vector<std::size_t>> TKNUpdateThread::Stages(bool& reads, std::vector<bool>& grouped) const
{
    std::vector<TKNScheduleItem> items(Indexes.size() + staleTemps_.size());
    grouped.assign(items.size(), false);  // left-over temporaries are removed one at a time
    for (std::size_t position = 0; position < Indexes.size(); ++position) {
        const TKNPlannedOp& op = Plan[position];
        if (op.IsNothing()) continue;
        const TMyFileOpt& row = *Row(Indexes[position]);
        const bool leftListed = !row.Left.Path.empty();
        const TKNFileRec& named = leftListed ? row.Left : row.Right;
        const TKNFileRec& read = op.WritesRight ? row.Left : row.Right;
        items[position] = {op.Op, named.IsFolder(), (read.Attr & faReadOnly) != 0, Depth(Relative(named, !leftListed)),
                           read.Size};
        grouped[position] = JoinsGroup(items[position]) && !read.IsFolder();
        reads = reads || ReadsSource(op.Op);
    }
    for (std::size_t k = 0; k < staleTemps_.size(); ++k)
        items[Indexes.size() + k] = {staleTemps_[k].Right ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft, false,
                                     false, Depth(staleTemps_[k].Relative)};
    return UpdateStages(items);
}

void TKNUpdateThread::CarryJobs(TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs)
{
    if (jobs.size() > 1) {
        std::vector<TKNGroupedCopy> copies;
        for (std::size_t job : jobs) copies.push_back({Row(Indexes[job]), &Plan[job]});
        worker.CarryGroup(copies);
        return;
    }
    const std::size_t job = jobs.front();
    if (job < Indexes.size()) {
        worker.Carry(*Row(Indexes[job]), Plan[job]);
        return;
    }
    const TStaleTemp& temp = staleTemps_[job - Indexes.size()];
    worker.RemoveStaleTemp(temp.Right, temp.Relative);
}

}  // namespace kn
