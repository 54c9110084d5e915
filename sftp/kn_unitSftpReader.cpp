#include "sftp/kn_unitSftpReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace kn {

namespace {

constexpr uint32_t kReadBlock = 64 * 1024;
// 4 MiB in flight (the wire's receive window): what a link of 20 ms needs for 200 MB/s.
constexpr std::size_t kReadsInFlight = 64;

bool RegularFile(const TKNSftpAttrs& attrs)
{
    return (attrs.Flags & TKNSftpAttrs::kMode) && S_ISREG(attrs.Mode);
}

}  // namespace

TKNSftpReader::TKNSftpReader(TKNSftpWire& wire) : wire_(wire), request_(kReadBlock) {}

std::shared_ptr<TKNSftpReader> TKNSftpReader::Start(TKNSftpWire& wire, const std::string& path)
{
    auto reader = std::make_shared<TKNSftpReader>(wire);
    reader->path_ = path;
    wire.SendLStat(path, [reader](TKNSftpReply& reply) { reader->OnAttrs(reply); });
    return reader;
}

void TKNSftpReader::Fail(uint32_t status, const std::string& reason)
{
    if (status_ == TKNSftpWire::kOk) {
        status_ = status;
        reason_ = reason;
    }
    CloseWhenDone();
}

// The size from attributes that name a regular file; else the reader fails, and false.
bool TKNSftpReader::TakeSize(TKNSftpReply& reply)
{
    std::string reason;
    if (const uint32_t status = reply.Status(TKNSftpReply::kAttrs, reason); status != TKNSftpWire::kOk) {
        Fail(status, reason);
        return false;
    }
    const TKNSftpAttrs attrs = reply.Attrs();
    if ((attrs.Flags & TKNSftpAttrs::kMode) && S_ISLNK(attrs.Mode)) {
        Fail(kALink, "it is a symbolic link; nothing is read through it");
        return false;
    }
    if (!RegularFile(attrs)) {
        Fail(kNotAFile, "it is not a regular file");
        return false;
    }
    size_ = attrs.Size;
    return true;
}

// The path's own attributes (a link as a link): only a regular file is opened.
void TKNSftpReader::OnAttrs(TKNSftpReply& reply)
{
    if (givenUp_ || !TakeSize(reply)) return;
    wire_.SendOpen(path_, TKNSftpWire::kRead, {},
                   [self = shared_from_this()](TKNSftpReply& handle) { self->OnHandle(handle); });
}

// The handle: its attributes and the first reads leave together.
void TKNSftpReader::OnHandle(TKNSftpReply& reply)
{
    std::string reason;
    if (const uint32_t status = reply.Status(TKNSftpReply::kHandle, reason); status != TKNSftpWire::kOk)
        return Fail(status, reason);
    handle_ = reply.Handle();
    if (givenUp_) return CloseWhenDone();
    wire_.SendFStat(handle_, [self = shared_from_this()](TKNSftpReply& attrs) { self->OnHandleAttrs(attrs); });
    Refill();
}

// The open file's own attributes: the path may name another file since it was looked at.
void TKNSftpReader::OnHandleAttrs(TKNSftpReply& reply)
{
    if (givenUp_ || status_ != TKNSftpWire::kOk || !TakeSize(reply)) return;
    sized_ = true;
    Refill();
    CloseWhenDone();
}

