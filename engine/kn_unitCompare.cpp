// TKNFileCompare: runs a comparison on its compare thread (both sides scanned at once, then
// one merge pass over the two sorted lists) and keeps a row for every pair that differs.
#include "engine/kn_unitCompare.h"

#include <algorithm>
#include <exception>

#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"

namespace kn {

TKNFileCompare::TKNFileCompare()
{
    auto forward = [this](void* sender, uint8_t state, const std::string& path) {
        RaiseProgress(sender, state, path);
    };
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

void TKNFileCompare::SetBeginDate(vex::TDateTime date) { LeftList.BeginDate = RightList.BeginDate = date; }
void TKNFileCompare::SetEndDate(vex::TDateTime date) { LeftList.EndDate = RightList.EndDate = date; }
void TKNFileCompare::SetMinSize(int64_t size) { LeftList.MinSize = RightList.MinSize = size; }
void TKNFileCompare::SetMaxSize(int64_t size) { LeftList.MaxSize = RightList.MaxSize = size; }
void TKNFileCompare::SetRecursive(bool recursive) { LeftList.Recursive = RightList.Recursive = recursive; }

void TKNFileCompare::SetLeftFolder(std::string_view text)
{
    LeftList.SetFolder(text);
    LeftList.Provider->Tag = ".L$$";
    LeftRootLen = static_cast<int>(LeftList.Folder.size());
}

void TKNFileCompare::SetRightFolder(std::string_view text)
{
    RightList.SetFolder(text);
    RightList.Provider->Tag = ".R$$";
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
    MultiThread = r.MultiThread != 0;
}

void TKNFileCompare::Compare(bool Wait)
{
    // The previous run has reported its end (State 0); its thread is at most returning.
    if (compareThread_.joinable()) compareThread_.join();
    Clear();
    ErrorText.clear();
    Stop = 0;
    State = 1;
    LeftList.ProgressDelivery = ProgressDelivery;
    RightList.ProgressDelivery = ProgressDelivery;
    compareThread_ = std::thread([this] { RunCompare(); });
    if (Wait) WaitIdle();
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
        if (ScanBothSides() && Stop == 0) {
            vex::Synchronize([this] {
                State = 3;
                RaiseProgress(this, 3, std::string());
            });
            Pair();
        }
    } catch (const std::exception& e) {
        ErrorText = e.what();
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
            return false;
        }
    }
    return true;
}

void TKNFileCompare::FinishCompare()
{
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
// Then "/a" is only on the left (stLeft), x pairs with x, "/b" is only on the right (stRight).
void TKNFileCompare::Pair()
{
    TKNScanProvider& lp = *LeftList.Provider;
    TKNScanProvider& rp = *RightList.Provider;
    const auto& left = LeftList.Items;
    const auto& right = RightList.Items;
    std::size_t i = 0, j = 0;
    auto relative = [](const TKNSharedText& path, int rootLen) {
        std::string_view p = path;
        return p.substr(std::min(p.size(), static_cast<std::size_t>(rootLen)));
    };
    while ((i < left.size() || j < right.size()) && Stop == 0) {
        if (i >= left.size()) {
            AddRow(nullptr, right[j++].get(), stRight);
        } else if (j >= right.size()) {
            AddRow(left[i++].get(), nullptr, stLeft);
        } else {
            const TKNFileRec& l = *left[i];
            const TKNFileRec& r = *right[j];
            int c = CompareEntryText(relative(lp.GetPath(l), LeftRootLen), relative(rp.GetPath(r), RightRootLen));
            if (c == 0) c = CompareEntryText(lp.GetName(l), rp.GetName(r));
            if (c > 0) {
                AddRow(nullptr, &r, stRight);
                ++j;
            } else if (c < 0) {
                AddRow(&l, nullptr, stLeft);
                ++i;
            } else {
                PairMatched(l, r);
                ++i;
                ++j;
            }
        }
    }
}

// Two entries with the same relative path and name. Times compare exactly, with no tolerance.
void TKNFileCompare::PairMatched(const TKNFileRec& l, const TKNFileRec& r)
{
    if (l.IsFolder() != r.IsFolder()) return;
    const bool attrDiffer = LeftList.Provider->AttrKey(l) != RightList.Provider->AttrKey(r);
    if (l.IsFolder()) {
        if (attrDiffer) AddRow(&l, &r, stDiffer);
    } else if (l.Time > r.Time) {
        AddRow(&l, &r, stLeft);
    } else if (l.Time < r.Time) {
        AddRow(&l, &r, stRight);
    } else if (l.Size != r.Size || attrDiffer) {
        AddRow(&l, &r, stDiffer);
    }
}

static void FillSide(TKNFileRec& side, const TKNFileRec& rec, TKNScanProvider& provider)
{
    side.Path = provider.GetPath(rec);
    side.Name = provider.GetName(rec);
    side.Size = rec.Size;
    side.Time = rec.Time;
    side.Attr = rec.Attr;
    side.Link = rec.Link;
}

void TKNFileCompare::AddRow(const TKNFileRec* left, const TKNFileRec* right, TKNStatus status)
{
    auto row = std::make_unique<TMyFileOpt>();
    row->Status = status;
    if (left) FillSide(row->Left, *left, *LeftList.Provider);
    if (right) FillSide(row->Right, *right, *RightList.Provider);
    Items.push_back(std::move(row));
}

}  // namespace kn
