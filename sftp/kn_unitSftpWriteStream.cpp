#include "sftp/kn_unitSftpWriteStream.h"

#include <algorithm>

#include "sftp/kn_unitSftpSide.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

// One write request: every server takes 32 KiB, and with its header this fits in one SSH
// packet of 32 KiB (sshd's largest), where a whole 32 KiB of data would take two.
constexpr std::size_t kWriteChunk = 32 * 1024 - 64;
constexpr std::string_view kNewMark = "new~";

// What one request of the stream came to.
struct TOutcome {
    bool Answered = false;
    uint32_t Status = TKNSftpWire::kOk;
    std::string Reason;
    TKNSftpAttrs Attrs;

    bool Ok() const { return Status == TKNSftpWire::kOk; }
};

// The requests of a stream carry continuations that reach the stream: it never ends (Commit,
// Abort) while one of them is unanswered.
class TSftpWriteStream final : public TKNWriteStream, public TKNSftpPlaceAhead {
public:
    TSftpWriteStream(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms)
        : side_(side),
          wire_(side.Wire()),
          path_(path),
          terms_(terms),
          shown_(side.Shown(path)),
          dest_(side.Remote(path))
    {
        temp_ = side.Remote(path.Parent().Child(TempName(std::string(kNewMark) + path.Leaf())));
        side_.Writing().push_back(this);
    }
    ~TSftpWriteStream() override
    {
        if (!done_) Abort();
        auto& writing = side_.Writing();
        writing.erase(std::find(writing.begin(), writing.end(), this));
    }

    // Sends the open of the temporary file; its answer is waited for by the first write or
    // the commit. A file with nothing to write ends as soon as it is open.
    void Begin()
    {
        TKNSftpAttrs attrs;
        attrs.Flags = TKNSftpAttrs::kMode;
        attrs.Mode = 0600;
        const uint32_t flags = TKNSftpWire::kWrite | TKNSftpWire::kCreate | TKNSftpWire::kExclusive;
        wire_.SendOpen(temp_, flags, attrs, Then(open_, TKNSftpReply::kHandle, [this](TKNSftpReply& reply) {
                           handle_ = reply.Handle();
                           EndWhenWhole();
                       }));
    }

    TKNSideResult Write(const char* data, std::size_t size) override
    {
        if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was already ended.");
        if (side_.Context().Stopped()) return Fail(TKNSideResult::Fail(TKNSideError::Stopped, "Stopped."));
        if (TKNSideResult r = Opened(); !r) return Fail(r);
        if (!written_.Ok()) return Fail(WireFailure("Cannot write \"" + shown_ + "\"", written_));
        if (ended_) {  // more than the expected size: the commit reports it
            count_ += size;
            return TKNSideResult::Ok();
        }
        while (size > 0) {
            const std::size_t n = std::min(size, kWriteChunk);
            wire_.SendWrite(handle_, count_, std::string_view(data, n), Then(written_, TKNSftpReply::kStatus));
            count_ += n;
            data += n;
            size -= n;
        }
        if (!wire_.Alive()) return Fail(WireFailure("Cannot write \"" + shown_ + "\"", written_));
        EndWhenWhole();
        return TKNSideResult::Ok();
    }

    TKNSideResult Commit() override
    {
        if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was already ended.");
        if (side_.Context().Stopped()) return Fail(TKNSideResult::Fail(TKNSideError::Stopped, "Stopped."));
        if (TKNSideResult r = Opened(); !r) return Fail(r);
        TKNSideEntry there;
        TKNSideResult found;
        if (TKNSideResult r = FinishFile(there, found); !r) return Fail(r);
        if (TKNSideResult r = CheckExpected(terms_.Replaces, found, there, shown_); !r) return Fail(r);
        // Put in place ahead by an earlier commit, or else (a rename refused there) now.
        if (!aheadSent_ || !ahead_.Ok()) {
            TKNSideResult placed = PlaceWithOthers(static_cast<bool>(found));
            if (!placed) return Fail(placed);
        }
        done_ = true;
        return TKNSideResult::Ok();
    }

