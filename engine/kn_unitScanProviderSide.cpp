#include "engine/kn_unitScanProviderSide.h"

#include <ctime>
#include <stdexcept>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitRunLock.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitDateTime.h"
#include "side/kn_unitSideRules.h"

namespace kn {

bool SidePathOf(const TKNFileRec& rec, const std::string& root, TKNSidePath& path, std::string& reason)
{
    const std::string& folder = rec.Path.str();
    std::string_view rel = std::string_view(folder).substr(std::min(root.size(), folder.size()));
    if (!rel.empty() && rel.front() == '/') rel.remove_prefix(1);
    if (!TKNSidePath::FromRelative(rel, path, reason)) return false;
    return rec.Name.empty() || path.Append(rec.Name, reason);
}

void TKNScanProviderSide::Close()
{
    if (side_) caps_ = side_->Caps();
    if (side_ && !side_->Caps().DotEntries) DotEntriesUnknown = true;
    side_.reset();
    listedAhead_.clear();
}

void TKNScanProviderSide::ListAhead(const std::vector<std::string>& Folders)
{
    if (!side_) return;
    std::vector<std::string> named;
    std::vector<TKNSidePath> paths;
    for (const std::string& folder : Folders) {
        TKNFileRec rec;
        rec.Path = TKNSharedText(folder);
        TKNSidePath path;
        std::string reason;
        if (!SidePathOf(rec, root_, path, reason)) continue;  // FindFirst tells why
        named.push_back(folder);
        paths.push_back(std::move(path));
    }
    std::vector<TKNListing> listings;
    side_->ListFolders(paths, listings);
    for (std::size_t i = 0; i < named.size() && i < listings.size(); ++i)
        listedAhead_[named[i]] = std::move(listings[i]);
}

bool TKNScanProviderSide::Open(const std::string& Root)
{
    ListError.clear();
    ListErrorKind = TKNSideError::None;
    DotEntriesUnknown = false;
    utcOffset_ = vex::LocalOffsetNow();
    root_ = Root.substr(0, LocationOptionsStart(Root));
    context_.Stop = StopFlag;
    opened_ = false;
    identity_.clear();
    if (NamesNoFolder(Root)) return false;
    side_ = OpenSide(Root, context_);
    if (TKNSideResult connected = side_->Connect(); !connected) {
        ListError = connected.Message;
        ListErrorKind = connected.Kind;
        side_.reset();
        return false;
    }
    caps_ = side_->Caps();
    identity_ = side_->Identity();
    opened_ = true;
    return true;
}

bool TKNScanProviderSide::FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec)
{
    ListError.clear();
    ListErrorKind = TKNSideError::None;
    entries_.clear();
    next_ = 0;
    if (!side_) return false;
    TKNFileRec folder;
    folder.Path = TKNSharedText(Folder);
    TKNSidePath path;
    if (!SidePathOf(folder, root_, path, ListError)) return false;
    TKNSideResult listed;
    if (auto ahead = listedAhead_.find(Folder); ahead != listedAhead_.end()) {
        listed = std::move(ahead->second.Result);
        entries_ = std::move(ahead->second.Entries);
        listedAhead_.erase(ahead);
    } else {
        listed = side_->List(path, entries_);
    }
    if (!listed) {
        if (listed.Kind == TKNSideError::Connection) throw std::runtime_error(listed.Message);
        // The unlisted folder is named beside its reason: the reason need not name it again.
        const std::string named = "\"" + side_->Shown(path) + "\": ";
        ListError = listed.Message.rfind(named, 0) == 0 ? listed.Message.substr(named.size()) : listed.Message;
        ListErrorKind = listed.Kind;
        entries_.clear();
        return false;
    }
    attrMask_ = AttrMask;
    folder_ = Folder;
    currentPath_ = TKNSharedText(Folder);
    return NextKept(Rec);
}

bool TKNScanProviderSide::FindNext(std::unique_ptr<TKNFileRec>& Rec)
{
    return NextKept(Rec);
}

