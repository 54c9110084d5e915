// The scan list of one side and its scan thread: a depth-first walk of the side's tree through
// its provider (each folder listed completely before its sub-folders are entered), the four
// acceptance tests of every entry, and the sort by the provider's path and name.
#include <algorithm>
#include <exception>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitScanProviderFS.h"
#include "engine/kn_unitScanProviderFTP.h"
#include "framework/vex_unitThreads.h"

namespace kn {

TKNFileBuffer::TKNFileBuffer() : EndDate(vex::Today() + kEndDateSpanDays), Provider(std::make_unique<TKNScanProviderFS>())
{
}

TKNFileBuffer::~TKNFileBuffer()
{
    StopScan();
    WaitScan();
}

void TKNFileBuffer::SetFolder(std::string_view text)
{
    isFtp_ = IsFtpPath(text);
    Provider.reset();
    Provider = isFtp_ ? CreateScanProviderFTP() : std::make_unique<TKNScanProviderFS>();
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
    const std::string tested = WithExtensionDot(text);
    for (const auto& pattern : ExcludeList)
        if (MatchWildcard(tested, pattern)) return false;
    for (const auto& pattern : IncludeList)
        if (MatchWildcard(tested, pattern)) return true;
    return false;
}

// The last component of a folder's path: after the last "/" (and, on an FTP side, "\").
static std::string_view OwnName(std::string_view path, bool ftp)
{
    std::size_t cut = ftp ? path.find_last_of("/\\") : path.rfind('/');
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool TKNFileBuffer::Accepts(const TKNFileRec& rec) const
{
    if (rec.Name == "." || rec.Name == "..") return false;
    if (rec.IsFolder()) {
        if (!Recursive || !MatchName(OwnName(rec.Path, isFtp_))) return false;
    } else if (!MatchName(rec.Name)) {
        return false;
    }
    if (rec.Time < BeginDate || rec.Time > EndDate) return false;
    if (!rec.IsFolder()) {
        if (rec.Size < MinSize) return false;
        if (MaxSize >= 0 && rec.Size > MaxSize) return false;
    }
    return (rec.Attr & ExcludeAttrMask) == 0;
}

void TKNFileBuffer::Clear()
{
    while (!Items.empty()) Items.pop_back();  // last to first
}

std::shared_future<void> TKNFileBuffer::StartScan()
{
    WaitScan();
    Clear();
    ErrorText.clear();
    currentPath_.clear();
    Stop = false;
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
        if (Provider->Open(Folder) && !Stop) {
            WalkFolder(Folder);
            if (!Stop) {
                currentPath_.clear();
                State = 2;
                ReportProgress();
                SortItems();
                if (Stop) Clear();
            }
        }
    } catch (const std::exception& e) {
        ErrorText = e.what();
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

void TKNFileBuffer::WalkFolder(const std::string& folder)
{
    if (Stop) return;
    currentPath_ = folder;
    ReportProgress();
    std::vector<std::string> subFolders;
    std::unique_ptr<TKNFileRec> rec;
    if (Provider->FindFirst(folder, AttrMask, rec)) {
        Offer(std::move(rec), subFolders);
        while (!Stop && Provider->FindNext(rec)) Offer(std::move(rec), subFolders);
        Provider->FindClose();
    }
    for (const auto& sub : subFolders) {
        if (Stop) return;
        WalkFolder(sub);
    }
}

void TKNFileBuffer::Offer(std::unique_ptr<TKNFileRec> rec, std::vector<std::string>& subFolders)
{
    if (!Accepts(*rec)) return;
    // A link to a folder is listed but never entered, so no walk can loop.
    if (Recursive && rec->IsFolder() && !rec->Link) subFolders.push_back(rec->Path.str());
    Items.push_back(std::move(rec));
}

void TKNFileBuffer::SortItems()
{
    TKNScanProvider& provider = *Provider;
    std::sort(Items.begin(), Items.end(), [&provider](const auto& a, const auto& b) {
        const TKNSharedText& pa = provider.GetPath(*a);
        const TKNSharedText& pb = provider.GetPath(*b);
        int c = pa.SameText(pb) ? 0 : CompareEntryText(pa, pb);
        if (c == 0) c = CompareEntryText(provider.GetName(*a), provider.GetName(*b));
        return c < 0;
    });
}

}  // namespace kn