    // Waits for the stream's requests, then closes and removes the temporary file; a file put
    // in place before its turn is first taken back (while it is still the one put there).
    void Abort() override
    {
        if (done_) return;
        done_ = true;
        WaitOwn();
        if (handle_.empty()) return;  // nothing was created
        if (aheadSent_ && ahead_.Ok() && !TakeBack()) return;
        if (!ended_) wire_.SendClose(handle_, Then(closed_, TKNSftpReply::kStatus));
        // Without a connection the temporary stays; a later listing shows it as the program's own.
        TOutcome removed;
        wire_.SendRemove(temp_, Then(removed, TKNSftpReply::kStatus));
        WaitOwn();
    }

    bool Waiting() const override { return ended_ && unanswered_ > 0 && !done_; }

    // A new file (nothing may be at its destination, and nothing was there when its end was
    // answered) whose end is answered and clean goes in place with a rename that never
    // replaces, in the same round trip as the commit before it.
    void PlaceAhead() override
    {
        if (done_ || aheadSent_ || !ended_ || unanswered_ > 0 || static_cast<int64_t>(count_) != terms_.Size ||
            !EndFailure())
            return;
        if (!terms_.Replaces.Known || terms_.Replaces.Exists || look_.Status != TKNSftpWire::kNoSuchFile) return;
        aheadSent_ = true;
        wire_.SendRename(temp_, dest_, Then(ahead_, TKNSftpReply::kStatus));
    }

private:
    // The file put in place before its turn goes back to its temporary name, while the
    // destination still is that file (its size and time): another writer's file that came
    // meanwhile stays.
    bool TakeBack()
    {
        TKNSideEntry there;
        const TKNSftpAttrs& mine = kept_.Attrs;
        if (!side_.LStat(dest_, there) || there.Link || there.Size != static_cast<int64_t>(mine.Size) ||
            there.MTime != static_cast<int64_t>(mine.MTime))
            return false;
        std::string reason;
        return wire_.Rename(dest_, temp_, reason);
    }

    // Places this file, and sends ahead the renames of the new files opened after it: the
    // caller commits them next, in that order, so their round trips are shared. Their ends left
    // with this one's and are answered with it.
    TKNSideResult PlaceWithOthers(bool found)
    {
        auto& writing = side_.Writing();
        std::string ignored;
        wire_.WaitFor(
            [&] { return std::none_of(writing.begin(), writing.end(), [](auto* w) { return w->Waiting(); }); },
            ignored);
        if (!side_.Context().Stopped())
            for (auto it = std::next(std::find(writing.begin(), writing.end(), this)); it != writing.end(); ++it)
                (*it)->PlaceAhead();
        return Place(found);
    }

    // A continuation that records the answer in `into` (the first failure stays), then runs
    // `next` when the answer is the one expected.
    TKNSftpThen Then(TOutcome& into, uint8_t expected, std::function<void(TKNSftpReply&)> next = {})
    {
        ++unanswered_;
        return [this, &into, expected, next = std::move(next)](TKNSftpReply& reply) {
            --unanswered_;
            std::string reason;
            const uint32_t status = reply.Status(expected, reason);
            into.Answered = true;
            if (status != TKNSftpWire::kOk && into.Ok()) {
                into.Status = status;
                into.Reason = reason;
            }
            if (status != TKNSftpWire::kOk) return;
            if (expected == TKNSftpReply::kAttrs) into.Attrs = reply.Attrs();
            if (next) next(reply);
        };
    }

    void WaitOwn()
    {
        std::string ignored;
        wire_.WaitFor([this] { return unanswered_ == 0; }, ignored);
    }

    // The open's answer: a failure shows at the first write or the commit.
    TKNSideResult Opened()
    {
        std::string ignored;
        if (!open_.Answered) wire_.WaitFor([this] { return open_.Answered; }, ignored);
        if (open_.Ok() && !handle_.empty()) return TKNSideResult::Ok();
        return WireFailure("Cannot create a temporary file beside \"" + shown_ + "\"", open_);
    }

    TKNSideResult Fail(TKNSideResult result)
    {
        Abort();
        return result;
    }

