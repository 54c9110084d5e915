// The scan list of one side and its scan thread: a depth-first walk of the side's tree through
// its provider (each folder listed completely before its sub-folders are entered), the four
// acceptance tests of every entry, and the sort by the provider's path and name.
#include <algorithm>
#include <exception>
#include <unordered_set>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitScanProviderSide.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitPathBeneath.h"
#include "framework/vex_unitProgramFolder.h"
#include "framework/vex_unitTextRanks.h"
#include "framework/vex_unitThreads.h"

namespace kn {

TKNFileBuffer::TKNFileBuffer()
    : EndDate(vex::Today() + kEndDateSpanDays), Provider(std::make_unique<TKNScanProviderSide>())
{
}

TKNFileBuffer::~TKNFileBuffer()
{
    StopScan();
    WaitScan();
}

void TKNFileBuffer::SetFolder(std::string_view text)
{
    remote_ = IsRemoteLocation(text);
    Provider = std::make_unique<TKNScanProviderSide>();
    // Options of a location (an FTP server's ";tz=") belong to the connection, not to the paths of the tree.
    const std::size_t options = LocationOptionsStart(text);
    options_ = std::string(text.substr(options));
    text = text.substr(0, options);
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    Folder = std::string(text);
}

// Step 2 of the name test: a text without an extension gets a "." so that "*." selects it.
static std::string WithExtensionDot(std::string_view text)
{
    std::size_t slash = text.find_last_of("/\\");
    std::size_t dot = text.rfind('.');
    bool hasDot = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    std::string tested(text);
    if (!hasDot) tested.push_back('.');
    return tested;
}

bool TKNFileBuffer::MatchName(std::string_view text) const
{
    if (text.empty()) return true;
    // The usual filter takes every name: no copy of the text is needed to say so.
    if (ExcludeList.empty() && std::any_of(IncludeList.begin(), IncludeList.end(), [](const std::string& pattern) {
            return pattern == "*" || pattern == "*.*";
        }))
        return true;
    const std::string tested = WithExtensionDot(text);
    for (const auto& pattern : ExcludeList)
        if (MatchWildcard(tested, pattern)) return false;
    for (const auto& pattern : IncludeList)
        if (MatchWildcard(tested, pattern)) return true;
    return false;
}

// The last component of a folder's path: after the last "/" (names never hold one).
static std::string_view OwnName(std::string_view path)
{
    std::size_t cut = path.rfind('/');
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool TKNFileBuffer::Accepts(const TKNFileRec& rec) const
{
    if (rec.Name == "." || rec.Name == "..") return false;
    if (rec.IsFolder()) {
        if (!Recursive || !MatchName(OwnName(rec.Path))) return false;
    } else if (!MatchName(rec.Name)) {
        return false;
    }
    // The default bounds hide nothing, whatever a file's year.
    if (BeginDate != vex::kNoTime && rec.Time < BeginDate) return false;
    if (!openEnd_ && rec.Time > EndDate) return false;
    if (!rec.IsFolder()) {
        if (rec.Size < MinSize) return false;
        if (MaxSize >= 0 && rec.Size > MaxSize) return false;
    }
    return (rec.Attr & ExcludeAttrMask) == 0;
}

void TKNFileBuffer::Clear()
{
    Items.clear();
    while (!blocks_.empty()) blocks_.pop_back();  // last to first
    blockUsed_ = 0;
}

TKNFileRec* TKNFileBuffer::Keep(TKNFileRec&& rec)
{
    constexpr std::size_t kBlockRecords = 4096;
    if (blocks_.empty() || blockUsed_ == kBlockRecords) {
        blocks_.push_back(std::make_unique<TKNFileRec[]>(kBlockRecords));
        blockUsed_ = 0;
    }
    TKNFileRec* kept = &blocks_.back()[blockUsed_++];
    *kept = std::move(rec);
    return kept;
}

std::shared_future<void> TKNFileBuffer::StartScan()
{
    WaitScan();
    refreshing_ = false;
    UnlistedFolders.clear();
    StaleTempFiles.clear();
    LeftOut.clear();
    LinksLeftOut.clear();
    listedCounts_.clear();
    entries_ = 0;
    return Launch();
}

std::shared_future<void> TKNFileBuffer::StartRefresh(std::vector<std::string> folders)
{
    WaitScan();
    refreshing_ = true;
    refreshFolders_ = std::move(folders);
    // The left-over temporary files and links left out of the folders listed again are found
    // again, or are gone.
    auto relisted = [this](const std::string& file) {
        return std::binary_search(refreshFolders_.begin(), refreshFolders_.end(), vex::FolderOfPath(file),
                                  [](std::string_view a, std::string_view b) { return CompareEntryText(a, b) < 0; });
    };
    StaleTempFiles.erase(std::remove_if(StaleTempFiles.begin(), StaleTempFiles.end(), relisted), StaleTempFiles.end());
    std::erase_if(LinksLeftOut, [&relisted](const TKNUnlistedFolder& link) { return relisted(link.Path); });
    return Launch();
}

std::string TKNFileBuffer::ScanSettings() const
{
    std::string text = Location() + '\n' + std::to_string(AttrMask) + ' ' + std::to_string(ExcludeAttrMask) + ' ' +
                       std::to_string(BeginDate) + ' ' + std::to_string(EndDate) + ' ' + std::to_string(MinSize) + ' ' +
                       std::to_string(MaxSize) + ' ' + (Recursive ? "r" : "-");
    for (const auto* list : {&IncludeList, &ExcludeList}) {
        text += '\n';
        for (const std::string& pattern : *list) text += pattern + ';';
    }
    return text;
}

std::shared_future<void> TKNFileBuffer::Launch()
{
    Clear();
    ErrorText.clear();
    ErrorKind = TKNSideError::None;
    RefreshFailed = false;
    currentPath_.clear();
    openEnd_ = EndDate >= vex::Today() + kOpenEndDateDays;
    Stop = false;
    Provider->StopFlag = &Stop;
    State = 1;
    std::promise<void> ended;
    done_ = ended.get_future().share();
    thread_ = std::thread([this, ended = std::move(ended)]() mutable {
        RunScan();
        ended.set_value();
    });
    return done_;
}

void TKNFileBuffer::WaitScan()
{
    if (!thread_.joinable()) return;
    vex::WaitDraining([this] { return done_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    thread_.join();
}

void TKNFileBuffer::ReportProgress()
{
    if (!OnProgress) return;
    const uint8_t state = State;
    vex::Deliver(ProgressDelivery, this, [this, state, path = currentPath_] { OnProgress(this, state, path); });
}

void TKNFileBuffer::RunScan()
{
    try {
        ScanRoot();
    } catch (const std::exception& e) {
        ErrorText = e.what();
        ErrorKind = TKNSideError::Other;
    }
    Provider->Close();
    if (Stop || !ErrorText.empty()) Clear();
    // The final report comes after a failure too: the window waits for it to end its busy state.
    try {
        ReportProgress();
    } catch (const std::exception& e) {
        if (ErrorText.empty()) ErrorText = e.what();
    }
    State = 0;
}

// A root that cannot be opened or listed fails the scan: an empty list would read as a tree
// with nothing in it. A provider that opens nothing without a reason (a local text that is no
// absolute path) scans empty.
void TKNFileBuffer::ScanRoot()
{
    Provider->ListError.clear();
    Provider->ListErrorKind = TKNSideError::None;
    Provider->StaleTempFiles.clear();
    Provider->LinksLeftOut.clear();
    Provider->Links = Links;
    if (!refreshing_) Provider->StartOver();
    if (!Provider->Open(Folder + options_)) {
        ErrorText = Provider->ListError;
        ErrorKind = Provider->ListFailure();
        return;
    }
    if (Stop) return;
    FindBackupHome();
    if (refreshing_)
        RefreshFolders();
    else
        WalkFolder(Folder);
    StaleTempFiles.insert(StaleTempFiles.end(), Provider->StaleTempFiles.begin(), Provider->StaleTempFiles.end());
    for (const TKNUnlistedFolder& link : Provider->LinksLeftOut) {
        if (KeepLeftOut) LeftOut.push_back(link.Path);
        LinksLeftOut.push_back(link);
    }
    if (Stop || !ErrorText.empty()) return;
    currentPath_.clear();
    State = 2;
    ReportProgress();
    SortItems();
    if (Stop) Clear();
}

// The folders of `folders` from `first` on, at most `count` of them.
static std::vector<std::string> Ahead(const std::vector<std::string>& folders, std::size_t first, std::size_t count)
{
    const auto from = folders.begin() + static_cast<std::ptrdiff_t>(first);
    return std::vector<std::string>(from, from + static_cast<std::ptrdiff_t>(std::min(count, folders.size() - first)));
}

// Lists `folder`, then its sub-folders, depth first. A folder that cannot be listed (wholly or
// in part) is recorded, its sub-folders are not entered, and the walk goes on; at the root it
// fails the scan. Where the provider gains from it, the sub-folders are handed to it ahead, a
// few at a time, so a server overlaps their listings while the few listings held wait their turn.
void TKNFileBuffer::WalkFolder(const std::string& folder)
{
    if (Stop) return;
    std::vector<std::string> subFolders;
    if (!ListFolder(folder, subFolders)) return;
    constexpr std::size_t kAhead = 16;
    for (std::size_t i = 0; i < subFolders.size(); ++i) {
        if (Stop || !ErrorText.empty()) return;
        if (i % kAhead == 0 && subFolders.size() - i > 1 && Provider->ListsAheadFaster())
            Provider->ListAhead(Ahead(subFolders, i, kAhead));
        WalkFolder(subFolders[i]);
    }
}

bool TKNFileBuffer::ListFolder(const std::string& folder, std::vector<std::string>& subFolders)
{
    currentPath_ = folder;
    ReportProgress();
    const std::size_t before = Items.size();
    std::unique_ptr<TKNFileRec> rec;
    Provider->ListError.clear();
    Provider->ListErrorKind = TKNSideError::None;
    if (Provider->FindFirst(folder, AttrMask, rec)) {
        Offer(*rec, subFolders);
        while (!Stop && Provider->FindNext(rec)) Offer(*rec, subFolders);
        Provider->FindClose();
    }
    SetCount(folder, static_cast<int64_t>(Items.size() - before));
    if (Provider->ListError.empty()) return true;
    if (folder == Folder) {
        ErrorText = "Cannot list the folder \"" + folder + "\": " + Provider->ListError;
        ErrorKind = Provider->ListFailure();
    } else if (refreshing_)
        RefreshFailed = true;
    else
        UnlistedFolders.push_back({folder, Provider->ListError});
    return false;
}

void TKNFileBuffer::SetCount(const std::string& folder, int64_t count)
{
    int64_t& kept = listedCounts_[folder];
    entries_ += count - kept;
    kept = count;
}

void TKNFileBuffer::Forget(const std::string& folder)
{
    // The folder and every path that begins with it and "/" ("0" follows "/").
    const auto first = listedCounts_.lower_bound(folder), last = listedCounts_.lower_bound(folder + "0");
    for (auto it = first; it != last; ++it)
        if (it->first.size() == folder.size() || it->first[folder.size()] == '/') entries_ -= it->second;
    for (auto it = first; it != last;)
        it = it->first.size() == folder.size() || it->first[folder.size()] == '/' ? listedCounts_.erase(it) : ++it;
}

// The folders of a refresh, in order: the fresh listing of a folder says which of the folders
// below it are here. A folder that no scan listed on this side (the run made it, or another
// program did meanwhile) is walked whole, as a comparison would.
void TKNFileBuffer::RefreshFolders()
{
    auto refreshed = [this](const std::string& folder) {
        return std::binary_search(refreshFolders_.begin(), refreshFolders_.end(), folder,
                                  [](std::string_view a, std::string_view b) { return CompareEntryText(a, b) < 0; });
    };
    std::unordered_set<std::string> entered{Folder};
    std::vector<std::string> subFolders;
    // The folders are handed to the provider ahead, a batch at a time, so a server may overlap
    // their listings; each is still taken in this order, and only where it is entered.
    constexpr std::size_t kAhead = 64;
    for (std::size_t i = 0; i < refreshFolders_.size(); ++i) {
        const std::string& folder = refreshFolders_[i];
        if (Stop || !ErrorText.empty() || RefreshFailed) return;
        if (i % kAhead == 0) Provider->ListAhead(Ahead(refreshFolders_, i, kAhead));
        if (entered.count(folder) == 0) {
            Forget(folder);
            continue;
        }
        subFolders.clear();
        if (!ListFolder(folder, subFolders)) return;
        for (const std::string& sub : subFolders) {
            if (refreshed(sub))
                entered.insert(sub);
            else if (listedCounts_.count(sub) == 0)
                WalkFolder(sub);
        }
    }
}

// An accepted record's content moves into the list; the provider may fill `rec` anew.
void TKNFileBuffer::Offer(TKNFileRec& rec, std::vector<std::string>& subFolders)
{
    if (IsBackupFolder(rec)) return;
    if (!Accepts(rec)) {
        if (KeepLeftOut && rec.Name != "." && rec.Name != "..")
            LeftOut.push_back(rec.IsFolder() ? rec.Path.str() : PathJoin(rec.Path, rec.Name));
        return;
    }
    if (Recursive && rec.IsFolder()) subFolders.push_back(rec.Path.str());
    Items.push_back(Keep(std::move(rec)));
}

// The program's backup folders are named after their run's time ("yymmddhhnnss", a second
// run in the same second adding "-N"); one that lies inside the scanned tree is no user data.
static bool IsBackupFolderName(std::string_view name)
{
    std::size_t digits = 0;
    while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
    if (digits != 12) return false;
    std::string_view rest = name.substr(digits);
    if (rest.empty()) return true;
    return rest.size() > 1 && rest[0] == '-' && rest.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

// Where the program folder lies in this side's tree, as the scan spells paths; empty when it
// lies outside it (or the side is on a server).
void TKNFileBuffer::FindBackupHome()
{
    backupHome_.clear();
    if (IsRemote()) return;
    const std::string home = vex::CanonicalPath(vex::ProgramFolder());
    const std::string root = vex::CanonicalPath(Folder);
    if (home.empty() || root.empty()) return;
    if (home == root)
        backupHome_ = Folder;
    else if (vex::PathLiesBeneath(home, root))
        backupHome_ = Folder + home.substr(root == "/" ? 0 : root.size());
}

bool TKNFileBuffer::IsBackupFolder(const TKNFileRec& rec) const
{
    if (backupHome_.empty() || !rec.IsFolder()) return false;
    std::string_view path = rec.Path.str();
    const std::size_t slash = path.rfind('/');
    return slash != std::string_view::npos && path.substr(0, slash) == backupHome_ &&
           IsBackupFolderName(path.substr(slash + 1));
}

// The entries sharing one path text (a folder's files, and the folder's own entry, whose name is
// empty) end up next to each other, so the sort ranks the distinct path texts once, puts the
// entries in path-rank order with a counting pass, and sorts by name only within each path.
// One sort of all entries with text comparisons would reach into two records per comparison,
// which for a million entries costs more than the listing's own work.
void TKNFileBuffer::SortItems()
{
    TKNScanProvider& provider = *Provider;
    uint32_t paths = 0;
    const std::vector<uint32_t> pathRank = RankPaths(provider, paths);
    std::vector<std::size_t> start(static_cast<std::size_t>(paths) + 1);
    for (uint32_t rank : pathRank) ++start[rank + 1];
    for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    std::vector<TKNFileRec*> sorted(Items.size());
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < Items.size(); ++i) sorted[next[pathRank[i]]++] = Items[i];
    auto byName = [&provider](const TKNFileRec* a, const TKNFileRec* b) {
        return CompareEntryText(provider.GetName(*a), provider.GetName(*b)) < 0;
    };
    for (std::size_t r = 0; r + 1 < start.size(); ++r)
        std::sort(sorted.begin() + static_cast<std::ptrdiff_t>(start[r]),
                  sorted.begin() + static_cast<std::ptrdiff_t>(start[r + 1]), byName);
    Items = std::move(sorted);
}

// The rank of each entry's path text among the distinct texts, in CompareEntryText order; equal
// texts share a rank. The entries of one listing share one copy of their path text, so each
// distinct copy is compared as a text only once. `count` receives the number of ranks.
std::vector<uint32_t> TKNFileBuffer::RankPaths(TKNScanProvider& provider, uint32_t& count) const
{
    vex::TTextRanks texts;
    std::vector<uint32_t> rank(Items.size());
    for (std::size_t i = 0; i < Items.size(); ++i) rank[i] = texts.Id(&provider.GetPath(*Items[i]).str());
    const std::vector<uint32_t> rankOfCopy = texts.Ranks(CompareEntryText, count);
    for (uint32_t& id : rank) id = rankOfCopy[id];
    return rank;
}

}  // namespace kn
