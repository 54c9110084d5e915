#include "engine/kn_unitProgressText.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/kn_unitUpdateEvent.h"
#include "framework/vex_unitCounts.h"

namespace kn {

namespace {

// "1:05" or "1:02:05".
std::string FormatDuration(int64_t seconds)
{
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

std::string UpdateProgressText(const TKNUpdateFigures& f)
{
    // A transfer that has not ended yet is counted by its bytes in work, an ended one by its
    // event: never both, and never past the plan (a file that grew while it was read).
    const int64_t done = std::min(f.EndedBytes + f.WorkDone, std::max(f.TotalBytes, f.EndedBytes));
    std::string text = std::to_string(f.DoneOps) + "/" + std::to_string(f.TotalOps) + " operations, " +
                       vex::FormatByteSize(done) + " of " + vex::FormatByteSize(f.TotalBytes);
    const double rate = f.Seconds >= 1 && done > 0 ? done / f.Seconds : 0;
    auto left = [rate](int64_t bytes) {
        return FormatDuration(static_cast<int64_t>(static_cast<double>(std::max<int64_t>(bytes, 0)) / rate)) + " left";
    };
    if (rate > 0) text += ", " + vex::FormatByteSize(static_cast<int64_t>(rate)) + "/s, " + left(f.TotalBytes - done);
    if (f.WorkName.empty() || f.WorkTotal <= 0) return text;
    // The name last: a line cut to the terminal's width loses the least of what it tells.
    text += "; " + vex::FormatByteSize(f.WorkDone) + " of " + vex::FormatByteSize(f.WorkTotal);
    if (rate > 0) text += ", " + left(f.WorkTotal - f.WorkDone);
    return text + " in " + f.WorkName;
}

void TKNUpdateProgress::Start(const TKNPlanTotals& plan)
{
    figures_ = {};
    figures_.TotalOps = plan.FilesToCopy + plan.FilesToDelete + plan.FoldersToCreate + plan.FoldersToRemove +
                        plan.AttributeChanges + plan.TimesToSet;
    figures_.TotalBytes = plan.BytesToCopy;
    started_ = std::chrono::steady_clock::now();
}

void TKNUpdateProgress::Ended(const TKNOpEvent& event)
{
    ++figures_.DoneOps;
    figures_.EndedBytes += event.Bytes;
}

void TKNUpdateProgress::InWork(std::string name, int64_t total, int64_t done)
{
    figures_.WorkName = std::move(name);
    figures_.WorkTotal = total;
    figures_.WorkDone = done;
}

std::string TKNUpdateProgress::Text()
{
    figures_.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    return UpdateProgressText(figures_);
}

}  // namespace kn
