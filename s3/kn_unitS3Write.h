// A file written to an object store side, in place (a write is atomic there by itself):
// - up to kS3SinglePut bytes of a known size: one PUT, its body streamed as the caller writes
//   it but for its last byte, which goes only at Commit, after the check that the destination
//   is still what the comparison saw; cut before (Abort, stop, failure), the PUT never ends and
//   the store keeps nothing of it;
// - otherwise a multipart upload: parts of kS3PartSize, up to kS3PartsInFlight of them sent at
//   once, completed at Commit once every part is in and the check passed, aborted on Abort,
//   stop or failure.
// The time goes with the upload as metadata; the object as the store then shows it is recorded
// (side/kn_unitWrittenRecord.h) so that the next listing needs no HEAD for it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "http/kn_unitHttpClient.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNS3Side;

constexpr std::size_t kS3PartSize = std::size_t(16) << 20;
constexpr std::size_t kS3PartsInFlight = 4;

class TKNS3WriteStream final : public TKNWriteStream {
public:
    TKNS3WriteStream(TKNS3Side& side, TKNSidePath path, TKNWriteTerms terms);
    ~TKNS3WriteStream() override;

    TKNSideResult Write(const char* data, std::size_t size) override;
    TKNSideResult Commit() override;
    void Abort() override;

private:
    TKNSideResult WriteSingle(const char* data, std::size_t size);
    TKNSideResult WritePart(const char* data, std::size_t size);
    // Sends the part gathered so far; waits while too many are in flight.
    TKNSideResult SendPart();
    // Waits for the oldest part in flight and takes its ETag.
    TKNSideResult TakePart();
    TKNSideResult CommitSingle();
    TKNSideResult CommitMultipart();
    // The destination still what the terms expect (the HEAD started at the open, or one now).
    TKNSideResult Check();
    // The conditional headers the store honours for the terms' expectation.
    std::vector<std::string> Conditions() const;

    TKNS3Side& side_;
    TKNSidePath path_;
    TKNWriteTerms terms_;
    std::string shown_;
    bool multipart_ = false, done_ = false;
    int64_t written_ = 0;
    std::shared_ptr<TKNHttpExchange> put_, check_, create_;
    std::string held_;  // the single PUT's last byte, until Commit
    std::string uploadId_, part_;
    std::deque<std::shared_ptr<TKNHttpExchange>> parts_;  // in flight, oldest first
    std::vector<std::string> etags_;                      // of the parts taken, in order
    TKNSideResult failure_;
};

TKNSideResult OpenS3Write(TKNS3Side& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                          std::unique_ptr<TKNWriteStream>& stream);

}  // namespace kn
