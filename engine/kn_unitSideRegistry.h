// The registry of the kinds of side: a list of descriptors (side/kn_unitSideKind.h), one line
// per kind in kn_unitSideRegistry.cpp, the one place outside the kinds' folders that names a
// kind. A location's scheme picks its kind; everything else asks the side (its TKNSideCaps) or
// the queries below, which go through the kind's descriptor.
//
//   "/home/me/site"                  local folder (the kind without a scheme takes every other text)
//   "ftp://user@host/www", "ftps://" FTP, FTP over TLS
//   "sftp://user@host/var/www"       SFTP
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "side/kn_unitSide.h"
#include "side/kn_unitSideKind.h"

namespace kn {

// Every kind, in the order of the list: those with schemes first, the local kind last.
const std::vector<const TKNSideKind*>& SideKinds();

// The kind that serves `location`: the one whose scheme it begins with, else the local kind.
const TKNSideKind& KindOfLocation(std::string_view location);

// A side for `location` (with its options, e.g. an FTP location's ";tz="), not yet connected:
// TKNSide::Connect reaches it. Never null: a text without a known scheme is a local folder.
std::unique_ptr<TKNSide> OpenSide(const std::string& location, const TKNSideContext& context);

// True when `location` names a folder on a server (it begins with a kind's scheme) rather than
// on this machine's disks.
bool IsRemoteLocation(std::string_view location);

// How the server of a location proves who it is before anyone logs in, so that a user can be
// asked to trust it (side/kn_unitSideKind.h).
TKNServerTrust ServerTrustOf(std::string_view location);

// The one password rule of both programs: true when `location` names a user, gives no password,
// and its kind needs one the user must give to log in (TKNSideKind::AsksForPassword). Then the
// window and kestrune-cli ask the user unless the secret store (or, on the command line,
// KESTRUNE_PASSWORD) has it.
bool AsksForPassword(std::string_view location);

// True for a text that names no folder (a local text that is empty, relative, or "/" alone):
// such a side scans empty, and nothing is ever written or deleted on it.
bool NamesNoFolder(std::string_view location);

// Where a location's options begin (an FTP server's ";tz="): they belong to the connection,
// not to the paths of the tree. The length of the text when it has none.
std::size_t LocationOptionsStart(std::string_view location);

// `text` with the password of every location of every kind in it removed, so that whatever is
// shown or printed names only the user: "Failed to copy \"sftp://joe:pw@host/a\"" gives
// "Failed to copy \"sftp://joe@host/a\"".
std::string HideLocationPasswords(std::string_view text);

}  // namespace kn
