// Reads one server file from its start with several read requests in flight, so a long
// round trip does not stall every block. Downloads write what it reads to disk; a content
// comparison compares it block by block and may stop early, which drains the requests still
// in flight so that the session stays usable.
//
// The reads adapt to the server: the first request goes alone, and a reply shorter than asked
// (a server that gives at most 32 KiB) sets the size of the requests after it; the missing rest
// of a short reply is asked again at once, and data is delivered in order. Requests cover the
// size the open file had, never past it; an end before it means the file shrank (Changed()).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sftp/kn_unitSftpSession.h"

struct sftp_file_struct;

namespace kn {

class TKNSftpReader {
public:
    explicit TKNSftpReader(TKNSftpSession& session);
    ~TKNSftpReader();
    TKNSftpReader(const TKNSftpReader&) = delete;
    TKNSftpReader& operator=(const TKNSftpReader&) = delete;

    enum class TFailure { None, Missing, NotAFile, Other };
    // Opens the regular file `path` for reading and gives its attributes. Anything else (a
    // FIFO would block the server's reader) is never opened: NotAFile. False with `failure`
    // and `reason`.
    bool Open(const std::string& path, TKNSftpEntry& entry, TFailure& failure, std::string& reason);
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 with `reason`.
    int64_t Read(char* buffer, std::size_t size, std::string& reason);
    // Closes the file; false with `reason` when the server reports a failure.
    bool Close(std::string& reason);
    // True after Read failed because the file ended before the size it had when opened.
    bool Changed() const { return changed_; }
    // The size of the requests it now sends (for tests of the adaptation).
    uint32_t RequestSize() const { return request_; }

private:
    bool FailedRequest(TFailure& failure) const;
    bool TakeHandleAttributes(TKNSftpEntry& entry, std::string& reason);
    bool Refill(std::string& reason);
    bool Request(uint64_t offset, uint32_t length, bool first, std::string& reason);
    void Drain();

    struct TRequest {
        int Id;
        uint64_t Offset;
        uint32_t Length;
    };
    TKNSftpSession& session_;
    sftp_file_struct* file_ = nullptr;
    std::deque<TRequest> pending_;  // in the order of their offsets
    std::vector<char> block_;
    std::size_t blockLength_ = 0, blockOffset_ = 0;
    uint64_t size_ = 0;      // the size when opened
    uint64_t received_ = 0;  // delivered in order so far
    uint64_t next_ = 0;      // where the next new request starts
    uint32_t request_;       // the size of new requests
    uint32_t largest_ = 0;   // the largest reply so far
    bool probing_ = true;    // no reply seen yet: one request at a time
    bool changed_ = false;
};

}  // namespace kn
