#include "sftp/kn_unitSftpReader.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace kn {

namespace {

constexpr uint32_t kReadBlock = 64 * 1024;
constexpr std::size_t kReadsInFlight = 32;

}  // namespace

TKNSftpReader::TKNSftpReader(TKNSftpSession& session) : session_(session), block_(kReadBlock), request_(kReadBlock) {}

TKNSftpReader::~TKNSftpReader()
{
    std::string ignored;
    Close(ignored);
}

bool TKNSftpReader::Open(const std::string& path, TKNSftpEntry& entry, TFailure& failure, std::string& reason)
{
    failure = TFailure::Other;
    if (!session_.Stat(path, entry, reason)) return FailedRequest(failure);
    if (entry.Kind == TKNSftpEntry::TKind::File) {
        file_ = sftp_open(session_.Sftp(), path.c_str(), O_RDONLY, 0);
        if (!file_) {
            reason = session_.LastError();
            return FailedRequest(failure);
        }
        if (!TakeHandleAttributes(entry, reason)) return false;
        size_ = static_cast<uint64_t>(std::max<int64_t>(entry.Size, 0));
    }
    if (entry.Kind != TKNSftpEntry::TKind::File) {
        failure = TFailure::NotAFile;
        reason = "\"" + path + "\" is not a file";
        return false;
    }
    failure = TFailure::None;
    return true;
}

bool TKNSftpReader::FailedRequest(TFailure& failure) const
{
    failure = sftp_get_error(session_.Sftp()) == SSH_FX_NO_SUCH_FILE ? TFailure::Missing : TFailure::Other;
    return false;
}

// The open handle's attributes: the path may name another file since the stat.
bool TKNSftpReader::TakeHandleAttributes(TKNSftpEntry& entry, std::string& reason)
{
    sftp_attributes attr = sftp_fstat(file_);
    if (!attr) {
        reason = session_.LastError();
        return false;
    }
    entry.Kind = S_ISREG(attr->permissions) ? TKNSftpEntry::TKind::File : TKNSftpEntry::TKind::Other;
    entry.Size = static_cast<int64_t>(attr->size);
    entry.MTime = static_cast<int64_t>(attr->mtime);
    entry.Permissions = attr->permissions;
    sftp_attributes_free(attr);
    return true;
}

int64_t TKNSftpReader::Read(char* buffer, std::size_t size, std::string& reason)
{
    if (blockOffset_ == blockLength_ && !Refill(reason)) return -1;
    const std::size_t n = std::min(size, blockLength_ - blockOffset_);
    std::memcpy(buffer, block_.data() + blockOffset_, n);
    blockOffset_ += n;
    return static_cast<int64_t>(n);
}

// Sends a read of `length` bytes at `offset`, behind the others or, `first`, before them.
bool TKNSftpReader::Request(uint64_t offset, uint32_t length, bool first, std::string& reason)
{
    sftp_seek64(file_, offset);
    const int id = sftp_async_read_begin(file_, length);
    if (id < 0) {
        reason = session_.LastError();
        return false;
    }
    const TRequest request{id, offset, length};
    if (first)
        pending_.push_front(request);
    else
        pending_.push_back(request);
    return true;
}

// Takes the reply for the lowest offset into the block, keeping the requests in flight.
bool TKNSftpReader::Refill(std::string& reason)
{
    blockOffset_ = blockLength_ = 0;
    if (received_ >= size_) return true;  // the end: an empty block
    while (pending_.size() < (probing_ ? 1 : kReadsInFlight) && next_ < size_) {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(request_, size_ - next_));
        if (!Request(next_, length, false, reason)) return false;
        next_ += length;
    }
    const TRequest oldest = pending_.front();
    pending_.pop_front();
    sftp_seek64(file_, oldest.Offset);  // clears an end seen before, which would skip the reply
    const int n = sftp_async_read(file_, block_.data(), oldest.Length, static_cast<uint32_t>(oldest.Id));
    if (n < 0) {
        reason = session_.LastError();
        return false;
    }
    if (n == 0) {
        changed_ = true;
        reason = "The file ended after " + std::to_string(received_) + " of its " + std::to_string(size_) +
                 " bytes: it changed while it was read.";
        return false;
    }
    const uint32_t got = static_cast<uint32_t>(n);
    received_ += got;
    blockLength_ = got;
    largest_ = std::max(largest_, got);
    probing_ = false;
    if (got < oldest.Length) {
        request_ = largest_;
        if (!Request(oldest.Offset + got, oldest.Length - got, true, reason)) return false;
    }
    return true;
}

// Takes the replies of the requests still in flight, which would otherwise wait in the
// session's queue for as long as it lives.
void TKNSftpReader::Drain()
{
    std::vector<char> discard(kReadBlock);
    for (const TRequest& stale : pending_) {
        sftp_seek64(file_, stale.Offset);
        sftp_async_read(file_, discard.data(), stale.Length, static_cast<uint32_t>(stale.Id));
    }
    pending_.clear();
}

bool TKNSftpReader::Close(std::string& reason)
{
    if (!file_) return true;
    if (session_.Connected()) Drain();
    pending_.clear();
    const bool closed = sftp_close(file_) == SSH_OK;
    file_ = nullptr;
    if (!closed) reason = session_.LastError();
    return closed;
}

}  // namespace kn
