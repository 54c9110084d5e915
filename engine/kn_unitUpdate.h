// Update providers: the file operations of one copy direction (copy, create and delete folders,
// delete files, apply attributes, back up before overwriting or deleting), one class for each
// pairing of a local and an FTP side, so that the update engine never needs to know what kind
// of side it writes.
//
// Every operation returns true on success, or false with a ready-made message in ErrorText;
// none throws, except Connect, whose failure ends the run before any pass.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/kn_unitCompare.h"

namespace kn {

class TKNUpdateThread;
class TKNIdFTP;

// The five failure messages; the last argument is the system's or the FTP client's text.
std::string MsgCopyFailed(const std::string& source, const std::string& dest, const std::string& reason);
std::string MsgCreateFolderFailed(const std::string& path, const std::string& reason);
std::string MsgDeleteFileFailed(const std::string& path, const std::string& reason);
std::string MsgDeleteFolderFailed(const std::string& path, const std::string& reason);
std::string MsgSetAttributesFailed(const std::string& path, const std::string& reason);
std::string MsgSetTimeFailed(const std::string& path, const std::string& reason);

// A local date-time as the Unix time of its DOS form (odd seconds rounded down).
int64_t DosUnixTime(vex::TDateTime time);

// A local folder text names a folder only when it is an absolute path; anything else (empty,
// relative, "/" itself) is inert: nothing is written or deleted under it.
bool LocalRootNamesFolder(const std::string& root);
// The reason given when an operation refuses a root that names no folder.
std::string MsgRootNamesNoFolder(const std::string& root);

class TKNUpdateProvider {
public:
    virtual ~TKNUpdateProvider() = default;

    virtual void Disconnect() = 0;
    // May throw: a side that cannot be reached ends the run before any pass.
    virtual void Connect(const std::string& LeftRoot, const std::string& RightRoot) = 0;
    virtual bool Backup(const TKNFileRec& Entry) = 0;
    virtual bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) = 0;
    virtual bool DeleteFolder(const std::string& Path) = 0;
    virtual bool DeleteFile(const std::string& Path) = 0;
    virtual bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) = 0;
    virtual bool ApplyAttributes(const std::string& Path, int Attr) = 0;
    // Sets the last-write time of the written side's file `Path` to `Time` (a local time, as
    // records hold it): a content-equal pair whose times differ then agrees in time.
    virtual bool SetTime(const std::string& Path, vex::TDateTime Time) = 0;
    virtual std::string DisplayName(const std::string& Path);

    std::string ErrorText;
    std::string CurrentName;
    // Bytes of the transfer in work: 64-bit, so files over 4 GiB report right.
    int64_t TransferTotal = 0;
    int64_t TransferDone = 0;
    // Bytes already counted before the transfer in work (the download half of an FTP-to-FTP copy).
    int64_t TransferBase = 0;
    TKNUpdateThread* Owner = nullptr;
    std::string TempSuffix;
    // True for a left-to-right provider: it writes the right side (and backs up into "Right").
    bool WritesRight = true;

