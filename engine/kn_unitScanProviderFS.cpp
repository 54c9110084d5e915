#include "engine/kn_unitScanProviderFS.h"

#include <cerrno>
#include <ctime>

#include "engine/kn_unitCompareContent.h"
#include "framework/vex_unitFileCopy.h"

namespace kn {

bool TKNScanProviderFS::Open(const std::string& Root)
{
    utcOffset_ = vex::LocalOffsetNow();
    openedAt_ = static_cast<int64_t>(std::time(nullptr));
    // Only an absolute path names a local folder; anything else scans empty.
    if (Root.empty() || Root.front() != '/') return false;
    if (vex::KindOf(Root) == vex::TFileKind::Folder) return true;
    ListError = "The folder \"" + Root + "\" does not exist.";
    return false;
}

void TKNScanProviderFS::FindClose()
{
    lister_.Close();
}

bool TKNScanProviderFS::Failed(const std::string& Folder, int error)
{
    ListError = error == ENAMETOOLONG ? "The path is too long (" + std::to_string(Folder.size()) + " bytes)"
                                      : vex::ErrorText(error);
    lister_.Close();
    return false;
}

bool TKNScanProviderFS::FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec)
{
    ListError.clear();
    if (Folder.empty() || Folder.front() != '/') return false;
    if (!lister_.Open(Folder)) return Failed(Folder, errno);
    CurrentFolder = TKNSharedText(Folder);
    attrMask_ = AttrMask;
    if (NextKept(Rec)) return true;
    lister_.Close();
    return false;
}

bool TKNScanProviderFS::FindNext(std::unique_ptr<TKNFileRec>& Rec)
{
    return NextKept(Rec);
}

// A regular file of the program's temporary name pattern is never a user's file: a copy in
// work (newer than Open) or the left-over of a run that was killed (older, recorded).
bool TKNScanProviderFS::IsOwnTempFile(const vex::TDirEntry& entry)
{
    if (entry.Link || (entry.Attr & (faDirectory | faSysFile)) != 0 || !vex::IsTempFileName(entry.Name)) return false;
    if (entry.MTime < openedAt_) StaleTempFiles.push_back(PathJoin(CurrentFolder.str(), entry.Name));
    return true;
}

bool TKNScanProviderFS::NextKept(std::unique_ptr<TKNFileRec>& Rec)
{
    constexpr uint32_t kMaskable = faHidden | faSysFile | faDirectory;
    vex::TDirEntry entry;
    while (lister_.Next(entry)) {
        if (IsOwnTempFile(entry) || (entry.Attr & kMaskable & ~attrMask_) != 0) continue;
        // The record the caller handed back is filled anew: one allocation for the listing.
        if (!Rec) Rec = std::make_unique<TKNFileRec>();
        TKNFileRec& rec = *Rec;
        rec = TKNFileRec();
        if (entry.Attr & faDirectory) {
            rec.Path = PathJoin(CurrentFolder.str(), entry.Name);
        } else {
            rec.Path = CurrentFolder;
            rec.Name = entry.Name;
        }
        rec.Size = entry.Size;
        rec.Time = vex::UnixToDosDateTime(entry.MTime, utcOffset_);
        rec.Attr = entry.Attr & 0xFF;
        rec.Link = entry.Link;
        return true;
    }
    if (lister_.Error() != 0) return Failed(CurrentFolder.str(), lister_.Error());
    return false;
}

std::string TKNScanProviderFS::LocalFileName(const TKNFileRec& Rec)
{
    return Rec.IsFolder() ? Rec.Path.str() : PathJoin(Rec.Path.str(), Rec.Name);
}

int TKNScanProviderFS::IconIndex(const TKNFileRec& Rec)
{
    return LookupIcon(LocalFileName(Rec), Rec.IsFolder());
}

std::unique_ptr<TKNContentSide> TKNScanProviderFS::OpenContentSide(const std::string&)
{
    return MakeLocalContentSide();
}

}  // namespace kn
