// The content phase of a comparison: after pairing, the provisional rows of equal-size file
// pairs are compared by content on the reader pool and then kept, re-marked or dropped, so
// the rows stay in pairing order.
#include <algorithm>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareContent.h"
#include "framework/vex_unitCounts.h"
#include "framework/vex_unitThreads.h"

namespace kn {

namespace {

constexpr uint8_t kContentState = 5;  // the progress state of the content phase

TKNStatus StatusOfTime(int timeOrder)
{
    return timeOrder > 0 ? TKNStatus::Left : timeOrder < 0 ? TKNStatus::Right : TKNStatus::Differ;
}

std::string FullName(const TKNFileRec& rec)
{
    return PathJoin(rec.Path, rec.Name);
}

}  // namespace

std::unique_ptr<TKNContentSide> TKNScanProvider::OpenContentSide(const std::string&)
{
    return nullptr;
}

bool ContentRowStatus(TKNContentResult result, int timeOrder, bool attrDiffer, bool keepTimeOnly, TKNStatus& status,
                      bool& contentEqual)
{
    contentEqual = false;
    switch (result) {
        case TKNContentResult::Special:
            status = StatusOfTime(timeOrder);
            return timeOrder != 0 || attrDiffer;
        case TKNContentResult::Equal:
            if (attrDiffer) {
                status = TKNStatus::Differ;
                return true;
            }
            status = StatusOfTime(timeOrder);
            contentEqual = timeOrder != 0 && keepTimeOnly;
            return contentEqual;
        case TKNContentResult::Differ:
        case TKNContentResult::Failed:
            break;
    }
    status = StatusOfTime(timeOrder);
    return true;
}

void TKNFileCompare::CompareContents()
{
    std::vector<TKNContentJob> jobs;
    jobs.reserve(contentPairs_.size());
    int64_t total = 0;
    for (const TContentPair& pair : contentPairs_) {
        const TMyFileOpt& row = *Items[pair.Row];
        jobs.push_back({&row.Left, &row.Right, {}});
        total += row.Left.Size;
    }
    TKNContentProgress progress;
    progress.Stopped = [this] { return Stop != 0; };
    auto side = [](TKNScanProvider& provider, const std::string& root) {
        return [&provider, root] { return provider.OpenContentSide(root); };
    };
    const bool remote = LeftList.IsRemote() || RightList.IsRemote();
    const int readers = remote ? std::min(ContentReaders, 2) : ContentReaders;
    auto report = [&] {
        const std::string text =
            "Comparing contents... " + vex::FormatByteSize(progress.Done) + " of " + vex::FormatByteSize(total);
        vex::Synchronize([&] { RaiseProgress(this, kContentState, text); });
    };
    report();
    CompareContentJobs(jobs, readers, side(*LeftList.Provider, LeftList.Folder),
                       side(*RightList.Provider, RightList.Folder), progress, report);
    if (Stop == 0) SettleContentRows(jobs);
}

// Applies each job's outcome to its provisional row and drops the rows that are no longer
// differences, keeping the order of the others; content-equal pairs whose times differ go to
// TimeOnlyItems unless they are to be kept as rows.
void TKNFileCompare::SettleContentRows(const std::vector<TKNContentJob>& jobs)
{
    enum class TPlace : uint8_t { Row, Dropped, TimeOnly };
    std::vector<TPlace> place(Items.size(), TPlace::Row);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const TContentPair& pair = contentPairs_[i];
        const TKNContentOutcome& outcome = jobs[i].Outcome;
        TMyFileOpt& row = *Items[pair.Row];
        const bool kept =
            ContentRowStatus(outcome.Result, pair.TimeOrder, pair.AttrDiffer, true, row.Status, row.ContentEqual);
        place[pair.Row] = !kept                                       ? TPlace::Dropped
                          : row.ContentEqual && !KeepContentEqualRows ? TPlace::TimeOnly
                                                                      : TPlace::Row;
        row.ContentDiffers = outcome.Result == TKNContentResult::Differ;
        if (outcome.Result != TKNContentResult::Failed) continue;
        std::string note = "The contents of \"" + FullName(row.Left) + "\" and \"" + FullName(row.Right) +
                           "\" could not be compared: " + outcome.Reason;
        vex::Synchronize([&] { RaiseProgress(this, kContentState, note); });
        ContentNotes.push_back(std::move(note));
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (place[i] == TPlace::Row) Items[kept++] = std::move(Items[i]);
        if (place[i] == TPlace::TimeOnly) TimeOnlyItems.push_back(std::move(Items[i]));
    }
    Items.resize(kept);
}

}  // namespace kn