protected:
    const std::string& WrittenRoot() const;
    const std::string& ReadRoot() const;
    // Where the entry of the written side is kept before it is overwritten or deleted:
    // <backup folder>/Right|Left/<path relative to the written root>.
    std::string BackupPath(const TKNFileRec& Entry) const;
    bool BackupWanted(const TKNFileRec& Entry) const;
    bool StopRequested() const;
    // Hands TransferDone/TransferTotal/CurrentName to the owner and raises the file progress.
    void ReportTransfer();
    // The written local root names a folder; otherwise ErrorText := `message(reason)`.
    template <class MakeMessage>
    bool CheckWrittenRoot(MakeMessage message)
    {
        if (LocalRootNamesFolder(WrittenRoot())) return true;
        ErrorText = message(MsgRootNamesNoFolder(WrittenRoot()));
        return false;
    }
    // The local folder a written path lies beneath: the written root, or the run's backup
    // folder for a backup. Nothing below it is ever followed through a link.
    std::string LocalRootOf(const std::string& Path) const;
    // Local building blocks shared by the classes that write a local side.
    bool LocalCopy(const std::string& Source, const std::string& Dest);
    bool LocalBackup(const TKNFileRec& Entry);
    bool LocalCreateFolder(const std::string& Path);
    bool LocalDeleteFolder(const std::string& Path);
    bool LocalDeleteFile(const std::string& Path);
    bool LocalSetTime(const std::string& Path, vex::TDateTime Time);
    // Sets or clears the read-only bit of the written local `Path`, never through a link.
    bool LocalApplyAttributes(const std::string& Path, int Attr);
    // After a download to the local `Dest`: the source's read-only bit where its listing told
    // it (a local copy keeps it too), so the next comparison finds the pair equal.
    bool KeepReadOnly(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry);
    // "SITE CHMOD" of the server's `Path`: read-only clears the write bits, writable sets the
    // owner's, and the other bits stay where "MLST" tells them (else 0644/0444 for a file,
    // 0755/0555 for a folder). A server that knows no SITE CHMOD fails with a message.
    bool RemoteApplyAttributes(TKNIdFTP& ftp, const std::string& root, const std::string& Path, int Attr);
    // "MFMT" on the written server; a server without it fails with a message.
    bool RemoteSetTime(TKNIdFTP& ftp, const std::string& Path, vex::TDateTime Time);
    // One of the three above: `operation(Path, reason)` on the written local side, failing
    // with `message(Path, reason)`.
    using TLocalOp = bool (*)(const std::string& root, const std::string& path, std::string& reason);
    using TPathMessage = std::string (*)(const std::string& path, const std::string& reason);
    bool LocalOperation(const std::string& Path, TLocalOp operation, TPathMessage message);
    // FTP building blocks. A connection to `location`, binary, whose transfers report their
    // progress (TransferBase + bytes moved) and end on a stop request.
    std::unique_ptr<TKNIdFTP> OpenConnection(const std::string& location);
    // Names the transfer in work and resets its counters.
    void StartTransfer(const std::string& path, int64_t total);
    // Runs one transfer on `ftp`. A reply the server refuses leaves the conversation out of
    // step, so the connection to `root` is made afresh; every failure gives `message(reason)`.
    template <class Transfer, class MakeMessage>
    bool RunTransfer(TKNIdFTP& ftp, const std::string& root, Transfer transfer, MakeMessage message);
    bool Reconnect(TKNIdFTP& ftp, const std::string& root, std::string& reason);
    // Makes a folder, removes a folder or deletes a file on the server; true or ErrorText.
    enum class TRemoteOp { MakeFolder, RemoveFolder, DeleteFile };
    bool RemoteOperation(TKNIdFTP& ftp, TRemoteOp op, const std::string& Path);
    // Downloads `location` to the local `Dest` through a temporary file, so a failed or
    // stopped download leaves Dest as it was. The bytes received must match the server's SIZE
    // where it answers one, or else `listedSize`: a short transfer fails.
    bool Download(TKNIdFTP& ftp, const std::string& root, const std::string& location, const std::string& Dest,
                  const std::string& reportedSource, int64_t listedSize);
    // Uploads `localFile` to a temporary name beside `serverPath` and renames it over
    // `serverPath` once the server confirms the whole size (where it tells sizes); on any
    // failure or stop the temporary file is removed and `serverPath` stays as it was.
    // Then sets the server file's time to `modTime` (Unix seconds, -1: leave it), and makes it
    // read-only when `source` is (where the server lists modes); a server that can set no time
    // or no mode is told of once per run.
    bool Upload(TKNIdFTP& ftp, const std::string& root, const std::string& localFile, const std::string& serverPath,
                const TKNFileRec& source, const std::string& reportedSource, int64_t modTime);
    // Sets the local `Dest` downloaded from `Source` to the server file's time: the listing's
    // where it is exact, else the server's MDTM, else the listing's cut to two seconds.
    bool TakeServerTime(TKNIdFTP& ftp, const std::string& Source, const std::string& Dest, const TKNFileRec& Entry);
    // Upload's first half: the whole file under its final name, or nothing.
    bool StoreWhole(TKNIdFTP& ftp, const std::string& root, const std::string& localFile, const std::string& serverPath,
                    const std::string& reportedSource);
    // True when every part of `Path` below the written root is a plain name on a server;
    // otherwise ErrorText := `message(reason)`.
    template <class MakeMessage>
    bool CheckFtpNames(const std::string& Path, MakeMessage message);
};

// Local to local; the same class serves both directions.
class TKNUpdateProviderFSFS : public TKNUpdateProvider {
public:
    void Disconnect() override {}
    void Connect(const std::string&, const std::string&) override {}
    bool Backup(const TKNFileRec& Entry) override;
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) override;
    bool DeleteFolder(const std::string& Path) override;
    bool DeleteFile(const std::string& Path) override;
    bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) override;
    bool ApplyAttributes(const std::string& Path, int Attr) override { return LocalApplyAttributes(Path, Attr); }
    bool SetTime(const std::string& Path, vex::TDateTime Time) override { return LocalSetTime(Path, Time); }
};

