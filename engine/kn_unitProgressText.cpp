#include "engine/kn_unitProgressText.h"

#include <algorithm>
#include <cstdio>

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

TKNUpdateFigures StartFigures(const TKNPlanTotals& plan)
{
    TKNUpdateFigures figures;
    figures.TotalOps = plan.FilesToCopy + plan.FilesToDelete + plan.FoldersToCreate + plan.FoldersToRemove +
                       plan.AttributeChanges + plan.TimesToSet;
    figures.TotalBytes = plan.BytesToCopy;
    return figures;
}

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

}  // namespace kn
