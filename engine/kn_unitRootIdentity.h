// What a root of a comparison is, whatever text named it: a local folder by its device and
// inode (a bind mount of it, a link to it, "L/" and "./L" are one root), a folder on a server by
// the server and its canonical path there (TKNSide::Identity). A run's two roots must be neither
// one folder nor one inside the other, and the state of a two-way run is keyed by them.
//
// Errors: RootIdentityOf returns false with a message; nothing throws.
#pragma once

#include <string>

namespace kn {

struct TKNRootIdentity {
    // "local DEVICE:INODE", or a server's "scheme://user@host:port/canonical/path"; the text of
    // the location (without its password) where nothing better is known.
    std::string Key;
    bool Local = false;
    std::string Server;  // a server's "scheme://user@host:port"; empty for a local folder
    std::string Path;    // the canonical path: locally, links resolved; on a server, as it tells it
};

// The identity of `location`: a local folder by its status and canonical path (no side is
// opened); a server's by connecting its side through the registry (whose connection the next
// side of the location takes over). False with `error` when a local folder cannot be reached;
// a server that tells no canonical path is known by its text.
bool RootIdentityOf(const std::string& location, TKNRootIdentity& identity, std::string& error);

// The identity a side told after its Connect (TKNSide::Identity) for `location`, its text where
// it told none.
TKNRootIdentity SideRootIdentity(const std::string& location, const std::string& told);

// Why two roots must not be run together, named as `leftShown` and `rightShown`: "The folders
// "L" and "R" are one folder." or "The folder "L/sub" lies inside "R"."; empty when they may.
// Locally every folder above one root is compared with the other by device and inode, so a
// folder beneath a bind mount of the other is found inside it.
std::string RootsProblem(const TKNRootIdentity& left, const TKNRootIdentity& right, const std::string& leftShown,
                         const std::string& rightShown);

}  // namespace kn
