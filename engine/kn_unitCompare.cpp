// TKNFileCompare: runs a comparison on its compare thread (both sides scanned at once, then
// one merge pass over the two sorted lists) and keeps a row for every pair that differs.
#include "engine/kn_unitCompare.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"

namespace kn {

TKNFileCompare::TKNFileCompare() : lastUpdate_(std::make_unique<TKNUpdateOutcome>())
{
    auto forward = [this](void* sender, uint8_t state, const std::string& path) { RaiseProgress(sender, state, path); };
    LeftList.OnProgress = forward;
    RightList.OnProgress = forward;
}

TKNFileCompare::~TKNFileCompare()
{
    StopCompare();
    WaitIdle();
    if (compareThread_.joinable()) compareThread_.join();
    Clear();
}

void TKNFileCompare::SetAttributes(uint8_t set)
{
    LeftList.SetAttributes(set);
    RightList.SetAttributes(set);
}

void TKNFileCompare::SetExcludeAttributes(uint8_t set)
{
    LeftList.SetExcludeAttributes(set);
    RightList.SetExcludeAttributes(set);
}

void TKNFileCompare::SetFilter(std::string_view text)
{
    LeftList.SetFilter(text);
    RightList.SetFilter(text);
}

void TKNFileCompare::SetExcludeFilter(std::string_view text)
{
    LeftList.SetExcludeFilter(text);
    RightList.SetExcludeFilter(text);
}

void TKNFileCompare::SetBeginDate(vex::TDateTime date)
{
    LeftList.BeginDate = RightList.BeginDate = date;
}
void TKNFileCompare::SetEndDate(vex::TDateTime date)
{
    LeftList.EndDate = RightList.EndDate = date;
}
void TKNFileCompare::SetMinSize(int64_t size)
{
    LeftList.MinSize = RightList.MinSize = size;
}
void TKNFileCompare::SetMaxSize(int64_t size)
{
    LeftList.MaxSize = RightList.MaxSize = size;
}
void TKNFileCompare::SetLinks(TKNLinkPolicy links)
{
    LeftList.Links = RightList.Links = links;
}

void TKNFileCompare::SetRecursive(bool recursive)
{
    LeftList.Recursive = RightList.Recursive = recursive;
}

void TKNFileCompare::SetLeftFolder(std::string_view text)
{
    LeftList.SetFolder(text);
    LeftRootLen = static_cast<int>(LeftList.Folder.size());
}

void TKNFileCompare::SetRightFolder(std::string_view text)
{
    RightList.SetFolder(text);
    RightRootLen = static_cast<int>(RightList.Folder.size());
}

void TKNFileCompare::ApplyOptions(const TKNOptionsRec& r)
{
    SetLeftFolder(vex::GetField(r.LeftFolder));
    SetRightFolder(vex::GetField(r.RightFolder));
    SetFilter(r.CheckFilter ? vex::GetField(r.Filter) : "*.*");
    SetExcludeFilter(r.CheckFilter ? vex::GetField(r.ExcludeFilter) : "");
    SetAttributes(r.CheckAttr ? r.Attributes : kDefaultAttributeSet);
    SetExcludeAttributes(r.CheckAttr ? r.ExcludeAttributes : 0);
    SetBeginDate(r.CheckDate ? r.BeginDate : vex::kNoTime);
    SetEndDate(r.CheckDate ? r.EndDate : vex::Today() + kEndDateSpanDays);
    SetMinSize(r.CheckSize ? r.MinSize : 0);
    SetMaxSize(r.CheckSize ? r.MaxSize : -1);
    SetRecursive(r.Recursive != 0);
    SetLinks(LinkPolicyOf(r));
    Transfers = TransfersOf(r.Transfers);
    BandwidthLimit = BandwidthLimitOf(r);
    CompareContent = r.CompareContent != 0;
    IgnoreHours = std::min<int>(r.IgnoreHours, kMaxIgnoreHours);
}

std::vector<TKNUnlistedFolder> TKNFileCompare::UnlistedFolders() const
{
    std::vector<TKNUnlistedFolder> all = LeftList.UnlistedFolders;
    all.insert(all.end(), RightList.UnlistedFolders.begin(), RightList.UnlistedFolders.end());
    return all;
}

std::vector<TKNUnlistedFolder> TKNFileCompare::LinksLeftOut() const
{
    std::vector<TKNUnlistedFolder> told;
    for (const TKNFileBuffer* list : {&LeftList, &RightList})
        for (const TKNUnlistedFolder& link : list->LinksLeftOut)
            if (!link.Reason.empty()) told.push_back(link);
    return told;
}

void TKNFileCompare::Compare(bool Wait)
{
    // The previous run has reported its end (State 0); its thread is at most returning.
    if (compareThread_.joinable()) compareThread_.join();
    refresh_ = false;
    afterRun_ = false;
    refreshRows_.clear();
    StartCompare();
    if (Wait) WaitIdle();
}

void TKNFileCompare::StartCompare()
{
    comparedSettings_.clear();
    Clear();
    ErrorText.clear();
    ErrorKind = TKNSideError::None;
    ContentNotes.clear();
    contentPairs_.clear();
    Stop = 0;
    State = 1;
    LeftList.ProgressDelivery = ProgressDelivery;
    RightList.ProgressDelivery = ProgressDelivery;
    compareThread_ = std::thread([this] { RunCompare(); });
}

void TKNFileCompare::StopCompare()
{
    Stop = -1;
    LeftList.StopScan();
    RightList.StopScan();
}

void TKNFileCompare::Clear()
{
    while (!Items.empty()) Items.pop_back();  // last to first
    TimeOnlyItems.clear();
}

const TMyFileOpt* TKNFileCompare::RowAt(int index) const
{
    if (index < 0) return nullptr;
    const auto position = static_cast<std::size_t>(index);
    if (position < Items.size()) return Items[position].get();
    if (position - Items.size() < TimeOnlyItems.size()) return TimeOnlyItems[position - Items.size()].get();
    return nullptr;
}

void TKNFileCompare::WaitIdle()
{
    vex::WaitDraining([this] { return State == 0; });
}

void TKNFileCompare::RaiseProgress(void* sender, uint8_t state, const std::string& path)
{
    if (OnProgress) OnProgress(sender, state, path);
}

void TKNFileCompare::RunCompare()
{
    try {
        vex::Synchronize([this] {
            RaiseProgress(this, 1, std::string());
            if (OnCompareStart) OnCompareStart(this);
        });
        if (TwoWay && !afterRun_) TwoWay->Begin(*this);
        if ((refresh_ ? RefreshBothSides() : ScanBothSides()) && Stop == 0) {
            vex::Synchronize([this] {
                State = 3;
                RaiseProgress(this, 3, std::string());
            });
            Pair();
            if (!contentPairs_.empty() && Stop == 0) CompareContents();
            if (refresh_ && Stop == 0) MergeKeptRows();
        }
    } catch (const std::exception& e) {
        ErrorText = e.what();
        ErrorKind = TKNSideError::Other;
    }
    FinishCompare();
}

// Scans both sides at once and waits for both. False when a scan failed, since pairing a side
// that is missing entries would report them as absent.
bool TKNFileCompare::ScanBothSides()
{
    std::shared_future<void> left = LeftList.StartScan();
    std::shared_future<void> right = RightList.StartScan();
    if (Stop != 0) StopCompare();  // a stop that came before the scans reset their flags
    left.wait();
    right.wait();
    LeftList.WaitScan();
    RightList.WaitScan();
    for (const TKNFileBuffer* list : {&LeftList, &RightList}) {
        if (!list->ErrorText.empty()) {
            ErrorText = list->ErrorText;
            ErrorKind = list->ErrorKind;
            return false;
        }
    }
    return true;
}

void TKNFileCompare::FinishCompare()
{
    contentPairs_.clear();
    // A two-way run plans from the listings, which are emptied here.
    if (TwoWay && !afterRun_ && ErrorText.empty() && Stop == 0) TwoWay->Listed(*this);
    refreshRows_.clear();
    LeftEntries = LeftList.Entries();
    RightEntries = RightList.Entries();
    if (Stop == 0 && ErrorText.empty()) comparedSettings_ = ScanSettings();
    LeftList.Clear();
    RightList.Clear();
    vex::Synchronize([this] {
        if (Stop != 0) Clear();
        RaiseProgress(this, 0, std::string());
        if (OnCompareDone) OnCompareDone(this);
        State = 0;
    });
}

// The merge of two lists sorted by (relative path, name), both keys compared with
// CompareEntryText, the order the scans sorted in. Example: left holds the folder "/a" (key
// "/a", "") and its file x (key "/a", "x"); right holds x (key "/a", "x") and the folder "/b".
// Then "/a" is only on the left (TKNStatus::Left), x pairs with x, "/b" is only on the right (TKNStatus::Right).
void TKNFileCompare::Pair()
{
    CollectUnentered();
    TKNScanProvider& lp = *LeftList.Provider;
    TKNScanProvider& rp = *RightList.Provider;
    const TKNPairCaps caps = PairCapsOf(*this);
    pairStep_ = std::max<int64_t>(caps.Left.TimeStep, caps.Right.TimeStep);
    const std::size_t first = Items.size();
    const auto& left = LeftList.Items;
    const auto& right = RightList.Items;
    std::size_t i = 0, j = 0;
    auto relative = [](const TKNSharedText& path, int rootLen) {
        std::string_view p = path;
        return p.substr(std::min(p.size(), static_cast<std::size_t>(rootLen)));
    };
    while ((i < left.size() || j < right.size()) && Stop == 0) {
        if (i >= left.size()) {
            AddRow(nullptr, right[j++], TKNStatus::Right);
        } else if (j >= right.size()) {
            AddRow(left[i++], nullptr, TKNStatus::Left);
        } else {
            const TKNFileRec& l = *left[i];
            const TKNFileRec& r = *right[j];
            int c = CompareEntryText(relative(lp.GetPath(l), LeftRootLen), relative(rp.GetPath(r), RightRootLen));
            if (c == 0) c = CompareEntryText(lp.GetName(l), rp.GetName(r));
            if (c > 0) {
                AddRow(nullptr, &r, TKNStatus::Right);
                ++j;
            } else if (c < 0) {
                AddRow(&l, nullptr, TKNStatus::Left);
                ++i;
            } else {
                PairMatched(l, r);
                ++i;
                ++j;
            }
        }
    }
    if (!caps.Left.EmptyFolders || !caps.Right.EmptyFolders) DropFoldersNotKept(first, caps);
}

vex::TDateTime ShownTime(const TKNFileRec& rec)
{
    if (rec.TimeStep != 2 || rec.Time == vex::kNoTime || (rec.MTime & 1) == 0) return rec.Time;
    // Only a time that was cut (an even second) lacks the odd one.
    if ((vex::DateTimeToUnix(rec.Time, 0) & 1) != 0) return rec.Time;
    return rec.Time + 1.0 / vex::kSecondsPerDay;
}

int CompareFileTimes(vex::TDateTime left, vex::TDateTime right, int ignoreHours, int64_t step)
{
    step = std::max<int64_t>(1, step);
    auto cut = [step](vex::TDateTime t) {
        const int64_t seconds = std::llround(t * vex::kSecondsPerDay);
        return seconds / step - (seconds % step < 0 ? 1 : 0);
    };
    const int64_t a = cut(left), b = cut(right);
    if (a == b) return 0;
    const int64_t seconds = (a > b ? a - b : b - a) * step;
    const int64_t hours = (seconds + 1800) / 3600;
    const int64_t slack = step == 1 ? 1 : 0;  // within the 2-second cut of local times
    if (hours >= 1 && hours <= ignoreHours && std::llabs(seconds - hours * 3600) <= slack) return 0;
    return a < b ? -1 : 1;
}

// -1, 0 or 1 as `l`'s time is older, equal or newer, cut to the coarsest of the two entries'
// steps and the two sides' (TKNSideCaps::TimeStep): a listing that shows 10:15 matches a local 10:15:06 (step 60). An
// unknown time (negative) equals only another unknown one; against a known time it is 2, "cannot tell".
static int CompareTimes(const TKNFileRec& l, const TKNFileRec& r, int ignoreHours, int64_t sidesStep)
{
    if ((l.Time < 0) != (r.Time < 0)) return 2;
    return CompareFileTimes(l.Time, r.Time, ignoreHours, std::max<int64_t>({l.TimeStep, r.TimeStep, sidesStep}));
}

// A side found not to keep permission bits, by an update of this engine or (as its scan opened
// it) by an earlier run, shows no permission difference.
bool TKNFileCompare::KeepsModes(bool right) const
{
    const TKNFileBuffer& list = right ? RightList : LeftList;
    if (const TKNSideCaps* caps = list.Provider ? list.Provider->SideCaps() : nullptr; caps && !caps->SetMode)
        return false;
    return modesNotKept_.empty() || !modesNotKept_.count(list.Location());
}

// Two entries with the same relative path and name. Two links are equal when they hold the same
// text; a link and a file always differ. Times compare at the coarser side's step,
// with no other tolerance unless whole-hour shifts are ignored. An attribute key that a side
// does not know (-1) is no difference. With content comparison, a pair of files of equal size
// gets a provisional row that CompareContents settles.
void TKNFileCompare::PairMatched(const TKNFileRec& l, const TKNFileRec& r)
{
    if (l.IsFolder() != r.IsFolder()) return;
    const int32_t lk = KeepsModes(false) ? LeftList.Provider->AttrKey(l) : -1;
    const int32_t rk = KeepsModes(true) ? RightList.Provider->AttrKey(r) : -1;
    const bool attrDiffer = lk != rk && lk != -1 && rk != -1;
    const int times = l.IsFolder() ? 0 : CompareTimes(l, r, IgnoreHours, pairStep_);
    if (l.Link || r.Link) {
        // A link is compared by its text alone: its time may be one no side can set.
        if (l.Link && r.Link && l.LinkTarget() == r.LinkTarget()) return;
        AddRow(&l, &r, times == 1 ? TKNStatus::Left : times == -1 ? TKNStatus::Right : TKNStatus::Differ);
    } else if (l.IsFolder()) {
        if (attrDiffer) AddRow(&l, &r, TKNStatus::Differ);
    } else if (CompareContent && l.Size == r.Size) {
        contentPairs_.push_back({Items.size(), times == 2 ? 0 : times, attrDiffer});
        AddRow(&l, &r, TKNStatus::Differ);
    } else if (times == 1) {
        AddRow(&l, &r, TKNStatus::Left);
    } else if (times == -1) {
        AddRow(&l, &r, TKNStatus::Right);
    } else if (times == 2 || l.Size != r.Size || attrDiffer) {
        AddRow(&l, &r, TKNStatus::Differ);
    }
}

static std::string_view RelativeTo(std::string_view path, int rootLen)
{
    return path.substr(std::min(path.size(), static_cast<std::size_t>(rootLen)));
}

// A folder on one side only whose other side holds no folders of its own (an object store, where
// a folder is a prefix of names) is a difference only while it holds a file: that file's copy
// makes it there; an empty one could never be made, so it would stay a difference for ever.
void TKNFileCompare::DropFoldersNotKept(std::size_t first, const TKNPairCaps& caps)
{
    std::set<std::string, std::less<>> holding[2];  // relative folders holding a one-sided file, per side
    auto oneSided = [](const TMyFileOpt& row, bool& onLeft) {
        onLeft = row.Right.Path.empty();
        return onLeft != row.Left.Path.empty();
    };
    for (std::size_t n = first; n < Items.size(); ++n) {
        const TMyFileOpt& row = *Items[n];
        bool onLeft = false;
        if (!oneSided(row, onLeft) || (onLeft ? row.Left : row.Right).IsFolder()) continue;
        std::string_view folder =
            RelativeTo((onLeft ? row.Left : row.Right).Path.str(), onLeft ? LeftRootLen : RightRootLen);
        while (!folder.empty() && holding[onLeft ? 0 : 1].emplace(folder).second) {
            const std::size_t slash = folder.rfind('/');
            folder = folder.substr(0, slash == std::string_view::npos ? 0 : slash);
        }
    }
    const auto drop = [&](const std::unique_ptr<TMyFileOpt>& row) {
        bool onLeft = false;
        if (!oneSided(*row, onLeft) || caps.Of(onLeft).EmptyFolders) return false;
        const TKNFileRec& rec = onLeft ? row->Left : row->Right;
        return rec.IsFolder() &&
               !holding[onLeft ? 0 : 1].contains(RelativeTo(rec.Path.str(), onLeft ? LeftRootLen : RightRootLen));
    };
    Items.erase(std::remove_if(Items.begin() + static_cast<std::ptrdiff_t>(first), Items.end(), drop), Items.end());
}

// Gathers, relative to the roots, the folders either side could not list and the links either
// side left out, sorted for the lookups of LiesUnentered.
void TKNFileCompare::CollectUnentered()
{
    unlistedPaths_.clear();
    // After an update, the links left out in the folders not listed again are as they were.
    leftOutLinks_ = refresh_ ? keptLeftOutLinks_ : std::vector<std::string>();
    for (const TKNFileBuffer* list : {&LeftList, &RightList}) {
        const int rootLen = list == &LeftList ? LeftRootLen : RightRootLen;
        for (const TKNUnlistedFolder& folder : list->UnlistedFolders)
            unlistedPaths_.emplace_back(RelativeTo(folder.Path, rootLen));
        for (const TKNUnlistedFolder& link : list->LinksLeftOut)
            leftOutLinks_.emplace_back(RelativeTo(link.Path, rootLen));
    }
    std::sort(unlistedPaths_.begin(), unlistedPaths_.end());
    std::sort(leftOutLinks_.begin(), leftOutLinks_.end());
    leftOutLinks_.erase(std::unique(leftOutLinks_.begin(), leftOutLinks_.end()), leftOutLinks_.end());
}

// True when the entry is, or lies beneath, a folder that could not be listed or a link a side
// left out. The entry's own path and each folder above it are looked up: for a file "/a/b/c"
// that is "/a/b/c" (links only), "/a/b" and "/a".
bool TKNFileCompare::LiesUnentered(const TKNFileRec& rec, bool left) const
{
    if (unlistedPaths_.empty() && leftOutLinks_.empty()) return false;
    TKNScanProvider& provider = left ? *LeftList.Provider : *RightList.Provider;
    std::string_view folder = RelativeTo(provider.GetPath(rec), left ? LeftRootLen : RightRootLen);
    auto holds = [](const std::vector<std::string>& paths, std::string_view path) {
        return std::binary_search(paths.begin(), paths.end(), path, std::less<>());
    };
    if (!rec.IsFolder() && !leftOutLinks_.empty() && holds(leftOutLinks_, PathJoin(folder, rec.Name))) return true;
    while (!folder.empty()) {
        if (holds(unlistedPaths_, folder) || holds(leftOutLinks_, folder)) return true;
        const std::size_t slash = folder.rfind('/');
        folder = folder.substr(0, slash == std::string_view::npos ? 0 : slash);
    }
    return false;
}

static void FillSide(TKNFileRec& side, const TKNFileRec& rec, TKNScanProvider& provider)
{
    side.Path = provider.GetPath(rec);
    side.Name = provider.GetName(rec);
    side.Size = rec.Size;
    side.Time = rec.Time;
    side.Attr = rec.Attr;
    side.Link = rec.Link;
    side.AttrKnown = rec.AttrKnown;
    side.TimeStep = rec.TimeStep;
    side.MTime = rec.MTime;
    side.MTimeNsec = rec.MTimeNsec;
    side.Mode = rec.Mode;
    side.Uid = rec.Uid;
    side.ModeKnown = rec.ModeKnown;
    side.Inode = rec.Inode;
    side.Device = rec.Device;
    side.HardLinks = rec.HardLinks;
    side.CTime = rec.CTime;
    side.CTimeNsec = rec.CTimeNsec;
    side.Links = rec.Links;
}

// True when a component of the entry's path below its root begins with ".".
static bool HasDotName(const TKNFileRec& rec, int rootLen)
{
    const std::string_view folder = RelativeTo(rec.Path.str(), rootLen);
    return (!rec.Name.empty() && rec.Name.front() == '.') || folder.find("/.") != std::string_view::npos;
}

bool TKNFileCompare::HidesDotNames() const
{
    return LeftList.Provider->DotEntriesUnknown || RightList.Provider->DotEntriesUnknown;
}

void TKNFileCompare::AddRow(const TKNFileRec* left, const TKNFileRec* right, TKNStatus status)
{
    auto row = std::make_unique<TMyFileOpt>();
    row->Status = status;
    if (left) FillSide(row->Left, *left, *LeftList.Provider);
    if (right) FillSide(row->Right, *right, *RightList.Provider);
    row->Unlisted = (left && LiesUnentered(*left, true)) || (right && LiesUnentered(*right, false)) ||
                    (HidesDotNames() && HasDotName(left ? *left : *right, left ? LeftRootLen : RightRootLen));
    Items.push_back(std::move(row));
}

}  // namespace kn
