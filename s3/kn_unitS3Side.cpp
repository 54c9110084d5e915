#include "s3/kn_unitS3Side.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>

#include "framework/vex_unitText.h"
#include "http/kn_unitHttpReadStream.h"
#include "s3/kn_unitS3Write.h"
#include "side/kn_unitSideKeeper.h"
#include "side/kn_unitSideRules.h"
#include "side/kn_unitWrittenRecord.h"
#include "tls/kn_unitKnownServers.h"

namespace kn {

namespace {

// Files open at once on the side; its connections are a few more, so that the HEADs and
// listings of their commits find one free while every file's upload waits for its last byte.
constexpr int kAtOnce = 16;
constexpr int kConnections = kAtOnce + 4;

bool Succeeded(const TKNHttpExchange& reply)
{
    return reply.Fault() == TKNHttpFault::None && reply.Status() >= 200 && reply.Status() <= 299;
}

std::string Unquoted(const std::string& etag)
{
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' ? etag.substr(1, etag.size() - 2) : etag;
}

// "SEC[.FRACTION]" as other tools write x-amz-meta-mtime; false for anything else.
bool MetaTime(const std::string& text, int64_t& sec, int32_t& nsec)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const std::size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    if (whole.empty() || whole.size() > 12) return false;
    sec = std::strtoll(whole.c_str(), nullptr, 10);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (fraction.find('.') != std::string::npos) return false;
    fraction = (fraction + "000000000").substr(0, 9);
    nsec = static_cast<int32_t>(std::strtol(fraction.c_str(), nullptr, 10));
    return true;
}

// The entry of a HEAD reply, its time the metadata's where there is one.
TKNS3Head HeadOf(const TKNHttpExchange& reply, const std::string& name)
{
    TKNS3Head head;
    head.Status = reply.Status();
    head.ETag = Unquoted(reply.Header("ETag"));
    TKNSideEntry& e = head.Entry;
    e.Name = name;
    e.Kind = TKNEntryKind::File;
    e.Size = std::strtoll(reply.Header("Content-Length").c_str(), nullptr, 10);
    const time_t modified = curl_getdate(reply.Header("Last-Modified").c_str(), nullptr);
    head.Modified = modified < 0 ? 0 : static_cast<int64_t>(modified);
    e.MTime = head.Modified;
    e.Version = head.ETag;
    if (!MetaTime(reply.Header("x-amz-meta-mtime"), e.MTime, e.MTimeNsec)) e.MTimeNsec = 0;
    return head;
}

// A connection kept for the next side of the location, with what was learnt of its store.
struct TS3Link final : TKNKeptLink {
    std::unique_ptr<TKNHttpClient> Client;
    bool Conditions = true;
};

}  // namespace

std::unique_ptr<TKNSide> OpenS3Side(const std::string& location, const TKNSideContext& context)
{
    return std::make_unique<TKNS3Side>(location, context);
}

TKNS3Side::TKNS3Side(std::string location, TKNSideContext context)
    : location_(std::move(location)), context_(std::move(context))
{
    shownRoot_ = HideS3Secrets(location_.substr(0, S3OptionsStart(location_)));
    while (shownRoot_.size() > 5 && shownRoot_.back() == '/') shownRoot_.pop_back();
    caps_.TimeStep = 1;
    caps_.SetMode = false;
    caps_.Rename = false;
    caps_.Remote = true;
    caps_.FilesAtOnce = kAtOnce;
    caps_.ServerCopy = true;
}

TKNS3Side::~TKNS3Side()
{
    if (!client_ || context_.Stopped()) return;
    auto link = std::make_unique<TS3Link>();
    client_->SetStop(nullptr);
    link->Client = std::move(client_);
    link->Conditions = conditions_;
    KeepLink(location_, std::move(link));
}

std::string TKNS3Side::Shown(const TKNSidePath& path) const
{
    return path.Under(shownRoot_);
}

std::string TKNS3Side::Target(const TKNSidePath& path, bool folder, const std::string& query) const
{
    return S3Target(parsed_.Bucket, Key(path, folder)) + (query.empty() ? "" : "?" + query);
}

