#include "engine/kn_unitScanProviderSide.h"

#include <ctime>
#include <stdexcept>

#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitRunLock.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitDateTime.h"
#include "side/kn_unitSideRules.h"

namespace kn {

TKNSideEntry LinkItself(const TKNSideEntry& link)
{
    TKNSideEntry own;
    own.Name = link.Name;
    own.Size = static_cast<int64_t>(link.LinkTarget.size());
    own.MTime = link.LinkMTime;
    own.Inode = link.Inode;
    own.Device = link.Device;
    return own;
}

bool SidePathOf(const TKNFileRec& rec, const std::string& root, TKNSidePath& path, std::string& reason)
{
    const std::string& folder = rec.Path.str();
    std::string_view rel = std::string_view(folder).substr(std::min(root.size(), folder.size()));
    if (!rel.empty() && rel.front() == '/') rel.remove_prefix(1);
    if (!TKNSidePath::FromRelative(rel, path, reason)) return false;
    return rec.Name.empty() || path.Append(rec.Name, reason);
}

bool ReadFromPath(const TKNFileRec& rec, TKNSidePath& path, std::string& reason)
{
    return rec.ReadFrom().empty() || TKNSidePath::FromRelative(rec.ReadFrom(), path, reason);
}

void TKNScanProviderSide::StartOver()
{
    followed_.clear();
    prints_.clear();
}

// A server that follows links itself shows a link to a folder above as a folder: entering it
// would list the same folders again and again, deeper each time. Such a folder lists exactly as
// the one it leads to (names, kinds, sizes and times); one that lists as a folder above it is
// not entered.
bool TKNScanProviderSide::ListsAsAnAncestor(const std::string& folder)
{
    std::string print;
    for (const TKNSideEntry& e : entries_)
        print += e.Name + '\0' + std::to_string(static_cast<int>(e.Kind)) + ' ' + std::to_string(e.Size) + ' ' +
                 std::to_string(e.MTime) + '\0';
    const uint64_t hash = std::hash<std::string>()(print);
    prints_[folder] = hash;
    for (std::string_view up = folder; up.size() > root_.size();) {
        const std::size_t slash = up.rfind('/');
        if (slash == std::string_view::npos || slash < root_.size()) break;
        up = up.substr(0, slash);
        if (const auto found = prints_.find(std::string(up)); found != prints_.end() && found->second == hash)
            return true;
    }
    return false;
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
        paths.push_back(RealOf(path));
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
    folderPath_ = path;
    folderReal_ = RealOf(path);
    readElsewhere_ = !(folderReal_ == folderPath_);
    TKNSideResult listed;
    if (auto ahead = listedAhead_.find(Folder); ahead != listedAhead_.end()) {
        listed = std::move(ahead->second.Result);
        entries_ = std::move(ahead->second.Entries);
        listedAhead_.erase(ahead);
    } else {
        listed = side_->List(folderReal_, entries_);
    }
    if (!listed) {
        if (listed.Kind == TKNSideError::Connection) throw std::runtime_error(listed.Message);
        // The unlisted folder is named beside its reason: the reason need not name it again.
        const std::string named = "\"" + side_->Shown(folderReal_) + "\": ";
        ListError = listed.Message.rfind(named, 0) == 0 ? listed.Message.substr(named.size()) : listed.Message;
        ListErrorKind = listed.Kind;
        entries_.clear();
        return false;
    }
    if (caps_.Remote && ListsAsAnAncestor(Folder)) {
        ListError = "it lists as a folder above it does: a link on the server leads round in a loop.";
        ListErrorKind = TKNSideError::Link;
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

// Under Copy a link is an entry of its own, like a file holding its text; under Follow it is
// what it leads to, read where that is; under Skip it is not listed.
bool TKNScanProviderSide::MakeRec(const TKNSideEntry& listed, TKNFileRec& rec)
{
    TKNSideEntry own;  // a link kept as a link
    const TKNSideEntry* entry = &listed;
    std::shared_ptr<const TKNRecLinks> links;
    if (listed.Link && Links == TKNLinkPolicy::Skip) return LeaveOut(listed, {});
    if (listed.Link && Links == TKNLinkPolicy::Copy) {
        if (listed.LinkTarget.empty()) return LeaveOut(listed, "the side does not tell what the link holds");
        own = LinkItself(listed);
        entry = &own;
        links = std::make_shared<const TKNRecLinks>(TKNRecLinks{listed.LinkTarget, {}});
    } else if (listed.Link) {
        if (!Follow(listed, links)) return false;
    } else {
        // A folder that replaced a followed link is entered where it is.
        if (!followed_.empty() && listed.IsFolder()) followed_.erase(folderPath_.Child(listed.Name).Text());
        if (readElsewhere_)
            links = std::make_shared<const TKNRecLinks>(TKNRecLinks{{}, folderReal_.Child(listed.Name).Text()});
    }
    if (!FillRec(*entry, rec)) return false;
    rec.Link = entry == &own;
    rec.Links = std::move(links);
    return true;
}

bool TKNScanProviderSide::LeaveOut(const TKNSideEntry& link, const std::string& why)
{
    LinksLeftOut.push_back({PathJoin(folder_, link.Name), why});
    return false;
}

// A followed link leads, by its text, to a path below the root that is no folder on the way to
// it (that would be a loop); a link to a folder is entered there.
bool TKNScanProviderSide::Follow(const TKNSideEntry& link, std::shared_ptr<const TKNRecLinks>& links)
{
    if (link.Kind == TKNEntryKind::Other) return LeaveOut(link, "it leads to nothing that can be listed");
    TKNSidePath to;
    const std::string rootText = !root_.empty() && root_.front() == '/' ? root_ : std::string();
    if (link.LinkTarget.empty() || !LinkLeadsTo(folderReal_, link.LinkTarget, rootText, to))
        return LeaveOut(link, "it leads out of the folder");
    if (link.Kind == TKNEntryKind::Folder) {
        const std::vector<TKNSidePath> chain = RealChain(folderPath_);
        const auto holds = [&to](const TKNSidePath& folder) {
            const auto& a = to.Names();
            const auto& b = folder.Names();
            return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
        };
        if (std::any_of(chain.begin(), chain.end(), holds)) return LeaveOut(link, "it leads round in a loop");
        followed_[folderPath_.Child(link.Name).Text()] = to;
    }
    links = std::make_shared<const TKNRecLinks>(TKNRecLinks{{}, to.Text()});
    return true;
}

TKNSidePath TKNScanProviderSide::RealOf(const TKNSidePath& path) const
{
    return followed_.empty() ? path : RealChain(path).back();
}

// Where each folder from the root down to `path` really is, a followed link taken at its place.
std::vector<TKNSidePath> TKNScanProviderSide::RealChain(const TKNSidePath& path) const
{
    std::vector<TKNSidePath> chain{TKNSidePath()};
    TKNSidePath logical;
    for (const std::string& name : path.Names()) {
        logical = logical.Child(name);
        const auto found = followed_.find(logical.Text());
        chain.push_back(found != followed_.end() ? found->second : chain.back().Child(name));
    }
    return chain;
}

bool TKNScanProviderSide::FillRec(const TKNSideEntry& entry, TKNFileRec& rec)
{
    constexpr uint32_t kMaskable = faHidden | faSysFile | faDirectory;
    // The program's own temporary file: a copy in work of a run in progress, or the left-over
    // of a run that is over (recorded), whatever its time. A side that writes at the destination
    // holds no temporaries of the program: such a name there is a user's file.
    if (entry.Kind == TKNEntryKind::File && !entry.Link && !side_->Caps().AtomicReplace && IsOwnTempName(entry.Name)) {
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
    if (!SidePathOf(Rec, root_, path, reason) || !ReadFromPath(Rec, path, reason)) throw std::runtime_error(reason);
    // A server's file is fetched through its side by whoever needs its bytes (TKNSideFile).
    if (side_->Caps().Remote) throw std::runtime_error("A file on a server has no local name: " + side_->Shown(path));
    return side_->Shown(path);
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
