// The FTP side's streams: RETR read block by block with the whole size checked, and STOR to a
// temporary name that Commit checks, dates, moves and renames over the destination.
#include <string>
#include <vector>

#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpSide.h"
#include "ftp/kn_unitFtpSideServer.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

TKNSideResult ShortTransfer(const std::string& shown, int64_t moved, int64_t whole)
{
    return TKNSideResult::Fail(TKNSideError::Other, "\"" + shown + "\": only " + std::to_string(moved) + " of " +
                                                        std::to_string(whole) + " bytes were transferred.");
}

class TKNFtpReadStream final : public TKNReadStream {
public:
    TKNFtpReadStream(TKNFtpSide& side, TKNIdFTP& ftp, std::string shown, int64_t whole)
        : side_(side), ftp_(ftp), shown_(std::move(shown)), whole_(whole)
    {
    }
    ~TKNFtpReadStream() override { End(); }

    // The size SIZE (or else the listing) gave must arrive, no less and no more.
    int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) override
    {
        if (ended_) return 0;
        std::size_t got = 0;
        try {
            got = ftp_.ReadRetrieve(buffer, size);
        } catch (const std::exception& e) {
            End();
            result = side_.Failure(e, ftp_, shown_);
            return -1;
        }
        moved_ += static_cast<int64_t>(got);
        if (got > 0 && (whole_ < 0 || moved_ <= whole_)) return static_cast<int64_t>(got);
        End();
        if (whole_ < 0 || moved_ == whole_) return 0;
        result = ShortTransfer(shown_, moved_, whole_);
        return -1;
    }

private:
    void End()
    {
        if (ended_) return;
        ended_ = true;
        ftp_.CloseStream();
        side_.SetStreaming(&ftp_, false);
    }

    TKNFtpSide& side_;
    TKNIdFTP& ftp_;
    std::string shown_;
    int64_t whole_;
    int64_t moved_ = 0;
    bool ended_ = false;
};

class TKNFtpWriteStream final : public TKNWriteStream {
public:
    TKNFtpWriteStream(TKNFtpSide& side, TKNIdFTP& ftp, std::string shown, std::string dest, std::string temp,
                      TKNWriteTerms terms, bool hiddenName)
        : side_(side),
          ftp_(ftp),
          shown_(std::move(shown)),
          dest_(std::move(dest)),
          temp_(std::move(temp)),
          terms_(std::move(terms)),
          hiddenName_(hiddenName)
    {
    }
    ~TKNFtpWriteStream() override { Abort(); }

    TKNSideResult Write(const char* data, std::size_t size) override
    {
        if (state_ != TState::Sending) return Closed();
        try {
            ftp_.WriteStore(data, size);
        } catch (const std::exception& e) {
            return Fail(side_.Failure(e, ftp_, shown_));
        }
        written_ += static_cast<int64_t>(size);
        return TKNSideResult::Ok();
    }

    // The checks of the temporary and of the destination go out as soon as the server has read
    // the whole file, in the round trip of its confirmation.
    TKNSideResult Commit() override
    {
        if (state_ != TState::Sending) return Closed();
        std::vector<TKNFtpReply> told;
        try {
            told = ftp_.FinishStore(PlaceChecks());
        } catch (const std::exception& e) {
            return Fail(side_.Failure(e, ftp_, shown_));
        }
        side_.SetStreaming(&ftp_, false);
        state_ = TState::Stored;
        TKNSideResult placed;
        try {
            placed = Place(ftp_, told);
        } catch (const std::exception& e) {
            placed = side_.Failure(e, ftp_, shown_);
        }
        if (!placed) return Fail(placed);
        state_ = TState::Done;
        return placed;
    }

    void Abort() override
    {
        if (state_ == TState::Done || state_ == TState::Failed) return;
        TKNSideResult ignored;
        Fail(ignored);
    }

private:
    enum class TState { Sending, Stored, Done, Failed };

    TKNSideResult Closed() const
    {
        return TKNSideResult::Fail(TKNSideError::Other, "\"" + shown_ + "\": the upload has ended.");
    }

    // Ends the transfer where it runs and deletes the temporary; the destination is untouched.
    TKNSideResult Fail(TKNSideResult result)
    {
        if (state_ == TState::Sending) {
            ftp_.CloseStream();
            side_.SetStreaming(&ftp_, false);
        }
        state_ = TState::Failed;
        side_.RemoveTemporary(temp_, result);
        return result;
    }

