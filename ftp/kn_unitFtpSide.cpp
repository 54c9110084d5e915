// The FTP side's connections, listings, entries and the operations other than the streams
// (those are in kn_unitFtpSideStreams.cpp).
#include "ftp/kn_unitFtpSide.h"

#include <algorithm>

#include "framework/vex_unitDateTime.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpSideRules.h"
#include "ftp/kn_unitFtpSideServer.h"
#include "side/kn_unitSideKeeper.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

constexpr std::size_t kMaxConnections = 4;
constexpr const char* kForbidden = "\\\r\n";

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// The kind of a refusal by its code, and for "550" (which servers send for anything from a
// missing file to a refused right) by its usual words.
TKNSideError KindOfReply(int code, const std::string& text)
{
    if (code == 452 || code == 552) return TKNSideError::NoSpace;
    if (code == 500 || code == 502 || code == 504) return TKNSideError::Unsupported;
    if (code == 530 || code == 532 || code == 553) return TKNSideError::Denied;
    if (code != 450 && code != 550) return TKNSideError::Other;
    if (Contains(text, "No such") || Contains(text, "not found") || Contains(text, "not exist") ||
        Contains(text, "Failed to change directory"))
        return TKNSideError::NotFound;
    if (Contains(text, "ermission") || Contains(text, "denied") || Contains(text, "not allowed") ||
        Contains(text, "outside"))
        return TKNSideError::Denied;
    return TKNSideError::Other;
}

// The folder and the name of a server path ("/a/b.txt": "/a", "b.txt").
std::pair<std::string, std::string> SplitServer(const std::string& serverPath)
{
    const std::size_t slash = serverPath.rfind('/');
    if (slash == std::string::npos) return {".", serverPath};
    return {serverPath.substr(0, slash == 0 ? 1 : slash), serverPath.substr(slash + 1)};
}

const char* const kMsgFtpKeepsNoTimes = "The server cannot set file times; uploaded files will look newer.";
const char* const kMsgFtpKeepsNoModes =
    "The server cannot set file permissions; uploaded read-only files are "
    "writable there.";

std::vector<std::string> NamesOf(const std::vector<TKNFtpListItem>& items)
{
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const TKNFtpListItem& item : items) names.push_back(item.FileName);
    return names;
}

// A connection kept for the next side of the location (its destructor says goodbye).
struct TFtpLink final : TKNKeptLink {
    std::unique_ptr<TKNIdFTP> Ftp;
};

}  // namespace

TKNFtpSide::TKNFtpSide(std::string location, TKNSideContext context)
    : location_(std::move(location)), context_(std::move(context))
{
    std::string without = FtpLocationWithoutOptions(location_);
    std::replace(without.begin(), without.end(), '\\', '/');
    shownRoot_ = HideFtpPasswords(without);
    while (shownRoot_.size() > 1 && shownRoot_.back() == '/') shownRoot_.pop_back();
    rootPath_ = FtpPathPart(location_);
    caps_.TimeStep = 60;
    caps_.ForbiddenInNames = kForbidden;
    caps_.Remote = true;
}

// Connections free for commands go to the next side of the location, unless the run stops or
// the root is the server's top: a login confined to a folder removed meanwhile still finds its
// top there (empty), where a new login would fail.
TKNFtpSide::~TKNFtpSide()
{
    const bool keep = !Stopped() && rootPath_.find_first_not_of('/') != std::string::npos;
    for (auto& connection : connections_) {
        if (!keep || connection->streaming || !connection->ftp->Connected()) {
            connection->ftp->Disconnect();
            continue;
        }
        connection->ftp->OnWork = nullptr;
        auto link = std::make_unique<TFtpLink>();
        link->Ftp = std::move(connection->ftp);
        KeepLink(location_, std::move(link));
    }
}

// A kept connection of the location that still enters the root by its path (a server may have
// closed it while it waited, or the root may be gone), or null.
std::unique_ptr<TKNIdFTP> TKNFtpSide::Kept()
{
    while (std::unique_ptr<TKNKeptLink> kept = TakeLink(location_)) {
        auto* link = dynamic_cast<TFtpLink*>(kept.get());
        if (!link) continue;
        try {
            link->Ftp->ChangeDir(rootPath_);
            return std::move(link->Ftp);
        } catch (const std::exception&) {
            // Closed with the link: the next one, or a new login.
        }
    }
    return nullptr;
}

