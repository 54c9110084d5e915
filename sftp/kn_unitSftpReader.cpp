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

TKNSftpReader::TKNSftpReader(TKNSftpSession& session) : session_(session), block_(kReadBlock) {}

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

// Takes the oldest reply into the block, keeping kReadsInFlight requests queued. A reply
// shorter than asked before the end drops the requests behind it and asks again from there.
bool TKNSftpReader::Refill(std::string& reason)
{
    blockOffset_ = blockLength_ = 0;
    for (;;) {
        while (!atEnd_ && pending_.size() < kReadsInFlight) {
            const int id = sftp_async_read_begin(file_, kReadBlock);
            if (id < 0) {
                reason = session_.LastError();
                return false;
            }
            pending_.push_back(id);
        }
        if (pending_.empty()) return true;  // the end: an empty block
        const int id = pending_.front();
        pending_.pop_front();
        const int n = sftp_async_read(file_, block_.data(), kReadBlock, static_cast<uint32_t>(id));
        if (n < 0) {
            reason = session_.LastError();
            return false;
        }
        if (n == 0) {
            atEnd_ = true;  // the requests behind it find the end too
            continue;
        }
        received_ += n;
        blockLength_ = static_cast<std::size_t>(n);
        if (static_cast<uint32_t>(n) < kReadBlock && !pending_.empty()) {
            Drain();
            sftp_seek64(file_, static_cast<uint64_t>(received_));
        }
        return true;
    }
}

// Takes the replies of the requests still in flight, which would otherwise wait in the
// session's queue for as long as it lives.
void TKNSftpReader::Drain()
{
    std::vector<char> discard(kReadBlock);
    for (int stale : pending_) sftp_async_read(file_, discard.data(), kReadBlock, static_cast<uint32_t>(stale));
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
