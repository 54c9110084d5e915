#include "engine/kn_unitScanProviderFS.h"

#include "engine/kn_unitCompareContent.h"

namespace kn {

bool TKNScanProviderFS::Open(const std::string& Root)
{
    utcOffset_ = vex::LocalOffsetNow();
    // Only an absolute path names a local folder; anything else scans empty.
    return !Root.empty() && Root.front() == '/';
}

void TKNScanProviderFS::FindClose() { lister_.Close(); }

bool TKNScanProviderFS::FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec)
{
    if (Folder.empty() || Folder.front() != '/' || !lister_.Open(Folder)) return false;
    CurrentFolder = TKNSharedText(Folder);
    attrMask_ = AttrMask;
    if (NextKept(Rec)) return true;
    lister_.Close();
    return false;
}

bool TKNScanProviderFS::FindNext(std::unique_ptr<TKNFileRec>& Rec) { return NextKept(Rec); }

bool TKNScanProviderFS::NextKept(std::unique_ptr<TKNFileRec>& Rec)
{
    constexpr uint32_t kMaskable = faHidden | faSysFile | faDirectory;
    vex::TDirEntry entry;
    while (lister_.Next(entry)) {
        if ((entry.Attr & kMaskable & ~attrMask_) != 0) continue;
        auto rec = std::make_unique<TKNFileRec>();
        if (entry.Attr & faDirectory) {
            rec->Path = PathJoin(CurrentFolder.str(), entry.Name);
        } else {
            rec->Path = CurrentFolder;
            rec->Name = entry.Name;
        }
        rec->Size = entry.Size;
        rec->Time = vex::UnixToDosDateTime(entry.MTime, utcOffset_);
        rec->Attr = entry.Attr & 0xFF;
        rec->Link = entry.Link;
        Rec = std::move(rec);
        return true;
    }
    return false;
}

std::string TKNScanProviderFS::LocalFileName(const TKNFileRec& Rec)
{
    return Rec.IsFolder() ? Rec.Path.str() : PathJoin(Rec.Path.str(), Rec.Name);
}

int TKNScanProviderFS::IconIndex(const TKNFileRec& Rec) { return LookupIcon(LocalFileName(Rec), Rec.IsFolder()); }

std::unique_ptr<TKNContentSide> TKNScanProviderFS::OpenContentSide(const std::string&)
{
    return MakeLocalContentSide();
}

}  // namespace kn