std::string TKNFtpSide::Shown(const TKNSidePath& path) const
{
    return path.Under(shownRoot_);
}

std::string TKNFtpSide::ServerPath(const TKNSidePath& path) const
{
    return path.Under(rootPath_);
}

TKNSideResult TKNFtpSide::Open(TKNIdFTP& ftp)
{
    try {
        OpenFtpLocation(ftp, location_);
        if (!ftp.Connected()) throw TKNFtpError("This is not an FTP location.");
        ftp.SetTransferType(TKNFtpTransferType::ftBinary);
        return TKNSideResult::Ok();
    } catch (const std::exception& e) {
        ftp.Disconnect();
        // 421 while a connection is opened is how servers refuse one connection more than their
        // limit (for everyone, or from one address); the connections already open go on.
        const auto* reply = dynamic_cast<const TKNFtpReplyError*>(&e);
        const TKNSideError kind = dynamic_cast<const TKNFtpUntrusted*>(&e) ? TKNSideError::Untrusted
                                  : reply && reply->Code == 421            ? TKNSideError::TooManyConnections
                                                                           : TKNSideError::Connection;
        return TKNSideResult::Fail(kind,
                                   "Cannot open the FTP folder \"" + shownRoot_ + "\": " + HideFtpPasswords(e.what()));
    }
}

TKNIdFTP* TKNFtpSide::Free(TKNSideResult& result)
{
    TConnection* chosen = nullptr;
    for (auto& connection : connections_)
        if (!connection->streaming) {
            chosen = connection.get();
            break;
        }
    if (!chosen) {
        if (connections_.size() >= kMaxConnections) {
            result = TKNSideResult::Fail(TKNSideError::Other, "Too many transfers at once on \"" + shownRoot_ + "\".");
            return nullptr;
        }
        connections_.push_back(std::make_unique<TConnection>());
        chosen = connections_.back().get();
        chosen->ftp = Kept();
        if (!chosen->ftp) chosen->ftp = std::make_unique<TKNIdFTP>();
        TKNIdFTP* raw = chosen->ftp.get();
        raw->OnWork = [this, raw](int64_t) {
            if (Stopped()) raw->Abort();
        };
    }
    if (!chosen->ftp->Connected()) {
        result = Open(*chosen->ftp);
        if (!result) return nullptr;
    }
    return chosen->ftp.get();
}

void TKNFtpSide::SetStreaming(TKNIdFTP* ftp, bool streaming)
{
    for (auto& connection : connections_)
        if (connection->ftp.get() == ftp) connection->streaming = streaming;
}

TKNSideResult TKNFtpSide::Failure(const std::exception& error, const TKNIdFTP& ftp, const std::string& shown) const
{
    const std::string reason = HideFtpPasswords(error.what());
    const std::string message = shown.empty() ? reason : "\"" + shown + "\": " + reason;
    if (Stopped()) return TKNSideResult::Fail(TKNSideError::Stopped, message);
    if (!ftp.Connected())
        return TKNSideResult::Fail(TKNSideError::Other, message + " (the connection was lost; it is opened again)");
    const auto* reply = dynamic_cast<const TKNFtpReplyError*>(&error);
    return TKNSideResult::Fail(reply ? KindOfReply(reply->Code, reason) : TKNSideError::Other, message);
}

TKNSideResult TKNFtpSide::Run(const std::string& shown, const std::function<TKNSideResult(TKNIdFTP&)>& work)
{
    TKNSideResult result;
    TKNIdFTP* ftp = Free(result);
    if (!ftp) return result;
    try {
        return work(*ftp);
    } catch (const std::exception& e) {
        return Failure(e, *ftp, shown);
    }
}

TKNSideResult TKNFtpSide::CheckNames(const TKNSidePath& path) const
{
    for (const std::string& name : path.Names())
        if (std::string why = NameProblem(name, caps_.ForbiddenInNames); !why.empty())
            return TKNSideResult::Fail(TKNSideError::BadName, why);
    return TKNSideResult::Ok();
}

void TKNFtpSide::Tell(bool& told, const std::string& text)
{
    if (told) return;
    told = true;
    if (context_.Notice) context_.Notice(text);
}

