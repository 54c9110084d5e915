#include "engine/kn_unitScanProviderFTP.h"

#include <atomic>
#include <cmath>
#include <stdexcept>

#include "framework/vex_unitProgramFolder.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpTempName.h"

namespace kn {

namespace {

// The listed time cut to whole seconds, built the way local records build theirs (epoch days
// plus seconds / 86400): pairing compares times exactly, so equal wall times must give equal
// doubles whichever side they come from.
vex::TDateTime WholeSeconds(vex::TDateTime listed)
{
    vex::DateTimeFields f = vex::DecodeDateTime(listed);
    int64_t days = std::llround(vex::EncodeDateTime(f.year, f.month, f.day) - vex::kUnixEpochDays);
    return vex::UnixToDateTime(days * 86400 + f.hour * 3600 + f.minute * 60 + f.second, 0);
}

}  // namespace

void TKNScanProviderFTP::Close()
{
    if (FTP) FTP->Disconnect();
}

bool TKNScanProviderFTP::Open(const std::string& Root)
{
    ListError.clear();
    FTP = std::make_unique<TKNIdFTP>();
    FTP->OnWork = [this](int64_t) {
        if (StopFlag && *StopFlag) FTP->Abort();
    };
    try {
        OpenFtpLocation(*FTP, Root);
        FTP->SetTransferType(TKNFtpTransferType::ftASCII);
        // A root that cannot be entered (a mistyped path, say) fails here, with the server's
        // reason, before any folder is listed.
        FTP->ChangeDir(FtpPathPart(Root));
    } catch (const TKNFtpError& e) {
        // A server that cannot be reached must not look like an empty folder: an update would
        // then treat every entry of the other side as missing there, and a forced one would
        // delete them all.
        FTP->Disconnect();
        throw TKNFtpError(std::string("Cannot open the FTP folder: ") + e.what());
    }
    return FTP->Connected();
}

bool TKNScanProviderFTP::FindFirst(const std::string& Folder, uint32_t, std::unique_ptr<TKNFileRec>& Rec)
{
    ListError.clear();
    if (!FTP) return false;
    const std::string path = FtpPathPart(Folder);
    try {
        FTP->ChangeDir(path);
        FTP->List();
    } catch (const TKNFtpError& e) {
        if (!FTP->Connected())
            throw TKNFtpError("The FTP server closed the connection while listing \"" + path + "\": " + e.what());
        ListError = "Cannot list the FTP folder \"" + path + "\": " + e.what();
        return false;
    }
    CurrentFolder = Folder;
    currentPath_ = TKNSharedText(Folder);
    ItemIndex = 0;
    return NextUserEntry(Rec);
}

bool TKNScanProviderFTP::FindNext(std::unique_ptr<TKNFileRec>& Rec)
{
    ListError.clear();
    if (!FTP) return false;
    ++ItemIndex;
    return NextUserEntry(Rec);
}

bool TKNScanProviderFTP::NextUserEntry(std::unique_ptr<TKNFileRec>& Rec)
{
    const auto& items = FTP->DirectoryListing();
    auto isTemp = [](const TKNFtpListItem& item) {
        return item.ItemType != TKNFtpItemType::ditDirectory && IsFtpTempName(item.FileName);
    };
    while (static_cast<std::size_t>(ItemIndex) < items.size() && isTemp(items[static_cast<std::size_t>(ItemIndex)]))
        ++ItemIndex;
    if (static_cast<std::size_t>(ItemIndex) >= items.size()) return false;
    Rec = MakeRec(items[static_cast<std::size_t>(ItemIndex)]);
    return true;
}

std::unique_ptr<TKNFileRec> TKNScanProviderFTP::MakeRec(const TKNFtpListItem& item) const
{
    auto rec = std::make_unique<TKNFileRec>();
    if (item.ItemType == TKNFtpItemType::ditDirectory) {
        rec->Path = TKNSharedText(CurrentFolder + "/" + item.FileName);
        rec->Attr = faDirectory;
    } else {
        rec->Path = currentPath_;
        rec->Name = item.FileName;
        rec->Attr = faArchive;
    }
    if (item.ReadOnly == 1) rec->Attr |= faReadOnly;
    rec->AttrKnown = item.ReadOnly >= 0;
    rec->Size = item.Size;
    rec->Time = item.ModifiedDate < 0 ? vex::kNoTime : WholeSeconds(item.ModifiedDate);
    rec->TimeStep = item.TimeStep;
    return rec;
}

int32_t TKNScanProviderFTP::AttrKey(const TKNFileRec& Rec)
{
    if (!Rec.AttrKnown) return -1;
    const std::string_view path = Rec.Path.str();
    const std::string_view name = Rec.IsFolder() ? path.substr(path.rfind('/') + 1) : std::string_view(Rec.Name);
    const bool hidden = !name.empty() && name[0] == '.' && name != "." && name != "..";
    return static_cast<int32_t>(Rec.Attr | (hidden ? faHidden : 0));
}

std::string TKNScanProviderFTP::LocalFileName(const TKNFileRec& Rec)
{
    std::string folder, error;
    if (!vex::PrivateTempFolder(folder, error)) throw std::runtime_error(error);
    if (!FTP) throw TKNFtpError("Not connected");
    const std::string local = vex::JoinPath(folder, "KESTRUNE" + Tag);
    FTP->Get(FtpPathPart(PathJoin(Rec.Path.str(), Rec.Name)), local);
    return local;
}

int RemoteIconIndex(const TKNFileRec& Rec)
{
    if (Rec.IsFolder()) {
        static std::atomic<int> folderIcon{-1};
        if (folderIcon < 0) folderIcon = TKNScanProvider::LookupIcon(std::string(), true);
        return folderIcon;
    }
    std::size_t dot = Rec.Name.rfind('.');
    std::string pattern = "*";
    if (dot != std::string::npos) pattern.append(Rec.Name, dot);
    return TKNScanProvider::LookupIcon(pattern, false);
}

std::unique_ptr<TKNScanProvider> CreateScanProviderFTP()
{
    return std::make_unique<TKNScanProviderFTP>();
}

}  // namespace kn
