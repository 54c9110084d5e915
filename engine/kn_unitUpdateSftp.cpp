#include "engine/kn_unitUpdateSftp.h"

#include <sys/stat.h>

#include "engine/kn_unitCompareUpdate.h"
#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitProgramFolder.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitIdFTP.h"

namespace kn {

namespace {

void CloseSide(std::unique_ptr<TKNSftpSession>& sftp, std::unique_ptr<TKNIdFTP>& ftp)
{
    if (sftp) sftp->Close();
    sftp.reset();
    if (ftp) ftp->Disconnect();
    ftp.reset();
}

}  // namespace

TKNUpdateProviderSFTP::~TKNUpdateProviderSFTP()
{
    Disconnect();
}

void TKNUpdateProviderSFTP::Disconnect()
{
    for (TSide& side : sides_) CloseSide(side.sftp, side.ftp);
}

void TKNUpdateProviderSFTP::Connect(const std::string& LeftRoot, const std::string& RightRoot)
{
    const std::string* roots[2] = {&LeftRoot, &RightRoot};
    for (int i = 0; i < 2; ++i) {
        TSide& side = sides_[i];
        side.kind = kinds_[i];
        side.root = *roots[i];
        if (side.kind == TKNSideKind::Sftp) {
            side.sftp = std::make_unique<TKNSftpSession>();
            side.sftp->Open(side.root);
        } else if (side.kind == TKNSideKind::Ftp) {
            side.ftp = OpenConnection(side.root);
        }
    }
}

TKNSftpProgress TKNUpdateProviderSFTP::Progress()
{
    return [this](int64_t done) {
        if (StopRequested()) return false;
        TransferDone = TransferBase + done;
        ReportTransfer();
        return true;
    };
}

bool TKNUpdateProviderSFTP::Fetch(TSide& side, const std::string& location, const std::string& dest,
                                  const TKNFileRec& Entry)
{
    const std::string shown = DisplayName(location);
    if (side.kind == TKNSideKind::Ftp) {
        return Download(*side.ftp, side.root, location, dest, shown, Entry.Size) &&
               TakeServerTime(*side.ftp, location, dest, Entry) && KeepReadOnly(shown, dest, Entry);
    }
    std::string reason;
    if (!SftpDownload(*side.sftp, side.sftp->RemotePath(location), LocalRootOf(dest), dest, Progress(), reason)) {
        ErrorText = MsgCopyFailed(shown, dest, reason);
        return false;
    }
    return true;
}

bool TKNUpdateProviderSFTP::Store(TSide& side, const std::string& source, const std::string& location,
                                  const TKNFileRec& Entry)
{
    const std::string shown = DisplayName(location);
    struct stat st {};
    std::string reason;
    if (::stat(source.c_str(), &st) != 0)
        reason = vex::ErrorText(errno);
    else if (side.kind == TKNSideKind::Ftp)
        return Upload(*side.ftp, side.root, source, FtpPathPart(location), Entry, DisplayName(source),
                      st.st_mtim.tv_sec);
    else if (SftpUpload(*side.sftp, source, side.sftp->RemotePath(location), st.st_mtim.tv_sec,
                        static_cast<int>(st.st_mode & 07777), Progress(), reason))
        return true;
    ErrorText = MsgCopyFailed(DisplayName(source), shown, reason);
    return false;
}

// A copy between two remote sides goes through a local file: the download is the first half
// of the progress, the upload the second.
bool TKNUpdateProviderSFTP::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    TSide &from = Read(), &to = Written();
    if (to.kind == TKNSideKind::Local) {
        if (!CheckWrittenRoot([&](const std::string& r) { return MsgCopyFailed(DisplayName(Source), Dest, r); }))
            return false;
        StartTransfer(Dest, Entry.Size);
        return Fetch(from, Source, Dest, Entry);
    }
    if (from.kind == TKNSideKind::Local) {
        StartTransfer(Dest, Entry.Size);
        return Store(to, Source, Dest, Entry);
    }
    std::string tempFolder, reason;
    if (!vex::PrivateTempFolder(tempFolder, reason)) {
        ErrorText = MsgCopyFailed(DisplayName(Source), DisplayName(Dest), reason);
        return false;
    }
    const std::string temp = tempFolder + "/KESTRUNE" + TempSuffix;
    StartTransfer(Dest, 2 * Entry.Size);
    bool ok = Fetch(from, Source, temp, Entry);
    TransferBase = Entry.Size;
    ok = ok && Store(to, temp, Dest, Entry);
    TransferBase = 0;
    vex::DeleteFileEntry(temp, reason);
    return ok;
}