TKNSideResult TKNFtpSide::Connect()
{
    return Run(shownRoot_, [&](TKNIdFTP& ftp) {
        // A root that cannot be entered (a mistyped path, say) fails here with the server's
        // reason, before anything is listed; where it was entered says what it is.
        const std::string canonical = ftp.EnterDir(rootPath_);
        identity_ = canonical.empty() ? std::string()
                                      : std::string(ftp.UseTls ? "ftps://" : "ftp://") + ftp.Username + "@" + ftp.Host +
                                            ":" + std::to_string(ftp.Port) + canonical;
        caps_.TimeStep = ftp.ListsWithMlsd() ? 1 : 60;
        // SITE UTIME is never named by FEAT: a server that tells no features may still have it.
        caps_.SetTime = !ftp.ToldFeatures() || ftp.HasFeature("MFMT") || ftp.HasFeature("MDTM");
        return TKNSideResult::Ok();
    });
}

// --- Listings -------------------------------------------------------------------------------

// MLSD shows every entry, and so does "LIST -a" once a listing showed that the server
// understands it: the folder is entered in the listing's batch. Before that, the folder is
// entered first, since it may be listed two or three times.
void TKNFtpSide::ListServer(TKNIdFTP& ftp, const std::string& serverPath, std::vector<TKNFtpListItem>& items)
{
    if (ftp.ListsWithMlsd() || listAll_ != TListAll::Unknown) {
        ftp.List(ftp.ListsWithMlsd() || listAll_ == TListAll::Refused ? "" : "-a", serverPath);
        items = ftp.DirectoryListing();
        return;
    }
    ftp.ChangeDir(serverPath);
    LearnListAll(ftp, items);
}

// "LIST -a" is checked against a plain LIST until a listing shows that the server understands
// it: a server that refuses "-a", or reads it as a name, leaves the side with plain listings and
// no view of names starting with ".". A plain name missing from the first "-a" listing is asked
// again, as it may have come since.
void TKNFtpSide::LearnListAll(TKNIdFTP& ftp, std::vector<TKNFtpListItem>& items)
{
    std::vector<TKNFtpListItem> all;
    bool refused = false;
    try {
        ftp.List("-a");
        all = ftp.DirectoryListing();
    } catch (const TKNFtpReplyError& e) {
        // A passing trouble (a data connection that failed, "4xx") says nothing about "-a".
        if (!ftp.Connected() || e.Code < 500) throw;
        refused = true;
    }
    ftp.List();
    items = ftp.DirectoryListing();
    if (!refused && !ListAllUnderstood(NamesOf(items), NamesOf(all))) {
        // Other connections of the run may have put entries in place between the two listings:
        // a "-a" listing taken after the plain one must show them.
        ftp.List("-a");
        all = ftp.DirectoryListing();
    }
    if (refused || !ListAllUnderstood(NamesOf(items), NamesOf(all))) {
        listAll_ = TListAll::Refused;
        HideDotEntries();
        return;
    }
    if (!items.empty() || !all.empty()) listAll_ = TListAll::Understood;
    items = std::move(all);
}

TKNSideEntry TKNFtpSide::EntryOf(const TKNFtpListItem& item) const
{
    TKNSideEntry entry;
    entry.Name = item.FileName;
    entry.Kind = item.ItemType == TKNFtpItemType::ditDirectory ? TKNEntryKind::Folder
                 : item.ItemType == TKNFtpItemType::ditFile    ? TKNEntryKind::File
                                                               : TKNEntryKind::Other;
    entry.Link = item.ItemType == TKNFtpItemType::ditSymbolicLink;
    entry.Size = entry.Kind == TKNEntryKind::File ? item.Size : 0;
    // The client turns listed times into local date-times; back to UTC with the same offset.
    if (item.ModifiedDate >= 0) entry.MTime = vex::DateTimeToUnix(item.ModifiedDate, vex::LocalOffsetNow());
    entry.TimeStep = item.TimeStep;
    if (entry.Link) {
        entry.LinkTarget = item.LinkTarget;
        entry.LinkMTime = entry.MTime;
    }
    entry.ModeKnown = item.Mode >= 0 && !entry.Link;
    entry.Mode = entry.ModeKnown ? static_cast<uint32_t>(item.Mode) : 0;
    return entry;
}

