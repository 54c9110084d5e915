// The update providers that reach an FTP server: local to FTP, FTP to local, FTP to FTP.
#include "engine/kn_unitUpdate.h"

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdateSftp.h"
#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitProgramFolder.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitIdFTP.h"

#include <cmath>

namespace kn {

namespace {

std::string Slashed(std::string path)
{
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// A local date-time as the Unix time of its DOS form (odd seconds rounded down).
int64_t DosUnixTime(vex::TDateTime time)
{
    const int64_t offset = vex::LocalOffsetNow();
    int64_t local = vex::DateTimeToUnix(time, 0);
    local -= ((local % 2) + 2) % 2;
    return local - offset;
}

void CloseConnection(std::unique_ptr<TKNIdFTP>& ftp)
{
    if (ftp) ftp->Disconnect();
    ftp.reset();
}

}  // namespace

// --- FTP building blocks ------------------------------------------------------------------

std::unique_ptr<TKNIdFTP> TKNUpdateProvider::OpenConnection(const std::string& location)
{
    auto ftp = std::make_unique<TKNIdFTP>();
    TKNIdFTP* raw = ftp.get();
    ftp->OnWork = [this, raw](int64_t count) {
        if (StopRequested()) {
            raw->Abort();
            return;
        }
        TransferDone = TransferBase + count;
        ReportTransfer();
    };
    OpenFtpLocation(*ftp, location);
    ftp->SetTransferType(TKNFtpTransferType::ftBinary);
    return ftp;
}

void TKNUpdateProvider::StartTransfer(const std::string& path, int64_t total)
{
    CurrentName = DisplayName(path);
    TransferTotal = total;
    TransferDone = 0;
    TransferBase = 0;
}

bool TKNUpdateProvider::Reconnect(TKNIdFTP& ftp, const std::string& root, std::string& reason)
{
    try {
        ftp.Disconnect();
        OpenFtpLocation(ftp, root);
        ftp.SetTransferType(TKNFtpTransferType::ftBinary);
        return true;
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    }
}

// A refused transfer fails like any other: it is never counted as done.
template <class Transfer, class MakeMessage>
bool TKNUpdateProvider::RunTransfer(TKNIdFTP& ftp, const std::string& root, Transfer transfer, MakeMessage message)
{
    try {
        transfer();
        return true;
    } catch (const TKNFtpReplyError& e) {
        std::string reason = e.what(), reconnectReason;
        if (!Reconnect(ftp, root, reconnectReason)) reason += "\r\n" + reconnectReason;
        ErrorText = message(reason);
    } catch (const std::exception& e) {
        ErrorText = message(e.what());
    }
    return false;
}

bool TKNUpdateProvider::RemoteOperation(TKNIdFTP& ftp, TRemoteOp op, const std::string& Path)
{
    auto message = [&](const std::string& reason) {
        return op == TRemoteOp::MakeFolder     ? MsgCreateFolderFailed(Path, reason)
               : op == TRemoteOp::RemoveFolder ? MsgDeleteFolderFailed(Path, reason)
                                               : MsgDeleteFileFailed(Path, reason);
    };
    if (!IsFtpPath(Path)) {
        ErrorText = message(std::string());
        return false;
    }
    try {
        std::string serverPath = FtpPathPart(Path);
        if (op == TRemoteOp::MakeFolder) ftp.MakeDir(serverPath);
        else if (op == TRemoteOp::RemoveFolder) ftp.RemoveDir(serverPath);
        else ftp.Delete(serverPath);
        return true;
    } catch (const std::exception& e) {
        ErrorText = message(e.what());
        return false;
    }
}

bool TKNUpdateProvider::Download(TKNIdFTP& ftp, const std::string& root, const std::string& location,
                                 const std::string& Dest, const std::string& reportedSource)
{
    auto message = [&](const std::string& reason) { return MsgCopyFailed(reportedSource, Dest, reason); };
    std::string reason;
    vex::TvexTempFile temp;
    if (!vex::MakeParentFolders(Dest, reason) || !temp.Open(Dest, reason)) {
        ErrorText = message(reason);
        return false;
    }
    if (!RunTransfer(ftp, root, [&] { ftp.Get(FtpPathPart(location), temp.TempPath()); }, message)) return false;
    if (!temp.Commit(reason)) {
        ErrorText = message(reason);
        return false;
    }
    return true;
}

bool TKNUpdateProvider::Upload(TKNIdFTP& ftp, const std::string& root, const std::string& Source,
                               const std::string& location, const std::string& reportedDest)
{
    const std::string serverPath = FtpPathPart(location);
    return RunTransfer(ftp, root, [&] { ftp.Put(Source, serverPath); },
                       [&](const std::string& reason) { return MsgCopyFailed(Source, reportedDest, reason); });
}

// --- One side on FTP ----------------------------------------------------------------------

TKNUpdateProviderOneFTP::~TKNUpdateProviderOneFTP() { CloseConnection(FTP); }

void TKNUpdateProviderOneFTP::Disconnect() { CloseConnection(FTP); }

void TKNUpdateProviderOneFTP::Connect(const std::string& LeftRoot, const std::string& RightRoot)
{
    FtpRoot = IsFtpPath(LeftRoot) ? LeftRoot : RightRoot;
    FTP = OpenConnection(FtpRoot);
}

// --- Local to FTP -------------------------------------------------------------------------

bool TKNUpdateProviderFSFTP::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    if (!IsFtpPath(Dest)) {
        ErrorText = MsgCopyFailed(Source, Dest, std::string());
        return false;
    }
    std::string serverPath = FtpPathPart(Dest);
    StartTransfer(serverPath, Entry.Size);
    return RunTransfer(*FTP, FtpRoot, [&] { FTP->Put(Source, serverPath); },
                       [&](const std::string& reason) { return MsgCopyFailed(Source, serverPath, reason); });
}

// The file on the server is fetched into the local backup folder.
bool TKNUpdateProviderFSFTP::Backup(const TKNFileRec& Entry)
{
    if (!BackupWanted(Entry)) return true;
    std::string location = PathJoin(Entry.Path, Entry.Name);
    StartTransfer(location, Entry.Size);
    return Download(*FTP, FtpRoot, location, BackupPath(Entry), FtpPathPart(location));
}

bool TKNUpdateProviderFSFTP::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return RemoteOperation(*FTP, TRemoteOp::MakeFolder, Path);
}

