// Reads one server file from its start on the wire, with many requests in flight and every step
// sent as the answer before it comes, so that several files read at once share their round
// trips: the path's attributes (a link followed); only a regular file is then opened (a FIFO
// would block the server's reader); once the handle comes, the handle's attributes (the path may
// name another file since) and the first reads leave together; the close leaves after the last
// byte came and is not waited for. Downloads write what it reads to disk; a content comparison
// compares it block by block and may stop early, and a reader given up closes its file when it
// can without keeping anyone waiting.
//
// The reads adapt to the server: the first request goes alone, and a reply shorter than asked
// (a server that gives at most 32 KiB) sets the size of the requests after it; the missing rest
// of a short reply is asked again at once, and data is delivered in order. Requests cover the
// size the open file had, never past it; an end before it means the file shrank (kChanged).
//
// Errors: Read gives -1 with `status` (the wire's code: kNoSuchFile, kDenied, kNoConnection, the
// server's others; or kNotAFile, kChanged, kALink below) and a reason. A link at the path is
// never read through (what it leads to may lie outside the root).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "sftp/kn_unitSftpWire.h"

namespace kn {

class TKNSftpReader : public std::enable_shared_from_this<TKNSftpReader> {
public:
    static constexpr uint32_t kNotAFile = 1000, kChanged = 1001, kALink = 1002;

    // Sends the first request for `path`; the answers drive the rest.
    static std::shared_ptr<TKNSftpReader> Start(TKNSftpWire& wire, const std::string& path);
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 with `status` and `reason`.
    int64_t Read(char* buffer, std::size_t size, uint32_t& status, std::string& reason);
    // Nothing more will be read: the file is closed as soon as its handle is known, and the
    // answers still to come are dropped.
    void GiveUp();

    explicit TKNSftpReader(TKNSftpWire& wire);

private:
    struct TSlot {
        uint64_t Offset = 0;
        uint32_t Length = 0;
        bool Answered = false;
        TKNSftpReply Reply;
    };
    bool TakeSize(TKNSftpReply& reply);
    void OnAttrs(TKNSftpReply& reply);
    void OnHandle(TKNSftpReply& reply);
    void OnHandleAttrs(TKNSftpReply& reply);
    void OnData(uint64_t offset, TKNSftpReply& reply);
    void Fail(uint32_t status, const std::string& reason);
    void Refill();
    void Request(uint64_t offset, uint32_t length, std::deque<TSlot>::iterator before);
    void CloseWhenDone();
    bool AtEnd() const;
    bool Ready() const;

    TKNSftpWire& wire_;
    std::string path_, handle_;
    std::deque<TSlot> slots_;  // requests in the order of their offsets, answered or not
    TKNSftpReply block_;       // the answer being delivered
    std::string_view rest_;    // its bytes not delivered yet
    uint64_t size_ = 0;        // the size of the open file (of the path until the handle's came)
    bool sized_ = false;       // the open handle's attributes came
    uint64_t delivered_ = 0;   // delivered in order so far
    uint64_t next_ = 0;        // where the next new request starts
    uint32_t request_;         // the size of new requests
    uint32_t largest_ = 0;     // the largest reply so far
    bool probing_ = true;      // no reply seen yet: one request at a time
    bool closed_ = false, givenUp_ = false;
    uint32_t status_ = TKNSftpWire::kOk;
    std::string reason_;
};

}  // namespace kn
