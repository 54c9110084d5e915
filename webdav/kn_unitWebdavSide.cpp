#include "webdav/kn_unitWebdavSide.h"

#include <curl/curl.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "framework/vex_unitText.h"
#include "http/kn_unitHttpReadStream.h"
#include "side/kn_unitSideKeeper.h"
#include "side/kn_unitSideRules.h"
#include "side/kn_unitWrittenRecord.h"
#include "tls/kn_unitKnownServers.h"
#include "webdav/kn_unitWebdavWrite.h"

namespace kn {

namespace {

// Requests in flight on the side's connections: 16 small files or folders share the round
// trips of one.
constexpr int kAtOnce = 16;
constexpr const char* kBackslash = "\\";
// How often a request is sent while the server answers that another one holds its path.
constexpr int kLockedTries = 20;

std::string PropfindBody()
{
    return std::string(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
               "<D:propfind xmlns:D=\"DAV:\" xmlns:K=\"") +
           kDavOwnNamespace +
           "\"><D:prop><D:resourcetype/><D:getcontentlength/><D:getlastmodified/><D:getetag/><K:" + kDavOwnTime +
           "/></D:prop></D:propfind>";
}

std::string PropertyUpdate(const std::string& action, const std::string& value)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propertyupdate xmlns:D=\"DAV:\" xmlns:K=\"") +
           kDavOwnNamespace + "\"><D:" + action + "><D:prop><K:" + kDavOwnTime + ">" + value + "</K:" + kDavOwnTime +
           "></D:prop></D:" + action + "></D:propertyupdate>";
}

// The decoded components of an href: its path (after any scheme and authority, before a query).
std::vector<std::string> HrefNames(const std::string& href)
{
    std::string path = href;
    if (const std::size_t scheme = path.find("://"); scheme != std::string::npos && scheme < path.find('/'))
        path = path.substr(std::min(path.find('/', scheme + 3), path.size()));
    path = path.substr(0, path.find('?'));
    std::vector<std::string> names;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) names.push_back(vex::PercentDecoded(path.substr(start, end - start)));
        start = end + 1;
    }
    return names;
}

// The version as entries carry it: a weak ETag is the same version as its strong form (a
// server marks an ETag weak within a second of the file's change, strong later).
std::string VersionOf(const std::string& etag)
{
    return etag.rfind("W/", 0) == 0 ? etag.substr(2) : etag;
}

int64_t DateOf(const std::string& text)
{
    const time_t t = text.empty() ? -1 : curl_getdate(text.c_str(), nullptr);
    return t < 0 ? 0 : static_cast<int64_t>(t);
}

// The program's own time "SEC.NSEC SIZE DATE": the source's time of a file of SIZE bytes written
// at the server's DATE. It holds while the file keeps that size and was not written after.
bool OwnTime(const TKNDavResponse& r, int64_t serverTime, TKNSideEntry& entry)
{
    long long sec = 0, size = 0, date = 0;
    long nsec = 0;
    if (!r.HasOwnTime || std::sscanf(r.OwnTime.c_str(), "%lld.%ld %lld %lld", &sec, &nsec, &size, &date) != 4)
        return false;
    if ((size >= 0 && size != entry.Size) || serverTime > date || nsec < 0 || nsec > 999999999) return false;
    entry.MTime = sec;
    entry.MTimeNsec = static_cast<int32_t>(nsec);
    return true;
}

// A connection kept for the next side of the location, with what was learnt of its server.
struct TWebdavLink final : TKNKeptLink {
    std::unique_ptr<TKNHttpClient> Client;
    bool OwnTimes = false, Conditions = true;
};

}  // namespace

std::unique_ptr<TKNSide> OpenWebdavSide(const std::string& location, const TKNSideContext& context)
{
    return std::make_unique<TKNWebdavSide>(location, context);
}

TKNWebdavSide::TKNWebdavSide(std::string location, TKNSideContext context)
    : location_(std::move(location)), context_(std::move(context))
{
    shownRoot_ = HideWebdavPasswords(location_);
    while (shownRoot_.size() > 7 && shownRoot_.back() == '/') shownRoot_.pop_back();
    caps_.TimeStep = 1;
    caps_.SetMode = false;
    caps_.ForbiddenInNames.assign(1, '\\');
    caps_.Remote = true;
    caps_.FilesAtOnce = kAtOnce;
    caps_.KeepsTimes = false;
}