    static TKNSideResult WireFailure(const std::string& what, const TOutcome& outcome)
    {
        return TKNSftpSide::WireFailure(what, outcome.Status, outcome.Reason);
    }

    // Once every byte of a file of known size was sent, its end leaves behind the last writes,
    // without waiting: time and mode set on the handle and read back, the close, and the look
    // at the destination. The commit then finds them answered, or waits one round trip for all.
    void EndWhenWhole()
    {
        if (!ended_ && !handle_.empty() && terms_.Size >= 0 && static_cast<int64_t>(count_) == terms_.Size) SendEnd();
    }

    void SendEnd()
    {
        ended_ = true;
        if (terms_.MTime >= 0 && terms_.MTime <= 0xFFFFFFFFLL) {
            asked_.Flags |= TKNSftpAttrs::kTimes;
            asked_.ATime = asked_.MTime = static_cast<uint32_t>(terms_.MTime);
        }
        if (terms_.Mode >= 0) {
            asked_.Flags |= TKNSftpAttrs::kMode;
            asked_.Mode = static_cast<uint32_t>(terms_.Mode) & 07777;
        }
        if (asked_.Flags) wire_.SendFSetStat(handle_, asked_, Then(set_, TKNSftpReply::kStatus));
        wire_.SendFStat(handle_, Then(kept_, TKNSftpReply::kAttrs));
        wire_.SendClose(handle_, Then(closed_, TKNSftpReply::kStatus));
        wire_.SendLStat(dest_, Then(look_, TKNSftpReply::kAttrs));
    }

    // The first failure among the answers to the writes and the end; none when the server kept
    // every byte and the destination could be looked at.
    TKNSideResult EndFailure() const
    {
        const std::pair<const TOutcome*, const char*> steps[] = {
            {&written_, "Cannot write"},
            {&set_, "Cannot set the time and permissions of"},
            {&kept_, "Cannot read back"},
            {&closed_, "Cannot write"},
        };
        for (const auto& [outcome, what] : steps)
            if (!outcome->Ok()) return WireFailure(std::string(what) + " \"" + shown_ + "\"", *outcome);
        if (!look_.Ok() && look_.Status != TKNSftpWire::kNoSuchFile)
            return WireFailure("Cannot read \"" + shown_ + "\"", look_);
        const TKNSftpAttrs& kept = kept_.Attrs;
        if ((kept.Flags & TKNSftpAttrs::kSize) && kept.Size != count_)
            return TKNSideResult::Fail(TKNSideError::Other, "The server kept " + std::to_string(kept.Size) + " of " +
                                                                std::to_string(count_) + " bytes of \"" + shown_ +
                                                                "\".");
        return TKNSideResult::Ok();
    }

