// The scan provider of SFTP folders: lists a folder on an SSH server with its attributes in
// one read-dir, so that the scan walks an SFTP tree exactly as a local one. Records keep the
// location form in `Path` (sftp://user@host/srv/www/sub); times are cut and turned local as a
// local scan does and attributes come from the permission bits the same way, so an entry
// and its local copy pair as equal. Links are listed with what they lead to (a link to a
// folder is listed as a folder, never entered); links that lead nowhere are left out.
#pragma once

#include <memory>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitScanProviderFTP.h"
#include "sftp/kn_unitSftpSession.h"

namespace kn {

class TKNScanProviderSFTP : public TKNScanProvider {
public:
    void Close() override;
    // Connects, checks the host key and logs in. Throws TKNSftpError when the server cannot be
    // reached, is not trusted, refuses the login, or when the root is a file.
    bool Open(const std::string& Root) override;
    void FindClose() override { entries_.clear(); }
    // False with ListError set when the folder cannot be listed; throws TKNSftpError when the
    // connection is lost, since nothing after it could be listed either.
    bool FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec) override;
    bool FindNext(std::unique_ptr<TKNFileRec>& Rec) override;
    int32_t AttrKey(const TKNFileRec& Rec) override { return static_cast<int32_t>(Rec.Attr); }
    // Downloads the entry to the private temporary folder as "KESTRUNE" + Tag (overwriting)
    // and returns that file's name. Throws on failure.
    std::string LocalFileName(const TKNFileRec& Rec) override;
    const TKNSharedText& GetPath(const TKNFileRec& Rec) override { return Rec.Path; }
    const std::string& GetName(const TKNFileRec& Rec) override { return Rec.Name; }
    int IconIndex(const TKNFileRec& Rec) override { return RemoteIconIndex(Rec); }
    // Connects on its own (see MakeSftpContentSide), so readers never share the scan's session.
    std::unique_ptr<TKNContentSide> OpenContentSide(const std::string& Root) override;

    std::unique_ptr<TKNSftpSession> Session;  // made by Open

private:
    bool NextKept(std::unique_ptr<TKNFileRec>& Rec);

    std::vector<TKNSftpEntry> entries_;
    std::size_t next_ = 0;
    uint32_t attrMask_ = 0;
    std::string folder_;
    TKNSharedText currentPath_;  // the listed folder, shared by the records of its files
    int64_t utcOffset_ = 0;
};

std::unique_ptr<TKNScanProvider> CreateScanProviderSFTP();

}  // namespace kn
