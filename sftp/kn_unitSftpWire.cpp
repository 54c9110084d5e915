#include "sftp/kn_unitSftpWire.h"

#include <libssh/libssh.h>

#include <algorithm>

namespace kn {

namespace {

constexpr uint8_t kInit = 1, kVersion = 2, kOpen = 3, kClose = 4, kWriteRequest = 6, kLStat = 7, kFStat = 8,
                  kFSetStat = 10;
constexpr uint8_t kStatusReply = 101, kHandleReply = 102, kAttrsReply = 105, kExtended = 200;
constexpr uint32_t kLongestReply = 1024 * 1024;
constexpr int kAnswerTimeoutMs = 120 * 1000;
constexpr std::size_t kSendAtOnce = 32 * 1024;  // queued requests leave once they hold this much
constexpr uint32_t kExtendedAttrs = 0x80000000;

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

TKNSftpWire::TKNSftpWire(ssh_session_struct* ssh) : ssh_(ssh) {}

TKNSftpWire::~TKNSftpWire()
{
    if (!channel_) return;
    if (ssh_channel_is_open(channel_)) ssh_channel_close(channel_);
    ssh_channel_free(channel_);
}

bool TKNSftpWire::Broken(std::string& reason, const std::string& why)
{
    status_ = kNoConnection;
    reason = why;
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
    uint8_t type = 0;
    std::string payload;
    if (!ReadPacket(type, payload, reason)) return false;
    TCursor in{payload};
    in.U32();  // the version: 3 is the only one this channel speaks, and every server knows it
    while (in.ok && !in.rest.empty()) {
        extensions_.push_back(in.String());
        in.String();
    }
    if (type != kVersion || !in.ok) return Broken(reason, "The server's SFTP greeting is malformed.");
    return true;
}

bool TKNSftpWire::Offers(const std::string& extension) const
{
    return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
}

uint32_t TKNSftpWire::Send(uint8_t type, const std::string& body)
{
    const uint32_t id = nextId_++;
    std::string packet;
    PutU32(packet, static_cast<uint32_t>(body.size() + 5));
    packet += static_cast<char>(type);
    PutU32(packet, id);
    packet += body;
    queued_ += packet;
    // A failed write leaves the channel broken; the await that follows reports it.
    if (queued_.size() >= kSendAtOnce) {
        std::string ignored;
        SendQueued(ignored);
    }
    return id;
}

bool TKNSftpWire::SendQueued(std::string& reason)
{
    if (queued_.empty()) return true;
    const int sent = ssh_channel_write(channel_, queued_.data(), static_cast<uint32_t>(queued_.size()));
    const bool whole = sent == static_cast<int>(queued_.size());
    queued_.clear();
    return whole || Broken(reason, std::string("The SFTP connection broke: ") + ssh_get_error(ssh_));
}

bool TKNSftpWire::ReadExactly(char* into, std::size_t size, std::string& reason)
{
    while (size > 0) {
        const int n = ssh_channel_read_timeout(channel_, into, static_cast<uint32_t>(size), 0, kAnswerTimeoutMs);
        if (n < 0) return Broken(reason, std::string("The SFTP connection broke: ") + ssh_get_error(ssh_));
        if (n == 0) return Broken(reason, "The SFTP server stopped answering.");
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool TKNSftpWire::ReadPacket(uint8_t& type, std::string& payload, std::string& reason)
{
    char head[5];
    if (!ReadExactly(head, sizeof head, reason)) return false;
    TCursor length{std::string_view(head, 4)};
    const uint32_t size = length.U32();
    if (size < 1 || size > kLongestReply) return Broken(reason, "The SFTP server sent a malformed answer.");
    type = static_cast<uint8_t>(head[4]);
    payload.assign(size - 1, '\0');
    return ReadExactly(payload.data(), payload.size(), reason);
}

bool TKNSftpWire::Await(uint32_t id, TPacket& reply, std::string& reason)
{
    if (!SendQueued(reason)) return false;
    for (auto it = early_.find(id); it == early_.end(); it = early_.find(id)) {
        uint8_t type = 0;
        std::string payload;
        if (!ReadPacket(type, payload, reason)) return false;
        TCursor in{payload};
        const uint32_t got = in.U32();
        if (!in.ok) return Broken(reason, "The SFTP server sent a malformed answer.");
        early_[got] = TPacket{type, std::string(in.rest)};
    }
    auto it = early_.find(id);
    reply = std::move(it->second);
    early_.erase(it);
    return true;
}

bool TKNSftpWire::StatusOf(const TPacket& reply, std::string& reason)
{
    if (reply.Type != kStatusReply) {
        status_ = kFailure;
        reason = "The SFTP server gave an unexpected answer.";
        return false;
    }
    TCursor in{reply.Body};
    status_ = in.U32();
    const std::string message = in.String();
    if (status_ == kOk) return true;
    reason =
        message.empty() ? "The SFTP server refused the request (status " + std::to_string(status_) + ")." : message;
    return false;
}

bool TKNSftpWire::TakeStatus(uint32_t id, std::string& reason)
{
    TPacket reply;
    return Await(id, reply, reason) && StatusOf(reply, reason);
}

bool TKNSftpWire::TakeAttrs(uint32_t id, TKNSftpAttrs& attrs, std::string& reason)
{
    TPacket reply;
    if (!Await(id, reply, reason)) return false;
    if (reply.Type != kAttrsReply) return StatusOf(reply, reason) && Broken(reason, "No attributes were given.");
    TCursor in{reply.Body};
    attrs = in.Attrs();
    status_ = kOk;
    return in.ok || Broken(reason, "The SFTP server sent malformed attributes.");
}

bool TKNSftpWire::OpenFile(const std::string& path, uint32_t flags, const TKNSftpAttrs& attrs, std::string& handle,
                           std::string& reason)
{
    std::string body;
    PutString(body, path);
    PutU32(body, flags);
    PutAttrs(body, attrs);
    TPacket reply;
    if (!Await(Send(kOpen, body), reply, reason)) return false;
    if (reply.Type != kHandleReply) return StatusOf(reply, reason) && Broken(reason, "No handle was given.");
    TCursor in{reply.Body};
    handle = in.String();
    status_ = kOk;
    return in.ok || Broken(reason, "The SFTP server sent a malformed handle.");
}

bool TKNSftpWire::Write(const std::string& handle, uint64_t offset, const char* data, uint32_t size,
                        std::string& reason)
{
    if (writes_.size() >= kWritesInFlight) {
        const uint32_t oldest = writes_.front();
        writes_.pop_front();
        if (!TakeStatus(oldest, reason)) return false;
    }
    std::string body;
    PutString(body, handle);
    PutU64(body, offset);
    PutString(body, std::string_view(data, size));
    writes_.push_back(Send(kWriteRequest, body));
    return true;
}

bool TKNSftpWire::Flush(std::string& reason)
{
    bool ok = true;
    // Every answer is taken, also after a failure, so none is left for a later request.
    while (!writes_.empty()) {
        const uint32_t oldest = writes_.front();
        writes_.pop_front();
        std::string why;
        if (!TakeStatus(oldest, why) && ok) {
            ok = false;
            reason = why;
            if (status_ == kNoConnection) writes_.clear();
        }
    }
    return ok;
}

uint32_t TKNSftpWire::SendFSetStat(const std::string& handle, const TKNSftpAttrs& attrs)
{
    std::string body;
    PutString(body, handle);
    PutAttrs(body, attrs);
    return Send(kFSetStat, body);
}

uint32_t TKNSftpWire::SendFStat(const std::string& handle)
{
    std::string body;
    PutString(body, handle);
    return Send(kFStat, body);
}

uint32_t TKNSftpWire::SendClose(const std::string& handle)
{
    std::string body;
    PutString(body, handle);
    return Send(kClose, body);
}

uint32_t TKNSftpWire::SendLStat(const std::string& path)
{
    std::string body;
    PutString(body, path);
    return Send(kLStat, body);
}

bool TKNSftpWire::Close(const std::string& handle, std::string& reason)
{
    return TakeStatus(SendClose(handle), reason);
}

bool TKNSftpWire::LSetStat(const std::string& path, const TKNSftpAttrs& attrs, std::string& reason)
{
    std::string body;
    PutString(body, "lsetstat@openssh.com");
    PutString(body, path);
    PutAttrs(body, attrs);
    return TakeStatus(Send(kExtended, body), reason);
}

bool TKNSftpWire::PosixRename(const std::string& from, const std::string& to, std::string& reason)
{
    std::string body;
    PutString(body, "posix-rename@openssh.com");
    PutString(body, from);
    PutString(body, to);
    return TakeStatus(Send(kExtended, body), reason);
}

}  // namespace kn
