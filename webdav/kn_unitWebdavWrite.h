// A file written to a WebDAV side: PUT to a temporary name beside the destination (the body
// streamed as the caller writes it), the program's time property set on the temporary where
// the server keeps it, then MOVE onto the destination after the check that it is still what
// the comparison saw (see kn_unitWebdavSide.h).
//
// Round trips, shared by every file in flight: each stream's requests go on as soon as the one
// before is answered, moved on by whichever commit of the side waits; a commit also moves the
// new files after it into place (with Overwrite "F", so nothing that appeared meanwhile is
// replaced), so a group of new files costs about three round trips in all, not three each.
// A stream withdrawn after its file was placed ahead removes it again.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "http/kn_unitHttpClient.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNWebdavSide;

class TKNWebdavWriteStream final : public TKNWriteStream {
public:
    TKNWebdavWriteStream(TKNWebdavSide& side, TKNSidePath path, TKNWriteTerms terms);
    ~TKNWebdavWriteStream() override;

    TKNSideResult Write(const char* data, std::size_t size) override;
    TKNSideResult Commit() override;
    void Abort() override;
    // Starts the next request when the last one was answered, without waiting; `ahead`: a new
    // file that is whole may be moved into place before its commit.
    void Step(bool ahead);

private:
    enum class TStage { Putting, Timing, Ready, Placing, Placed, Failed, Done };

    // Steps every stream of the side until this one is ready, placed or failed.
    void Drive();
    TKNSideResult Place();
    void Fail(TKNSideResult result);
    void Remember();

    TKNWebdavSide& side_;
    TKNSidePath path_;
    TKNWriteTerms terms_;
    std::string shown_, tempTarget_;
    std::shared_ptr<TKNHttpExchange> put_, step_;
    std::chrono::steady_clock::time_point putStarted_;  // before the PUT left
    TStage stage_ = TStage::Putting;
    TKNSideResult failure_;
    int64_t written_ = 0;
    bool timeTaken_ = false;  // the server confirmed the time with the upload (X-OC-Mtime)
};

// Starts the upload of `path` (whose names the side checked) and the stream on it.
TKNSideResult OpenWebdavWrite(TKNWebdavSide& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                              std::unique_ptr<TKNWriteStream>& stream);

}  // namespace kn
