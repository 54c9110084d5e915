// The registry of the kinds of side: a location's scheme picks the side that serves it. This is
// the one place that reads a scheme; everything else asks the side (its TKNSideCaps) or the
// queries below. Adding a kind means one folder for its side and one line in the table of
// kn_unitSideRegistry.cpp.
//
//   "/home/me/site"                  local folder
//   "ftp://user@host/www", "ftps://" FTP, FTP over TLS
//   "sftp://user@host/var/www"       SFTP
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "side/kn_unitSide.h"
#include "side/kn_unitSideKind.h"

namespace kn {

// A side for `location` (with its options, e.g. an FTP location's ";tz="), not yet connected:
// TKNSide::Connect reaches it. Never null: a text without a known scheme is a local folder.
std::unique_ptr<TKNSide> OpenSide(const std::string& location, const TKNSideContext& context);

// True when `location` names a folder on a server rather than on this machine's disks.
bool IsRemoteLocation(std::string_view location);

// How the server of a location proves who it is before anyone logs in, so that a user can be
// asked to trust it (side/kn_unitSideKind.h).
TKNServerTrust ServerTrustOf(std::string_view location);

// True when logging in to `location` takes a password the user must give: a kind that logs in
// only with one (FTP, FTPS) and a user other than "anonymous" (ASCII case ignored; a location
// without a user logs in as that). SFTP tries keys first and asks through its own prompt. False
// for a location its kind cannot read: connecting to it fails and says why.
bool AsksForPassword(std::string_view location);
// True for a local text that names no folder (empty, relative, or "/" alone): such a side
// scans empty, and nothing is ever written or deleted on it.
bool NamesNoFolder(std::string_view location);

// The descriptor of the location's kind (side/kn_unitSideKind.h) where the kind has one: its
// trust is read and recorded through it. Null otherwise.
const TKNSideKind* KindDescriptorOf(std::string_view location);

// Where a location's options begin (an FTP server's ";tz="): they belong to the connection,
// not to the paths of the tree. The length of the text when it has none.
std::size_t LocationOptionsStart(std::string_view location);

}  // namespace kn
