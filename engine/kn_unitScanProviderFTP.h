// The scan provider of FTP folders: lists a folder on a server with "CWD" and a passive
// "LIST" over its own connection, so that the scan walks an FTP tree exactly as a local one,
// and downloads single entries to a local temporary file (to show differences).
//
// Records keep the location form with "/" in `Path` (ftp://host/pub/docs), so they can be
// listed and transferred again; names come from the listing parser, which drops every item
// whose name could reach outside the listed folder. Folders carry attribute 0x10, everything
// else (files, links, also links to folders, which are never entered) 0x20, plus read-only
// (0x01) where MLSD tells it. The attribute key is then what a local entry of that kind and
// name would have (hidden for a name starting with "."); -1 for an entry whose permissions the
// server did not list (every LIST entry, every link).
#pragma once

#include <memory>

#include "engine/kn_unitCompare.h"
#include "ftp/kn_unitIdFTP.h"

namespace kn {

// The icon of a remote entry: by extension only ("*.txt"); folders share one icon, looked up once.
int RemoteIconIndex(const TKNFileRec& Rec);

class TKNScanProviderFTP : public TKNScanProvider {
public:
    void Close() override;
    // Connects, logs in (the transfer type becomes ASCII) and enters the root folder. Throws
    // TKNFtpError when the server cannot be reached, refuses the login or has no such folder.
    bool Open(const std::string& Root) override;
    void FindClose() override {}
    // False when the folder is empty, or cannot be entered or listed: then ListError says why
    // (a refused CWD or LIST, a listing in an unknown format, over a limit, timed out or
    // stopped). Throws TKNFtpError when the connection itself is lost: the rest of the tree
    // could not be listed either. Entries named like an upload's temporary file are skipped.
    bool FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec) override;
    bool FindNext(std::unique_ptr<TKNFileRec>& Rec) override;
    int32_t AttrKey(const TKNFileRec& Rec) override;
    // Downloads the entry to the private temporary folder as "KESTRUNE" + Tag (overwriting)
    // and returns that file's name. Throws on failure.
    std::string LocalFileName(const TKNFileRec& Rec) override;
    const TKNSharedText& GetPath(const TKNFileRec& Rec) override { return Rec.Path; }
    const std::string& GetName(const TKNFileRec& Rec) override { return Rec.Name; }
    int IconIndex(const TKNFileRec& Rec) override { return RemoteIconIndex(Rec); }
    // Connects on its own (see MakeFtpContentSide), so readers never share the scan's connection.
    std::unique_ptr<TKNContentSide> OpenContentSide(const std::string& Root) override;

    std::unique_ptr<TKNIdFTP> FTP;  // made by Open
    int32_t ItemIndex = 0;          // position of the current entry in the last listing
    std::string CurrentFolder;      // the Folder of the last FindFirst, as given

private:
    std::unique_ptr<TKNFileRec> MakeRec(const TKNFtpListItem& item) const;
    // The first user entry at or after ItemIndex into Rec; false at the end.
    bool NextUserEntry(std::unique_ptr<TKNFileRec>& Rec);

    TKNSharedText currentPath_;  // CurrentFolder, shared by the records of its files
};

std::unique_ptr<TKNScanProvider> CreateScanProviderFTP();

}  // namespace kn