    // The temporary's size, its time (once the server's command for it is known), its mode as
    // the server made it, and the destination.
    std::vector<std::string> PlaceChecks()
    {
        std::vector<std::string> checks = {"SIZE " + temp_};
        dating_ = terms_.MTime >= 0 && side_.Caps().SetTime;
        datingCommand_ = dating_ ? side_.SetTimeCommand(ftp_, temp_, terms_.MTime) : "";
        if (!datingCommand_.empty()) checks.push_back(datingCommand_);
        moding_ = terms_.Mode >= 0 && side_.Caps().SetMode;
        modeTold_ = moding_ && ftp_.HasFeature("MLST");
        if (modeTold_) checks.push_back("MLST " + temp_);
        for (std::string& command : side_.StatCommands(ftp_, dest_)) checks.push_back(std::move(command));
        return checks;
    }

    // The whole file arrived (`told`: the replies to PlaceChecks): its time and mode go on the
    // temporary, then it replaces the destination, if that is still what the comparison saw.
    // SITE CHMOD follows only where the mode differs.
    TKNSideResult Place(TKNIdFTP& ftp, std::vector<TKNFtpReply>& told)
    {
        if (terms_.Size >= 0 && written_ != terms_.Size) return ShortTransfer(shown_, written_, terms_.Size);
        TKNSideEntry current;
        const TKNSideResult found = side_.StatFromReplies(ftp, dest_, current, told);
        const int64_t stored = TKNIdFTP::SizeOfReply(told[0]);
        if (stored >= 0 && stored != written_) return ShortTransfer(shown_, stored, written_);
        side_.LearnFromUpload(ftp, temp_);
        // A server found to hide dot names cannot show what such a destination holds.
        if (hiddenName_ && !side_.Caps().DotEntries)
            return TKNSideResult::Fail(TKNSideError::Unsupported,
                                       "\"" + shown_ +
                                           "\": the server does not list names that begin with \".\"; "
                                           "what is there is unknown and was left alone.");
        if (dating_ && (datingCommand_.empty() || !TKNIdFTP::ModTimeSet(told[1]))) {
            TKNSideResult dated = side_.SetServerTime(ftp, temp_, terms_.MTime, shown_);
            if (!dated && dated.Kind != TKNSideError::Unsupported) return dated;
        }
        if (moding_ && !(modeTold_ && AlreadyMode(told.back()))) {
            TKNSideResult moded = side_.SetServerMode(ftp, temp_, static_cast<uint32_t>(terms_.Mode), shown_);
            if (!moded && moded.Kind != TKNSideError::Unsupported) return moded;
        }
        if (TKNSideResult same = CheckExpected(terms_.Replaces, found, current, shown_); !same) return same;
        if (found && (current.IsFolder() || current.Link) && !terms_.Replaces.Known)
            return TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown_ + "\" is a folder or a link.");
        if (!found && found.Kind != TKNSideError::NotFound) return found;
        ftp.Rename(temp_, dest_);
        return TKNSideResult::Ok();
    }

    // Whether the temporary's MLST reply (`told`) shows the permission bits asked for already.
    // MLST tells the nine permission bits only: set-ID and sticky bits are always set.
    bool AlreadyMode(const TKNFtpReply& told) const
    {
        if (told.Code != 250 || (terms_.Mode & ~0777) != 0) return false;
        TKNFtpListItem item;
        TKNIdFTP::ReadMlstReply(told, item);
        return item.Mode >= 0 && (item.Mode & 0777) == terms_.Mode;
    }

    TKNFtpSide& side_;
    TKNIdFTP& ftp_;
    std::string shown_, dest_, temp_;
    TKNWriteTerms terms_;
    bool hiddenName_;  // a name of the destination's path begins with "."
    // What PlaceChecks sent: the command that sets the time (if any), and the temporary's MLST.
    bool dating_ = false, moding_ = false, modeTold_ = false;
    std::string datingCommand_;
    int64_t written_ = 0;
    TState state_ = TState::Sending;
};