bool TKNUpdateProviderFSFTP::DeleteFolder(const std::string& Path)
{
    return RemoteOperation(*FTP, TRemoteOp::RemoveFolder, Path);
}

bool TKNUpdateProviderFSFTP::DeleteFile(const std::string& Path)
{
    return RemoteOperation(*FTP, TRemoteOp::DeleteFile, Path);
}

std::string TKNUpdateProviderFSFTP::DisplayName(const std::string& Path) { return Slashed(Path); }

// --- FTP to local -------------------------------------------------------------------------

// The download keeps the listing's time (to the 2 seconds of a DOS time), so the follow-up
// comparison finds the pair equal in time.
bool TKNUpdateProviderFTPFS::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    if (!IsFtpPath(Source)) {
        ErrorText = MsgCopyFailed(Source, Dest, std::string());
        return false;
    }
    if (!CheckWrittenRoot([&](const std::string& r) { return MsgCopyFailed(Source, Dest, r); })) return false;
    StartTransfer(Dest, Entry.Size);
    if (!Download(*FTP, FtpRoot, Source, Dest, Source)) return false;
    std::string reason;
    if (Entry.Time >= 0 && !vex::SetLastWriteTime(Dest, DosUnixTime(Entry.Time), reason)) {
        ErrorText = MsgCopyFailed(Source, Dest, reason);
        return false;
    }
    return true;
}

bool TKNUpdateProviderFTPFS::Backup(const TKNFileRec& Entry) { return LocalBackup(Entry); }

bool TKNUpdateProviderFTPFS::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return LocalCreateFolder(Path);
}

bool TKNUpdateProviderFTPFS::DeleteFolder(const std::string& Path) { return LocalDeleteFolder(Path); }

bool TKNUpdateProviderFTPFS::DeleteFile(const std::string& Path) { return LocalDeleteFile(Path); }

// --- FTP to FTP ---------------------------------------------------------------------------

TKNUpdateProviderFTPFTP::~TKNUpdateProviderFTPFTP()
{
    CloseConnection(FTPLeft);
    CloseConnection(FTPRight);
}

