// The scan provider of every kind of side: lists folders through the side the registry opens
// for the root's location, so a scan walks a tree of any kind alike.
//
// Records keep the side's root text followed by "/"-joined names in `Path`, so pairing keys are
// the same for every kind. A folder carries attribute 0x10, a regular file 0x20, anything else
// (FIFO, socket, device) 0x04; read-only (0x01) where the side tells the permission bits and
// the owner may not write; hidden (0x02) for a name starting with ".". The attribute key is -1
// for an entry whose permissions the side did not tell (FTP LIST), which is then no difference.
// Files named by the program's own temporary pattern are never listed; those of no run in
// progress (kn_unitRunLock.h) are recorded as left-overs for the update to remove.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNScanProviderSide : public TKNScanProvider {
public:
    void Close() override;
    void StartOver() override;
    // Opens and connects the side of `Root`. A local text that names no folder opens nothing
    // and scans empty; a side that cannot be reached fails with its reason in ListError.
    bool Open(const std::string& Root) override;
    void FindClose() override { entries_.clear(); }
    // False when the folder is empty or cannot be listed (then ListError says why). Throws
    // when the side can no longer be reached: the rest of the tree could not be listed either.
    bool FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec) override;
    bool FindNext(std::unique_ptr<TKNFileRec>& Rec) override;
    // Lists the folders through one TKNSide::ListFolders; FindFirst then takes each listing
    // once, as its own List would have given it.
    void ListAhead(const std::vector<std::string>& Folders) override;
    // A server overlaps listings; a local disk gains nothing, its listings would only wait.
    bool ListsAheadFaster() const override { return side_ && side_->Caps().Remote; }
    const TKNSideCaps* SideCaps() const override { return opened_ ? &caps_ : nullptr; }
    std::string SideIdentity() const override { return identity_; }
    int32_t AttrKey(const TKNFileRec& Rec) override { return Rec.AttrKnown ? static_cast<int32_t>(Rec.Attr) : -1; }
    // The file itself on a local side; throws for a server's file (fetched through its side).
    std::string LocalFileName(const TKNFileRec& Rec) override;
    const TKNSharedText& GetPath(const TKNFileRec& Rec) override { return Rec.Path; }
    const std::string& GetName(const TKNFileRec& Rec) override { return Rec.Name; }
    int IconIndex(const TKNFileRec& Rec) override;
    std::unique_ptr<TKNContentSide> OpenContentSide(const std::string& Root) override;

    // The side of the last Open (null before, or for a text that names no folder).
    TKNSide* Side() { return side_.get(); }

private:
    bool NextKept(std::unique_ptr<TKNFileRec>& Rec);
    // The record of an entry of the current folder, or false for one that is never listed.
    bool MakeRec(const TKNSideEntry& listed, TKNFileRec& rec);
    bool FillRec(const TKNSideEntry& entry, TKNFileRec& rec);
    // Records the link `link` of the current folder as left out, and why; false.
    bool LeaveOut(const TKNSideEntry& link, const std::string& why);
    // A followed link: false where it is left out; else what it leads to, for its record.
    bool Follow(const TKNSideEntry& link, std::shared_ptr<const TKNRecLinks>& links);
    // Where the folder `path` (as the records name it) is, followed links taken.
    TKNSidePath RealOf(const TKNSidePath& path) const;
    bool ListsAsAnAncestor(const std::string& folder);
    std::vector<TKNSidePath> RealChain(const TKNSidePath& path) const;

    std::unique_ptr<TKNSide> side_;
    TKNSideCaps caps_;  // the side's, kept when it closes
    std::string identity_;
    bool opened_ = false;
    TKNSideContext context_;
    std::map<std::string, TKNListing> listedAhead_;  // by the Folder of FindFirst
    std::string root_;                               // the root text records start with (the location without options)
    std::vector<TKNSideEntry> entries_;
    std::size_t next_ = 0;
    uint32_t attrMask_ = 0;
    std::string folder_;                   // the Folder of the last FindFirst, as given
    TKNSharedText currentPath_;            // folder_, shared by the records of its files
    TKNSidePath folderPath_, folderReal_;  // folder_ below the root, and where it really is
    bool readElsewhere_ = false;           // they differ: its entries are read where it is
    // The folders entered through followed links (below the root, "/"-joined), and where they are.
    std::map<std::string, TKNSidePath> followed_;
    // A server's listings so far, by the Folder of FindFirst: a hash of their entries.
    std::unordered_map<std::string, uint64_t> prints_;
    int64_t utcOffset_ = 0;  // local offset taken once when the side is opened
};

// A link as an entry of its own, like a file holding its text: what a comparison lists under
// TKNLinkPolicy::Copy (its text's length as the size, the link's own time, no modes).
TKNSideEntry LinkItself(const TKNSideEntry& link);

// The side-relative path of a record of a side whose records start with `root`; false with
// `reason` when a component is not a plain name.
bool SidePathOf(const TKNFileRec& rec, const std::string& root, TKNSidePath& path, std::string& reason);
// Where the bytes of an entry reached through a followed link are read: its ReadFrom, put in
// `path`; `path` stays as it is for any other entry. False with `reason` for a bad name.
bool ReadFromPath(const TKNFileRec& rec, TKNSidePath& path, std::string& reason);

}  // namespace kn