bool TKNUpdateProviderSFTP::Backup(const TKNFileRec& Entry)
{
    TSide& side = Written();
    if (side.kind == TKNSideKind::Local) return LocalBackup(Entry);
    if (!BackupWanted(Entry)) return true;
    const std::string location = PathJoin(Entry.Path, Entry.Name);
    StartTransfer(location, Entry.Size);
    return Fetch(side, location, BackupPath(Entry), Entry);
}

bool TKNUpdateProviderSFTP::SftpOperation(TKNSftpSession& session, TRemoteOp op, const std::string& Path)
{
    const std::string path = session.RemotePath(Path), shown = DisplayName(Path);
    std::string reason;
    if (op == TRemoteOp::MakeFolder && session.MakeFolder(path, reason)) return true;
    if (op == TRemoteOp::RemoveFolder && session.RemoveFolder(path, reason)) return true;
    if (op == TRemoteOp::DeleteFile && session.RemoveFile(path, reason)) return true;
    ErrorText = op == TRemoteOp::MakeFolder     ? MsgCreateFolderFailed(shown, reason)
                : op == TRemoteOp::RemoveFolder ? MsgDeleteFolderFailed(shown, reason)
                                                : MsgDeleteFileFailed(shown, reason);
    return false;
}

bool TKNUpdateProviderSFTP::WrittenOperation(TRemoteOp op, const std::string& Path)
{
    TSide& side = Written();
    if (side.kind == TKNSideKind::Sftp) return SftpOperation(*side.sftp, op, Path);
    if (side.kind == TKNSideKind::Ftp) return RemoteOperation(*side.ftp, op, Path);
    return op == TRemoteOp::MakeFolder     ? LocalCreateFolder(Path)
           : op == TRemoteOp::RemoveFolder ? LocalDeleteFolder(Path)
                                           : LocalDeleteFile(Path);
}

bool TKNUpdateProviderSFTP::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return WrittenOperation(TRemoteOp::MakeFolder, Path);
}

bool TKNUpdateProviderSFTP::DeleteFolder(const std::string& Path)
{
    return WrittenOperation(TRemoteOp::RemoveFolder, Path);
}

bool TKNUpdateProviderSFTP::DeleteFile(const std::string& Path)
{
    return WrittenOperation(TRemoteOp::DeleteFile, Path);
}

bool TKNUpdateProviderSFTP::SetTime(const std::string& Path, vex::TDateTime Time)
{
    TSide& side = Written();
    if (side.kind == TKNSideKind::Local) return LocalSetTime(Path, Time);
    if (side.kind == TKNSideKind::Ftp) return RemoteSetTime(*side.ftp, Path, Time);
    std::string reason;
    if (side.sftp->SetTimesAndMode(side.sftp->RemotePath(Path), DosUnixTime(Time), -1, reason)) return true;
    ErrorText = MsgSetTimeFailed(DisplayName(Path), reason);
    return false;
}

// Read-only is the owner's write bit, as on a local side.
bool TKNUpdateProviderSFTP::ApplyAttributes(const std::string& Path, int Attr)
{
    TSide& side = Written();
    if (side.kind == TKNSideKind::Ftp) return RemoteApplyAttributes(*side.ftp, side.root, Path, Attr);
    if (side.kind == TKNSideKind::Local) return LocalApplyAttributes(Path, Attr);
    const bool readOnly = (Attr & faReadOnly) != 0;
    std::string reason;
    const std::string path = side.sftp->RemotePath(Path);
    TKNSftpEntry entry;
    if (side.sftp->Stat(path, entry, reason)) {
        uint32_t mode = entry.Permissions & 07777;
        mode = readOnly ? mode & ~0222u : mode | S_IWUSR;
        if (side.sftp->SetTimesAndMode(path, entry.MTime, static_cast<int>(mode), reason)) return true;
    }
    ErrorText = MsgSetAttributesFailed(DisplayName(Path), reason);
    return false;
}

std::string TKNUpdateProviderSFTP::DisplayName(const std::string& Path)
{
    return IsSftpPath(Path) ? SftpDisplayLocation(ForwardSlashes(Path)) : IsFtpPath(Path) ? ForwardSlashes(Path) : Path;
}

std::unique_ptr<TKNUpdateProvider> CreateSftpUpdateProvider(TKNSideKind left, TKNSideKind right)
{
    return std::make_unique<TKNUpdateProviderSFTP>(left, right);
}

}  // namespace kn
