#include "webdav/kn_unitWebdavWrite.h"

#include <strings.h>

#include <algorithm>

#include "side/kn_unitSideRules.h"
#include "side/kn_unitWrittenRecord.h"
#include "webdav/kn_unitWebdavSide.h"

namespace kn {

namespace {

// The most bytes an aborted upload is filled in with.
constexpr int64_t kMostFilledIn = 1 << 20;

bool Succeeded(const TKNHttpExchange& reply)
{
    return reply.Fault() == TKNHttpFault::None && reply.Status() >= 200 && reply.Status() <= 299;
}

bool NewFile(const TKNWriteTerms& terms)
{
    return terms.Replaces.Known && !terms.Replaces.Exists;
}

}  // namespace

TKNSideResult OpenWebdavWrite(TKNWebdavSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                              std::unique_ptr<TKNWriteStream>& stream)
{
    stream = std::make_unique<TKNWebdavWriteStream>(side, path, terms);
    return TKNSideResult::Ok();
}

TKNWebdavWriteStream::TKNWebdavWriteStream(TKNWebdavSide& side, TKNSidePath path, TKNWriteTerms terms)
    : side_(side), path_(std::move(path)), terms_(std::move(terms))
{
    shown_ = side_.Shown(path_);
    tempTarget_ = side_.Target(path_.Parent().Child(TempName(path_.Leaf())));
    TKNHttpRequest put{"PUT", tempTarget_, {"Content-Type: application/octet-stream"}, {}};
    put.Streamed = true;
    put.BodySize = terms_.Size;
    // A server of self-hosted clouds takes the time with the upload and says so in its reply.
    if (terms_.MTime >= 0) put.Headers.push_back("X-OC-Mtime: " + std::to_string(terms_.MTime));
    putStarted_ = std::chrono::steady_clock::now();
    put_ = side_.Client().Start(std::move(put));
    side_.Writing().push_back(this);
}

TKNWebdavWriteStream::~TKNWebdavWriteStream()
{
    Abort();
    auto& writing = side_.Writing();
    writing.erase(std::remove(writing.begin(), writing.end(), this), writing.end());
}

void TKNWebdavWriteStream::Fail(TKNSideResult result)
{
    failure_ = std::move(result);
    stage_ = TStage::Failed;
}

TKNSideResult TKNWebdavWriteStream::Write(const char* data, std::size_t size)
{
    if (side_.Context().Stopped()) return TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
    if (stage_ == TStage::Failed) return failure_;
    if (stage_ != TStage::Putting) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " is written.");
    written_ += static_cast<int64_t>(size);
    if (put_->Push(data, size)) return TKNSideResult::Ok();
    put_->Wait();
    Step(false);
    return stage_ == TStage::Failed ? failure_ : TKNSideResult::Ok();  // whole already: Commit compares the sizes
}

void TKNWebdavWriteStream::Step(bool ahead)
{
    if (stage_ == TStage::Putting && put_->Done()) {
        if (!Succeeded(*put_)) return Fail(side_.Failure("Cannot write " + Quoted(shown_), *put_));
        timeTaken_ = strcasecmp(put_->Header("X-OC-MTime").c_str(), "accepted") == 0;
        stage_ = TStage::Ready;
        if (terms_.MTime >= 0 && !timeTaken_ && side_.OwnTimes()) {
            // The server's Date is when the PUT began; its file is dated by when its body ended,
            // up to the whole seconds the PUT took as seen from here.
            const auto took = std::chrono::steady_clock::now() - putStarted_;
            const int64_t seconds = std::chrono::ceil<std::chrono::seconds>(took).count();
            step_ = side_.StartOwnTime(tempTarget_, terms_.MTime, terms_.MTimeNsec, written_, put_->Header("Date"),
                                       seconds);
            stage_ = TStage::Timing;
        }
    }
    if (stage_ == TStage::Timing && step_->Done()) {
        if (!TKNWebdavSide::OwnTimeKept(*step_))
            return Fail(side_.Failure("Cannot set the time of " + Quoted(shown_), *step_));
        stage_ = TStage::Ready;
    }
    if (stage_ == TStage::Ready && ahead && NewFile(terms_) && terms_.Size >= 0 && written_ == terms_.Size) {
        step_ = side_.Client().Start({"MOVE", tempTarget_, {"Destination: " + side_.Url(path_), "Overwrite: F"}, {}});
        stage_ = TStage::Placing;
    }
    if (stage_ == TStage::Placing && step_->Done()) {
        if (Succeeded(*step_)) {
            stage_ = TStage::Placed;
        } else if (step_->Status() == 412 && step_->Fault() == TKNHttpFault::None) {
            Fail(TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison."));
        } else {
            Fail(side_.Failure("Cannot put " + Quoted(shown_) + " in place", *step_));
        }
    }
}

void TKNWebdavWriteStream::Drive()
{
    TKNHttpClient& client = side_.Client();
    for (;;) {
        const uint64_t seen = client.Ends();
        std::vector<TKNWebdavWriteStream*> writing = side_.Writing();
        for (TKNWebdavWriteStream* stream : writing) stream->Step(stream != this);
        if (stage_ == TStage::Ready || stage_ == TStage::Placed || stage_ == TStage::Failed) return;
        client.WaitForAnEnd(seen);
    }
}

TKNSideResult TKNWebdavWriteStream::Commit()
{
    if (stage_ == TStage::Done) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was committed.");
    if (terms_.Size >= 0 && written_ != terms_.Size) {
        Abort();
        return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + ": " + std::to_string(written_) +
                                                            " bytes arrived of " + std::to_string(terms_.Size) + ".");
    }
    put_->EndBody();
    Drive();
    TKNSideResult result = stage_ == TStage::Failed   ? failure_
                           : stage_ == TStage::Placed ? TKNSideResult::Ok()
                                                      : Place();
    if (side_.Context().Stopped() && result) result = TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
    if (!result) {
        Abort();
        return result;
    }
    stage_ = TStage::Done;
    Remember();
    return result;
}