TKNWebdavSide::~TKNWebdavSide()
{
    if (!client_ || !writing_.empty() || context_.Stopped()) return;
    auto link = std::make_unique<TWebdavLink>();
    client_->SetStop(nullptr);
    link->Client = std::move(client_);
    link->OwnTimes = ownTimes_;
    link->Conditions = conditions_;
    KeepLink(location_, std::move(link));
}

std::string TKNWebdavSide::Shown(const TKNSidePath& path) const
{
    return path.Under(shownRoot_);
}

std::string TKNWebdavSide::Target(const TKNSidePath& path, bool folder) const
{
    std::vector<std::string> names = parsed_.Root;
    names.insert(names.end(), path.Names().begin(), path.Names().end());
    return DavTarget(names, folder);
}

std::string TKNWebdavSide::Url(const TKNSidePath& path, bool folder) const
{
    return parsed_.Endpoint.Origin() + Target(path, folder);
}

TKNSideResult TKNWebdavSide::CheckNames(const TKNSidePath& path) const
{
    if (!client_) return TKNSideResult::Fail(TKNSideError::Connection, "The WebDAV side is not connected.");
    for (const std::string& name : path.Names())
        if (std::string problem = NameProblem(name, kBackslash); !problem.empty())
            return TKNSideResult::Fail(TKNSideError::BadName, problem);
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::Failure(const std::string& what, const TKNHttpExchange& reply) const
{
    switch (reply.Fault()) {
        case TKNHttpFault::None:
            break;
        case TKNHttpFault::Stopped:
            return TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
        case TKNHttpFault::Untrusted:
            return TKNSideResult::Fail(TKNSideError::Untrusted, what + ": " + reply.FaultText());
        case TKNHttpFault::Changed:
        case TKNHttpFault::Connection:
            return TKNSideResult::Fail(TKNSideError::Connection, what + ": " + reply.FaultText());
    }
    const long status = reply.Status();
    const std::string answered = what + ": the server answered " + std::to_string(status);
    if (status >= 300 && status < 400)
        return TKNSideResult::Fail(
            TKNSideError::Other, answered + " (a redirect to " + Quoted(reply.Header("Location")) + ", not followed)");
    TKNSideError kind = TKNSideError::Other;
    if (status == 401 || status == 403 || status == 423) kind = TKNSideError::Denied;
    if (status == 404 || status == 409) kind = TKNSideError::NotFound;
    if (status == 412) kind = TKNSideError::Changed;
    if (status == 413 || status == 507) kind = TKNSideError::NoSpace;
    if (status == 400 || status == 414) kind = TKNSideError::BadName;
    return TKNSideResult::Fail(kind, answered + (status == 401 ? " (the login was refused)" : "") + ".");
}

std::shared_ptr<TKNHttpExchange> TKNWebdavSide::RunUnlocked(TKNHttpRequest request)
{
    for (int tries = 1;; ++tries) {
        std::shared_ptr<TKNHttpExchange> reply = client_->Run(request);
        if (reply->Status() != 423 || reply->Fault() != TKNHttpFault::None || tries == kLockedTries) return reply;
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * tries));
    }
}

bool TKNWebdavSide::Reuse()
{
    std::unique_ptr<TKNKeptLink> kept = TakeLink(location_);
    auto* link = dynamic_cast<TWebdavLink*>(kept.get());
    if (!link || !link->Client->Usable()) return false;
    client_ = std::move(link->Client);
    client_->SetStop(context_.Stop);
    ownTimes_ = link->OwnTimes;
    conditions_ = link->Conditions;
    learnt_ = true;
    return true;
}