TKNSideResult TKNFtpSide::List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    entries.clear();
    if (TKNSideResult named = CheckNames(folder); !named) return named;
    return Run(Shown(folder), [&](TKNIdFTP& ftp) {
        std::vector<TKNFtpListItem> items;
        ListServer(ftp, ServerPath(folder), items);
        for (const TKNFtpListItem& item : items)
            if (NameProblem(item.FileName, caps_.ForbiddenInNames).empty()) entries.push_back(EntryOf(item));
        RefineTimes(ftp, folder, entries);
        return TKNSideResult::Ok();
    });
}

TKNSideResult TKNFtpSide::StatServer(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry)
{
    std::vector<TKNFtpReply> none;
    return StatServerWith(ftp, serverPath, entry, {}, none);
}

std::vector<std::string> TKNFtpSide::StatCommands(const TKNIdFTP& ftp, const std::string& serverPath) const
{
    if (serverPath == rootPath_ || SplitServer(serverPath).second.empty() || !ftp.HasFeature("MLST")) return {};
    return {"MLST " + serverPath};
}

// An MLST refused with words saying that the path does not exist is a missing entry; any other
// refusal leaves it to the listing of the parent (`decided` false).
TKNSideResult TKNFtpSide::EntryFromMlst(const TKNFtpReply& told, const std::string& serverPath, TKNSideEntry& entry,
                                        bool& decided) const
{
    decided = true;
    if (told.Code == 250) {
        TKNFtpListItem item;
        TKNIdFTP::ReadMlstReply(told, item);
        entry = EntryOf(item);
        entry.Name = SplitServer(serverPath).second;
        return TKNSideResult::Ok();
    }
    if (told.Code < 400) throw TKNFtpReplyError(told.Code, told.Text);
    if (told.Code == 550 && KindOfReply(told.Code, told.Text) == TKNSideError::NotFound)
        return TKNSideResult::Fail(TKNSideError::NotFound, "\"" + serverPath + "\" does not exist: " + told.Text);
    decided = false;
    return TKNSideResult::Ok();
}

TKNSideResult TKNFtpSide::StatServerWith(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry,
                                         const std::vector<std::string>& along, std::vector<TKNFtpReply>& replies)
{
    entry = TKNSideEntry{};
    std::vector<std::string> commands = along;
    for (std::string& command : StatCommands(ftp, serverPath)) commands.push_back(std::move(command));
    replies = commands.empty() ? std::vector<TKNFtpReply>{} : ftp.SendBatch(commands);
    if (serverPath == rootPath_ || SplitServer(serverPath).second.empty()) {
        ftp.ChangeDir(serverPath);
        entry.Kind = TKNEntryKind::Folder;
        return TKNSideResult::Ok();
    }
    return StatFromReplies(ftp, serverPath, entry, replies);
}

// MLST where offered; the listing of the parent decides whether an entry exists that MLST
// refuses without saying that it is missing, and is the only source on a server without MLST.
TKNSideResult TKNFtpSide::StatFromReplies(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry,
                                          std::vector<TKNFtpReply>& replies)
{
    entry = TKNSideEntry{};
    const auto [folder, name] = SplitServer(serverPath);
    if (ftp.HasFeature("MLST")) {
        const TKNFtpReply told = replies.back();
        replies.pop_back();
        bool decided = false;
        TKNSideResult found = EntryFromMlst(told, serverPath, entry, decided);
        if (decided) return found;
    }
    std::vector<TKNFtpListItem> items;
    try {
        ListServer(ftp, folder, items);
    } catch (const TKNFtpReplyError& e) {
        if (!ftp.Connected() || e.Code != 550) throw;
        return TKNSideResult::Fail(TKNSideError::NotFound, "\"" + folder + "\" does not exist: " + e.what());
    }
    // An entry that MLST refuses but the listing shows (a link that leads outside the login's
    // root, on some servers) is what the listing says; operations on it are refused in turn.
    for (const TKNFtpListItem& item : items)
        if (item.FileName == name) {
            entry = EntryOf(item);
            RefineTime(ftp, serverPath, entry);
            return TKNSideResult::Ok();
        }
    return TKNSideResult::Fail(TKNSideError::NotFound, "\"" + serverPath + "\" does not exist.");
}

