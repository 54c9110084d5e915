// Reads one server file from its start with several read requests in flight, so a long
// round trip does not stall every block. Downloads write what it reads to disk; a content
// comparison compares it block by block and may stop early, which drains the requests still
// in flight so that the session stays usable.
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

private:
    bool FailedRequest(TFailure& failure) const;
    bool TakeHandleAttributes(TKNSftpEntry& entry, std::string& reason);
    bool Refill(std::string& reason);
    void Drain();

    TKNSftpSession& session_;
    sftp_file_struct* file_ = nullptr;
    std::deque<int> pending_;  // request ids, oldest first
    std::vector<char> block_;
    std::size_t blockLength_ = 0, blockOffset_ = 0;
    int64_t received_ = 0;
    bool atEnd_ = false;
};

}  // namespace kn