TKNSideResult TKNWebdavSide::Connect()
{
    try {
        parsed_ = ParseWebdavLocation(location_);
    } catch (const TKNWebdavError& e) {
        return TKNSideResult::Fail(TKNSideError::Other, e.what());
    }
    if (!Reuse()) {
        TKNHttpEndpoint endpoint = parsed_.Endpoint;
        if (endpoint.Tls) endpoint.Pinned = RecordedFingerprint(endpoint.ServerKey());
        client_ = std::make_unique<TKNHttpClient>(endpoint, context_.Stop, kAtOnce);
    }
    // The root's check and what the server keeps go out together.
    std::shared_ptr<TKNHttpExchange> probe;
    if (!learnt_)
        probe = client_->Start(
            {"PROPPATCH", Target({}, true), {"Content-Type: application/xml"}, PropertyUpdate("remove", "")});
    TKNSideEntry root;
    TKNSideResult found = Stat({}, root);
    if (probe) probe->Wait();
    if (!found) {
        client_.reset();
        return found.Kind == TKNSideError::NotFound
                   ? TKNSideResult::Fail(TKNSideError::NotFound,
                                         "Cannot open " + Quoted(shownRoot_) + ": " + found.Message)
                   : found;
    }
    if (!root.IsFolder()) {
        client_.reset();
        return TKNSideResult::Fail(TKNSideError::Other, Quoted(shownRoot_) + " is not a folder.");
    }
    if (probe) ownTimes_ = OwnTimeKept(*probe);
    // nginx's listings leave out every name that begins with ".": such entries are unknown there.
    if (strncasecmp(server_.c_str(), "nginx", 5) == 0) caps_.DotEntries = false;
    learnt_ = true;
    caps_.KeepsTimes = ownTimes_;
    return TKNSideResult::Ok();
}

std::string TKNWebdavSide::Identity() const
{
    if (!learnt_) return {};
    const TKNHttpEndpoint& at = parsed_.Endpoint;
    std::string identity =
        (at.Tls ? "davs://" : "dav://") + (at.HasUser ? at.User + "@" : std::string()) + at.ServerKey();
    for (const std::string& name : parsed_.Root) identity += "/" + name;
    return identity;
}

bool TKNWebdavSide::OwnTimeKept(const TKNHttpExchange& reply)
{
    std::vector<TKNDavResponse> responses;
    std::string error;
    if (reply.Fault() != TKNHttpFault::None || reply.Status() != 207 ||
        !ParseMultistatus(reply.Body(), responses, error))
        return false;
    for (const TKNDavResponse& r : responses)
        if (r.OwnTimeStatus < 200 || r.OwnTimeStatus > 299) return false;
    return !responses.empty();
}

std::shared_ptr<TKNHttpExchange> TKNWebdavSide::StartOwnTime(const std::string& target, int64_t mtime, int32_t nsec,
                                                             int64_t size, const std::string& serverDate,
                                                             int64_t writeSeconds)
{
    const int64_t date = DateOf(serverDate);
    char value[96];
    std::snprintf(value, sizeof value, "%lld.%09d %lld %lld", static_cast<long long>(mtime), nsec,
                  static_cast<long long>(size), static_cast<long long>(date > 0 ? date + writeSeconds : 0));
    return client_->Start({"PROPPATCH", target, {"Content-Type: application/xml"}, PropertyUpdate("set", value)});
}

std::shared_ptr<TKNHttpExchange> TKNWebdavSide::StartPropfind(const std::string& target, int depth)
{
    return client_->Start(
        {"PROPFIND", target, {"Depth: " + std::to_string(depth), "Content-Type: application/xml"}, PropfindBody()});
}

TKNSideResult TKNWebdavSide::Entries(const TKNSidePath& folder, const TKNHttpExchange& reply, bool listing,
                                     std::vector<TKNSideEntry>& entries, TKNSideEntry* self, std::string* etag)
{
    entries.clear();
    const std::string what = (listing ? "Cannot list " : "Cannot read ") + Quoted(Shown(folder));
    if (reply.Fault() != TKNHttpFault::None || reply.Status() != 207) return Failure(what, reply);
    std::vector<TKNDavResponse> responses;
    std::string error;
    if (!ParseMultistatus(reply.Body(), responses, error))
        return TKNSideResult::Fail(TKNSideError::Other, what + ": " + error + ".");
    std::vector<std::string> asked = parsed_.Root;
    asked.insert(asked.end(), folder.Names().begin(), folder.Names().end());
    bool selfSeen = false;
    for (const TKNDavResponse& r : responses) {
        std::vector<std::string> names = HrefNames(r.Href);
        const bool isSelf = names == asked;
        const bool below =
            listing && names.size() == asked.size() + 1 && std::equal(asked.begin(), asked.end(), names.begin());
        if (!isSelf && !below)
            return TKNSideResult::Fail(TKNSideError::Other, what + ": the server answered for " + Quoted(r.Href) +
                                                                ", which is not in the folder asked for.");
        if (r.Status != 0 && (r.Status < 200 || r.Status > 299)) continue;
        TKNSideEntry entry;
        entry.Name = isSelf ? folder.Leaf() : names.back();
        entry.Kind = r.Collection ? TKNEntryKind::Folder : TKNEntryKind::File;
        entry.Size = r.Collection ? 0 : r.Length;
        entry.MTime = DateOf(r.LastModified);
        entry.Version = VersionOf(r.ETag);
        OwnTime(r, DateOf(r.LastModified), entry);
        if (isSelf) {
            selfSeen = true;
            if (self) *self = entry;
            if (etag) *etag = r.ETag;
            if (listing && !r.Collection)
                return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(folder)) + " is not a folder.");
            continue;
        }
        if (!NameProblem(entry.Name, kBackslash).empty()) continue;
        entries.push_back(std::move(entry));
    }
    if (!selfSeen && self)
        return TKNSideResult::Fail(TKNSideError::Other, what + ": the server did not answer for it.");
    if (!ownTimes_) RecallWritten(shownRoot_, folder, entries);
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    std::vector<TKNListing> listings;
    ListFolders({folder}, listings);
    entries = std::move(listings[0].Entries);
    return listings[0].Result;
}

