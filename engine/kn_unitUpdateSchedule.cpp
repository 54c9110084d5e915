#include "engine/kn_unitUpdateSchedule.h"

#include <algorithm>
#include <utility>

namespace kn {

namespace {

enum TPhase : int { MakeFolders, Protect, WriteFiles, DeleteFiles, LockFolders, RemoveFolders };

// The phase of an item and its order inside it (the depth where depths run one at a time).
std::pair<int, int> StageKey(const TKNScheduleItem& item)
{
    switch (item.Op) {
        case TKNOperation::CreateFolder:
            return {MakeFolders, item.Depth};
        case TKNOperation::SetAttributes:
            if (!item.Folder) return {WriteFiles, 0};
            return item.MakesReadOnly ? std::pair{LockFolders, 0} : std::pair{MakeFolders, item.Depth};
        case TKNOperation::Rename:  // a move: before anything is deleted, a folder with its depth
            return item.Folder ? std::pair{MakeFolders, item.Depth} : std::pair{WriteFiles, 0};
        case TKNOperation::Backup:
        case TKNOperation::MoveAside:
            return {Protect, 0};
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CopyWithin:
        case TKNOperation::SetTime:
            return {WriteFiles, 0};
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return {DeleteFiles, 0};
        case TKNOperation::RemoveFolder:
            return {RemoveFolders, -item.Depth};
        case TKNOperation::Nothing:
        case TKNOperation::Record:
        case TKNOperation::Forget:
        case TKNOperation::Keep:
        case TKNOperation::Conflict:
            break;
    }
    return {-1, 0};
}

}  // namespace

std::vector<std::vector<std::size_t>> UpdateStages(const std::vector<TKNScheduleItem>& items)
{
    std::vector<std::pair<std::pair<int, int>, std::size_t>> keyed;
    std::vector<std::pair<int, int>> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        keys[i] = StageKey(items[i]);
        // What an item waits for is in an earlier stage: its phase says so, or the item follows.
        if (const int after = items[i].After; after >= 0 && static_cast<std::size_t>(after) < i) {
            const std::pair<int, int> before = keys[static_cast<std::size_t>(after)];
            if (before.first >= 0 && keys[i] <= before) keys[i] = {before.first, before.second + 1};
        }
        if (keys[i].first >= 0) keyed.push_back({keys[i], i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::vector<std::size_t>> stages;
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        if (i == 0 || keyed[i].first != keyed[i - 1].first) stages.emplace_back();
        stages.back().push_back(keyed[i].second);
    }
    return stages;
}

int FilesPerGroup(const TKNSideCaps& a, const TKNSideCaps& b)
{
    if (!a.Remote && !b.Remote) return 1;
    return std::clamp(std::min(a.FilesAtOnce, b.FilesAtOnce), 1, kMaxGroupFiles);
}

bool JoinsGroup(const TKNScheduleItem& item)
{
    const bool copy = item.Op == TKNOperation::CopyLeftToRight || item.Op == TKNOperation::CopyRightToLeft;
    return copy && !item.Folder && item.Bytes <= kMaxGroupFileBytes;
}

std::size_t WidestStage(const std::vector<std::vector<std::size_t>>& stages)
{
    std::size_t widest = 0;
    for (const auto& stage : stages) widest = std::max(widest, stage.size());
    return widest;
}

}  // namespace kn
