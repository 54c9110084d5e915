#include "engine/kn_unitUpdateSchedule.h"

#include <algorithm>
#include <utility>

namespace kn {

namespace {

enum TPhase : int { MakeFolders, WriteFiles, DeleteFiles, LockFolders, RemoveFolders };

// The phase of an item and its order inside it (the depth where depths run one at a time).
std::pair<int, int> StageKey(const TKNScheduleItem& item)
{
    switch (item.Op) {
        case TKNOperation::CreateFolder:
            return {MakeFolders, item.Depth};
        case TKNOperation::SetAttributes:
            if (!item.Folder) return {WriteFiles, 0};
            return item.MakesReadOnly ? std::pair{LockFolders, 0} : std::pair{MakeFolders, item.Depth};
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::SetTime:
        case TKNOperation::Rename:  // a move: with the copies, before anything is deleted
            return {WriteFiles, 0};
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return {DeleteFiles, 0};
        case TKNOperation::RemoveFolder:
            return {RemoveFolders, -item.Depth};
        case TKNOperation::Nothing:
            break;
    }
    return {-1, 0};
}

}  // namespace

std::vector<std::vector<std::size_t>> UpdateStages(const std::vector<TKNScheduleItem>& items)
{
    std::vector<std::pair<std::pair<int, int>, std::size_t>> keyed;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].Op != TKNOperation::Nothing) keyed.push_back({StageKey(items[i]), i});
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
