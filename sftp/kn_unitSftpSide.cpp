#include "sftp/kn_unitSftpSide.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "sftp/kn_unitSftpListing.h"
#include "sftp/kn_unitSftpLocation.h"
#include "sftp/kn_unitSftpReader.h"
#include "sftp/kn_unitSftpWriteStream.h"
#include "side/kn_unitSideKeeper.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

constexpr const char* kBackslash = "\\";
constexpr std::string_view kAsideMark = "old~";
// Files in flight on the one connection: 16 small files share the round trips of one.
constexpr int kFilesAtOnce = 16;

struct TAttrFree {
    void operator()(sftp_attributes a) const { sftp_attributes_free(a); }
};
using TAttr = std::unique_ptr<sftp_attributes_struct, TAttrFree>;

TKNEntryKind KindOf(uint32_t permissions)
{
    if (S_ISDIR(permissions)) return TKNEntryKind::Folder;
    if (S_ISREG(permissions)) return TKNEntryKind::File;
    return TKNEntryKind::Other;
}

void Fill(TKNSideEntry& entry, const sftp_attributes_struct& attr)
{
    entry.Kind = KindOf(attr.permissions);
    entry.Size = static_cast<int64_t>(attr.size);
    entry.MTime = static_cast<int64_t>(attr.mtime);
    entry.Mode = attr.permissions & 07777;
    entry.ModeKnown = (attr.flags & SSH_FILEXFER_ATTR_PERMISSIONS) != 0;
    entry.Uid = attr.uid;
    entry.OwnerKnown = (attr.flags & SSH_FILEXFER_ATTR_UIDGID) != 0;
}

std::string Octal(uint32_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

// The stem of an own temporary name (what TempName was given), or empty.
std::string StemOf(const std::string& name)
{
    if (!IsOwnTempName(name)) return {};
    // ".kn~" + stem + "~" + 8 random + 8 check.
    return name.substr(4, name.size() - 4 - 17);
}

// A connection kept for the next side of the location: the session and the side's channel on
// it (closed first).
struct TSftpLink final : TKNKeptLink {
    std::unique_ptr<TKNSftpSession> Session;
    std::unique_ptr<TKNSftpWire> Wire;
};

// A file read on the wire; a stream destroyed before its end gives its reader up.
class TSftpReadStream final : public TKNReadStream {
public:
    TSftpReadStream(std::shared_ptr<TKNSftpReader> reader, const TKNSideContext& context, std::string shown)
        : reader_(std::move(reader)), context_(context), shown_(std::move(shown))
    {
    }
    ~TSftpReadStream() override { reader_->GiveUp(); }
    int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) override
    {
        if (context_.Stopped()) {
            result = TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
            return -1;
        }
        uint32_t status = TKNSftpWire::kOk;
        std::string reason;
        const int64_t n = reader_->Read(buffer, size, status, reason);
        if (n < 0) result = Failure(status, reason);
        return n;
    }

private:
    TKNSideResult Failure(uint32_t status, const std::string& reason) const
    {
        const std::string what = "Cannot read \"" + shown_ + "\"";
        if (status == TKNSftpReader::kNotAFile)
            return TKNSideResult::Fail(TKNSideError::Unsupported, what + ": " + reason);
        if (status == TKNSftpReader::kChanged) return TKNSideResult::Fail(TKNSideError::Changed, what + ": " + reason);
        if (status == TKNSftpReader::kALink) return TKNSideResult::Fail(TKNSideError::Link, what + ": " + reason);
        return TKNSftpSide::WireFailure(what, status, reason);
    }

    std::shared_ptr<TKNSftpReader> reader_;
    const TKNSideContext& context_;
    std::string shown_;
};

}  // namespace

std::string SftpAsideStem(const std::string& name)
{
    return std::string(kAsideMark) + name;
}

std::unique_ptr<TKNSide> OpenSftpSide(const std::string& location, const TKNSideContext& context)
{
    return std::make_unique<TKNSftpSide>(location, context);
}