std::string TKNFtpSide::SetTimeCommand(const TKNIdFTP& ftp, const std::string& serverPath, int64_t mtime) const
{
    return caps_.SetTime ? ftp.ModTimeCommand(serverPath, mtime + clockOffset_) : std::string();
}

TKNSideResult TKNFtpSide::Stat(const TKNSidePath& path, TKNSideEntry& entry)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    return Run(Shown(path), [&](TKNIdFTP& ftp) { return StatServer(ftp, ServerPath(path), entry); });
}

// --- Times and modes ------------------------------------------------------------------------

// A file's listed time is known only to the minute (or the day, for an old file) on a server
// without MLST; MDTM tells the second, once a file listed to the minute showed how MDTM's times
// relate to the listing's. A server whose MDTM disagrees otherwise than by whole hours gets no
// more times set, and its MDTM is not read.
bool TKNFtpSide::NeedsRefinedTime(const TKNSideEntry& entry) const
{
    return clock_ != TClock::Useless && entry.Kind == TKNEntryKind::File && !entry.Link && entry.TimeStep > 1;
}

void TKNFtpSide::RefineTime(TKNIdFTP& ftp, const std::string& serverPath, TKNSideEntry& entry)
{
    if (NeedsRefinedTime(entry)) ApplyModTime(ftp, ftp.ModTime(serverPath), entry);
}

// A listing's files, coarse as LIST tells them, get MDTM's seconds so that a download sets, and
// the comparison after an upload sees, the exact time. The commands go in batches of a bounded
// size, so that neither side's buffers fill with replies not read yet. Files listed to the
// minute come first: they teach the server's clock, which a time known only to the day cannot.
void TKNFtpSide::RefineTimes(TKNIdFTP& ftp, const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    constexpr std::size_t kBatch = 64;
    // Only a server that names MDTM among its features is asked for every file of a listing.
    if (!ftp.HasFeature("MDTM")) return;
    std::vector<std::size_t> coarse;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (NeedsRefinedTime(entries[i])) coarse.push_back(i);
    std::stable_sort(coarse.begin(), coarse.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].TimeStep < entries[b].TimeStep; });
    for (std::size_t at = 0; at < coarse.size() && clock_ != TClock::Useless; at += kBatch) {
        const std::size_t end = std::min(coarse.size(), at + kBatch);
        std::vector<std::string> commands;
        for (std::size_t i = at; i < end; ++i)
            commands.push_back("MDTM " + ServerPath(folder.Child(entries[coarse[i]].Name)));
        const std::vector<TKNFtpReply> replies = ftp.SendBatch(commands);
        for (std::size_t i = at; i < end && clock_ != TClock::Useless; ++i)
            ApplyModTime(ftp, TKNIdFTP::ModTimeOfReply(replies[i - at]), entries[coarse[i]]);
    }
}

void TKNFtpSide::ApplyModTime(const TKNIdFTP& ftp, int64_t told, TKNSideEntry& entry)
{
    if (told < 0) {
        if (!ftp.HasFeature("MDTM")) clock_ = TClock::Useless;  // else it is about this file
        return;
    }
    if (clock_ == TClock::Unknown) {
        int64_t offset = 0;
        const TKNServerClock compared = CompareServerClock(told, entry.MTime, entry.TimeStep, offset);
        if (compared == TKNServerClock::Unknown) return;
        if (compared == TKNServerClock::Disagrees) {
            clock_ = TClock::Useless;
            caps_.SetTime = false;
            Tell(toldTimes_, "The server \"" + shownRoot_ +
                                 "\" tells file times with MDTM otherwise than it lists them; file times are not set "
                                 "there.");
            return;
        }
        clock_ = TClock::Learned;
        clockOffset_ = offset;
    }
    entry.MTime = told - clockOffset_;
    entry.TimeStep = 1;
}

// The temporary's name begins with "."; a listing without it shows that the server hides such
// names even from "LIST -a". Listed, it is fresh, so its time is known to the minute and
// teaches the server's clock.
void TKNFtpSide::LearnFromUpload(TKNIdFTP& ftp, const std::string& serverPath)
{
    if (uploadChecked_ || ftp.ListsWithMlsd()) return;
    uploadChecked_ = true;
    TKNSideEntry fresh;
    if (StatServer(ftp, serverPath, fresh).Kind == TKNSideError::NotFound) HideDotEntries();
}

