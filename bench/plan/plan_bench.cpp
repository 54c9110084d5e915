// Update plan benchmark: the totals of a plan of N rows and of 2N rows under every direction,
// forced and not. The totals come from one pass, so doubling the rows about doubles the time.
//   bench/plan/run.sh [rows]     (default 1,000,000)
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "engine/kn_unitUpdatePlan.h"

namespace {

double ThreadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Rows of every status, a tenth of them folders.
std::vector<std::unique_ptr<kn::TMyFileOpt>> Rows(int count)
{
    std::vector<std::unique_ptr<kn::TMyFileOpt>> rows;
    rows.reserve(static_cast<std::size_t>(count));
    const kn::TKNSharedText left("/data/left/folder"), right("/data/right/folder");
    for (int i = 0; i < count; ++i) {
        auto row = std::make_unique<kn::TMyFileOpt>();
        row->Status = static_cast<kn::TKNStatus>(i % 3);
        const bool folder = i % 10 == 0;
        for (kn::TKNFileRec* side : {&row->Left, &row->Right}) {
            if ((row->Status == kn::TKNStatus::Left && side == &row->Right && i % 2) ||
                (row->Status == kn::TKNStatus::Right && side == &row->Left && i % 2))
                continue;  // one-sided
            side->Path = side == &row->Left ? left : right;
            side->Name = folder ? "" : "file.txt";
            side->Attr = folder ? kn::faDirectory : kn::faArchive;
            side->Size = i % 4096;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

double PlanMs(int count, int64_t& checksum)
{
    auto rows = Rows(count);
    std::vector<int> indexes(rows.size());
    for (std::size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int>(i);
    const double start = ThreadMs();
    for (kn::TKNAction action : {kn::TKNAction::LeftToRight, kn::TKNAction::RightToLeft, kn::TKNAction::Auto})
        for (bool force : {false, true}) {
            const kn::TKNPlanTotals t = kn::PlanTotals(rows, indexes, action, force, {});
            checksum += t.FilesToCopy + t.BytesToCopy + t.Deletions() + t.FoldersToCreate + t.AttributeChanges;
        }
    return ThreadMs() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    int64_t checksum = 0;
    const double once = PlanMs(rows, checksum);
    const double twice = PlanMs(2 * rows, checksum);
    std::printf("plan totals, 6 commands: %d rows %.1f ms, %d rows %.1f ms, ratio %.2f (checksum %lld)\n", rows, once,
                2 * rows, twice, twice / once, static_cast<long long>(checksum));
    return 0;
}