// One local side and one on an FTP server: the one connection, opened to the server's root.
class TKNUpdateProviderOneFTP : public TKNUpdateProvider {
public:
    ~TKNUpdateProviderOneFTP() override;
    void Disconnect() override;
    void Connect(const std::string& LeftRoot, const std::string& RightRoot) override;

    std::unique_ptr<TKNIdFTP> FTP;
    std::string FtpRoot;  // the root the connection was opened for
};

// Local source, FTP destination.
class TKNUpdateProviderFSFTP : public TKNUpdateProviderOneFTP {
public:
    bool Backup(const TKNFileRec& Entry) override;
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) override;
    bool DeleteFolder(const std::string& Path) override;
    bool DeleteFile(const std::string& Path) override;
    bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) override;
    bool ApplyAttributes(const std::string& Path, int Attr) override
    {
        return RemoteApplyAttributes(*FTP, FtpRoot, Path, Attr);
    }
    bool SetTime(const std::string& Path, vex::TDateTime Time) override { return RemoteSetTime(*FTP, Path, Time); }
    std::string DisplayName(const std::string& Path) override;
};

// FTP source, local destination.
class TKNUpdateProviderFTPFS : public TKNUpdateProviderOneFTP {
public:
    bool Backup(const TKNFileRec& Entry) override;
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) override;
    bool DeleteFolder(const std::string& Path) override;
    bool DeleteFile(const std::string& Path) override;
    bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) override;
    bool ApplyAttributes(const std::string& Path, int Attr) override { return LocalApplyAttributes(Path, Attr); }
    bool SetTime(const std::string& Path, vex::TDateTime Time) override { return LocalSetTime(Path, Time); }
};

// Both sides on FTP servers; the same class serves both directions.
class TKNUpdateProviderFTPFTP : public TKNUpdateProvider {
public:
    ~TKNUpdateProviderFTPFTP() override;
    void Disconnect() override;
    void Connect(const std::string& LeftRoot, const std::string& RightRoot) override;
    bool Backup(const TKNFileRec& Entry) override;
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) override;
    bool DeleteFolder(const std::string& Path) override;
    bool DeleteFile(const std::string& Path) override;
    bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) override;
    bool ApplyAttributes(const std::string& Path, int Attr) override
    {
        return RemoteApplyAttributes(WrittenConnection(), WritesRight ? RightRoot : LeftRoot, Path, Attr);
    }
    bool SetTime(const std::string& Path, vex::TDateTime Time) override
    {
        return RemoteSetTime(WrittenConnection(), Path, Time);
    }
    std::string DisplayName(const std::string& Path) override;

    std::unique_ptr<TKNIdFTP> FTPLeft, FTPRight;
    std::string LeftRoot, RightRoot;

private:
    // The connection of the side this provider writes, and of the side it reads.
    TKNIdFTP& WrittenConnection() { return WritesRight ? *FTPRight : *FTPLeft; }
    TKNIdFTP& ReadConnection() { return WritesRight ? *FTPLeft : *FTPRight; }
};

// Stands in for another provider in a dry run: every operation succeeds and changes nothing,
// so the run reports exactly the operations it would carry out, under the real display names.
class TKNUpdateProviderDryRun : public TKNUpdateProvider {
public:
    // `describe` receives each operation's description; the real provider only names paths.
    TKNUpdateProviderDryRun(std::unique_ptr<TKNUpdateProvider> real, std::function<void(const std::string&)> describe)
        : Real(std::move(real)), Describe(std::move(describe))
    {
    }
    void Disconnect() override {}
    void Connect(const std::string&, const std::string&) override {}
    bool Backup(const TKNFileRec&) override { return true; }
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec&) override;
    bool DeleteFolder(const std::string& Path) override { return Tell("remove folder ", Path); }
    bool DeleteFile(const std::string& Path) override { return Tell("delete ", Path); }
    bool CreateFolder(const std::string& Path, const TKNFileRec&) override { return Tell("create folder ", Path); }
    bool ApplyAttributes(const std::string& Path, int Attr) override;
    bool SetTime(const std::string& Path, vex::TDateTime) override { return Tell("set time of ", Path); }
    std::string DisplayName(const std::string& Path) override { return Real->DisplayName(Path); }

    std::unique_ptr<TKNUpdateProvider> Real;

private:
    bool Tell(const char* what, const std::string& Path);
    std::function<void(const std::string&)> Describe;
};

// Picks the provider class for a copy from the kinds of the sides; `writesRight` selects the
// direction (left to right writes the right side).
std::unique_ptr<TKNUpdateProvider> CreateUpdateProvider(TKNSideKind left, TKNSideKind right, bool writesRight);

}  // namespace kn