TKNSftpSide::TKNSftpSide(std::string location, TKNSideContext context)
    : location_(std::move(location)), context_(std::move(context))
{
    shownRoot_ = SftpDisplayLocation(location_);
    while (shownRoot_.size() > 7 && shownRoot_.back() == '/') shownRoot_.pop_back();
    caps_.TimeStep = 1;
    caps_.ForbiddenInNames.assign(1, '\\');  // not = "\\": GCC 12 at -O3 warns falsely (-Wrestrict)
    caps_.Remote = true;
    caps_.FilesAtOnce = kFilesAtOnce;
}

std::string TKNSftpSide::Shown(const TKNSidePath& path) const
{
    return path.Under(shownRoot_);
}

TKNSideResult TKNSftpSide::Failure(const std::string& what)
{
    if (!session_->Connected())
        return TKNSideResult::Fail(TKNSideError::Connection, what + ": the connection was lost (" +
                                                                 HideSftpPasswords(session_->LastError()) + ").");
    TKNSideError kind = TKNSideError::Other;
    switch (session_->Sftp() ? sftp_get_error(session_->Sftp()) : SSH_FX_FAILURE) {
        case SSH_FX_NO_SUCH_FILE:
            kind = TKNSideError::NotFound;
            break;
        case SSH_FX_PERMISSION_DENIED:
            kind = TKNSideError::Denied;
            break;
        case SSH_FX_FILE_ALREADY_EXISTS:
            kind = TKNSideError::Exists;
            break;
        default:
            break;
    }
    return TKNSideResult::Fail(kind, what + ": " + HideSftpPasswords(session_->LastError()));
}

// The answers still due (a listing's close, the reads of a file given up) are read first. A
// stopped run keeps nothing, nor does a root at the server's top: a login confined to a folder
// removed meanwhile still finds its top there (empty), where a new login would fail.
TKNSftpSide::~TKNSftpSide()
{
    if (!wire_ || !writing_.empty() || context_.Stopped() || session_->RootPath() == "/") return;
    std::string ignored;
    if (!wire_->Settle(ignored) || !session_->Connected()) return;
    auto link = std::make_unique<TSftpLink>();
    link->Session = std::move(session_);
    link->Wire = std::move(wire_);
    KeepLink(location_, std::move(link));
}

// A kept connection of this location serves when its root still answers as a folder; one the
// server dropped (or whose root changed) is closed, and the usual login tells what is wrong.
bool TKNSftpSide::Reuse()
{
    std::unique_ptr<TKNKeptLink> kept = TakeLink(location_);
    auto* link = dynamic_cast<TSftpLink*>(kept.get());
    if (!link) return false;
    if (!CheckRoot(*link->Wire, link->Session->RootPath())) return false;
    session_ = std::move(link->Session);
    wire_ = std::move(link->Wire);
    return true;
}