std::string TKNS3Side::Key(const TKNSidePath& path, bool folder) const
{
    std::vector<std::string> names = parsed_.Prefix;
    names.insert(names.end(), path.Names().begin(), path.Names().end());
    return S3Key(names, folder);
}

TKNSideResult TKNS3Side::CheckNames(const TKNSidePath& path) const
{
    if (!client_) return TKNSideResult::Fail(TKNSideError::Connection, "The object store side is not connected.");
    for (const std::string& name : path.Names())
        if (std::string problem = NameProblem(name); !problem.empty())
            return TKNSideResult::Fail(TKNSideError::BadName, problem);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::Failure(const std::string& what, const TKNHttpExchange& reply) const
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
    const std::string code = S3ErrorCode(reply.Body());
    const std::string answered =
        what + ": the store answered " + std::to_string(status) + (code.empty() ? "" : " (" + code + ")");
    TKNSideError kind = TKNSideError::Other;
    if (status == 401 || status == 403) kind = TKNSideError::Denied;
    if (status == 404) kind = TKNSideError::NotFound;
    if (status == 412) kind = TKNSideError::Changed;
    if (code == "QuotaExceeded" || code == "EntityTooLarge") kind = TKNSideError::NoSpace;
    if (status >= 300 && status < 400) return TKNSideResult::Fail(kind, answered + " (a redirect, not followed).");
    return TKNSideResult::Fail(kind, answered + ".");
}

bool TKNS3Side::Reuse()
{
    std::unique_ptr<TKNKeptLink> kept = TakeLink(location_);
    auto* link = dynamic_cast<TS3Link*>(kept.get());
    if (!link || !link->Client->Usable()) return false;
    client_ = std::move(link->Client);
    client_->SetStop(context_.Stop);
    conditions_ = link->Conditions;
    return true;
}

TKNSideResult TKNS3Side::Connect()
{
    try {
        parsed_ = ParseS3Location(location_);
    } catch (const TKNS3Error& e) {
        return TKNSideResult::Fail(TKNSideError::Other, e.what());
    }
    if (!Reuse()) {
        TKNHttpEndpoint endpoint = parsed_.Endpoint;
        if (endpoint.Tls) endpoint.Pinned = RecordedFingerprint(endpoint.ServerKey());
        client_ = std::make_unique<TKNHttpClient>(endpoint, context_.Stop, kConnections);
    }
    TKNSideEntry root;
    TKNSideResult found = Stat({}, root);
    if (!found) {
        client_.reset();
        return found.Kind == TKNSideError::NotFound
                   ? TKNSideResult::Fail(TKNSideError::NotFound,
                                         "Cannot open " + Quoted(shownRoot_) + ": " + found.Message)
                   : found;
    }
    connected_ = true;
    return TKNSideResult::Ok();
}

std::string TKNS3Side::Identity() const
{
    if (!connected_) return {};
    const TKNHttpEndpoint& at = parsed_.Endpoint;
    std::string identity =
        std::string(at.Tls ? "s3://" : "s3+http://") + at.User + "@" + at.ServerKey() + "/" + parsed_.Bucket;
    for (const std::string& name : parsed_.Prefix) identity += "/" + name;
    return identity;
}

std::string TKNS3Side::TimeHeader(int64_t mtime, int32_t nsec)
{
    char value[64];
    std::snprintf(value, sizeof value, "x-amz-meta-mtime: %lld.%09d", static_cast<long long>(mtime), nsec);
    return value;
}

std::shared_ptr<TKNHttpExchange> TKNS3Side::StartPage(const TKNSidePath& folder, const std::string& token)
{
    // The query's parameters in the order of their names, as the signature wants them.
    std::string query;
    if (!token.empty()) query += "continuation-token=" + vex::PercentEncoded(token) + "&";
    query += "delimiter=%2F&list-type=2";
    const std::string prefix = Key(folder, true);
    if (!prefix.empty()) query += "&prefix=" + vex::PercentEncoded(prefix);
    return client_->Start({"GET", S3Target(parsed_.Bucket, "") + "?" + query, {}, {}});
}

