// A folder on an SFTP server as a side (see side/kn_unitSide.h for the promises every side
// keeps). Server paths are the root's resolved path joined by "/" with the path's components;
// "\" is a separator on some servers, so no name holding it is listed or written.
//
// What SFTP cannot do like a local disk, and how this side makes up for it:
// - No calls relative to an open folder: every folder below the root that an operation goes
//   through is checked once per session with lstat to be a folder, not a link.
// - Attributes are set with lsetstat@openssh.com where offered, else after an lstat shows no
//   link; a written file's time and mode are set on its open handle.
// - A file is replaced in one step with posix-rename@openssh.com where offered. Elsewhere the
//   old file is first moved aside under a temporary name of the program's pattern marked as an
//   old file; a listing that finds such a file whose destination is missing (an interrupted
//   replace) puts it back and says so.
// - A server may accept permission bits and keep others: they are read back, and the first
//   time they differ the side says so once and reports such changes as unsupported.
// Its streams use its connection: they must not outlive it.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sftp/kn_unitSftpListing.h"
#include "sftp/kn_unitSftpSession.h"
#include "sftp/kn_unitSftpWire.h"
#include "side/kn_unitServerKeeps.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNSftpPlaceAhead;

// A side for an SFTP location (sftp://user@host[:port]/path); nothing is reached before Connect.
std::unique_ptr<TKNSide> OpenSftpSide(const std::string& location, const TKNSideContext& context);

// The stem (before the random part) of the temporary name under which an old file waits
// while its replacement is put in place, e.g. "old~a.txt".
std::string SftpAsideStem(const std::string& name);

class TKNSftpSide final : public TKNSide {
public:
    TKNSftpSide(std::string location, TKNSideContext context);
    // Keeps a whole connection for the next side of the location (side/kn_unitSideKeeper.h).
    ~TKNSftpSide() override;

    const TKNSideCaps& Caps() const override { return caps_; }
    std::string Shown(const TKNSidePath& path) const override;
    TKNSideResult Connect() override;
    std::string Identity() const override { return identity_; }
    TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) override;
    // The folders' listings at once, in the round trips of one.
    void ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings) override;
    TKNSideResult Stat(const TKNSidePath& path, TKNSideEntry& entry) override;
    TKNSideResult OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream) override;
    TKNSideResult OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream) override;
    TKNSideResult MakeFolder(const TKNSidePath& path, int mode) override;
    TKNSideResult RemoveFolder(const TKNSidePath& path) override;
    TKNSideResult RemoveFile(const TKNSidePath& path, const TKNExpected& expected) override;
    TKNSideResult SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec) override;
    TKNSideResult SetMode(const TKNSidePath& path, uint32_t mode) override;
    TKNSideResult Rename(const TKNSidePath& from, const TKNSidePath& to) override;
    TKNSideResult HardLink(const TKNSidePath& existing, const TKNSidePath& to, const TKNWriteTerms& terms) override;
    TKNSideResult MakeLink(const TKNSidePath& path, const std::string& target, const TKNWriteTerms& terms) override;

    // The write streams open on the side, in the order opened (kn_unitSftpWriteStream.h).
    std::vector<TKNSftpPlaceAhead*>& Writing() { return writing_; }
    // For the write stream: the session parts and the checks every operation shares.
    TKNSftpSession& Session() { return *session_; }
    TKNSftpWire& Wire() { return *wire_; }
    const TKNSideContext& Context() const { return context_; }
    std::string Remote(const TKNSidePath& path) const { return path.Under(session_->RootPath()); }
    // lstat of a server path: NotFound when absent, a link as Link set and Kind Other.
    TKNSideResult LStat(const std::string& remote, TKNSideEntry& entry);
    // The entry of an lstat answered on the second channel, as LStat gives it.
    static TKNSideEntry EntryOf(const TKNSftpAttrs& attrs);
    // The last request's failure as a result, with `what` before the server's text.
    TKNSideResult Failure(const std::string& what);
    // A failure on the wire (its status and reason) as a result, with `what` before the reason.
    static TKNSideResult WireFailure(const std::string& what, uint32_t status, const std::string& reason);
    // The permission bits `asked` came back as `kept`: says once that the server does not keep
    // them, stops offering SetMode and records it for later runs (side/kn_unitServerKeeps.h).
    // False when they differ. A file's bits kept where the record said none are (and not the
    // ones the server shows of its own) make it offered again; a folder's prove nothing, as
    // such servers show folders with the bits most folders are asked for.
    bool ModeKept(uint32_t asked, uint32_t kept, bool proves = true);
    // The server renames over an existing file in one step (posix-rename@openssh.com).
    bool RenamesOver() const { return renamesOver_; }

private:
    // Makes an entry at the server path given: false with the server's reason.
    using TMaker = std::function<bool(const std::string& at, std::string& reason)>;
    // Puts the entry `make` makes at `to` under the promises of Commit (`what` names it in a
    // failure); `same` tells that the entry there already is that one.
    TKNSideResult PlaceEntry(const TKNSidePath& to, const TKNWriteTerms& terms, const std::string& what,
                             const TMaker& make, const std::function<bool(const TKNSideEntry&)>& same);
    bool LinkOrderKnown(const TKNSidePath& folder);
    TKNSideResult Entries(const TKNSidePath& folder, const TKNSftpListing& listing, std::vector<TKNSideEntry>& entries);
    // Takes over a kept connection of the location; false when there is none that serves.
    bool Reuse();
    // Logs in anew and starts the side's channel.
    TKNSideResult LogIn();
    TKNSideResult CheckRoot(TKNSftpWire& wire, const std::string& rootPath);
    // What earlier runs found the server not to keep: no SetMode where it keeps no modes.
    void ReadServerKeeps();
    void RecordKeeps();
    // True once per server and process: the first side to find it out says so.
    bool FirstTelling();
    // Opens libssh's SFTP channel unless it is open: some calls go on it.
    TKNSideResult Libssh();
    // Names that are plain here, and folders on the way that are folders, not links.
    TKNSideResult CheckWay(const TKNSidePath& path);
    TKNSideResult SetAttrs(const TKNSidePath& path, const TKNSftpAttrs& attrs, const char* what);
    // Puts back an old file an interrupted replace left aside (`entry` then takes its name);
    // true when the entry is to be hidden.
    bool PutBack(const TKNSidePath& folder, TKNSideEntry& entry, const std::vector<TKNSideEntry>& entries);

    std::string location_;
    std::string shownRoot_;
    std::string identity_;  // learned with the root's check
    TKNSideContext context_;
    TKNSideCaps caps_;
    std::unique_ptr<TKNSftpSession> session_ = std::make_unique<TKNSftpSession>();
    std::unique_ptr<TKNSftpWire> wire_;
    std::vector<TKNSftpPlaceAhead*> writing_;
    std::set<std::string> realFolders_;  // server folders below the root seen to be no links
    bool lsetstat_ = false;
    bool renamesOver_ = false;
    enum class TLinkOrder : uint8_t { Unknown, LinkFirst, TargetFirst, Unsafe };
    TLinkOrder linkOrder_ = TLinkOrder::Unknown;
    bool modesNoticed_ = false;
    std::string server_;    // "sftp://user@host:port", the key of what the server keeps
    TKNServerKeeps keeps_;  // as recorded, and as this run found it
};

}  // namespace kn