void TKNFtpSide::HideDotEntries()
{
    caps_.DotEntries = false;
    Tell(toldDots_, "The server \"" + shownRoot_ +
                        "\" does not list names that begin with \".\"; such entries there are left alone.");
}

TKNSideResult TKNFtpSide::SetServerTime(TKNIdFTP& ftp, const std::string& serverPath, int64_t mtime,
                                        const std::string& shown)
{
    const auto unsupported = [&] {
        return TKNSideResult::Fail(TKNSideError::Unsupported,
                                   "\"" + shown + "\": the FTP server cannot set file times.");
    };
    if (!caps_.SetTime) return unsupported();
    if (ftp.SetModTime(serverPath, mtime + clockOffset_)) return TKNSideResult::Ok();
    caps_.SetTime = false;
    Tell(toldTimes_, kMsgFtpKeepsNoTimes);
    return unsupported();
}

int TKNFtpSide::ReadMode(TKNIdFTP& ftp, const std::string& serverPath)
{
    TKNSideEntry entry;
    return StatServer(ftp, serverPath, entry) && entry.ModeKnown ? static_cast<int>(entry.Mode) : -1;
}

// The first SITE CHMOD of a run decides whether the server takes it at all; a refusal after
// one that worked is about that entry.
TKNSideResult TKNFtpSide::SetServerMode(TKNIdFTP& ftp, const std::string& serverPath, uint32_t mode,
                                        const std::string& shown)
{
    const auto unsupported = [&](const std::string& why) {
        caps_.SetMode = false;
        Tell(toldModes_, why);
        return TKNSideResult::Fail(TKNSideError::Unsupported, "\"" + shown + "\": " + why);
    };
    if (!caps_.SetMode) return unsupported(kMsgFtpKeepsNoModes);
    bool taken = false;
    try {
        taken = ftp.ChangeMode(serverPath, static_cast<int>(mode & 07777));
    } catch (const TKNFtpReplyError&) {
        if (chmodWorked_ || !ftp.Connected()) throw;
    }
    if (!taken) return unsupported(kMsgFtpKeepsNoModes);
    chmodWorked_ = true;
    // MLST's UNIX.mode tells the permission bits only (pyftpdlib), a LIST line the set-ID and
    // sticky bits as well: what the server tells is compared.
    const uint32_t told = ftp.HasFeature("MLST") ? 0777 : 07777;
    const int kept = ReadMode(ftp, serverPath);
    if (kept >= 0 && (static_cast<uint32_t>(kept) & told) != (mode & told))
        return unsupported("The server \"" + shownRoot_ + "\" does not keep the permission bits it is told.");
    return TKNSideResult::Ok();
}

// Runs `change` on the entry at `path`, which must exist and not be a link: nothing is set
// through one.
TKNSideResult TKNFtpSide::ChangeEntry(const TKNSidePath& path, const TEntryChange& change)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    const std::string shown = Shown(path);
    return Run(shown, [&](TKNIdFTP& ftp) {
        TKNSideEntry entry;
        if (TKNSideResult found = StatServer(ftp, ServerPath(path), entry); !found) return found;
        if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, "\"" + shown + "\" is a link.");
        return change(ftp, ServerPath(path), shown);
    });
}

TKNSideResult TKNFtpSide::SetTime(const TKNSidePath& path, int64_t mtime, int32_t)
{
    return ChangeEntry(path, [&](TKNIdFTP& ftp, const std::string& serverPath, const std::string& shown) {
        return SetServerTime(ftp, serverPath, mtime, shown);
    });
}

TKNSideResult TKNFtpSide::SetMode(const TKNSidePath& path, uint32_t mode)
{
    return ChangeEntry(path, [&](TKNIdFTP& ftp, const std::string& serverPath, const std::string& shown) {
        return SetServerMode(ftp, serverPath, mode, shown);
    });
}

// --- Folders, removal, renames ----------------------------------------------------------------

