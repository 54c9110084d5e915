// The comparison that follows an update. Only the folders whose rows the update acted on (done,
// failed or skipped alike) can hold anything new, so only they and the folders above them (whose
// rows show the changed times of the folders below) are listed again, each alone and on both
// sides; their fresh rows replace the rows of those folders, and every other row stays as the
// comparison before the update found it. An update with nothing to do lists nothing. A row
// belongs to the listing that holds its entry: a file to its folder, a folder to the folder
// above it. Folders the comparison did not enter (unreadable ones, links to folders) are not
// entered now either.
#include <algorithm>
#include <functional>

#include "engine/kn_unitCompare.h"
#include "framework/vex_unitPathBeneath.h"

namespace kn {

namespace {

std::string_view RelativeTo(std::string_view path, int rootLen)
{
    return path.substr(std::min(path.size(), static_cast<std::size_t>(rootLen)));
}

bool Present(const TKNFileRec& side)
{
    return !side.Path.empty();
}

bool EntryTextLess(std::string_view a, std::string_view b)
{
    return CompareEntryText(a, b) < 0;
}

// The relative folder above `relative` ("/a/b" gives "/a", "/a" gives "", the root).
std::string_view ParentOf(std::string_view relative)
{
    const std::size_t slash = relative.rfind('/');
    return relative.substr(0, slash == std::string_view::npos ? 0 : slash);
}

}  // namespace

std::string TKNFileCompare::ScanSettings() const
{
    return LeftList.ScanSettings() + '\n' + RightList.ScanSettings() + '\n' + std::to_string(IgnoreHours) + ' ' +
           (CompareContent ? "c" : "-");
}

std::string TKNFileCompare::ListedIn(const TMyFileOpt& row) const
{
    const bool left = Present(row.Left);
    const TKNFileRec& side = left ? row.Left : row.Right;
    const std::string_view relative = RelativeTo(side.Path.str(), left ? LeftRootLen : RightRootLen);
    return std::string(side.Name.empty() ? ParentOf(relative) : relative);
}

void TKNFileCompare::CompareAfter(std::vector<std::string> touched)
{
    if (compareThread_.joinable()) compareThread_.join();
    // Rows kept from a comparison under other settings, or whose contents were compared (the
    // settled pairs hold no record of that), could be wrong: those trees are compared whole.
    refresh_ = !CompareContent && !comparedSettings_.empty() && comparedSettings_ == ScanSettings();
    afterRun_ = true;
    refreshFolders_.clear();
    refreshRows_.clear();
    if (refresh_) {
        refreshFolders_ = std::move(touched);
        for (const TKNFileBuffer* list : {&LeftList, &RightList})
            for (const std::string& file : list->StaleTempFiles)
                refreshFolders_.emplace_back(
                    RelativeTo(vex::FolderOfPath(file), list == &LeftList ? LeftRootLen : RightRootLen));
        // A folder at or beneath one the comparison did not enter (unreadable, or a link a side
        // left out) is not entered now either: its rows stay unknown, as they were found.
        auto unentered = [this](std::string_view folder) {
            for (;; folder = ParentOf(folder)) {
                if (std::binary_search(unlistedPaths_.begin(), unlistedPaths_.end(), folder, std::less<>()) ||
                    std::binary_search(leftOutLinks_.begin(), leftOutLinks_.end(), folder, std::less<>()))
                    return true;
                if (folder.empty()) return false;
            }
        };
        refreshFolders_.erase(std::remove_if(refreshFolders_.begin(), refreshFolders_.end(), unentered),
                              refreshFolders_.end());
        for (std::size_t i = 0, touchedFolders = refreshFolders_.size(); i < touchedFolders; ++i)
            for (std::string folder = refreshFolders_[i]; !folder.empty();) {
                folder = std::string(ParentOf(folder));
                refreshFolders_.push_back(folder);
            }
        std::sort(refreshFolders_.begin(), refreshFolders_.end(), EntryTextLess);
        refreshFolders_.erase(std::unique(refreshFolders_.begin(), refreshFolders_.end()), refreshFolders_.end());
        keptLeftOutLinks_.clear();
        for (const std::string& link : leftOutLinks_)
            if (!std::binary_search(refreshFolders_.begin(), refreshFolders_.end(), ParentOf(link), EntryTextLess))
                keptLeftOutLinks_.push_back(link);
        refreshRows_ = std::move(Items);
        Items.clear();
    }
    StartCompare();
}

// Lists the refreshed folders on both sides at once; false when a root cannot be listed.
// Where a folder cannot be listed now, what lies below it is unknown in a way the kept rows
// do not show: both trees are then compared whole.
bool TKNFileCompare::RefreshBothSides()
{
    std::vector<std::string> folders[2];
    for (const std::string& folder : refreshFolders_) {
        folders[0].push_back(LeftList.Folder + folder);
        folders[1].push_back(RightList.Folder + folder);
    }
    const bool hidDots[2] = {LeftList.Provider->DotEntriesUnknown, RightList.Provider->DotEntriesUnknown};
    std::shared_future<void> left = LeftList.StartRefresh(std::move(folders[0]));
    std::shared_future<void> right = RightList.StartRefresh(std::move(folders[1]));
    if (Stop != 0) StopCompare();
    left.wait();
    right.wait();
    LeftList.WaitScan();
    RightList.WaitScan();
    if (LeftList.RefreshFailed || RightList.RefreshFailed) {
        refresh_ = false;
        refreshRows_.clear();
        return ScanBothSides();
    }
    // A side that hid names beginning with "." still hides them, whatever these listings met.
    LeftList.Provider->DotEntriesUnknown = LeftList.Provider->DotEntriesUnknown || hidDots[0];
    RightList.Provider->DotEntriesUnknown = RightList.Provider->DotEntriesUnknown || hidDots[1];
    for (const TKNFileBuffer* list : {&LeftList, &RightList}) {
        if (!list->ErrorText.empty()) {
            ErrorText = list->ErrorText;
            ErrorKind = list->ErrorKind;
            return false;
        }
    }
    return true;
}

// The fresh rows of the refreshed folders and the kept rows of all others, in the order of a
// whole comparison (relative path, then name).
void TKNFileCompare::MergeKeptRows()
{
    for (auto& row : refreshRows_)
        if (!std::binary_search(refreshFolders_.begin(), refreshFolders_.end(), ListedIn(*row), EntryTextLess))
            Items.push_back(std::move(row));
    refreshRows_.clear();
    auto key = [this](const TMyFileOpt& row) {
        const bool left = Present(row.Left);
        const TKNFileRec& side = left ? row.Left : row.Right;
        return std::make_pair(RelativeTo(side.Path.str(), left ? LeftRootLen : RightRootLen),
                              std::string_view(side.Name));
    };
    std::stable_sort(Items.begin(), Items.end(), [&key](const auto& a, const auto& b) {
        const auto ka = key(*a), kb = key(*b);
        const int c = CompareEntryText(ka.first, kb.first);
        return c != 0 ? c < 0 : CompareEntryText(ka.second, kb.second) < 0;
    });
}

}  // namespace kn