bool TKNS3Side::TakePage(const TKNSidePath& folder, const TKNHttpExchange& reply, TKNListing& listing,
                         std::string& token)
{
    const std::string what = "Cannot list " + Quoted(Shown(folder));
    if (!Succeeded(reply)) {
        listing.Result = Failure(what, reply);
        return false;
    }
    TKNS3ListPage page;
    std::string error;
    if (!ParseS3ListPage(reply.Body(), page, error)) {
        listing.Result = TKNSideResult::Fail(TKNSideError::Other, what + ": " + error + ".");
        return false;
    }
    const std::string prefix = Key(folder, true);
    for (const TKNS3Object& object : page.Objects) {
        if (object.Key.compare(0, prefix.size(), prefix) != 0) {
            listing.Result = TKNSideResult::Fail(
                TKNSideError::Other, what + ": the store answered for " + Quoted(object.Key) + ", not in it.");
            return false;
        }
        const std::string name = object.Key.substr(prefix.size());
        if (name.empty() || !NameProblem(name).empty()) continue;  // the folder's own marker, or no plain name
        TKNSideEntry entry;
        entry.Name = name;
        entry.Size = object.Size;
        // Until Times: the store's LastModified in milliseconds, which the record is keyed by.
        entry.MTime = std::max<int64_t>(0, S3IsoTimeMs(object.LastModified));
        entry.Version = object.ETag;
        listing.Entries.push_back(std::move(entry));
    }
    for (const std::string& common : page.Prefixes) {
        if (common.size() <= prefix.size() || common.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = common.substr(prefix.size(), common.size() - prefix.size() - 1);
        if (!NameProblem(name).empty()) continue;
        TKNSideEntry entry;
        entry.Name = name;
        entry.Kind = TKNEntryKind::Folder;
        listing.Entries.push_back(std::move(entry));
    }
    token = page.NextToken;
    return page.Truncated;
}

void TKNS3Side::Times(const TKNSidePath& folder, TKNListing& listing)
{
    std::vector<TKNSideEntry>& entries = listing.Entries;
    const std::vector<bool> recalled = RecallWritten(shownRoot_, folder, entries, true);
    std::vector<std::size_t> unknown;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].IsFolder() && !recalled[i]) unknown.push_back(i);
    std::vector<TKNWrittenRow> seen;
    // A window of HEADs in flight: the next goes out as the oldest is answered.
    std::vector<std::shared_ptr<TKNHttpExchange>> heads(unknown.size());
    std::size_t sent = 0;
    for (std::size_t done = 0; done < unknown.size(); ++done) {
        for (; sent < unknown.size() && sent < done + kAtOnce; ++sent)
            heads[sent] = client_->Start({"HEAD", Target(folder.Child(entries[unknown[sent]].Name)), {}, {}});
        heads[done]->Wait();
        TKNSideEntry& entry = entries[unknown[done]];
        const std::shared_ptr<TKNHttpExchange> reply = std::move(heads[done]);
        if (!Succeeded(*reply) || reply->Status() != 200) {
            // Gone since the page (a 404) leaves the listing's own entry; anything else fails it.
            if (reply->Status() == 404 && reply->Fault() == TKNHttpFault::None) continue;
            for (std::size_t rest = done + 1; rest < sent; ++rest) heads[rest]->Cancel();
            listing.Result = Failure("Cannot read the time of " + Quoted(Shown(folder.Child(entry.Name))), *reply);
            listing.Entries.clear();
            return;
        }
        const TKNS3Head head = HeadOf(*reply, entry.Name);
        // The record keys the object by what the listing shows of it, its time by what HEAD shows.
        seen.push_back({folder.Child(entry.Name), entry, head.Entry.MTime, head.Entry.MTimeNsec});
        entry.MTime = head.Entry.MTime;
        entry.MTimeNsec = head.Entry.MTimeNsec;
    }
    RememberWrittenRows(shownRoot_, seen);
}

TKNSideResult TKNS3Side::List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    std::vector<TKNListing> listings;
    ListFolders({folder}, listings);
    entries = std::move(listings[0].Entries);
    return listings[0].Result;
}

