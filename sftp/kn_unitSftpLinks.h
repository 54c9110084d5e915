// Logged-in SFTP connections kept for the next side of the same location. A comparison, the
// update after it and the comparison that follows each open a side of the same root; kept, the
// one login serves all three (over a slow link a login costs about twenty round trips).
//
// A connection is kept only whole: still connected, with nothing in flight. It waits at most
// kSftpLinkIdleSeconds, then a reaper thread closes it; at most kMostSftpLinks wait at once
// (the oldest goes first). Nothing but a side of the very same location text (user, password,
// host, port and path) takes it, and the side checks it before use: a connection the server
// dropped meanwhile is closed and a new one made.
#pragma once

#include <memory>
#include <string>

#include "sftp/kn_unitSftpSession.h"
#include "sftp/kn_unitSftpWire.h"

namespace kn {

constexpr int kSftpLinkIdleSeconds = 30;
constexpr std::size_t kMostSftpLinks = 8;

// One connection: the session and the side's own channel on it (closed first).
struct TKNSftpLink {
    std::unique_ptr<TKNSftpSession> Session;
    std::unique_ptr<TKNSftpWire> Wire;
};

// Keeps `link` for `location` when it is whole; else it is closed here.
void KeepSftpLink(const std::string& location, TKNSftpLink link);
// The connection kept last for `location`, or an empty link.
TKNSftpLink TakeSftpLink(const std::string& location);
// How many connections wait (for tests).
std::size_t KeptSftpLinks();

}  // namespace kn
