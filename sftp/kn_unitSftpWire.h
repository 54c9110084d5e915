// A second SFTP channel on an open SSH connection, spoken directly (version 3 of the protocol):
// it carries the side's file transfers, listings and the requests libssh 0.10 has no call for
// (setting attributes on an open handle, the servers' atomic replacing rename
// posix-rename@openssh.com). libssh's own SFTP channel accepts replies only to the requests it
// sent itself, so these go on a channel of their own.
//
// Many requests are in flight at once. Each request may carry a continuation, run with its
// answer whenever that answer is read, during whichever wait reads it; a continuation may send
// further requests (a read ahead once a handle came) but never waits. So every file in flight
// moves on while any one of them is waited for, and a group of files costs the round trips of
// one file, not of each. The server answers requests on one handle in the order they were sent.
//
// Errors: a reply carries its status (kOk, the server's code, or kNoConnection when the channel
// broke); a channel that broke answers every request still in flight, and every later one at
// once, with kNoConnection. The synchronous calls return false with `reason`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
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

// One name of a folder listing with its attributes.
struct TKNSftpName {
    std::string Name;
    TKNSftpAttrs Attrs;
};

// The answer to one request.
class TKNSftpReply {
public:
    static constexpr uint8_t kStatus = 101, kHandle = 102, kData = 103, kName = 104, kAttrs = 105;

    TKNSftpReply() = default;  // a channel that broke: no answer
    // `type` 0 is no answer, with why in `payload`.
    TKNSftpReply(uint8_t type, std::string payload) : type_(type), payload_(std::move(payload)) {}

    // kOk when the answer is of the `expected` type (or a status OK where a status is expected);
    // otherwise the server's status code with its text in `reason`, kFailure for an answer of
    // another type or a malformed one, kNoConnection for none.
    uint32_t Status(uint8_t expected, std::string& reason) const;
    std::string Handle() const;
    TKNSftpAttrs Attrs() const;
    // The bytes of a data answer (a view into the answer itself: no copy).
    std::string_view Data() const;
    // The names of a name answer; false when malformed.
    bool Names(std::vector<TKNSftpName>& names) const;

private:
    std::string_view Body() const;  // after the id
    uint8_t type_ = 0;
    std::string payload_;  // the id and what follows it
};

// A continuation: it may take the answer's bytes (move them).
using TKNSftpThen = std::function<void(TKNSftpReply&)>;

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
    // False once the channel broke.
    bool Alive() const { return !broken_; }
    // Alive, with nothing queued or in flight: another user may take it over.
    bool Idle() const { return !broken_ && pending_.empty() && queued_.empty() && inAt_ == inEnd_; }
    // Reads the answers still due (a close not waited for), dropping what their continuations
    // would do with them; then Idle() unless the channel broke.
    bool Settle(std::string& reason);

    // Requests whose answers go to `then` (which may be empty: the answer is dropped). They
    // leave when an answer is waited for, or once enough is queued to fill a packet.
    void SendOpen(const std::string& path, uint32_t flags, const TKNSftpAttrs& attrs, TKNSftpThen then);
    void SendClose(const std::string& handle, TKNSftpThen then);
    void SendRead(const std::string& handle, uint64_t offset, uint32_t length, TKNSftpThen then);
    // A write; it first waits while kWritesInFlight writes are unanswered.
    void SendWrite(const std::string& handle, uint64_t offset, std::string_view data, TKNSftpThen then);
    void SendStat(const std::string& path, TKNSftpThen then);      // a link followed
    void SendLStat(const std::string& path, TKNSftpThen then);     // a link as a link
    void SendRealPath(const std::string& path, TKNSftpThen then);  // its canonical form (a name answer)
    void SendReadLink(const std::string& path, TKNSftpThen then);  // a link's text (a name answer)
    void SendFStat(const std::string& handle, TKNSftpThen then);
    void SendFSetStat(const std::string& handle, const TKNSftpAttrs& attrs, TKNSftpThen then);
    void SendRemove(const std::string& path, TKNSftpThen then);
    // A plain rename, which never replaces an entry at `to` on OpenSSH's server.
    void SendRename(const std::string& from, const std::string& to, TKNSftpThen then);
    void SendOpenDir(const std::string& path, TKNSftpThen then);
    void SendReadDir(const std::string& handle, TKNSftpThen then);

    // Sends what is queued and reads answers, running their continuations, until `done` holds;
    // false (with `reason`) when the channel broke first.
    bool WaitFor(const std::function<bool()>& done, std::string& reason);

    // Synchronous requests: false with `reason` and Status().
    // The attributes of what `path` names, a link followed.
    bool Stat(const std::string& path, TKNSftpAttrs& attrs, std::string& reason);
    // Sets attributes of `path` itself, never of what a link there leads to
    // (lsetstat@openssh.com: check Offers first).
    bool LSetStat(const std::string& path, const TKNSftpAttrs& attrs, std::string& reason);
    bool Rename(const std::string& from, const std::string& to, std::string& reason);
    bool Remove(const std::string& path, std::string& reason);
    // The symlink request with its two paths in the order given: which one a server takes for
    // the link differs (the protocol's draft names the link first, OpenSSH's server the target).
    bool Symlink(const std::string& first, const std::string& second, std::string& reason);
    // Renames `from` over `to` in one step (posix-rename@openssh.com: check Offers first).
    bool PosixRename(const std::string& from, const std::string& to, std::string& reason);
    // Gives the file `from` the new name `to`, never replacing an entry there
    // (hardlink@openssh.com: check Offers first).
    bool HardLink(const std::string& from, const std::string& to, std::string& reason);
    uint32_t Status() const { return status_; }

    // The deepest chain of answers so far: a request the caller sends is one round trip deeper
    // than the deepest answer read before it, one a continuation sends one deeper than the
    // answer that ran it. Over a slow link the time spent is about this many round trips.
    int RoundTrips() const { return deepest_; }

    // 64 writes of 32 KiB: 2 MiB in flight, what a link of 20 ms needs for 100 MB/s.
    static constexpr std::size_t kWritesInFlight = 64;
    // The bytes the server may send ahead of what was read: room for the reads in flight.
    static constexpr std::size_t kReceiveWindow = 4 << 20;

private:
    struct TPending {
        int Depth = 0;
        TKNSftpThen Then;
    };
    void Send(uint8_t type, std::string_view body, TKNSftpThen then, std::string_view data = {});
    bool SendQueued(std::string& reason);
    bool ReadOne(std::string& reason);
    bool ReadExactly(char* into, std::size_t size, std::string& reason);
    bool Call(uint8_t type, std::string_view body, std::string& reason);
    // An extended request that names two paths.
    bool CallTwoPaths(const char* request, const std::string& from, const std::string& to, std::string& reason);
    bool Broken(std::string& reason, const std::string& why);

    ssh_session_struct* ssh_;
    ssh_channel_struct* channel_ = nullptr;
    uint32_t nextId_ = 1;
    uint32_t status_ = kOk;
    bool broken_ = false;
    std::vector<std::string> extensions_;
    std::unordered_map<uint32_t, TPending> pending_;  // by request id
    std::string queued_;                              // requests not sent yet
    std::vector<char> inbox_;                         // received, not read yet: [inAt_, inEnd_)
    std::size_t inAt_ = 0, inEnd_ = 0;
    std::size_t sinceWidened_ = 0;  // bytes received since the window was last widened
    std::size_t writesOut_ = 0;     // unanswered writes
    int deepest_ = 0;               // the deepest answer read
    int running_ = -1;              // the depth of the answer whose continuation runs
};

}  // namespace kn