// The destination checked, then the temporary moved onto it.
TKNSideResult TKNWebdavWriteStream::Place()
{
    for (int vanished = 0;;) {
        const TKNExpected& expected = terms_.Replaces;
        std::string etag;
        bool conditional = false;
        if (expected.Known) {
            TKNSideEntry there;
            TKNSideResult found = side_.StatTagged(path_, there, etag, true);
            if (!found && found.Kind != TKNSideError::NotFound) return found;
            if (found && there.IsFolder())
                return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " is a folder.");
            if (TKNSideResult r = CheckExpected(expected, found, there, shown_); !r) return r;
            conditional = found && side_.Conditions() && !etag.empty();
        }
        TKNHttpRequest move{"MOVE", tempTarget_, {"Destination: " + side_.Url(path_)}, {}};
        move.Headers.push_back(NewFile(terms_) ? "Overwrite: F" : "Overwrite: T");
        if (conditional) move.Headers.push_back("If: <" + side_.Url(path_) + "> ([" + etag + "])");
        std::shared_ptr<TKNHttpExchange> moved = side_.RunUnlocked(std::move(move));
        if (Succeeded(*moved)) return TKNSideResult::Ok();
        // The destination went between the server's removal of it and its move (a concurrent
        // writer on a server whose replace is a removal and a move): the check comes again.
        if (moved->Status() == 404 && moved->Fault() == TKNHttpFault::None && !NewFile(terms_) && ++vanished < 5)
            continue;
        if (moved->Status() != 412 || moved->Fault() != TKNHttpFault::None)
            return side_.Failure("Cannot put " + Quoted(shown_) + " in place", *moved);
        if (!conditional)
            return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
        // Refused for a destination just seen unchanged: the server misapplies the condition.
        side_.Conditions() = false;
    }
}

// A server that keeps no times: the record gives the source's time back to this very file.
void TKNWebdavWriteStream::Remember()
{
    if (terms_.MTime < 0 || timeTaken_ || side_.OwnTimes()) return;
    TKNSideEntry written;
    std::string etag;
    if (side_.StatTagged(path_, written, etag, false))
        RememberWritten(side_.RecordKey(), path_, written, terms_.MTime, terms_.MTimeNsec);
}

void TKNWebdavWriteStream::Abort()
{
    if (stage_ == TStage::Done) return;
    // An upload the server may still be writing (some write it in place as it comes) is ended
    // by the server, so that the removal comes after it: a small rest is filled in. Only a long
    // one is cut; a temporary left then is the program's own, removed by a later run.
    if (terms_.Size >= 0 && terms_.Size - written_ > kMostFilledIn)
        put_->Cancel();
    else
        put_->EndEarly();
    put_->Wait();
    if (step_) step_->Wait();
    const bool placed = stage_ == TStage::Placed || (stage_ == TStage::Placing && Succeeded(*step_));
    stage_ = TStage::Done;
    // Left alone by the stop flag: nothing of the program's may stay behind.
    TKNHttpRequest removeTemp{"DELETE", tempTarget_, {}, {}};
    removeTemp.IgnoresStop = true;
    side_.RunUnlocked(std::move(removeTemp));
    if (placed) {
        // Placed ahead of its commit where nothing was: it goes again.
        TKNHttpRequest removePlaced{"DELETE", side_.Target(path_), {}, {}};
        removePlaced.IgnoresStop = true;
        side_.RunUnlocked(std::move(removePlaced));
    }
}

}  // namespace kn