// "/pub" and "a.txt" give "/pub/a.txt"; the root "/" gives "/a.txt".
std::string JoinServer(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

// The checks go in the batch of the RETR itself. What they cannot settle (a refused SIZE or
// MLST, a server with neither) is settled before the transfer: the entry is asked (MLST, or the
// parent's listing) with SIZE, and a link or anything but a file is refused.
TKNSideResult TKNFtpSide::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    const std::string shown = Shown(path), serverPath = ServerPath(path);
    TKNIdFTP* reading = nullptr;
    int64_t whole = -1;
    TKNSideResult opened = Run(shown, [&](TKNIdFTP& ftp) {
        TKNSideResult judged;
        bool decided = false;
        TKNFtpAhead ahead;
        ahead.Commands = ReadChecks(ftp, serverPath);
        ahead.Judge = [&](const std::vector<TKNFtpReply>& told) {
            judged = JudgeRead(ftp, told, serverPath, shown, whole, decided);
            return decided && judged;
        };
        if (!ahead.Commands.empty() && ftp.OpenRetrieve(serverPath, ahead)) {
            reading = &ftp;
            return TKNSideResult::Ok();
        }
        if (decided) return judged;
        if (TKNSideResult listed = CheckReadListed(ftp, serverPath, shown, whole); !listed) return listed;
        ftp.OpenRetrieve(serverPath);
        reading = &ftp;
        return TKNSideResult::Ok();
    });
    if (!opened) return opened;
    SetStreaming(reading, true);
    stream = std::make_unique<TKNFtpReadStream>(*this, *reading, shown, whole);
    return opened;
}

// SIZE tells what RETR brings, and servers answer it for regular files only (a link counts as
// what it leads to, as reading follows it); MLST (whose size may be a link's own, on proftpd)
// only where the server has no SIZE.
std::vector<std::string> TKNFtpSide::ReadChecks(const TKNIdFTP& ftp, const std::string& serverPath) const
{
    if (ftp.HasFeature("SIZE")) return {"SIZE " + serverPath};
    return StatCommands(ftp, serverPath);
}

// The replies to ReadChecks: the whole size to expect, or why the file is not read; `decided`
// false where they leave it to the listing.
TKNSideResult TKNFtpSide::JudgeRead(const TKNIdFTP& ftp, const std::vector<TKNFtpReply>& told,
                                    const std::string& serverPath, const std::string& shown, int64_t& whole,
                                    bool& decided) const
{
    if (ftp.HasFeature("SIZE")) {
        decided = told[0].Code == 213;
        if (decided) whole = TKNIdFTP::SizeOfReply(told[0]);
        return TKNSideResult::Ok();
    }
    TKNSideEntry entry;
    TKNSideResult found = EntryFromMlst(told[0], serverPath, entry, decided);
    if (!decided || !found) return found;
    if (TKNSideResult file = ReadableFile(entry, shown); !file) return file;
    whole = entry.Size;
    return TKNSideResult::Ok();
}

TKNSideResult TKNFtpSide::ReadableFile(const TKNSideEntry& entry, const std::string& shown)
{
    if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, "\"" + shown + "\" is a link.");
    if (entry.Kind != TKNEntryKind::File)
        return TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown + "\" is not a file.");
    return TKNSideResult::Ok();
}

// The entry from the parent's listing, with SIZE in the same round trip.
TKNSideResult TKNFtpSide::CheckReadListed(TKNIdFTP& ftp, const std::string& serverPath, const std::string& shown,
                                          int64_t& whole)
{
    TKNSideEntry entry;
    std::vector<TKNFtpReply> told;
    if (TKNSideResult found = StatServerWith(ftp, serverPath, entry, {"SIZE " + serverPath}, told); !found)
        return found;
    if (TKNSideResult file = ReadableFile(entry, shown); !file) return file;
    const int64_t size = TKNIdFTP::SizeOfReply(told[0]);
    whole = size >= 0 ? size : entry.Size;
    return TKNSideResult::Ok();
}

TKNSideResult TKNFtpSide::OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                    std::unique_ptr<TKNWriteStream>& stream)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    if (path.IsRoot()) return TKNSideResult::Fail(TKNSideError::Exists, "The root folder is not a file.");
    const std::string shown = Shown(path);
    const std::string temp = JoinServer(ServerPath(path.Parent()), TempName(path.Leaf()));
    TKNIdFTP* writing = nullptr;
    TKNSideResult opened = Run(shown, [&](TKNIdFTP& ftp) {
        ftp.OpenStore(temp);
        writing = &ftp;
        return TKNSideResult::Ok();
    });
    if (!opened) {
        // The server may have made the file before the transfer failed.
        TKNSideResult quiet;
        RemoveTemporary(temp, quiet);
        return opened;
    }
    SetStreaming(writing, true);
    stream =
        std::make_unique<TKNFtpWriteStream>(*this, *writing, shown, ServerPath(path), temp, terms, HasDotName(path));
    return opened;
}

}  // namespace kn
