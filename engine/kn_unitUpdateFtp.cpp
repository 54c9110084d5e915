// The update providers that reach an FTP server: local to FTP, FTP to local, FTP to FTP.
#include <sys/stat.h>

#include <cmath>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdateSftp.h"
#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitProgramFolder.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpTempName.h"
#include "ftp/kn_unitIdFTP.h"

namespace kn {

namespace {

// A location as it is shown: "/" for "\\", without the password.
std::string Shown(std::string path)
{
    for (char& c : path)
        if (c == '\\') c = '/';
    return HideFtpPasswords(path);
}

// The record's time as Unix seconds where it is known to the second; -1 otherwise.
int64_t ExactUnixTime(const TKNFileRec& rec)
{
    if (rec.Time < 0 || rec.TimeStep != 1) return -1;
    return vex::DateTimeToUnix(rec.Time, vex::LocalOffsetNow());
}

// MDTM of one file; -1 when the server gives none (or the question fails).
int64_t ServerModTime(TKNIdFTP& ftp, const std::string& serverPath)
{
    try {
        return ftp.ModTime(serverPath);
    } catch (const TKNFtpError&) {
        return -1;
    }
}

void CloseConnection(std::unique_ptr<TKNIdFTP>& ftp)
{
    if (ftp) ftp->Disconnect();
    ftp.reset();
}

// Why `part`, one component of a path bound for a server, is not a plain name there: "\" is a
// separator to many servers and ".." names the parent, so either would reach outside the
// destination folder. Empty when the part is fine.
std::string UnsafeFtpPart(const std::string& part)
{
    if (part == "." || part == "..")
        return "The name \"" + part + "\" would leave its folder on the FTP server; it is not copied.";
    if (part.find('\\') != std::string::npos)
        return "The name \"" + part +
               "\" holds \"\\\", which an FTP server may take as a folder separator; it is not copied.";
    return {};
}

// Fails with a reason unless `received` is the whole file: the server's SIZE where it answers
// one, otherwise the size the listing gave (when known, >= 0).
void ConfirmWhole(TKNIdFTP& ftp, const std::string& serverPath, int64_t received, int64_t listedSize)
{
    const int64_t told = ftp.FileSize(serverPath);
    const int64_t expected = told >= 0 ? told : listedSize;
    if (expected >= 0 && received != expected)
        throw TKNFtpError("Only " + std::to_string(received) + " of " + std::to_string(expected) +
                          " bytes were transferred");
}

// The folder part and the name of a server path ("/a/b.txt": "/a", "b.txt").
std::pair<std::string, std::string> SplitServerPath(const std::string& serverPath)
{
    std::size_t slash = serverPath.rfind('/');
    if (slash == std::string::npos) return {".", serverPath};
    return {serverPath.substr(0, slash == 0 ? 1 : slash), serverPath.substr(slash + 1)};
}

}  // namespace

const char* const kMsgServerKeepsNoTimes = "The server cannot set file times; uploaded files will look newer.";
const char* const kMsgServerKeepsNoModes =
    "The server cannot set file permissions; uploaded read-only files are writable there.";

namespace {

// The server entry's mode with read-only applied: its own other bits where the server tells
// them, else the usual ones of a file or folder.
int ModeWithReadOnly(TKNIdFTP& ftp, const std::string& serverPath, bool folder, bool readOnly)
{
    const int told = ftp.UnixMode(serverPath);
    if (told < 0) return folder ? (readOnly ? 0555 : 0755) : (readOnly ? 0444 : 0644);
    return readOnly ? told & ~0222 : told | 0200;
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

template <class MakeMessage>
bool TKNUpdateProvider::CheckFtpNames(const std::string& Path, MakeMessage message)
{
    std::string root = WrittenRoot();
    while (!root.empty() && (root.back() == '/' || root.back() == '\\')) root.pop_back();
    // Below the root when the path starts with it; otherwise every part after the scheme.
    std::size_t from = Path.compare(0, root.size(), root) == 0 ? root.size() : std::min<std::size_t>(6, Path.size());
    for (std::size_t start = from; start <= Path.size();) {
        std::size_t end = std::min(Path.find('/', start), Path.size());
        std::string reason = UnsafeFtpPart(Path.substr(start, end - start));
        if (!reason.empty()) {
            ErrorText = message(reason);
            return false;
        }
        start = end + 1;
    }
    return true;
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
    if (!CheckFtpNames(Path, message)) return false;
    try {
        std::string serverPath = FtpPathPart(Path);
        if (op == TRemoteOp::MakeFolder)
            ftp.MakeDir(serverPath);
        else if (op == TRemoteOp::RemoveFolder)
            ftp.RemoveDir(serverPath);
        else
            ftp.Delete(serverPath);
        return true;
    } catch (const std::exception& e) {
        ErrorText = message(e.what());
        return false;
    }
}

bool TKNUpdateProvider::Download(TKNIdFTP& ftp, const std::string& root, const std::string& location,
                                 const std::string& Dest, const std::string& reportedSource, int64_t listedSize)
{
    auto message = [&](const std::string& reason) { return MsgCopyFailed(reportedSource, Dest, reason); };
    std::string reason;
    vex::TvexTempFile temp;
    if (!temp.Open(LocalRootOf(Dest), Dest, reason)) {
        ErrorText = message(reason);
        return false;
    }
    const std::string serverPath = FtpPathPart(location);
    auto fetch = [&] { ConfirmWhole(ftp, serverPath, ftp.Get(serverPath, temp.TempPath()), listedSize); };
    if (!RunTransfer(ftp, root, fetch, message)) return false;
    if (!temp.Commit(reason)) {
        ErrorText = message(reason);
        return false;
    }
    return true;
}

// A new server file is writable; only a read-only source needs a change, and only where the
// server's listing shows modes (MLST), since elsewhere the next comparison cannot see it.
bool TKNUpdateProvider::Upload(TKNIdFTP& ftp, const std::string& root, const std::string& localFile,
                               const std::string& serverPath, const TKNFileRec& source,
                               const std::string& reportedSource, int64_t modTime)
{
    if (!StoreWhole(ftp, root, localFile, serverPath, reportedSource)) return false;
    const bool makeReadOnly = source.AttrKnown && (source.Attr & faReadOnly) != 0 && ftp.HasFeature("MLST");
    try {
        if (modTime >= 0 && !ftp.SetModTime(serverPath, modTime) && Owner) Owner->Notice(kMsgServerKeepsNoTimes);
        if (makeReadOnly && !ftp.ChangeMode(serverPath, ModeWithReadOnly(ftp, serverPath, false, true)) && Owner)
            Owner->Notice(kMsgServerKeepsNoModes);
        return true;
    } catch (const std::exception& e) {
        ErrorText = MsgSetAttributesFailed(reportedSource + " -> " + serverPath, e.what());
        std::string reason;
        if (!ftp.Connected()) Reconnect(ftp, root, reason);
        return false;
    }
}

bool TKNUpdateProvider::StoreWhole(TKNIdFTP& ftp, const std::string& root, const std::string& localFile,
                                   const std::string& serverPath, const std::string& reportedSource)
{
    auto message = [&](const std::string& reason) { return MsgCopyFailed(reportedSource, serverPath, reason); };
    const auto [folder, name] = SplitServerPath(serverPath);
    const std::string temp = (folder == "/" ? folder : folder + "/") + FtpTempName(name);
    bool stored = false;
    auto store = [&] {
        const int64_t sent = ftp.Put(localFile, temp);
        stored = true;
        ConfirmWhole(ftp, temp, sent, -1);
        ftp.Rename(temp, serverPath);
    };
    if (RunTransfer(ftp, root, store, message)) return true;
    // The temporary file may exist even when STOR failed half-way; a refused DELE of a file
    // that was never made is no news.
    std::string reason;
    if (!ftp.Connected() && !Reconnect(ftp, root, reason)) {
        ErrorText += "\r\nThe temporary file \"" + temp + "\" may remain: " + reason;
        return false;
    }
    try {
        ftp.Delete(temp);
    } catch (const TKNFtpReplyError& e) {
        if (stored || e.Code != 550) ErrorText += "\r\nThe temporary file \"" + temp + "\" may remain: " + e.what();
        if (!ftp.Connected()) Reconnect(ftp, root, reason);
    } catch (const TKNFtpError& e) {
        ErrorText += "\r\nThe temporary file \"" + temp + "\" may remain: " + e.what();
    }
    return false;
}

// The server takes the Unix time of the local date-time `Time`, as an upload sets it, so the
// next listing (MLSD in UTC, converted like a local scan) finds the pair equal in time.
bool TKNUpdateProvider::RemoteSetTime(TKNIdFTP& ftp, const std::string& Path, vex::TDateTime Time)
{
    if (!IsFtpPath(Path)) {
        ErrorText = MsgSetTimeFailed(Path, std::string());
        return false;
    }
    const std::string serverPath = FtpPathPart(Path);
    try {
        if (ftp.SetModTime(serverPath, vex::DateTimeToUnix(Time, vex::LocalOffsetNow()))) return true;
        ErrorText = MsgSetTimeFailed(serverPath, "The FTP server cannot set file times.");
    } catch (const std::exception& e) {
        ErrorText = MsgSetTimeFailed(serverPath, e.what());
    }
    return false;
}

bool TKNUpdateProvider::RemoteApplyAttributes(TKNIdFTP& ftp, const std::string& root, const std::string& Path, int Attr)
{
    if (!IsFtpPath(Path)) {
        ErrorText = MsgSetAttributesFailed(Path, std::string());
        return false;
    }
    const std::string serverPath = FtpPathPart(Path);
    try {
        const bool folder = (Attr & faDirectory) != 0, readOnly = (Attr & faReadOnly) != 0;
        if (ftp.ChangeMode(serverPath, ModeWithReadOnly(ftp, serverPath, folder, readOnly))) return true;
        ErrorText = MsgSetAttributesFailed(serverPath, "The FTP server cannot set file permissions.");
    } catch (const std::exception& e) {
        ErrorText = MsgSetAttributesFailed(serverPath, e.what());
        std::string reason;
        if (!ftp.Connected()) Reconnect(ftp, root, reason);
    }
    return false;
}

bool TKNUpdateProvider::TakeServerTime(TKNIdFTP& ftp, const std::string& Source, const std::string& Dest,
                                       const TKNFileRec& Entry)
{
    std::string reason;
    int64_t when = ExactUnixTime(Entry);
    if (when < 0) when = ServerModTime(ftp, FtpPathPart(Source));
    if (when < 0 && Entry.Time >= 0) when = DosUnixTime(Entry.Time);
    if (when >= 0 && !vex::SetLastWriteTime(Dest, when, reason)) {
        ErrorText = MsgCopyFailed(Source, Dest, reason);
        return false;
    }
    return true;
}

// --- One side on FTP ----------------------------------------------------------------------

TKNUpdateProviderOneFTP::~TKNUpdateProviderOneFTP()
{
    CloseConnection(FTP);
}

void TKNUpdateProviderOneFTP::Disconnect()
{
    CloseConnection(FTP);
}

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
    if (!CheckFtpNames(Dest, [&](const std::string& reason) { return MsgCopyFailed(Source, serverPath, reason); }))
        return false;
    StartTransfer(serverPath, Entry.Size);
    struct stat st;
    const int64_t modTime = ::stat(Source.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
    return Upload(*FTP, FtpRoot, Source, serverPath, Entry, Source, modTime);
}

// The file on the server is fetched into the local backup folder.
bool TKNUpdateProviderFSFTP::Backup(const TKNFileRec& Entry)
{
    if (!BackupWanted(Entry)) return true;
    std::string location = PathJoin(Entry.Path, Entry.Name);
    StartTransfer(location, Entry.Size);
    return Download(*FTP, FtpRoot, location, BackupPath(Entry), FtpPathPart(location), Entry.Size);
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

std::string TKNUpdateProviderFSFTP::DisplayName(const std::string& Path)
{
    return Shown(Path);
}

// --- FTP to local -------------------------------------------------------------------------

// The download keeps the server's time: exact where the listing or MDTM gives seconds,
// otherwise the listing's (to the 2 seconds of a DOS time), and the read-only bit where the
// listing tells it, so the follow-up comparison finds the pair equal.
bool TKNUpdateProviderFTPFS::CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry)
{
    if (!IsFtpPath(Source)) {
        ErrorText = MsgCopyFailed(Source, Dest, std::string());
        return false;
    }
    if (!CheckWrittenRoot([&](const std::string& r) { return MsgCopyFailed(Source, Dest, r); })) return false;
    StartTransfer(Dest, Entry.Size);
    return Download(*FTP, FtpRoot, Source, Dest, Source, Entry.Size) && TakeServerTime(*FTP, Source, Dest, Entry) &&
           KeepReadOnly(Source, Dest, Entry);
}

bool TKNUpdateProviderFTPFS::Backup(const TKNFileRec& Entry)
{
    return LocalBackup(Entry);
}

bool TKNUpdateProviderFTPFS::CreateFolder(const std::string& Path, const TKNFileRec&)
{
    return LocalCreateFolder(Path);
}

bool TKNUpdateProviderFTPFS::DeleteFolder(const std::string& Path)
{
    return LocalDeleteFolder(Path);
}

bool TKNUpdateProviderFTPFS::DeleteFile(const std::string& Path)
{
    return LocalDeleteFile(Path);
}

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
    if (!CheckFtpNames(Dest, message)) return false;
    std::string tempFolder, reason;
    if (!vex::PrivateTempFolder(tempFolder, reason)) {
        ErrorText = message(reason);
        return false;
    }
    std::string temp = tempFolder + "/KESTRUNE" + TempSuffix;
    StartTransfer(destPath, 2 * Entry.Size);
    const std::string& readRoot = WritesRight ? LeftRoot : RightRoot;
    const std::string& writtenRoot = WritesRight ? RightRoot : LeftRoot;
    auto fetch = [&] {
        ConfirmWhole(ReadConnection(), sourcePath, ReadConnection().Get(sourcePath, temp), Entry.Size);
    };
    bool ok = RunTransfer(ReadConnection(), readRoot, fetch, message);
    TransferBase = Entry.Size;
    ok = ok && Upload(WrittenConnection(), writtenRoot, temp, destPath, Entry, sourcePath, ExactUnixTime(Entry));
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
                    FtpPathPart(location), Entry.Size);
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

std::string TKNUpdateProviderFTPFTP::DisplayName(const std::string& Path)
{
    return Shown(Path);
}

// --- Choice of class ----------------------------------------------------------------------

std::unique_ptr<TKNUpdateProvider> CreateUpdateProvider(TKNSideKind left, TKNSideKind right, bool writesRight)
{
    const bool leftIsFtp = left == TKNSideKind::Ftp, rightIsFtp = right == TKNSideKind::Ftp;
    const bool sourceFtp = writesRight ? leftIsFtp : rightIsFtp;
    const bool destFtp = writesRight ? rightIsFtp : leftIsFtp;
    std::unique_ptr<TKNUpdateProvider> provider;
    if (left == TKNSideKind::Sftp || right == TKNSideKind::Sftp)
        provider = CreateSftpUpdateProvider(left, right);
    else if (sourceFtp && destFtp)
        provider = std::make_unique<TKNUpdateProviderFTPFTP>();
    else if (sourceFtp)
        provider = std::make_unique<TKNUpdateProviderFTPFS>();
    else if (destFtp)
        provider = std::make_unique<TKNUpdateProviderFSFTP>();
    else
        provider = std::make_unique<TKNUpdateProviderFSFS>();
    provider->WritesRight = writesRight;
    return provider;
}

}  // namespace kn
