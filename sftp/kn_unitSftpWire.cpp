#include "sftp/kn_unitSftpWire.h"

#include <libssh/libssh.h>

#include <algorithm>

namespace kn {

namespace {

constexpr uint8_t kInit = 1, kVersion = 2, kOpen = 3, kClose = 4, kReadRequest = 5, kWriteRequest = 6, kLStat = 7,
                  kFStat = 8, kFSetStat = 10, kOpenDir = 11, kReadDir = 12, kRemove = 13, kRealPath = 16, kStat = 17,
                  kRename = 18, kReadLink = 19, kSymlink = 20, kExtended = 200;
constexpr uint32_t kLongestReply = 1024 * 1024;
constexpr int kAnswerTimeoutMs = 120 * 1000;
constexpr std::size_t kSendAtOnce = 32 * 1024;  // queued requests leave once they hold this much
constexpr uint32_t kExtendedAttrs = 0x80000000;
constexpr uint32_t kReadAtOnce = 64 * 1024;  // within the window: no adjustment sent

void PutU32(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PutU64(std::string& out, uint64_t v)
{
    PutU32(out, static_cast<uint32_t>(v >> 32));
    PutU32(out, static_cast<uint32_t>(v));
}

void PutString(std::string& out, std::string_view text)
{
    PutU32(out, static_cast<uint32_t>(text.size()));
    out.append(text);
}

void PutAttrs(std::string& out, const TKNSftpAttrs& a)
{
    PutU32(out, a.Flags);
    if (a.Flags & TKNSftpAttrs::kSize) PutU64(out, a.Size);
    if (a.Flags & TKNSftpAttrs::kOwner) {
        PutU32(out, a.Uid);
        PutU32(out, a.Gid);
    }
    if (a.Flags & TKNSftpAttrs::kMode) PutU32(out, a.Mode);
    if (a.Flags & TKNSftpAttrs::kTimes) {
        PutU32(out, a.ATime);
        PutU32(out, a.MTime);
    }
}

// Reads the fields of a reply in order; any read past the end leaves `ok` false.
struct TCursor {
    std::string_view rest;
    bool ok = true;

    uint32_t U32()
    {
        if (rest.size() < 4) return Fail();
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(rest[i]);
        rest.remove_prefix(4);
        return v;
    }
    uint64_t U64()
    {
        const uint64_t high = U32();
        return (high << 32) | U32();
    }
    std::string String()
    {
        const uint32_t size = U32();
        if (!ok || rest.size() < size) return Fail(), std::string();
        std::string text(rest.substr(0, size));
        rest.remove_prefix(size);
        return text;
    }
    TKNSftpAttrs Attrs()
    {
        TKNSftpAttrs a;
        a.Flags = U32();
        if (a.Flags & TKNSftpAttrs::kSize) a.Size = U64();
        if (a.Flags & TKNSftpAttrs::kOwner) a.Uid = U32(), a.Gid = U32();
        if (a.Flags & TKNSftpAttrs::kMode) a.Mode = U32();
        if (a.Flags & TKNSftpAttrs::kTimes) a.ATime = U32(), a.MTime = U32();
        if (a.Flags & kExtendedAttrs)
            for (uint32_t count = U32(); ok && count > 0; --count) String(), String();
        return a;
    }
    uint32_t Fail()
    {
        ok = false;
        return 0;
    }
};

}  // namespace

std::string_view TKNSftpReply::Body() const
{
    return std::string_view(payload_).substr(std::min<std::size_t>(4, payload_.size()));
}

uint32_t TKNSftpReply::Status(uint8_t expected, std::string& reason) const
{
    if (type_ == 0) {
        reason = payload_.empty() ? "The SFTP connection broke." : payload_;
        return TKNSftpWire::kNoConnection;
    }
    if (type_ == kStatus) {
        TCursor in{Body()};
        const uint32_t code = in.U32();
        const std::string message = in.String();
        if (!in.ok) {
            reason = "The SFTP server sent a malformed answer.";
            return TKNSftpWire::kFailure;
        }
        if (code == TKNSftpWire::kOk) {
            if (expected == kStatus) return TKNSftpWire::kOk;
            reason = "The SFTP server gave an unexpected answer.";
            return TKNSftpWire::kFailure;
        }
        reason =
            message.empty() ? "The SFTP server refused the request (status " + std::to_string(code) + ")." : message;
        return code;
    }
    if (type_ != expected) {
        reason = "The SFTP server gave an unexpected answer.";
        return TKNSftpWire::kFailure;
    }
    return TKNSftpWire::kOk;
}

std::string TKNSftpReply::Handle() const
{
    TCursor in{Body()};
    return in.String();
}

TKNSftpAttrs TKNSftpReply::Attrs() const
{
    TCursor in{Body()};
    return in.Attrs();
}

std::string_view TKNSftpReply::Data() const
{
    TCursor in{Body()};
    const uint32_t size = in.U32();
    if (!in.ok || in.rest.size() < size) return {};
    return in.rest.substr(0, size);
}

bool TKNSftpReply::Names(std::vector<TKNSftpName>& names) const
{
    TCursor in{Body()};
    for (uint32_t count = in.U32(); in.ok && count > 0; --count) {
        TKNSftpName name;
        name.Name = in.String();
        in.String();  // the long form, as ls prints it
        name.Attrs = in.Attrs();
        if (in.ok) names.push_back(std::move(name));
    }
    return in.ok;
}

TKNSftpWire::TKNSftpWire(ssh_session_struct* ssh) : ssh_(ssh) {}

TKNSftpWire::~TKNSftpWire()
{
    if (!channel_) return;
    if (ssh_channel_is_open(channel_)) ssh_channel_close(channel_);
    ssh_channel_free(channel_);
}

// Every request still in flight is answered as lost, so no file waits for an answer that
// cannot come.
bool TKNSftpWire::Broken(std::string& reason, const std::string& why)
{
    status_ = kNoConnection;
    reason = why;
    if (broken_) return false;
    broken_ = true;
    queued_.clear();
    std::unordered_map<uint32_t, TPending> lost;
    lost.swap(pending_);
    for (auto& [id, request] : lost) {
        TKNSftpReply none(0, why);
        if (request.Then) request.Then(none);
    }
    return false;
}

bool TKNSftpWire::Start(std::string& reason)
{
    channel_ = ssh_channel_new(ssh_);
    if (!channel_ || ssh_channel_open_session(channel_) != SSH_OK ||
        ssh_channel_request_subsystem(channel_, "sftp") != SSH_OK)
        return Broken(reason, std::string("Cannot open a second SFTP channel: ") + ssh_get_error(ssh_));
    std::string init(1, static_cast<char>(kInit));
    PutU32(init, 3);
    std::string packet;
    PutString(packet, init);
    if (ssh_channel_write(channel_, packet.data(), static_cast<uint32_t>(packet.size())) !=
        static_cast<int>(packet.size()))
        return Broken(reason, std::string("Cannot start SFTP: ") + ssh_get_error(ssh_));
    char head[5];
    if (!ReadExactly(head, sizeof head, reason)) return false;
    TCursor length{std::string_view(head, 4)};
    const uint32_t size = length.U32();
    if (size < 1 || size > kLongestReply || static_cast<uint8_t>(head[4]) != kVersion)
        return Broken(reason, "The server's SFTP greeting is malformed.");
    std::string payload(size - 1, '\0');
    if (!ReadExactly(payload.data(), payload.size(), reason)) return false;
    TCursor in{payload};
    in.U32();  // the version: 3 is the only one this channel speaks, and every server knows it
    while (in.ok && !in.rest.empty()) {
        extensions_.push_back(in.String());
        in.String();
    }
    if (!in.ok) return Broken(reason, "The server's SFTP greeting is malformed.");
    return true;
}

bool TKNSftpWire::Offers(const std::string& extension) const
{
    return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
}

void TKNSftpWire::Send(uint8_t type, std::string_view body, TKNSftpThen then, std::string_view data)
{
    if (broken_) {
        TKNSftpReply none;
        if (then) then(none);
        return;
    }
    const uint32_t id = nextId_++;
    PutU32(queued_, static_cast<uint32_t>(body.size() + data.size() + 5));
    queued_ += static_cast<char>(type);
    PutU32(queued_, id);
    queued_.append(body);
    queued_.append(data);
    pending_[id] = TPending{(running_ >= 0 ? running_ : deepest_) + 1, std::move(then)};
    // A failed write breaks the channel, which answers the request at once.
    if (queued_.size() >= kSendAtOnce) {
        std::string ignored;
        SendQueued(ignored);
    }
}

bool TKNSftpWire::SendQueued(std::string& reason)
{
    if (queued_.empty()) return true;
    const int sent = ssh_channel_write(channel_, queued_.data(), static_cast<uint32_t>(queued_.size()));
    const bool whole = sent == static_cast<int>(queued_.size());
    queued_.clear();
    return whole || Broken(reason, std::string("The SFTP connection broke: ") + ssh_get_error(ssh_));
}

// Answers come through a receive buffer of the window's size: libssh widens the channel's window
// to the size a read asks for (it keeps about 1.3 MB otherwise), and a long link needs more
// bytes in flight than that. A read asks for the whole window only once a quarter of it came
// since: each such read sends the server a window adjustment, and one per answer holds up the
// requests behind it (a small packet waits for the one before it to be acknowledged).
bool TKNSftpWire::ReadExactly(char* into, std::size_t size, std::string& reason)
{
    while (size > 0) {
        if (inAt_ == inEnd_) {
            inbox_.resize(kReceiveWindow);
            const bool widen = sinceWidened_ == 0 || sinceWidened_ >= kReceiveWindow / 4;
            const uint32_t ask = widen ? static_cast<uint32_t>(kReceiveWindow) : kReadAtOnce;
            const int n = ssh_channel_read_timeout(channel_, inbox_.data(), ask, 0, kAnswerTimeoutMs);
            if (n < 0) return Broken(reason, std::string("The SFTP connection broke: ") + ssh_get_error(ssh_));
            if (n == 0) return Broken(reason, "The SFTP server stopped answering.");
            sinceWidened_ = widen ? 1 : sinceWidened_ + static_cast<std::size_t>(n);
            inAt_ = 0;
            inEnd_ = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, inEnd_ - inAt_);
        std::copy_n(inbox_.data() + inAt_, n, into);
        inAt_ += n;
        into += n;
        size -= n;
    }
    return true;
}

// Reads one answer and runs its continuation.
bool TKNSftpWire::ReadOne(std::string& reason)
{
    char head[9];
    if (!ReadExactly(head, sizeof head, reason)) return false;
    TCursor in{std::string_view(head, sizeof head)};
    const uint32_t size = in.U32();
    if (size < 5 || size > kLongestReply) return Broken(reason, "The SFTP server sent a malformed answer.");
    in.rest.remove_prefix(1);
    const uint32_t id = in.U32();
    std::string payload(size - 1, '\0');
    std::copy(head + 5, head + 9, payload.begin());
    if (!ReadExactly(payload.data() + 4, payload.size() - 4, reason)) return false;
    auto it = pending_.find(id);
    if (it == pending_.end()) return Broken(reason, "The SFTP server answered a request never sent.");
    TPending request = std::move(it->second);
    pending_.erase(it);
    deepest_ = std::max(deepest_, request.Depth);
    if (request.Then) {
        const int outer = running_;
        running_ = request.Depth;
        TKNSftpReply reply(static_cast<uint8_t>(head[4]), std::move(payload));
        request.Then(reply);
        running_ = outer;
    }
    return true;
}

bool TKNSftpWire::WaitFor(const std::function<bool()>& done, std::string& reason)
{
    while (!done()) {
        if (broken_) return Broken(reason, "The SFTP connection broke.");
        // What is queued leaves once the answers already here are read: a batch, not a packet each.
        if (!queued_.empty() && inAt_ == inEnd_ && ssh_channel_poll(channel_, 0) <= 0 && !SendQueued(reason))
            return false;
        if (pending_.empty()) {
            status_ = kFailure;
            reason = "Nothing was asked that could end the wait.";
            return false;
        }
        if (!ReadOne(reason)) return false;
    }
    return true;
}

bool TKNSftpWire::Settle(std::string& reason)
{
    return WaitFor([this] { return pending_.empty(); }, reason) && Idle();
}

bool TKNSftpWire::Stat(const std::string& path, TKNSftpAttrs& attrs, std::string& reason)
{
    bool answered = false;
    SendStat(path, [&](TKNSftpReply& r) {
        answered = true;
        status_ = r.Status(TKNSftpReply::kAttrs, reason);
        if (status_ == kOk) attrs = r.Attrs();
    });
    if (!WaitFor([&] { return answered; }, reason)) return false;
    return status_ == kOk;
}

bool TKNSftpWire::Call(uint8_t type, std::string_view body, std::string& reason)
{
    bool answered = false;
    TKNSftpReply reply;
    Send(type, body, [&](TKNSftpReply& r) {
        reply = std::move(r);
        answered = true;
    });
    if (!WaitFor([&] { return answered; }, reason)) return false;
    status_ = reply.Status(TKNSftpReply::kStatus, reason);
    return status_ == kOk;
}

namespace {

std::string PathBody(std::string_view path)
{
    std::string body;
    PutString(body, path);
    return body;
}

}  // namespace

void TKNSftpWire::SendOpen(const std::string& path, uint32_t flags, const TKNSftpAttrs& attrs, TKNSftpThen then)
{
    std::string body = PathBody(path);
    PutU32(body, flags);
    PutAttrs(body, attrs);
    Send(kOpen, body, std::move(then));
}

void TKNSftpWire::SendClose(const std::string& handle, TKNSftpThen then)
{
    Send(kClose, PathBody(handle), std::move(then));
}

void TKNSftpWire::SendRead(const std::string& handle, uint64_t offset, uint32_t length, TKNSftpThen then)
{
    std::string body = PathBody(handle);
    PutU64(body, offset);
    PutU32(body, length);
    Send(kReadRequest, body, std::move(then));
}

void TKNSftpWire::SendWrite(const std::string& handle, uint64_t offset, std::string_view data, TKNSftpThen then)
{
    std::string ignored;
    WaitFor([this] { return writesOut_ < kWritesInFlight; }, ignored);
    std::string body = PathBody(handle);
    PutU64(body, offset);
    PutU32(body, static_cast<uint32_t>(data.size()));
    ++writesOut_;
    Send(
        kWriteRequest, body,
        [this, then = std::move(then)](TKNSftpReply& reply) {
            --writesOut_;
            if (then) then(reply);
        },
        data);
}

void TKNSftpWire::SendStat(const std::string& path, TKNSftpThen then)
{
    Send(kStat, PathBody(path), std::move(then));
}

void TKNSftpWire::SendReadLink(const std::string& path, TKNSftpThen then)
{
    Send(kReadLink, PathBody(path), std::move(then));
}

void TKNSftpWire::SendRealPath(const std::string& path, TKNSftpThen then)
{
    Send(kRealPath, PathBody(path), std::move(then));
}

void TKNSftpWire::SendLStat(const std::string& path, TKNSftpThen then)
{
    Send(kLStat, PathBody(path), std::move(then));
}

void TKNSftpWire::SendFStat(const std::string& handle, TKNSftpThen then)
{
    Send(kFStat, PathBody(handle), std::move(then));
}

void TKNSftpWire::SendFSetStat(const std::string& handle, const TKNSftpAttrs& attrs, TKNSftpThen then)
{
    std::string body = PathBody(handle);
    PutAttrs(body, attrs);
    Send(kFSetStat, body, std::move(then));
}

void TKNSftpWire::SendRemove(const std::string& path, TKNSftpThen then)
{
    Send(kRemove, PathBody(path), std::move(then));
}

void TKNSftpWire::SendOpenDir(const std::string& path, TKNSftpThen then)
{
    Send(kOpenDir, PathBody(path), std::move(then));
}

void TKNSftpWire::SendReadDir(const std::string& handle, TKNSftpThen then)
{
    Send(kReadDir, PathBody(handle), std::move(then));
}

bool TKNSftpWire::LSetStat(const std::string& path, const TKNSftpAttrs& attrs, std::string& reason)
{
    std::string body = PathBody("lsetstat@openssh.com");
    PutString(body, path);
    PutAttrs(body, attrs);
    return Call(kExtended, body, reason);
}

void TKNSftpWire::SendRename(const std::string& from, const std::string& to, TKNSftpThen then)
{
    std::string body = PathBody(from);
    PutString(body, to);
    Send(kRename, body, std::move(then));
}

bool TKNSftpWire::Rename(const std::string& from, const std::string& to, std::string& reason)
{
    std::string body = PathBody(from);
    PutString(body, to);
    return Call(kRename, body, reason);
}

bool TKNSftpWire::Symlink(const std::string& first, const std::string& second, std::string& reason)
{
    std::string body = PathBody(first);
    PutString(body, second);
    return Call(kSymlink, body, reason);
}

bool TKNSftpWire::Remove(const std::string& path, std::string& reason)
{
    return Call(kRemove, PathBody(path), reason);
}

bool TKNSftpWire::PosixRename(const std::string& from, const std::string& to, std::string& reason)
{
    return CallTwoPaths("posix-rename@openssh.com", from, to, reason);
}

bool TKNSftpWire::HardLink(const std::string& from, const std::string& to, std::string& reason)
{
    return CallTwoPaths("hardlink@openssh.com", from, to, reason);
}

bool TKNSftpWire::CallTwoPaths(const char* request, const std::string& from, const std::string& to, std::string& reason)
{
    std::string body = PathBody(request);
    PutString(body, from);
    PutString(body, to);
    return Call(kExtended, body, reason);
}

}  // namespace kn