void TKNSftpReader::OnData(uint64_t offset, TKNSftpReply& reply)
{
    auto slot = std::find_if(slots_.begin(), slots_.end(),
                             [offset](const TSlot& s) { return s.Offset == offset && !s.Answered; });
    if (slot == slots_.end()) return;
    if (givenUp_ || status_ != TKNSftpWire::kOk) {
        slots_.erase(slot);
        return CloseWhenDone();
    }
    std::string reason;
    const uint32_t status = reply.Status(TKNSftpReply::kData, reason);
    const uint32_t got = status == TKNSftpWire::kOk ? static_cast<uint32_t>(reply.Data().size()) : 0;
    if (sized_ && offset >= size_) {  // the file shrank between the look and the open: not wanted
        slots_.erase(slot);
        return CloseWhenDone();
    }
    if ((status == TKNSftpWire::kOk && got == 0) || status == TKNSftpWire::kEof)
        return Fail(kChanged, "The file ended after " + std::to_string(offset) + " of its " + std::to_string(size_) +
                                  " bytes: it changed while it was read.");
    if (status != TKNSftpWire::kOk) return Fail(status, reason);
    if (got > slot->Length) return Fail(TKNSftpWire::kFailure, "The SFTP server sent more than was asked.");
    slot->Answered = true;
    slot->Reply = std::move(reply);
    largest_ = std::max(largest_, got);
    probing_ = false;
    if (got < slot->Length) {
        request_ = largest_;
        const uint32_t missing = slot->Length - got;
        slot->Length = got;
        Request(offset + got, missing, std::next(slot));
    }
    Refill();
    CloseWhenDone();
}

// Sends a read of `length` bytes at `offset`, in order before `before`.
void TKNSftpReader::Request(uint64_t offset, uint32_t length, std::deque<TSlot>::iterator before)
{
    TSlot slot;
    slot.Offset = offset;
    slot.Length = length;
    slots_.insert(before, std::move(slot));
    wire_.SendRead(handle_, offset, length,
                   [self = shared_from_this(), offset](TKNSftpReply& data) { self->OnData(offset, data); });
}

// Keeps the requests in flight, counting those answered and not yet delivered.
void TKNSftpReader::Refill()
{
    if (givenUp_ || closed_ || status_ != TKNSftpWire::kOk || handle_.empty()) return;
    const std::size_t window = probing_ ? 1 : kReadsInFlight;
    while (slots_.size() < window && next_ < size_) {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(request_, size_ - next_));
        Request(next_, length, slots_.end());
        next_ += length;
    }
}

// The close leaves once no read can follow (every byte asked and answered, a failure, or the
// reader given up); its answer is not waited for.
void TKNSftpReader::CloseWhenDone()
{
    if (closed_ || handle_.empty()) return;
    const bool allAsked = sized_ && next_ >= size_ &&
                          std::all_of(slots_.begin(), slots_.end(), [](const TSlot& s) { return s.Answered; });
    if (!allAsked && !givenUp_ && status_ == TKNSftpWire::kOk) return;
    closed_ = true;
    wire_.SendClose(handle_, {});
}

void TKNSftpReader::GiveUp()
{
    givenUp_ = true;
    slots_.clear();
    CloseWhenDone();
}

bool TKNSftpReader::AtEnd() const
{
    return sized_ && delivered_ >= size_;
}

bool TKNSftpReader::Ready() const
{
    return status_ != TKNSftpWire::kOk || AtEnd() || (!slots_.empty() && slots_.front().Answered);
}

int64_t TKNSftpReader::Read(char* buffer, std::size_t size, uint32_t& status, std::string& reason)
{
    for (;;) {
        if (!rest_.empty()) {
            const std::size_t n = std::min(size, rest_.size());
            std::memcpy(buffer, rest_.data(), n);
            rest_.remove_prefix(n);
            delivered_ += n;
            return static_cast<int64_t>(n);
        }
        if (status_ != TKNSftpWire::kOk) {
            status = status_;
            reason = reason_;
            return -1;
        }
        if (!slots_.empty() && slots_.front().Answered) {
            TSlot slot = std::move(slots_.front());
            slots_.pop_front();
            block_ = std::move(slot.Reply);
            rest_ = block_.Data();
            // Never past the size of the open file.
            const uint64_t left = size_ > slot.Offset ? size_ - slot.Offset : 0;
            rest_ = rest_.substr(0, static_cast<std::size_t>(std::min<uint64_t>(rest_.size(), left)));
            Refill();
            continue;
        }
        if (AtEnd()) return 0;
        std::string why;
        if (!wire_.WaitFor([this] { return Ready(); }, why)) Fail(wire_.Status(), why);
    }
}

}  // namespace kn