void TKNS3Side::ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings)
{
    listings.assign(folders.size(), TKNListing{});
    std::vector<std::shared_ptr<TKNHttpExchange>> pages(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i)
        if ((listings[i].Result = CheckNames(folders[i]))) pages[i] = StartPage(folders[i], {});
    for (std::size_t i = 0; i < folders.size(); ++i) {
        for (std::string token; pages[i];) {
            pages[i]->Wait();
            const std::shared_ptr<TKNHttpExchange> page = std::move(pages[i]);
            if (TakePage(folders[i], *page, listings[i], token)) pages[i] = StartPage(folders[i], token);
        }
        if (!listings[i].Result) {
            listings[i].Entries.clear();
            continue;
        }
        // An empty page for a folder that is not there (no marker, nothing below) is no folder.
        TKNSideEntry self;
        if (listings[i].Entries.empty() && !folders[i].IsRoot()) {
            if (TKNSideResult r = Stat(folders[i], self); !r || !self.IsFolder()) {
                listings[i].Result =
                    r ? TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(folders[i])) + " is not a folder.")
                      : r;
                continue;
            }
        }
        Times(folders[i], listings[i]);
    }
}

TKNSideResult TKNS3Side::Head(const TKNSidePath& path, TKNS3Head& head)
{
    return HeadReply(path, *client_->Run({"HEAD", Target(path), {}, {}}), head);
}

TKNSideResult TKNS3Side::HeadReply(const TKNSidePath& path, const TKNHttpExchange& reply, TKNS3Head& head) const
{
    if (reply.Fault() != TKNHttpFault::None || (reply.Status() != 200 && reply.Status() != 404))
        return Failure("Cannot read " + Quoted(Shown(path)), reply);
    head = HeadOf(reply, path.IsRoot() ? std::string() : path.Leaf());
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::Stat(const TKNSidePath& path, TKNSideEntry& entry)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    entry = TKNSideEntry();
    entry.Name = path.IsRoot() ? std::string() : path.Leaf();
    entry.Kind = TKNEntryKind::Folder;
    if (path.IsRoot() && parsed_.Prefix.empty()) {
        std::shared_ptr<TKNHttpExchange> bucket = client_->Run({"HEAD", S3Target(parsed_.Bucket, ""), {}, {}});
        if (bucket->Fault() == TKNHttpFault::None && bucket->Status() == 404)
            return TKNSideResult::Fail(TKNSideError::NotFound,
                                       "The bucket " + Quoted(parsed_.Bucket) + " does not exist.");
        return Succeeded(*bucket) ? TKNSideResult::Ok()
                                  : Failure("Cannot read the bucket " + Quoted(parsed_.Bucket), *bucket);
    }
    // The object and the folder of that name are asked together.
    std::shared_ptr<TKNHttpExchange> object = path.IsRoot() ? nullptr : client_->Start({"HEAD", Target(path), {}, {}});
    std::shared_ptr<TKNHttpExchange> below = client_->Run(
        {"GET",
         S3Target(parsed_.Bucket, "") + "?list-type=2&max-keys=1&prefix=" + vex::PercentEncoded(Key(path, true)),
         {},
         {}});
    if (object) object->Wait();
    if (object && object->Fault() == TKNHttpFault::None && object->Status() == 200) {
        entry = HeadOf(*object, entry.Name).Entry;  // the store's own metadata: no record needed
        return TKNSideResult::Ok();
    }
    const std::string what = "Cannot read " + Quoted(Shown(path));
    if (object && (object->Fault() != TKNHttpFault::None || object->Status() != 404)) return Failure(what, *object);
    if (!Succeeded(*below)) return Failure(what, *below);
    TKNS3ListPage page;
    std::string error;
    if (!ParseS3ListPage(below->Body(), page, error))
        return TKNSideResult::Fail(TKNSideError::Other, what + ": " + error + ".");
    if (page.Objects.empty())
        return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(path)) + " does not exist.");
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::CheckNow(const TKNSidePath& path, const TKNExpected& expected, TKNS3Head& head)
{
    if (TKNSideResult r = Head(path, head); !r) return r;
    return CheckHead(path, expected, head);
}

