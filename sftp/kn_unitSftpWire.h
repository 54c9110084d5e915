// A second SFTP channel on an open SSH connection, spoken directly (version 3 of the protocol):
// it carries the requests libssh 0.10 has no call for, namely setting attributes on an open
// handle (FSETSTAT), the servers' atomic replacing rename (posix-rename@openssh.com) and
// uploads with several writes in flight. libssh's own SFTP channel accepts replies only to the
// requests it sent itself, so these go on a channel of their own.
//
// Errors: false with `reason` (the server's text) and `Status()` (its status code, or
// kNoConnection when the channel broke).
//
// Requests are sent without waiting for the answers of those before them wherever the order of
// the answers allows (writes, and the batches of Send.../Take...): a file's end (its attributes
// set and read back, closed, the destination looked at) costs one round trip, not four.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

struct ssh_session_struct;
struct ssh_channel_struct;

namespace kn {

// Attributes as version 3 carries them; a field counts only with its flag.
struct TKNSftpAttrs {
    static constexpr uint32_t kSize = 1, kOwner = 2, kMode = 4, kTimes = 8;
    uint32_t Flags = 0;
    uint64_t Size = 0;
    uint32_t Uid = 0, Gid = 0;
    uint32_t Mode = 0;
    uint32_t ATime = 0, MTime = 0;
};

class TKNSftpWire {
public:
    static constexpr uint32_t kOk = 0, kEof = 1, kNoSuchFile = 2, kDenied = 3, kFailure = 4, kNoConnection = 6;
    static constexpr uint32_t kRead = 1, kWrite = 2, kCreate = 8, kTruncate = 0x10, kExclusive = 0x20;

    explicit TKNSftpWire(ssh_session_struct* ssh);
    ~TKNSftpWire();
    TKNSftpWire(const TKNSftpWire&) = delete;
    TKNSftpWire& operator=(const TKNSftpWire&) = delete;

    // Opens the channel and agrees on the version; false with `reason`.
    bool Start(std::string& reason);
    // True when the server named `extension` among those it offers.
    bool Offers(const std::string& extension) const;
    uint32_t Status() const { return status_; }

    bool OpenFile(const std::string& path, uint32_t flags, const TKNSftpAttrs& attrs, std::string& handle,
                  std::string& reason);
    // Sends a write; at most `inFlight` stay unanswered (the oldest answer is awaited first).
    bool Write(const std::string& handle, uint64_t offset, const char* data, uint32_t size, std::string& reason);
    // Awaits every write still unanswered.
    bool Flush(std::string& reason);
    bool Close(const std::string& handle, std::string& reason);

    // Requests that go out together and are answered in one round trip: each Send... gives the
    // request's id, whose answer TakeStatus or TakeAttrs awaits (each id exactly once). The
    // server answers requests on one handle in the order they were sent.
    uint32_t SendFSetStat(const std::string& handle, const TKNSftpAttrs& attrs);
    uint32_t SendFStat(const std::string& handle);
    uint32_t SendClose(const std::string& handle);
    // The attributes of `path` itself, a link as a link.
    uint32_t SendLStat(const std::string& path);
    bool TakeStatus(uint32_t id, std::string& reason);
    // Attributes, or false with Status() kNoSuchFile for a path that is not there.
    bool TakeAttrs(uint32_t id, TKNSftpAttrs& attrs, std::string& reason);
    // Sets attributes of `path` itself, never of what a link there leads to
    // (lsetstat@openssh.com: check Offers first).
    bool LSetStat(const std::string& path, const TKNSftpAttrs& attrs, std::string& reason);
    // Renames `from` over `to` in one step (posix-rename@openssh.com: check Offers first).
    bool PosixRename(const std::string& from, const std::string& to, std::string& reason);

    // 64 writes of 32 KiB: 2 MiB in flight, what a link of 20 ms needs for 100 MB/s.
    static constexpr std::size_t kWritesInFlight = 64;

private:
    struct TPacket {
        uint8_t Type = 0;
        std::string Body;  // after the type and id
    };
    // Queues a request; queued requests leave together when an answer is awaited or the queue
    // holds a full write, so a batch costs one packet on the link.
    uint32_t Send(uint8_t type, const std::string& body);
    bool SendQueued(std::string& reason);
    bool Await(uint32_t id, TPacket& reply, std::string& reason);
    bool ReadPacket(uint8_t& type, std::string& payload, std::string& reason);
    bool ReadExactly(char* into, std::size_t size, std::string& reason);
    bool StatusOf(const TPacket& reply, std::string& reason);
    bool Broken(std::string& reason, const std::string& why);

    ssh_session_struct* ssh_;
    ssh_channel_struct* channel_ = nullptr;
    uint32_t nextId_ = 1;
    uint32_t status_ = kOk;
    std::vector<std::string> extensions_;
    std::map<uint32_t, TPacket> early_;  // answers that came before the one awaited
    std::deque<uint32_t> writes_;        // unanswered writes, oldest first
    std::string queued_;                 // requests not sent yet
};

}  // namespace kn
