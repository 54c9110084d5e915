#include "engine/kn_unitScanProviderSFTP.h"

#include <sys/stat.h>

#include <stdexcept>

#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitProgramFolder.h"
#include "sftp/kn_unitSftpTransfer.h"

namespace kn {

void TKNScanProviderSFTP::Close()
{
    if (Session) Session->Close();
}

bool TKNScanProviderSFTP::Open(const std::string& Root)
{
    ListError.clear();
    utcOffset_ = vex::LocalOffsetNow();
    Session = std::make_unique<TKNSftpSession>();
    try {
        Session->Open(Root);
    } catch (const TKNSftpError& e) {
        // An unreachable server must never look like an empty folder: an update would take
        // every entry of the other side as missing there.
        throw TKNSftpError(std::string("Cannot open the SFTP folder: ") + e.what());
    }
    TKNSftpEntry root;
    std::string reason;
    const std::string path = Session->RemotePath(Root);
    if (Session->Stat(path, root, reason) && root.Kind != TKNSftpEntry::TKind::Folder)
        throw TKNSftpError("Cannot open the SFTP folder: \"" + path + "\" is not a folder");
    return true;
}

bool TKNScanProviderSFTP::FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec)
{
    ListError.clear();
    entries_.clear();
    next_ = 0;
    if (!Session) return false;
    std::string reason;
    if (!Session->List(Session->RemotePath(Folder), entries_, reason)) {
        ListError = reason;
        return false;
    }
    attrMask_ = AttrMask;
    folder_ = Folder;
    currentPath_ = TKNSharedText(Folder);
    return NextKept(Rec);
}

bool TKNScanProviderSFTP::FindNext(std::unique_ptr<TKNFileRec>& Rec)
{
    return NextKept(Rec);
}

bool TKNScanProviderSFTP::NextKept(std::unique_ptr<TKNFileRec>& Rec)
{
    constexpr uint32_t kMaskable = faHidden | faSysFile | faDirectory;
    while (next_ < entries_.size()) {
        const TKNSftpEntry& entry = entries_[next_++];
        struct stat st {};
        st.st_mode = static_cast<mode_t>(entry.Permissions);
        const uint32_t attr = vex::AttributesOf(st, entry.Name);
        if ((attr & kMaskable & ~attrMask_) != 0) continue;
        auto rec = std::make_unique<TKNFileRec>();
        if (attr & faDirectory) {
            rec->Path = TKNSharedText(PathJoin(folder_, entry.Name));
        } else {
            rec->Path = currentPath_;
            rec->Name = entry.Name;
        }
        rec->Size = entry.Size;
        rec->Time = vex::UnixToDosDateTime(entry.MTime, utcOffset_);
        rec->Attr = attr & 0xFF;
        rec->Link = entry.Link;
        Rec = std::move(rec);
        return true;
    }
    return false;
}

std::string TKNScanProviderSFTP::LocalFileName(const TKNFileRec& Rec)
{
    std::string folder, error;
    if (!vex::PrivateTempFolder(folder, error)) throw std::runtime_error(error);
    if (!Session || !Session->Connected()) throw TKNSftpError("Not connected");
    const std::string local = vex::JoinPath(folder, "KESTRUNE" + Tag);
    if (!SftpDownload(*Session, Session->RemotePath(PathJoin(Rec.Path.str(), Rec.Name)), folder, local, nullptr, error))
        throw TKNSftpError(error);
    return local;
}

std::unique_ptr<TKNScanProvider> CreateScanProviderSFTP()
{
    return std::make_unique<TKNScanProviderSFTP>();
}

}  // namespace kn