void TKNWebdavSide::ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings)
{
    listings.assign(folders.size(), TKNListing{});
    std::vector<std::shared_ptr<TKNHttpExchange>> asked(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i)
        if ((listings[i].Result = CheckNames(folders[i]))) asked[i] = StartPropfind(Target(folders[i], true), 1);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (!asked[i]) continue;
        asked[i]->Wait();
        listings[i].Result = Entries(folders[i], *asked[i], true, listings[i].Entries, nullptr);
        if (listings[i].Result) continue;
        listings[i].Entries.clear();
        // A server that cannot read a folder may break its reply off (Apache does): when it
        // still answers for the folder itself, the listing failed, not the connection.
        if (listings[i].Result.Kind != TKNSideError::Connection) continue;
        std::shared_ptr<TKNHttpExchange> self = StartPropfind(Target(folders[i], true), 0);
        self->Wait();
        if (self->Fault() == TKNHttpFault::None)
            listings[i].Result = TKNSideResult::Fail(
                TKNSideError::Denied, "Cannot list " + Quoted(Shown(folders[i])) + ": the server broke its reply off.");
    }
}

TKNSideResult TKNWebdavSide::Stat(const TKNSidePath& path, TKNSideEntry& entry)
{
    std::string etag;
    return StatTagged(path, entry, etag, true);
}

TKNSideResult TKNWebdavSide::StatTagged(const TKNSidePath& path, TKNSideEntry& entry, std::string& etag, bool recall)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    std::shared_ptr<TKNHttpExchange> reply = StartPropfind(Target(path, path.IsRoot()), 0);
    reply->Wait();
    // A folder asked for without its "/" may be answered with a redirect to it.
    if (reply->Status() == 301 || reply->Status() == 302) {
        reply = StartPropfind(Target(path, true), 0);
        reply->Wait();
    }
    if (reply->Status() == 404 && reply->Fault() == TKNHttpFault::None)
        return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(path)) + " does not exist.");
    std::vector<TKNSideEntry> none;
    entry = TKNSideEntry();
    if (TKNSideResult r = Entries(path, *reply, false, none, &entry, &etag); !r) return r;
    date_ = reply->Header("Date");
    server_ = reply->Header("Server");
    if (recall && !ownTimes_ && !path.IsRoot()) {
        std::vector<TKNSideEntry> one{entry};
        one[0].Name = path.Leaf();
        RecallWritten(shownRoot_, path.Parent(), one);
        entry = one[0];
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::Unsupported, "The root is not a file.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    TKNHttpRequest get{"GET", Target(path), {}, {}};
    get.StreamReply = true;
    stream = std::make_unique<TKNHttpReadStream>(
        context_, client_->Start(std::move(get)), Shown(path),
        [this](const std::string& what, const TKNHttpExchange& reply) { return Failure(what, reply); });
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                       std::unique_ptr<TKNWriteStream>& stream)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is not a file.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    return OpenWebdavWrite(*this, path, terms, stream);
}