TKNSideResult TKNS3Side::CheckHead(const TKNSidePath& path, const TKNExpected& expected, const TKNS3Head& head)
{
    const TKNSideResult found =
        head.Status == 200 ? TKNSideResult::Ok()
                           : TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(path)) + " does not exist.");
    if (TKNSideResult r = CheckExpected(expected, found, head.Entry, Shown(path)); !r) return r;
    if (head.Status != 200 && expected.Known && !expected.Exists) {
        // Nothing there, and nothing may be: a folder of that name is in the way as well.
        TKNSideEntry folder;
        if (Stat(path, folder) && folder.IsFolder())
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(path)) + " is a folder.");
    }
    return TKNSideResult::Ok();
}

void TKNS3Side::RememberObject(const TKNSidePath& path, int64_t mtime, int32_t nsec)
{
    // Keyed as listings show it, LastModified to the millisecond: a listing of the key alone.
    const std::string key = Key(path, false);
    std::shared_ptr<TKNHttpExchange> reply = client_->Run(
        {"GET", S3Target(parsed_.Bucket, "") + "?list-type=2&max-keys=1&prefix=" + vex::PercentEncoded(key), {}, {}});
    TKNS3ListPage page;
    std::string error;
    if (!Succeeded(*reply) || !ParseS3ListPage(reply->Body(), page, error) || page.Objects.empty() ||
        page.Objects[0].Key != key)
        return;
    TKNSideEntry shown;
    shown.Size = page.Objects[0].Size;
    shown.Version = page.Objects[0].ETag;
    shown.MTime = S3IsoTimeMs(page.Objects[0].LastModified);
    RememberWritten(shownRoot_, path, shown, mtime, nsec);
}

TKNSideResult TKNS3Side::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
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

TKNSideResult TKNS3Side::OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                   std::unique_ptr<TKNWriteStream>& stream)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is not a file.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    return OpenS3Write(*this, path, terms, stream);
}

TKNSideResult TKNS3Side::MakeFolder(const TKNSidePath& path, int)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    if (path.IsRoot()) return TKNSideResult::Ok();
    TKNSideEntry there;
    TKNSideResult found = Stat(path, there);
    if (found && !there.IsFolder())
        return TKNSideResult::Fail(TKNSideError::Exists, Quoted(Shown(path)) + " is a file.");
    if (!found && found.Kind != TKNSideError::NotFound) return found;
    // The marker even where objects below show the folder: it stays when they go.
    std::shared_ptr<TKNHttpExchange> made = client_->Run({"PUT", Target(path, true), {}, {}});
    if (!Succeeded(*made)) return Failure("Cannot create the folder " + Quoted(Shown(path)), *made);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::RemoveFolder(const TKNSidePath& path)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is never removed.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    std::vector<TKNSideEntry> entries;
    if (TKNSideResult r = List(path, entries); !r) return r;
    if (!entries.empty())
        return TKNSideResult::Fail(TKNSideError::Other, "The folder " + Quoted(Shown(path)) + " is not empty.");
    std::shared_ptr<TKNHttpExchange> gone = client_->Run({"DELETE", Target(path, true), {}, {}});
    if (!Succeeded(*gone) && !(gone->Status() == 404 && gone->Fault() == TKNHttpFault::None))
        return Failure("Cannot remove the folder " + Quoted(Shown(path)), *gone);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::RemoveFile(const TKNSidePath& path, const TKNExpected& expected)
{
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is not a file.");
    if (TKNSideResult r = CheckNames(path); !r) return r;
    TKNS3Head head;
    if (TKNSideResult r = CheckNow(path, expected, head); !r) return r;
    if (head.Status != 200) {
        TKNSideEntry folder;
        if (Stat(path, folder) && folder.IsFolder())
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(Shown(path)) + " is a folder.");
        return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(path)) + " does not exist.");
    }
    std::shared_ptr<TKNHttpExchange> gone = client_->Run({"DELETE", Target(path), {}, {}});
    if (!Succeeded(*gone)) return Failure("Cannot delete " + Quoted(Shown(path)), *gone);
    ForgetWritten(shownRoot_, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    TKNS3Head head;
    if (!path.IsRoot())
        if (TKNSideResult r = Head(path, head); !r) return r;
    if (head.Status != 200) {
        // A folder is a prefix: it has no time to keep, and its listing shows none.
        TKNSideEntry folder;
        if (TKNSideResult r = Stat(path, folder); !r) return r;
        return TKNSideResult::Ok();
    }
    // The object onto itself with its metadata replaced; the copy keeps the content the HEAD saw.
    TKNHttpRequest copy{
        "PUT",
        Target(path),
        {"x-amz-copy-source: " + Target(path), "x-amz-metadata-directive: REPLACE", TimeHeader(mtime, nsec)},
        {}};
    std::shared_ptr<TKNHttpExchange> copied = client_->Run(std::move(copy));
    if (!Succeeded(*copied) || !S3ErrorCode(copied->Body()).empty())
        return Failure("Cannot set the time of " + Quoted(Shown(path)), *copied);
    ForgetWritten(shownRoot_, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3Side::SetMode(const TKNSidePath& path, uint32_t)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported,
                               "An object store keeps no permission bits (" + Quoted(Shown(path)) + ").");
}