TKNSideResult TKNFtpSide::MakeFolder(const TKNSidePath& path, int mode)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    const std::string shown = Shown(path);
    return Run(shown, [&](TKNIdFTP& ftp) {
        TKNSideEntry entry;
        TKNSideResult found = StatServer(ftp, ServerPath(path), entry);
        if (found && entry.Link) return TKNSideResult::Fail(TKNSideError::Link, "\"" + shown + "\" is a link.");
        if (found)
            return entry.IsFolder() ? TKNSideResult::Ok()
                                    : TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown + "\" is a file.");
        if (found.Kind != TKNSideError::NotFound) return found;
        ftp.MakeDir(ServerPath(path));
        if (mode < 0) return TKNSideResult::Ok();
        // A server that keeps no modes leaves the folder with its own; it said so once.
        TKNSideResult moded = SetServerMode(ftp, ServerPath(path), static_cast<uint32_t>(mode), shown);
        return moded || moded.Kind == TKNSideError::Unsupported ? TKNSideResult::Ok() : moded;
    });
}

TKNSideResult TKNFtpSide::RemoveFolder(const TKNSidePath& path)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::Denied, "The root folder is never removed.");
    const std::string shown = Shown(path);
    return Run(shown, [&](TKNIdFTP& ftp) {
        TKNSideEntry entry;
        if (TKNSideResult found = StatServer(ftp, ServerPath(path), entry); !found) return found;
        if (entry.Link)
            ftp.Delete(ServerPath(path));  // the link only
        else if (entry.IsFolder())
            ftp.RemoveDir(ServerPath(path));
        else
            return TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown + "\" is not a folder.");
        return TKNSideResult::Ok();
    });
}

TKNSideResult TKNFtpSide::RemoveFile(const TKNSidePath& path, const TKNExpected& expected)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    const std::string shown = Shown(path);
    return Run(shown, [&](TKNIdFTP& ftp) {
        TKNSideEntry entry;
        const TKNSideResult found = StatServer(ftp, ServerPath(path), entry);
        if (TKNSideResult same = CheckExpected(expected, found, entry, shown); !same) return same;
        if (!found) return found;
        if (entry.IsFolder() && !entry.Link)
            return TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown + "\" is a folder.");
        ftp.Delete(ServerPath(path));
        return TKNSideResult::Ok();
    });
}

TKNSideResult TKNFtpSide::Rename(const TKNSidePath& from, const TKNSidePath& to)
{
    if (TKNSideResult named = CheckNames(from); !named) return named;
    if (TKNSideResult named = CheckNames(to); !named) return named;
    const std::string shown = Shown(from);
    return Run(shown, [&](TKNIdFTP& ftp) {
        // RNTO replaces on most servers: the target must be absent first.
        TKNSideEntry entry;
        TKNSideResult target = StatServer(ftp, ServerPath(to), entry);
        if (target) return TKNSideResult::Fail(TKNSideError::Exists, "\"" + Shown(to) + "\" exists already.");
        if (target.Kind != TKNSideError::NotFound) return target;
        if (TKNSideResult found = StatServer(ftp, ServerPath(from), entry); !found) return found;
        ftp.Rename(ServerPath(from), ServerPath(to));
        return TKNSideResult::Ok();
    });
}

// A server whose checksums cannot be learned (a refused FEAT, a lost connection) offers none:
// its files are then streamed, which needs nothing of it.
std::vector<std::string> TKNFtpSide::Hashes(const TKNSidePath& path)
{
    std::vector<std::string> offered;
    Run(Shown(path), [&](TKNIdFTP& ftp) {
        offered = hashes_.Offered(ftp, ServerPath(path));
        return TKNSideResult::Ok();
    });
    return offered;
}

TKNSideResult TKNFtpSide::Hash(const TKNSidePath& path, const std::string& function, std::string& hex)
{
    return Run(Shown(path), [&](TKNIdFTP& ftp) {
        std::string reason;
        if (hashes_.Hash(ftp, ServerPath(path), function, hex, reason)) return TKNSideResult::Ok();
        return TKNSideResult::Fail(TKNSideError::Other, reason);
    });
}

void TKNFtpSide::RemoveTemporary(const std::string& serverPath, TKNSideResult& result)
{
    TKNSideResult removed = Run(serverPath, [&](TKNIdFTP& ftp) {
        ftp.Delete(serverPath);
        return TKNSideResult::Ok();
    });
    if (!removed) result.Message += "\nThe temporary file may remain: " + removed.Message;
}

std::unique_ptr<TKNSide> OpenFtpSide(const std::string& location, const TKNSideContext& context)
{
    return std::make_unique<TKNFtpSide>(location, context);
}

}  // namespace kn