// The root, asked on `wire` at `rootPath`, must be a folder; it tells whether owners are known.
// The root itself may be a link (a home under /usr/home): the user named it. Its canonical path,
// asked in the same round trip, says what it is.
TKNSideResult TKNSftpSide::CheckRoot(TKNSftpWire& wire, const std::string& rootPath)
{
    TKNSftpAttrs root;
    std::string reason;
    std::string canonical;
    wire.SendRealPath(rootPath, [&canonical](TKNSftpReply& reply) {
        std::vector<TKNSftpName> names;
        std::string ignored;
        if (reply.Status(TKNSftpReply::kName, ignored) == 0 && reply.Names(names) && names.size() == 1)
            canonical = names.front().Name;
    });
    if (!wire.Stat(rootPath, root, reason))
        return WireFailure("Cannot open \"" + shownRoot_ + "\"", wire.Status(), reason);
    identity_.clear();
    const TKNSftpLocation where = ParseSftpLocation(location_);
    server_ = "sftp://" + (where.User.empty() ? std::string() : where.User + "@") + where.Host + ":" +
              std::to_string(where.Port ? where.Port : 22);
    if (!canonical.empty()) identity_ = server_ + canonical;
    ReadServerKeeps();
    if (!(root.Flags & TKNSftpAttrs::kMode) || !S_ISDIR(root.Mode))
        return TKNSideResult::Fail(TKNSideError::Other, Quoted(shownRoot_) + " is not a folder.");
    caps_.Owners = (root.Flags & TKNSftpAttrs::kOwner) != 0;
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::Connect()
{
    if (!Reuse())
        if (TKNSideResult r = LogIn(); !r) return r;
    renamesOver_ = wire_->Offers("posix-rename@openssh.com");
    caps_.HardLinks = wire_->Offers("hardlink@openssh.com");
    // A link replaces an entry only by a rename over it, as a file does.
    caps_.Links = renamesOver_;
    lsetstat_ = wire_->Offers("lsetstat@openssh.com");
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::LogIn()
{
    try {
        session_->Open(location_);
    } catch (const TKNSftpTooMany& e) {
        return TKNSideResult::Fail(TKNSideError::TooManyConnections,
                                   std::string("Cannot open the SFTP folder: ") + e.what());
    } catch (const TKNSftpUntrusted& e) {
        return TKNSideResult::Fail(TKNSideError::Untrusted, std::string("Cannot open the SFTP folder: ") + e.what());
    } catch (const TKNSftpError& e) {
        return TKNSideResult::Fail(TKNSideError::Connection, std::string("Cannot open the SFTP folder: ") + e.what());
    }
    wire_ = std::make_unique<TKNSftpWire>(session_->Ssh());
    std::string reason;
    if (!wire_->Start(reason)) return TKNSideResult::Fail(TKNSideError::Connection, reason);
    return CheckRoot(*wire_, session_->RootPath());
}

// libssh's channel, for the calls that go on it, opened when first needed.
TKNSideResult TKNSftpSide::Libssh()
{
    std::string reason;
    if (session_->OpenSftp(reason)) return TKNSideResult::Ok();
    return TKNSideResult::Fail(TKNSideError::Connection, HideSftpPasswords(reason));
}

TKNSideResult TKNSftpSide::LStat(const std::string& remote, TKNSideEntry& entry)
{
    if (TKNSideResult r = Libssh(); !r) return r;
    TAttr attr(sftp_lstat(session_->Sftp(), remote.c_str()));
    if (!attr) return Failure("Cannot read \"" + remote + "\"");
    Fill(entry, *attr);
    entry.Link = S_ISLNK(attr->permissions);
    if (entry.Link) {
        entry.LinkMTime = entry.MTime;
        if (char* text = sftp_readlink(session_->Sftp(), remote.c_str())) {
            entry.LinkTarget = text;
            ssh_string_free_char(text);
        }
    }
    return TKNSideResult::Ok();
}

TKNSideEntry TKNSftpSide::EntryOf(const TKNSftpAttrs& attrs)
{
    TKNSideEntry entry;
    entry.Link = S_ISLNK(attrs.Mode);
    entry.Kind = entry.Link ? TKNEntryKind::Other : KindOf(attrs.Mode);
    entry.Size = static_cast<int64_t>(attrs.Size);
    entry.MTime = attrs.MTime;
    entry.Mode = attrs.Mode & 07777;
    entry.ModeKnown = (attrs.Flags & TKNSftpAttrs::kMode) != 0;
    entry.Uid = attrs.Uid;
    entry.OwnerKnown = (attrs.Flags & TKNSftpAttrs::kOwner) != 0;
    return entry;
}

TKNSideResult TKNSftpSide::CheckWay(const TKNSidePath& path)
{
    if (!wire_) return TKNSideResult::Fail(TKNSideError::Connection, "The SFTP side is not connected.");
    for (const std::string& name : path.Names())
        if (std::string problem = NameProblem(name, kBackslash); !problem.empty())
            return TKNSideResult::Fail(TKNSideError::BadName, problem);
    TKNSidePath way;
    for (std::size_t i = 0; i + 1 < path.Names().size(); ++i) {
        way = way.Child(path.Names()[i]);
        const std::string remote = Remote(way);
        if (realFolders_.count(remote)) continue;
        TKNSideEntry entry;
        if (TKNSideResult r = LStat(remote, entry); !r) return r;
        if (entry.Link)
            return TKNSideResult::Fail(TKNSideError::Link,
                                       Quoted(Shown(way)) + " is a link: nothing is done through it.");
        if (!entry.IsFolder())
            return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(way)) + " is not a folder.");
        realFolders_.insert(remote);
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    entries.clear();
    if (TKNSideResult r = CheckWay(folder); !r) return r;
    // The root itself may be a link (a home under /usr/home): the user named it.
    TKNSftpListing listing;
    ListOnWire(*wire_, Remote(folder), !folder.IsRoot(), listing);
    return Entries(folder, listing, entries);
}

void TKNSftpSide::ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings)
{
    listings.assign(folders.size(), TKNListing{});
    std::vector<std::size_t> asked;
    std::vector<std::string> paths;
    std::vector<bool> selves;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        listings[i].Result = CheckWay(folders[i]);
        if (!listings[i].Result) continue;
        asked.push_back(i);
        paths.push_back(Remote(folders[i]));
        selves.push_back(!folders[i].IsRoot());
    }
    std::vector<TKNSftpListing> listed;
    ListManyOnWire(*wire_, paths, selves, listed);
    for (std::size_t k = 0; k < asked.size(); ++k) {
        TKNListing& listing = listings[asked[k]];
        listing.Result = Entries(folders[asked[k]], listed[k], listing.Entries);
    }
}