TKNSideResult TKNWebdavSide::MakeFolder(const TKNSidePath& path, int)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    if (path.IsRoot()) return TKNSideResult::Ok();
    std::shared_ptr<TKNHttpExchange> made = client_->Run({"MKCOL", Target(path, true), {}, {}});
    if (made->Fault() == TKNHttpFault::None && (made->Status() == 201 || made->Status() == 200))
        return TKNSideResult::Ok();
    const TKNSideResult failed = Failure("Cannot create the folder " + Quoted(Shown(path)), *made);
    TKNSideEntry there;
    if (failed.Kind == TKNSideError::NotFound || !Stat(path, there)) return failed;
    if (!there.IsFolder()) return TKNSideResult::Fail(TKNSideError::Exists, Quoted(Shown(path)) + " is not a folder.");
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::RemoveFolder(const TKNSidePath& path)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is never removed.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    // A DELETE takes a folder with everything in it: it is sent only for one seen empty.
    std::vector<TKNSideEntry> entries;
    if (TKNSideResult r = List(path, entries); !r) return r;
    if (!entries.empty())
        return TKNSideResult::Fail(TKNSideError::Other, "The folder " + Quoted(Shown(path)) + " is not empty.");
    std::shared_ptr<TKNHttpExchange> gone = client_->Run({"DELETE", Target(path, true), {}, {}});
    if (gone->Fault() != TKNHttpFault::None || gone->Status() < 200 || gone->Status() > 299)
        return Failure("Cannot remove the folder " + Quoted(Shown(path)), *gone);
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::RemoveFile(const TKNSidePath& path, const TKNExpected& expected)
{
    for (;;) {
        TKNSideEntry entry;
        TKNSideResult found = Stat(path, entry);
        if (!found && found.Kind != TKNSideError::NotFound) return found;
        if (TKNSideResult r = CheckExpected(expected, found, entry, Shown(path)); !r) return r;
        if (!found) return found;
        if (entry.IsFolder()) return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(path)) + " is a folder.");
        TKNHttpRequest remove{"DELETE", Target(path), {}, {}};
        const bool conditional = conditions_ && !entry.Version.empty();
        if (conditional) remove.Headers.push_back("If-Match: " + entry.Version);
        std::shared_ptr<TKNHttpExchange> gone = RunUnlocked(std::move(remove));
        if (gone->Fault() == TKNHttpFault::None && gone->Status() >= 200 && gone->Status() <= 299) {
            ForgetWritten(shownRoot_, path);
            return TKNSideResult::Ok();
        }
        // A refused condition on a file just seen unchanged: the server misapplies it.
        if (!(conditional && gone->Status() == 412 && gone->Fault() == TKNHttpFault::None))
            return Failure("Cannot delete " + Quoted(Shown(path)), *gone);
        conditions_ = false;
    }
}

TKNSideResult TKNWebdavSide::SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec)
{
    TKNSideEntry entry;
    std::string etag;
    if (TKNSideResult r = StatTagged(path, entry, etag, false); !r) return r;
    if (!ownTimes_) {
        RememberWritten(shownRoot_, path, entry, mtime, nsec);
        return TKNSideResult::Ok();
    }
    std::shared_ptr<TKNHttpExchange> set =
        StartOwnTime(Target(path, entry.IsFolder()), mtime, nsec, entry.IsFolder() ? -1 : entry.Size, date_, 0);
    set->Wait();
    if (!OwnTimeKept(*set)) return Failure("Cannot set the time of " + Quoted(Shown(path)), *set);
    return TKNSideResult::Ok();
}

TKNSideResult TKNWebdavSide::SetMode(const TKNSidePath& path, uint32_t)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported,
                               "A WebDAV server keeps no permission bits (" + Quoted(Shown(path)) + ").");
}

TKNSideResult TKNWebdavSide::Rename(const TKNSidePath& from, const TKNSidePath& to)
{
    if (TKNSideResult r = CheckNames(from); !r) return r;
    if (TKNSideResult r = CheckNames(to); !r) return r;
    TKNSideEntry entry;
    if (TKNSideResult r = Stat(from, entry); !r) return r;
    TKNHttpRequest move{
        "MOVE", Target(from, entry.IsFolder()), {"Destination: " + Url(to, entry.IsFolder()), "Overwrite: F"}, {}};
    std::shared_ptr<TKNHttpExchange> moved = RunUnlocked(std::move(move));
    if (moved->Fault() == TKNHttpFault::None && moved->Status() == 412)
        return TKNSideResult::Fail(TKNSideError::Exists, Quoted(Shown(to)) + " already exists.");
    if (moved->Fault() != TKNHttpFault::None || moved->Status() < 200 || moved->Status() > 299)
        return Failure("Cannot rename " + Quoted(Shown(from)), *moved);
    MoveWritten(shownRoot_, from, to);
    return TKNSideResult::Ok();
}

}  // namespace kn
