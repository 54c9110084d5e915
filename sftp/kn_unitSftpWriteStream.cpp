#include "sftp/kn_unitSftpWriteStream.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>

#include "sftp/kn_unitSftpSide.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

// One write request: every server takes 32 KiB.
constexpr std::size_t kWriteChunk = 32 * 1024;
constexpr std::string_view kNewMark = "new~";

class TSftpWriteStream final : public TKNWriteStream {
public:
    TSftpWriteStream(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms)
        : side_(side), path_(path), terms_(terms), shown_(side.Shown(path)), dest_(side.Remote(path))
    {
        temp_ = side.Remote(path.Parent().Child(TempName(std::string(kNewMark) + path.Leaf())));
    }
    ~TSftpWriteStream() override
    {
        if (!done_) Abort();
    }

    TKNSideResult Begin()
    {
        TKNSftpAttrs attrs;
        attrs.Flags = TKNSftpAttrs::kMode;
        attrs.Mode = 0600;
        std::string reason;
        const uint32_t flags = TKNSftpWire::kWrite | TKNSftpWire::kCreate | TKNSftpWire::kExclusive;
        if (!side_.Wire().OpenFile(temp_, flags, attrs, handle_, reason)) {
            done_ = true;
            return WireFailure("Cannot create a temporary file beside \"" + shown_ + "\"", reason);
        }
        return TKNSideResult::Ok();
    }

    TKNSideResult Write(const char* data, std::size_t size) override
    {
        if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was already ended.");
        if (side_.Context().Stopped()) return Fail(TKNSideResult::Fail(TKNSideError::Stopped, "Stopped."));
        std::string reason;
        while (size > 0) {
            const std::size_t n = std::min(size, kWriteChunk);
            if (!side_.Wire().Write(handle_, written_, data, static_cast<uint32_t>(n), reason))
                return Fail(WireFailure("Cannot write \"" + shown_ + "\"", reason));
            written_ += n;
            data += n;
            size -= n;
        }
        return TKNSideResult::Ok();
    }

    TKNSideResult Commit() override
    {
        if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was already ended.");
        if (side_.Context().Stopped()) return Fail(TKNSideResult::Fail(TKNSideError::Stopped, "Stopped."));
        TKNSideEntry there;
        TKNSideResult found;
        if (TKNSideResult r = FinishFile(there, found); !r) return Fail(r);
        if (TKNSideResult r = CheckExpected(terms_.Replaces, found, there, shown_); !r) return Fail(r);
        TKNSideResult placed = Place(static_cast<bool>(found));
        if (!placed) return Fail(placed);
        done_ = true;
        return TKNSideResult::Ok();
    }

    void Abort() override
    {
        if (done_) return;
        done_ = true;
        std::string ignored;
        if (!handle_.empty()) {
            side_.Wire().Flush(ignored);
            side_.Wire().Close(handle_, ignored);
            handle_.clear();
        }
        // Without a connection the temporary stays; a later listing shows it as the program's own.
        if (side_.Session().Connected()) sftp_unlink(side_.Session().Sftp(), temp_.c_str());
    }

private:
    TKNSideResult Fail(TKNSideResult result)
    {
        Abort();
        return result;
    }

    TKNSideResult WireFailure(const std::string& what, const std::string& reason) const
    {
        TKNSideError kind = TKNSideError::Other;
        switch (side_.Wire().Status()) {
            case TKNSftpWire::kNoConnection:
                kind = TKNSideError::Connection;
                break;
            case TKNSftpWire::kDenied:
                kind = TKNSideError::Denied;
                break;
            case TKNSftpWire::kNoSuchFile:
                kind = TKNSideError::NotFound;
                break;
            default:
                break;
        }
        return TKNSideResult::Fail(kind, what + ": " + reason);
    }

