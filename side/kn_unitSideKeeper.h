// Logged-in connections to servers kept for the next side of the same location. A comparison,
// the update after it and the comparison that follows each open a side of the same root; kept,
// one login serves all three (over a slow link a login costs many round trips).
//
// A kind of side keeps a connection only whole (logged in, nothing in flight) when its side goes
// away, under the side's whole location text (scheme, user, password, host, port, path and
// options), and only a side of that very text takes it back; that side checks it before use
// and makes a new one when the server dropped it meanwhile. A connection waits at most
// kKeptLinkSeconds, then a reaper thread closes it; at most kMostKeptLinks wait at once (the
// oldest goes first). Those still waiting when the process exits are left to the system to
// close: the crypto library may be shut by then.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace kn {

constexpr int kKeptLinkSeconds = 30;
constexpr std::size_t kMostKeptLinks = 8;

// A connection as its kind keeps it; closed when destroyed.
class TKNKeptLink {
public:
    virtual ~TKNKeptLink() = default;
};

void KeepLink(const std::string& location, std::unique_ptr<TKNKeptLink> link);
// The connection kept last for `location`, or null.
std::unique_ptr<TKNKeptLink> TakeLink(const std::string& location);
// How many connections wait.
std::size_t KeptLinks();
// Closes every connection that waits, at once.
void DropKeptLinks();

}  // namespace kn