TKNSideResult TKNS3Side::Rename(const TKNSidePath& from, const TKNSidePath&)
{
    return TKNSideResult::Fail(TKNSideError::Unsupported,
                               "An object store renames nothing (" + Quoted(Shown(from)) + "): it copies and deletes.");
}

TKNSideResult TKNS3Side::CopyWithin(const TKNSidePath& from, const TKNSidePath& to, const TKNWriteTerms& terms)
{
    if (from.IsRoot() || to.IsRoot()) return TKNSideResult::Fail(TKNSideError::BadName, "The root is not a file.");
    if (TKNSideResult r = CheckNames(from); !r) return r;
    if (TKNSideResult r = CheckNames(to); !r) return r;
    TKNS3Head source, there;
    if (TKNSideResult r = Head(from, source); !r) return r;
    if (source.Status != 200)
        return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(from)) + " does not exist.");
    if (TKNSideResult r = CheckNow(to, terms.Replaces, there); !r) return r;
    const int64_t mtime = terms.MTime >= 0 ? terms.MTime : source.Entry.MTime;
    const int32_t nsec = terms.MTime >= 0 ? terms.MTimeNsec : source.Entry.MTimeNsec;
    TKNHttpRequest copy{
        "PUT",
        Target(to),
        {"x-amz-copy-source: " + Target(from), "x-amz-metadata-directive: REPLACE", TimeHeader(mtime, nsec)},
        {}};
    std::shared_ptr<TKNHttpExchange> copied = client_->Run(std::move(copy));
    // A copy may fail after its 200 has gone out: the reply's body then is an error.
    if (!Succeeded(*copied) || !S3ErrorCode(copied->Body()).empty())
        return Failure("Cannot copy " + Quoted(Shown(from)) + " to " + Quoted(Shown(to)), *copied);
    ForgetWritten(shownRoot_, to);
    return TKNSideResult::Ok();
}

std::vector<std::string> TKNS3Side::Hashes(const TKNSidePath& path)
{
    // The ETag of an object sent in one part is its MD5; a multipart one's is not ("...-N").
    TKNS3Head head;
    if (CheckNames(path) && Head(path, head) && head.Status == 200 && head.ETag.size() == 32 &&
        head.ETag.find_first_not_of("0123456789abcdef") == std::string::npos)
        return {"md5"};
    return {};
}

TKNSideResult TKNS3Side::Hash(const TKNSidePath& path, const std::string& function, std::string& hex)
{
    if (TKNSideResult r = CheckNames(path); !r) return r;
    if (function != "md5") return TKNSideResult::Fail(TKNSideError::Unsupported, "No " + function + " here.");
    TKNS3Head head;
    if (TKNSideResult r = Head(path, head); !r) return r;
    if (head.Status != 200)
        return TKNSideResult::Fail(TKNSideError::NotFound, Quoted(Shown(path)) + " does not exist.");
    if (head.ETag.size() != 32 || head.ETag.find_first_not_of("0123456789abcdef") != std::string::npos)
        return TKNSideResult::Fail(TKNSideError::Unsupported, Quoted(Shown(path)) + " has no MD5 on the store.");
    hex = head.ETag;
    return TKNSideResult::Ok();
}

}  // namespace kn