bool TKNScanProviderSide::NextKept(std::unique_ptr<TKNFileRec>& Rec)
{
    while (next_ < entries_.size()) {
        const TKNSideEntry& entry = entries_[next_++];
        // The record the caller handed back is filled anew: one allocation for the listing.
        if (!Rec) Rec = std::make_unique<TKNFileRec>();
        if (MakeRec(entry, *Rec)) return true;
    }
    return false;
}

bool TKNScanProviderSide::MakeRec(const TKNSideEntry& entry, TKNFileRec& rec)
{
    constexpr uint32_t kMaskable = faHidden | faSysFile | faDirectory;
    // A link that leads nowhere is no entry of the tree.
    if (entry.Link && entry.Kind == TKNEntryKind::Other) return false;
    // The program's own temporary file: a copy in work of a run in progress, or the left-over
    // of a run that is over (recorded), whatever its time.
    if (entry.Kind == TKNEntryKind::File && !entry.Link && IsOwnTempName(entry.Name)) {
        if (!TempOfRunInProgress(entry.Name)) StaleTempFiles.push_back(PathJoin(folder_, entry.Name));
        return false;
    }
    uint32_t attr = entry.Kind == TKNEntryKind::Folder ? faDirectory
                    : entry.Kind == TKNEntryKind::File ? faArchive
                                                       : faSysFile;
    if (entry.ModeKnown && (entry.Mode & 0200) == 0) attr |= faReadOnly;
    if (entry.Name.size() > 1 && entry.Name[0] == '.' && entry.Name != "..") attr |= faHidden;
    if ((attr & kMaskable & ~attrMask_) != 0) return false;
    rec = TKNFileRec();
    if (attr & faDirectory) {
        rec.Path = TKNSharedText(PathJoin(folder_, entry.Name));
    } else {
        rec.Path = currentPath_;
        rec.Name = entry.Name;
    }
    rec.Size = entry.Kind == TKNEntryKind::Folder ? 0 : entry.Size;
    // Times to two seconds, as a DOS time, where the side knows them that well; a coarser
    // listing (minutes, days) keeps its step, so that pairing cuts both times to it.
    if (entry.TimeStep <= 2) {
        rec.Time = vex::UnixToDosDateTime(entry.MTime, utcOffset_);
        rec.TimeStep = 2;
    } else {
        rec.Time = vex::UnixToDateTime(entry.MTime, utcOffset_);
        rec.TimeStep = entry.TimeStep;
    }
    rec.Attr = attr & 0xFF;
    rec.AttrKnown = entry.ModeKnown;
    rec.Link = entry.Link;
    rec.MTime = entry.MTime;
    rec.MTimeNsec = entry.MTimeNsec;
    rec.Mode = entry.Mode;
    rec.Uid = entry.Uid;
    rec.ModeKnown = entry.ModeKnown;
    rec.Inode = entry.Inode;
    rec.Device = entry.Device;
    rec.HardLinks = entry.HardLinks;
    rec.CTime = entry.CTime;
    rec.CTimeNsec = entry.CTimeNsec;
    return true;
}

std::string TKNScanProviderSide::LocalFileName(const TKNFileRec& Rec)
{
    if (!side_) throw std::runtime_error("The side is not open.");
    TKNSidePath path;
    std::string reason;
    if (!SidePathOf(Rec, root_, path, reason)) throw std::runtime_error(reason);
    // A server's file is fetched through its side by whoever needs its bytes (TKNSideFile).
    if (side_->Caps().Remote) throw std::runtime_error("A file on a server has no local name: " + side_->Shown(path));
    return Rec.IsFolder() ? Rec.Path.str() : PathJoin(Rec.Path.str(), Rec.Name);
}

int TKNScanProviderSide::IconIndex(const TKNFileRec& Rec)
{
    if (Rec.IsFolder()) return LookupIcon(std::string(), true);
    const std::size_t dot = Rec.Name.rfind('.');
    return LookupIcon(dot == std::string::npos ? "*" : "*" + Rec.Name.substr(dot), false);
}

std::unique_ptr<TKNContentSide> TKNScanProviderSide::OpenContentSide(const std::string& Root)
{
    return MakeSideContentSide(Root, root_, context_);
}

}  // namespace kn