// The entries of a folder's listing on the wire, as List gives them.
TKNSideResult TKNSftpSide::Entries(const TKNSidePath& folder, const TKNSftpListing& listing,
                                   std::vector<TKNSideEntry>& entries)
{
    entries.clear();
    if (listing.Status != TKNSftpWire::kOk)
        return WireFailure("Cannot list \"" + Shown(folder) + "\"", listing.Status, listing.Reason);
    if (!folder.IsRoot() && S_ISLNK(listing.Self.Mode))
        return TKNSideResult::Fail(TKNSideError::Link, Quoted(Shown(folder)) + " is a link: it is not listed.");
    // Listed, and no link: the folders below it need no look of their own on the way.
    realFolders_.insert(Remote(folder));
    std::vector<TKNSideEntry> found;
    for (const TKNSftpListing::TName& name : listing.Names) {
        if (!NameProblem(name.Entry.Name, kBackslash).empty()) continue;
        TKNSideEntry entry = EntryOf(name.Link && name.Leads ? name.Target : name.Entry.Attrs);
        entry.Name = name.Entry.Name;
        entry.Link = name.Link;
        if (name.Link && !name.Leads) entry.Kind = TKNEntryKind::Other;  // leads nowhere
        if (name.Link) {
            entry.LinkTarget = name.Text;
            entry.LinkMTime = name.Entry.Attrs.MTime;
        }
        found.push_back(std::move(entry));
    }
    for (TKNSideEntry& entry : found) {
        const std::string stem = StemOf(entry.Name);
        if (stem.rfind(kAsideMark, 0) == 0 && PutBack(folder, entry, found)) continue;
        entries.push_back(entry);
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::WireFailure(const std::string& what, uint32_t status, const std::string& reason)
{
    TKNSideError kind = TKNSideError::Other;
    switch (status) {
        case TKNSftpWire::kNoConnection:
            // The same words as a failure on libssh's channel.
            return TKNSideResult::Fail(TKNSideError::Connection,
                                       what + ": the connection was lost (" + HideSftpPasswords(reason) + ").");
        case TKNSftpWire::kDenied:
            kind = TKNSideError::Denied;
            break;
        case TKNSftpWire::kNoSuchFile:
            kind = TKNSideError::NotFound;
            break;
        default:
            break;
    }
    return TKNSideResult::Fail(kind, what + ": " + HideSftpPasswords(reason));
}

// An old file left aside whose destination is missing goes back under its name (and is
// listed so); one whose destination exists stays a stale temporary of the program.
bool TKNSftpSide::PutBack(const TKNSidePath& folder, TKNSideEntry& entry, const std::vector<TKNSideEntry>& entries)
{
    const std::string dest = StemOf(entry.Name).substr(kAsideMark.size());
    if (entry.Kind != TKNEntryKind::File || entry.Link || !NameProblem(dest, kBackslash).empty()) return false;
    for (const TKNSideEntry& other : entries)
        if (other.Name == dest) return false;  // the replace got through: a stale temporary
    const std::string shown = Shown(folder.Child(dest));
    const TKNSideResult channel = Libssh();
    if (!channel || sftp_rename(session_->Sftp(), Remote(folder.Child(entry.Name)).c_str(),
                                Remote(folder.Child(dest)).c_str()) != SSH_OK) {
        if (context_.Notice)
            context_.Notice("An interrupted replace left the old \"" + shown + "\" as \"" + entry.Name +
                            "\"; it could not be put back: " + (channel ? session_->LastError() : channel.Message));
        return true;  // never listed: it is neither a file of the user's nor a stale copy
    }
    if (context_.Notice)
        context_.Notice("An interrupted replace had left the old \"" + shown + "\" aside; it was put back.");
    entry.Name = dest;
    return false;
}

TKNSideResult TKNSftpSide::Stat(const TKNSidePath& path, TKNSideEntry& entry)
{
    if (TKNSideResult r = CheckWay(path); !r) return r;
    entry = TKNSideEntry();
    entry.Name = path.Leaf();
    if (TKNSideResult r = LStat(Remote(path), entry); !r) return r;
    if (entry.Link) entry.Kind = TKNEntryKind::Other;
    return TKNSideResult::Ok();
}

// The reader checks that the path itself is a regular file, no link, before it is opened; the
// open's failure shows at the first Read.
TKNSideResult TKNSftpSide::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::Unsupported, "The root is not a file.");
    if (TKNSideResult r = CheckWay(path); !r) return r;
    stream = std::make_unique<TSftpReadStream>(TKNSftpReader::Start(*wire_, Remote(path)), context_, Shown(path));
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                     std::unique_ptr<TKNWriteStream>& stream)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is not a file.");
    if (TKNSideResult r = CheckWay(path); !r) return r;
    return OpenSftpWrite(*this, path, terms, stream);
}

