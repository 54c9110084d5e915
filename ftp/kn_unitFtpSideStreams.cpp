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

    TKNSideResult Commit() override
    {
        if (state_ != TState::Sending) return Closed();
        try {
            ftp_.FinishStore();
        } catch (const std::exception& e) {
            return Fail(side_.Failure(e, ftp_, shown_));
        }
        side_.SetStreaming(&ftp_, false);
        state_ = TState::Stored;
        TKNSideResult placed = side_.Run(shown_, [&](TKNIdFTP& ftp) { return Place(ftp); });
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

    // The whole file arrived: its time and mode go on the temporary, then it replaces the
    // destination, if that is still what the comparison saw. The temporary's size, its time
    // (once the server's command for it is known) and its mode as the server made it are asked
    // in the round trip that looks at the destination; SITE CHMOD follows only where the mode
    // differs.
    TKNSideResult Place(TKNIdFTP& ftp)
    {
        if (terms_.Size >= 0 && written_ != terms_.Size) return ShortTransfer(shown_, written_, terms_.Size);
        std::vector<std::string> along = {"SIZE " + temp_};
        const bool dating = terms_.MTime >= 0 && side_.Caps().SetTime;
        const std::string datingCommand = dating ? side_.SetTimeCommand(ftp, temp_, terms_.MTime) : "";
        if (!datingCommand.empty()) along.push_back(datingCommand);
        const bool moding = terms_.Mode >= 0 && side_.Caps().SetMode;
        const bool modeTold = moding && ftp.HasFeature("MLST");
        if (modeTold) along.push_back("MLST " + temp_);
        TKNSideEntry current;
        std::vector<TKNFtpReply> told;
        const TKNSideResult found = side_.StatServerWith(ftp, dest_, current, along, told);
        const int64_t stored = TKNIdFTP::SizeOfReply(told[0]);
        if (stored >= 0 && stored != written_) return ShortTransfer(shown_, stored, written_);
        side_.LearnFromUpload(ftp, temp_);
        // A server found to hide dot names cannot show what such a destination holds.
        if (hiddenName_ && !side_.Caps().DotEntries)
            return TKNSideResult::Fail(TKNSideError::Unsupported,
                                       "\"" + shown_ +
                                           "\": the server does not list names that begin with \".\"; "
                                           "what is there is unknown and was left alone.");
        if (dating && (datingCommand.empty() || !TKNIdFTP::ModTimeSet(told[1]))) {
            TKNSideResult dated = side_.SetServerTime(ftp, temp_, terms_.MTime, shown_);
            if (!dated && dated.Kind != TKNSideError::Unsupported) return dated;
        }
        if (moding && !(modeTold && AlreadyMode(told.back()))) {
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
    int64_t written_ = 0;
    TState state_ = TState::Sending;
};

// "/pub" and "a.txt" give "/pub/a.txt"; the root "/" gives "/a.txt".
std::string JoinServer(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

TKNSideResult TKNFtpSide::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
{
    if (TKNSideResult named = CheckNames(path); !named) return named;
    const std::string shown = Shown(path), serverPath = ServerPath(path);
    TKNIdFTP* reading = nullptr;
    int64_t whole = -1;
    TKNSideResult opened = Run(shown, [&](TKNIdFTP& ftp) {
        // SIZE goes along with the stat, in its round trip.
        TKNSideEntry entry;
        std::vector<TKNFtpReply> told;
        if (TKNSideResult found = StatServerWith(ftp, serverPath, entry, {"SIZE " + serverPath}, told); !found)
            return found;
        if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, "\"" + shown + "\" is a link.");
        if (entry.Kind != TKNEntryKind::File)
            return TKNSideResult::Fail(TKNSideError::Exists, "\"" + shown + "\" is not a file.");
        const int64_t size = TKNIdFTP::SizeOfReply(told[0]);
        whole = size >= 0 ? size : entry.Size;
        ftp.OpenRetrieve(serverPath);
        reading = &ftp;
        return TKNSideResult::Ok();
    });
    if (!opened) return opened;
    SetStreaming(reading, true);
    stream = std::make_unique<TKNFtpReadStream>(*this, *reading, shown, whole);
    return opened;
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