    // All bytes answered, the size as expected, time and mode set on the handle, closed; and
    // the destination as it is now (`there`, `found`). The requests go out together, behind the
    // last writes, and are answered in one round trip.
    TKNSideResult FinishFile(TKNSideEntry& there, TKNSideResult& found)
    {
        if (terms_.Size >= 0 && static_cast<int64_t>(written_) != terms_.Size)
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " got " + std::to_string(written_) +
                                                                  " bytes where " + std::to_string(terms_.Size) +
                                                                  " were expected: the source changed.");
        TKNSftpAttrs attrs;
        if (terms_.MTime >= 0 && terms_.MTime <= 0xFFFFFFFFLL) {
            attrs.Flags |= TKNSftpAttrs::kTimes;
            attrs.ATime = attrs.MTime = static_cast<uint32_t>(terms_.MTime);
        }
        if (terms_.Mode >= 0) {
            attrs.Flags |= TKNSftpAttrs::kMode;
            attrs.Mode = static_cast<uint32_t>(terms_.Mode) & 07777;
        }
        TKNSftpWire& wire = side_.Wire();
        const uint32_t set = attrs.Flags ? wire.SendFSetStat(handle_, attrs) : 0;
        const uint32_t read = wire.SendFStat(handle_);
        const uint32_t close = wire.SendClose(handle_);
        handle_.clear();
        const uint32_t look = wire.SendLStat(dest_);
        // Every answer is taken, also after a failure, so none is left for a later request;
        // the first failure is the one reported.
        TKNSideResult first;
        auto take = [&](bool ok, const std::string& what, const std::string& reason) {
            if (!ok && first) first = WireFailure(what + " \"" + shown_ + "\"", reason);
        };
        std::string reason;
        take(wire.Flush(reason), "Cannot write", reason);
        take(!set || wire.TakeStatus(set, reason), "Cannot set the time and permissions of", reason);
        TKNSftpAttrs kept;
        take(wire.TakeAttrs(read, kept, reason), "Cannot read back", reason);
        take(wire.TakeStatus(close, reason), "Cannot write", reason);
        TKNSftpAttrs current;
        const bool exists = wire.TakeAttrs(look, current, reason);
        const bool missing = !exists && wire.Status() == TKNSftpWire::kNoSuchFile;
        take(exists || missing, "Cannot read", reason);
        if (!first) return first;
        if ((kept.Flags & TKNSftpAttrs::kSize) && kept.Size != written_)
            return TKNSideResult::Fail(TKNSideError::Other, "The server kept " + std::to_string(kept.Size) + " of " +
                                                                std::to_string(written_) + " bytes of \"" + shown_ +
                                                                "\".");
        if ((attrs.Flags & TKNSftpAttrs::kMode) && (kept.Flags & TKNSftpAttrs::kMode))
            side_.ModeKept(attrs.Mode, kept.Mode);
        if (missing) {
            found = TKNSideResult::Fail(TKNSideError::NotFound, Quoted(shown_) + " does not exist.");
            return TKNSideResult::Ok();
        }
        there = TKNSftpSide::EntryOf(current);
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
        if (mayReplace && side_.Caps().AtomicReplace) return PosixRename();
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
        if (sftp_rename(side_.Session().Sftp(), from.c_str(), to.c_str()) == SSH_OK) return TKNSideResult::Ok();
        return side_.Failure("Cannot put \"" + shown_ + "\" in place");
    }

    TKNSideResult PosixRename()
    {
        std::string reason;
        if (side_.Wire().PosixRename(temp_, dest_, reason)) return TKNSideResult::Ok();
        return WireFailure("Cannot put \"" + shown_ + "\" in place", reason);
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
        sftp_session sftp = side_.Session().Sftp();
        for (int attempt = 0;; ++attempt) {
            if (TKNSideResult r = Rename(dest_, aside); !r) {
                TKNSideEntry there;  // another writer may have moved it aside first
                if (side_.Stat(path_, there).Kind == TKNSideError::NotFound && Rename(temp_, dest_))
                    return TKNSideResult::Ok();
                return r;
            }
            TKNSideResult placed = Rename(temp_, dest_);
            if (placed) break;
            if (sftp_rename(sftp, aside.c_str(), dest_.c_str()) == SSH_OK) return placed;
            // Another writer's file took the place: the old one is replaced already. Anything
            // else leaves the old one aside, for the next listing to put back.
            TKNSideEntry there;
            if (!side_.Stat(path_, there)) return placed;
            sftp_unlink(sftp, aside.c_str());
            if (terms_.Replaces.Known || attempt == 2)
                return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
        }
        if (sftp_unlink(sftp, aside.c_str()) != SSH_OK && side_.Context().Notice)
            side_.Context().Notice("The old \"" + shown_ + "\" stays as \"" + asideName +
                                   "\" on the server: " + side_.Session().LastError());
        return TKNSideResult::Ok();
    }

    TKNSftpSide& side_;
    TKNSidePath path_;
    TKNWriteTerms terms_;
    std::string shown_, dest_, temp_, handle_;
    uint64_t written_ = 0;
    bool done_ = false;
};

}  // namespace

TKNSideResult OpenSftpWrite(TKNSftpSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream)
{
    auto writing = std::make_unique<TSftpWriteStream>(side, path, terms);
    if (TKNSideResult r = writing->Begin(); !r) return r;
    stream = std::move(writing);
    return TKNSideResult::Ok();
}

}  // namespace kn
