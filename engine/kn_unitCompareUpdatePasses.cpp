// The three passes of an update run. Each only carries out what PlanRow decided for its rows:
// the folder pass creates folders and sets attributes (so folders exist before files are
// copied into them), the file pass copies and deletes files, and the last pass removes
// folders deepest first, after the entries in them.
#include <algorithm>
#include <exception>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdate.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"

namespace kn {

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
    for (bool right : {false, true})
        if (WritesSide(Direction, right))
            for (std::size_t n = OwnStaleTemps(right ? FileCompare.RightList : FileCompare.LeftList).size(); n > 0; --n)
                Outcome.Planned.AddStaleTemp();
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

// Two sub-workers, each with its own pair of sides, take positions one at a time; an exception
// in either is carried out of the pass once both have ended.
void TKNUpdateThread::MultiThreadFilePass(TKNUpdateWorker& first)
{
    NextIndex = 0;
    TKNUpdateWorker second(*this);
    second.Connect();
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