TKNSideResult TKNSftpSide::MakeFolder(const TKNSidePath& path, int mode)
{
    if (TKNSideResult r = CheckWay(path); !r) return r;
    const std::string remote = Remote(path), shown = Shown(path);
    const mode_t asked = mode >= 0 ? static_cast<mode_t>(mode & 07777) : 0755;
    if (TKNSideResult r = Libssh(); !r) return r;
    if (sftp_mkdir(session_->Sftp(), remote.c_str(), asked) != SSH_OK) {
        TKNSideResult failed = Failure("Cannot create the folder \"" + shown + "\"");
        TKNSideEntry there;
        if (!LStat(remote, there)) return failed;
        if (there.Link) return TKNSideResult::Fail(TKNSideError::Link, Quoted(shown) + " is a link.");
        if (!there.IsFolder()) return TKNSideResult::Fail(TKNSideError::Exists, Quoted(shown) + " is not a folder.");
        return TKNSideResult::Ok();
    }
    // The server's umask applied to mkdir: the bits are set again as asked.
    if (mode < 0) return TKNSideResult::Ok();
    TKNSftpAttrs attrs;
    attrs.Flags = TKNSftpAttrs::kMode;
    attrs.Mode = asked;
    if (TKNSideResult r = SetAttrs(path, attrs, "Cannot set the permissions of"); !r) return r;
    TKNSideEntry made;
    if (LStat(remote, made) && made.ModeKnown) ModeKept(asked, made.Mode, false);
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::RemoveFolder(const TKNSidePath& path)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is never removed.");
    TKNSideEntry entry;
    if (TKNSideResult r = Stat(path, entry); !r) return r;
    const std::string remote = Remote(path);
    if (entry.Link) {
        if (sftp_unlink(session_->Sftp(), remote.c_str()) != SSH_OK)
            return Failure("Cannot remove \"" + Shown(path) + "\"");
        return TKNSideResult::Ok();
    }
    if (!entry.IsFolder()) return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(path)) + " is not a folder.");
    if (sftp_rmdir(session_->Sftp(), remote.c_str()) != SSH_OK)
        return Failure("Cannot remove the folder \"" + Shown(path) + "\"");
    realFolders_.erase(remote);
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::RemoveFile(const TKNSidePath& path, const TKNExpected& expected)
{
    TKNSideEntry entry;
    TKNSideResult found = Stat(path, entry);
    if (!found && found.Kind != TKNSideError::NotFound) return found;
    if (TKNSideResult r = CheckExpected(expected, found, entry, Shown(path)); !r) return r;
    if (!found) return found;
    if (entry.IsFolder()) return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(path)) + " is a folder.");
    // SFTP's remove unlinks the entry itself: a link goes, never what it leads to.
    if (sftp_unlink(session_->Sftp(), Remote(path).c_str()) != SSH_OK)
        return Failure("Cannot delete \"" + Shown(path) + "\"");
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::SetAttrs(const TKNSidePath& path, const TKNSftpAttrs& attrs, const char* what)
{
    const std::string remote = Remote(path), shown = Shown(path);
    TKNSideEntry entry;
    if (TKNSideResult r = Stat(path, entry); !r) return r;
    if (entry.Link)
        return TKNSideResult::Fail(TKNSideError::Link, Quoted(shown) + " is a link: nothing is set through it.");
    std::string reason;
    if (lsetstat_) {
        if (wire_->LSetStat(remote, attrs, reason)) return TKNSideResult::Ok();
        return WireFailure(std::string(what) + " \"" + shown + "\"", wire_->Status(), reason);
    }
    sftp_attributes_struct set{};
    set.flags = attrs.Flags;
    set.permissions = attrs.Mode;
    set.atime = attrs.ATime;
    set.mtime = attrs.MTime;
    if (sftp_setstat(session_->Sftp(), remote.c_str(), &set) != SSH_OK)
        return Failure(std::string(what) + " \"" + shown + "\"");
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::SetTime(const TKNSidePath& path, int64_t mtime, int32_t)
{
    if (mtime < 0 || mtime > 0xFFFFFFFFLL)
        return TKNSideResult::Fail(TKNSideError::Unsupported, "SFTP cannot hold the time of \"" + Shown(path) + "\".");
    TKNSftpAttrs attrs;
    attrs.Flags = TKNSftpAttrs::kTimes;
    attrs.ATime = attrs.MTime = static_cast<uint32_t>(mtime);
    return SetAttrs(path, attrs, "Cannot set the time of");
}

void TKNSftpSide::ReadServerKeeps()
{
    keeps_ = RecordedServerKeeps(server_);
    if (keeps_.Modes) return;
    caps_.SetMode = false;
    if (FirstTelling())
        context_.Notice("The server of " + shownRoot_ +
                        " was found to keep no permission bits; they are not compared or changed there.");
}

// Every side of the server in one process (the comparison's, each worker's) learns the same: it
// is said once.
bool TKNSftpSide::FirstTelling()
{
    static std::mutex lock;
    static std::set<std::string> told;
    if (modesNoticed_ || !context_.Notice) return false;
    modesNoticed_ = true;
    std::lock_guard<std::mutex> held(lock);
    return told.insert(server_).second;
}

void TKNSftpSide::RecordKeeps()
{
    std::string error;
    if (!RecordServerKeeps(server_, keeps_, error) && context_.Notice) context_.Notice(error);
}

bool TKNSftpSide::ModeKept(uint32_t asked, uint32_t kept, bool proves)
{
    if ((asked & 07777) == (kept & 07777)) {
        if (!proves || keeps_.Modes || !keeps_.ShowsModesKept(asked, kept)) return true;
        keeps_ = {};
        caps_.SetMode = true;
        RecordKeeps();
        if (context_.Notice)
            context_.Notice("The server of " + shownRoot_ + " keeps permission bits again; they are compared there.");
        return true;
    }
    if (keeps_.Modes ||
        std::find(keeps_.ShownModes.begin(), keeps_.ShownModes.end(), kept & 07777) == keeps_.ShownModes.end()) {
        keeps_.Modes = false;
        keeps_.ShownModes.push_back(kept & 07777);
        RecordKeeps();
    }
    if (FirstTelling())
        context_.Notice("The server of " + shownRoot_ + " does not keep permission bits; they are not changed there.");
    caps_.SetMode = false;
    return false;
}

TKNSideResult TKNSftpSide::SetMode(const TKNSidePath& path, uint32_t mode)
{
    if (!caps_.SetMode)
        return TKNSideResult::Fail(TKNSideError::Unsupported, "The server does not keep permission bits.");
    TKNSftpAttrs attrs;
    attrs.Flags = TKNSftpAttrs::kMode;
    attrs.Mode = mode & 07777;
    if (TKNSideResult r = SetAttrs(path, attrs, "Cannot set the permissions of"); !r) return r;
    TKNSideEntry now;
    if (TKNSideResult r = LStat(Remote(path), now); !r) return r;
    if (!ModeKept(mode, now.Mode))
        return TKNSideResult::Fail(TKNSideError::Unsupported, "The server did not keep the permissions of \"" +
                                                                  Shown(path) + "\" (it kept " + Octal(now.Mode) +
                                                                  " where " + Octal(mode) + " was set).");
    return TKNSideResult::Ok();
}

TKNSideResult TKNSftpSide::Rename(const TKNSidePath& from, const TKNSidePath& to)
{
    if (TKNSideResult r = CheckWay(from); !r) return r;
    TKNSideEntry there;
    TKNSideResult found = Stat(to, there);
    if (found) return TKNSideResult::Fail(TKNSideError::Exists, Quoted(Shown(to)) + " already exists.");
    if (found.Kind != TKNSideError::NotFound) return found;
    if (sftp_rename(session_->Sftp(), Remote(from).c_str(), Remote(to).c_str()) != SSH_OK)
        return Failure("Cannot rename \"" + Shown(from) + "\"");
    realFolders_.clear();
    return TKNSideResult::Ok();
}

// A new entry is made in place (the requests never replace anything); one that replaces an
// entry is made under a temporary name beside it, checked and renamed over it in one step.
TKNSideResult TKNSftpSide::PlaceEntry(const TKNSidePath& to, const TKNWriteTerms& terms, const std::string& what,
                                      const TMaker& make, const std::function<bool(const TKNSideEntry&)>& same)
{
    if (TKNSideResult r = CheckWay(to); !r) return r;
    std::string reason;
    if (terms.Replaces.Known && !terms.Replaces.Exists) {
        if (make(Remote(to), reason)) return TKNSideResult::Ok();
        const TKNSideResult failed = WireFailure(what, wire_->Status(), reason);
        TKNSideEntry there;
        if (LStat(Remote(to), there))
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(to)) + " changed since the comparison.");
        return failed;
    }
    TKNSideEntry current;
    const TKNSideResult found = LStat(Remote(to), current);
    if (!found && found.Kind != TKNSideError::NotFound) return found;
    if (TKNSideResult checked = CheckExpected(terms.Replaces, found, current, Shown(to)); !checked) return checked;
    if (found && current.IsFolder())
        return TKNSideResult::Fail(TKNSideError::Exists, Quoted(Shown(to)) + " is a folder.");
    if (found && same(current)) return TKNSideResult::Ok();
    const std::string temp = Remote(to.Parent().Child(TempName(to.Leaf())));
    if (!make(temp, reason)) return WireFailure(what, wire_->Status(), reason);
    const bool placed = wire_->PosixRename(temp, Remote(to), reason);
    const TKNSideResult failed = placed ? TKNSideResult::Ok() : WireFailure(what, wire_->Status(), reason);
    // Gone once renamed, except over another name of the same file, which a rename leaves be.
    std::string ignored;
    wire_->Remove(temp, ignored);
    return failed;
}