void TKNUpdateProviderFTPFTP::Disconnect()
{
    CloseConnection(FTPLeft);
    CloseConnection(FTPRight);
}

void TKNUpdateProviderFTPFTP::Connect(const std::string& LeftRoot_, const std::string& RightRoot_)
{
    LeftRoot = LeftRoot_;
    RightRoot = RightRoot_;
    FTPLeft = OpenConnection(LeftRoot);
    FTPRight = OpenConnection(RightRoot);
}

// Staged through this provider's own file in the private temporary folder, removed afterwards.
// The download is the first half of the progress, the upload the second.
bool TKNUpdateProviderFTPFTP::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    if (!IsFtpPath(Source) || !IsFtpPath(Dest)) {
        ErrorText = MsgCopyFailed(Source, Dest, std::string());
        return false;
    }
    std::string sourcePath = FtpPathPart(Source), destPath = FtpPathPart(Dest);
    auto message = [&](const std::string& reason) { return MsgCopyFailed(sourcePath, destPath, reason); };
    std::string tempFolder, reason;
    if (!vex::PrivateTempFolder(tempFolder, reason)) {
        ErrorText = message(reason);
        return false;
    }
    std::string temp = tempFolder + "/KESTRUNE" + TempSuffix;
    StartTransfer(destPath, 2 * Entry.Size);
    const std::string& readRoot = WritesRight ? LeftRoot : RightRoot;
    const std::string& writtenRoot = WritesRight ? RightRoot : LeftRoot;
    bool ok = RunTransfer(ReadConnection(), readRoot, [&] { ReadConnection().Get(sourcePath, temp); }, message);
    TransferBase = Entry.Size;
    ok = ok && RunTransfer(WrittenConnection(), writtenRoot, [&] { WrittenConnection().Put(temp, destPath); }, message);
    TransferBase = 0;
    vex::DeleteFileEntry(temp, reason);
    return ok;
}

bool TKNUpdateProviderFTPFTP::Backup(const TKNFileRec& Entry)
{
    if (!BackupWanted(Entry)) return true;
    std::string location = PathJoin(Entry.Path, Entry.Name);
    StartTransfer(location, Entry.Size);
    return Download(WrittenConnection(), WritesRight ? RightRoot : LeftRoot, location, BackupPath(Entry),
                    FtpPathPart(location));
}

bool TKNUpdateProviderFTPFTP::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return RemoteOperation(WrittenConnection(), TRemoteOp::MakeFolder, Path);
}

bool TKNUpdateProviderFTPFTP::DeleteFolder(const std::string& Path)
{
    return RemoteOperation(WrittenConnection(), TRemoteOp::RemoveFolder, Path);
}

bool TKNUpdateProviderFTPFTP::DeleteFile(const std::string& Path)
{
    return RemoteOperation(WrittenConnection(), TRemoteOp::DeleteFile, Path);
}

std::string TKNUpdateProviderFTPFTP::DisplayName(const std::string& Path) { return Slashed(Path); }

// --- Choice of class ----------------------------------------------------------------------

std::unique_ptr<TKNUpdateProvider> CreateUpdateProvider(TKNSideKind left, TKNSideKind right, bool writesRight)
{
    const bool leftIsFtp = left == TKNSideKind::Ftp, rightIsFtp = right == TKNSideKind::Ftp;
    const bool sourceFtp = writesRight ? leftIsFtp : rightIsFtp;
    const bool destFtp = writesRight ? rightIsFtp : leftIsFtp;
    std::unique_ptr<TKNUpdateProvider> provider;
    if (left == TKNSideKind::Sftp || right == TKNSideKind::Sftp)
        provider = CreateSftpUpdateProvider(left, right);
    else if (sourceFtp && destFtp) provider = std::make_unique<TKNUpdateProviderFTPFTP>();
    else if (sourceFtp) provider = std::make_unique<TKNUpdateProviderFTPFS>();
    else if (destFtp) provider = std::make_unique<TKNUpdateProviderFSFTP>();
    else provider = std::make_unique<TKNUpdateProviderFSFS>();
    provider->WritesRight = writesRight;
    return provider;
}

}  // namespace kn