    // All bytes answered, the size as expected, time and mode set on the handle, closed; and
    // the destination as it is now (`there`, `found`).
    TKNSideResult FinishFile(TKNSideEntry& there, TKNSideResult& found)
    {
        if (terms_.Size >= 0 && static_cast<int64_t>(count_) != terms_.Size)
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " got " + std::to_string(count_) +
                                                                  " bytes where " + std::to_string(terms_.Size) +
                                                                  " were expected: the source changed.");
        if (!ended_) SendEnd();
        WaitOwn();
        if (TKNSideResult r = EndFailure(); !r) return r;
        const TKNSftpAttrs& kept = kept_.Attrs;
        if ((asked_.Flags & TKNSftpAttrs::kMode) && (kept.Flags & TKNSftpAttrs::kMode))
            side_.ModeKept(asked_.Mode, kept.Mode);
        if (look_.Status == TKNSftpWire::kNoSuchFile) {
            found = TKNSideResult::Fail(TKNSideError::NotFound, Quoted(shown_) + " does not exist.");
            return TKNSideResult::Ok();
        }
        there = TKNSftpSide::EntryOf(look_.Attrs);
        there.Name = path_.Leaf();
        found = TKNSideResult::Ok();
        return TKNSideResult::Ok();
    }

    // Puts the whole temporary file in place of the destination, which was there (`found`) or
    // not when it was checked just before.
    TKNSideResult Place(bool found)
    {
        // Where nothing may be at the destination, a rename that never replaces keeps to it.
        const bool mayReplace = found || !terms_.Replaces.Known;
        if (mayReplace && side_.RenamesOver()) return PosixRename();
        if (found) return ReplaceAside();
        TKNSideResult placed = Rename(temp_, dest_);
        TKNSideEntry there;
        if (placed || !side_.Stat(path_, there)) return placed;
        if (!mayReplace)
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
        return ReplaceAside();  // another writer's file came meanwhile
    }

    // A plain SFTP rename, which never replaces on OpenSSH's server.
    TKNSideResult Rename(const std::string& from, const std::string& to)
    {
        TOutcome renamed;
        if (wire_.Rename(from, to, renamed.Reason)) return TKNSideResult::Ok();
        renamed.Status = wire_.Status();
        return WireFailure("Cannot put \"" + shown_ + "\" in place", renamed);
    }

    TKNSideResult PosixRename()
    {
        TOutcome renamed;
        if (wire_.PosixRename(temp_, dest_, renamed.Reason)) return TKNSideResult::Ok();
        renamed.Status = wire_.Status();
        return WireFailure("Cannot put \"" + shown_ + "\" in place", renamed);
    }

    // The old file goes aside under a name a later listing recognises, the new one in, and the
    // old one away. An interruption between the first two steps leaves the old file to be put
    // back; a name too long to be kept whole in that aside name is never replaced this way.
    // Another writer doing the same meanwhile wins or loses as a whole.
    TKNSideResult ReplaceAside()
    {
        const std::string stem = SftpAsideStem(path_.Leaf());
        const std::string asideName = TempName(stem);
        if (asideName.compare(4, stem.size(), stem) != 0 || asideName.size() != stem.size() + 21)
            return TKNSideResult::Fail(TKNSideError::Unsupported,
                                       Quoted(shown_) +
                                           " cannot be replaced safely on this server: its name is too long to "
                                           "keep the old file recoverable meanwhile.");
        const std::string aside = side_.Remote(path_.Parent().Child(asideName));
        std::string reason;
        for (int attempt = 0;; ++attempt) {
            if (TKNSideResult r = Rename(dest_, aside); !r) {
                TKNSideEntry there;  // another writer may have moved it aside first
                if (side_.Stat(path_, there).Kind == TKNSideError::NotFound && Rename(temp_, dest_))
                    return TKNSideResult::Ok();
                // Its file came in meanwhile: where nothing was expected there, it goes aside in turn.
                if (!terms_.Replaces.Known && attempt < 2) continue;
                return r;
            }
            TKNSideResult placed = Rename(temp_, dest_);
            if (placed) break;
            if (wire_.Rename(aside, dest_, reason)) return placed;
            // Another writer's file took the place: the old one is replaced already. Anything
            // else leaves the old one aside, for the next listing to put back.
            TKNSideEntry there;
            if (!side_.Stat(path_, there)) return placed;
            wire_.Remove(aside, reason);
            if (terms_.Replaces.Known || attempt == 2)
                return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
        }
        if (!wire_.Remove(aside, reason) && side_.Context().Notice)
            side_.Context().Notice("The old \"" + shown_ + "\" stays as \"" + asideName +
                                   "\" on the server: " + reason);
        return TKNSideResult::Ok();
    }

    TKNSftpSide& side_;
    TKNSftpWire& wire_;
    TKNSidePath path_;
    TKNWriteTerms terms_;
    std::string shown_, dest_, temp_, handle_;
    uint64_t count_ = 0;  // bytes sent
    int unanswered_ = 0;  // requests of this stream still in flight
    TOutcome open_, written_, set_, kept_, closed_, look_, ahead_;
    TKNSftpAttrs asked_;      // the time and mode set on the handle
    bool ended_ = false;      // the end requests left
    bool aheadSent_ = false;  // put in place by an earlier commit's round trip
    bool done_ = false;
};

}  // namespace

TKNSideResult OpenSftpWrite(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream)
{
    auto writing = std::make_unique<TSftpWriteStream>(side, path, terms);
    writing->Begin();
    stream = std::move(writing);
    return TKNSideResult::Ok();
}

}  // namespace kn