TKNSideResult TKNSftpSide::HardLink(const TKNSidePath& existing, const TKNSidePath& to, const TKNWriteTerms& terms)
{
    const bool mustBeNew = terms.Replaces.Known && !terms.Replaces.Exists;
    if (!caps_.HardLinks || (!mustBeNew && !renamesOver_))
        return TKNSideResult::Fail(TKNSideError::Unsupported, "The server cannot give a file a second name.");
    if (TKNSideResult r = CheckWay(existing); !r) return r;
    TKNSideEntry file;
    if (TKNSideResult r = LStat(Remote(existing), file); !r) return r;
    if (file.Link) return TKNSideResult::Fail(TKNSideError::Link, Quoted(Shown(existing)) + " is a link.");
    if (file.Kind != TKNEntryKind::File)
        return TKNSideResult::Fail(TKNSideError::Other, Quoted(Shown(existing)) + " is not a file.");
    const auto make = [&](const std::string& at, std::string& reason) {
        return wire_->HardLink(Remote(existing), at, reason);
    };
    return PlaceEntry(to, terms, "Cannot make \"" + Shown(to) + "\" another name of \"" + Shown(existing) + "\"", make,
                      [](const TKNSideEntry&) { return false; });
}

// Which of the symlink request's paths the server takes for the link, found once with two
// names of the program's own in `folder` (checked, below the root): a guess would let a link's
// text name the path the server writes.
bool TKNSftpSide::LinkOrderKnown(const TKNSidePath& folder)
{
    if (linkOrder_ != TLinkOrder::Unknown) return linkOrder_ != TLinkOrder::Unsafe;
    const std::string a = Remote(folder.Child(TempName("link"))), b = Remote(folder.Child(TempName("link")));
    std::string reason, ignored;
    linkOrder_ = TLinkOrder::Unsafe;
    if (wire_->Symlink(a, b, reason)) {
        TKNSideEntry entry;
        if (LStat(a, entry) && entry.Link) linkOrder_ = TLinkOrder::LinkFirst;
        if (LStat(b, entry) && entry.Link) linkOrder_ = TLinkOrder::TargetFirst;
    }
    wire_->Remove(a, ignored);
    wire_->Remove(b, ignored);
    return linkOrder_ != TLinkOrder::Unsafe;
}

TKNSideResult TKNSftpSide::MakeLink(const TKNSidePath& path, const std::string& target, const TKNWriteTerms& terms)
{
    const bool mustBeNew = terms.Replaces.Known && !terms.Replaces.Exists;
    if (target.empty() || target.find('\0') != std::string::npos)
        return TKNSideResult::Fail(TKNSideError::BadName, "A link must hold a text without NUL bytes.");
    if (TKNSideResult r = CheckWay(path); !r) return r;
    if (!mustBeNew && !renamesOver_)
        return TKNSideResult::Fail(TKNSideError::Unsupported, "The server cannot replace an entry by a link.");
    if (!LinkOrderKnown(path.Parent()))
        return TKNSideResult::Fail(TKNSideError::Unsupported, "The server's links cannot be made safely here.");
    const auto make = [&](const std::string& at, std::string& reason) {
        return linkOrder_ == TLinkOrder::LinkFirst ? wire_->Symlink(at, target, reason)
                                                   : wire_->Symlink(target, at, reason);
    };
    const auto same = [&](const TKNSideEntry& e) { return e.Link && e.LinkTarget == target; };
    return PlaceEntry(path, terms, "Cannot make the link \"" + Shown(path) + "\"", make, same);
}

}  // namespace kn
