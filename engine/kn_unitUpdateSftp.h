// The update provider of every pairing with an SFTP side: SFTP with a local, an FTP or another
// SFTP side, in either direction. Each side is reached through its own connection; a copy
// between two remote sides is staged through this provider's file in the private temporary
// folder, as FTP-to-FTP copies are.
#pragma once

#include <memory>

#include "engine/kn_unitUpdate.h"
#include "sftp/kn_unitSftpTransfer.h"

namespace kn {

class TKNUpdateProviderSFTP : public TKNUpdateProvider {
public:
    TKNUpdateProviderSFTP(TKNSideKind left, TKNSideKind right) : kinds_{left, right} {}
    ~TKNUpdateProviderSFTP() override;
    void Disconnect() override;
    void Connect(const std::string& LeftRoot, const std::string& RightRoot) override;
    bool Backup(const TKNFileRec& Entry) override;
    bool CopyFile(const std::string& Source, const std::string& Dest, const TKNFileRec& Entry) override;
    bool DeleteFolder(const std::string& Path) override;
    bool DeleteFile(const std::string& Path) override;
    bool CreateFolder(const std::string& Path, const TKNFileRec& Entry) override;
    bool ApplyAttributes(const std::string& Path, int Attr) override;
    bool SetTime(const std::string& Path, vex::TDateTime Time) override;
    std::string DisplayName(const std::string& Path) override;

private:
    // One side: its kind, root and connection (none for a local side).
    struct TSide {
        TKNSideKind kind = TKNSideKind::Local;
        std::string root;
        std::unique_ptr<TKNSftpSession> sftp;
        std::unique_ptr<TKNIdFTP> ftp;
    };
    TSide& Written() { return sides_[WritesRight ? 1 : 0]; }
    TSide& Read() { return sides_[WritesRight ? 0 : 1]; }
    // The side's file at `location` into the local file `dest` (written whole or not at all).
    bool Fetch(TSide& side, const std::string& location, const std::string& dest, const TKNFileRec& Entry);
    // The local file `source` to `location` on a remote side, with its time and mode (on FTP,
    // the read-only bit of the source record `Entry`).
    bool Store(TSide& side, const std::string& source, const std::string& location, const TKNFileRec& Entry);
    // Makes a folder, removes a folder or deletes a file on the written side.
    bool WrittenOperation(TRemoteOp op, const std::string& Path);
    bool SftpOperation(TKNSftpSession& session, TRemoteOp op, const std::string& Path);
    TKNSftpProgress Progress();

    TKNSideKind kinds_[2];
    TSide sides_[2];
};

// The provider for a pairing with at least one SFTP side.
std::unique_ptr<TKNUpdateProvider> CreateSftpUpdateProvider(TKNSideKind left, TKNSideKind right);

}  // namespace kn
