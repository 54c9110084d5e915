// The FTP and FTPS side: a folder on a server (ftp://, ftps://, see kn_unitFtpLocation.h)
// behind the one side interface, over the program's client TKNIdFTP.
//
// How it keeps the interface's promises on a server:
// - Listings use MLSD where FEAT offers MLST (times to the second), else "LIST -a" where the
//   server understands it (times to the minute, or the day for old files; Stat then asks MDTM
//   for the second), else plain LIST. Caps().DotEntries turns false, with one notice, when the
//   server refuses "-a" (or reads it as a name), or when the first upload's temporary, whose
//   name begins with ".", is missing from the listing: names that begin with "." may then
//   exist there unseen. A listing that fails is a failure, never an empty folder.
// - Writes go to a temporary name (TempName) beside the destination with STOR; Commit checks
//   the server's SIZE of it, sets its time (MFMT, SITE UTIME or the two-argument MDTM) and its
//   permission bits (SITE CHMOD, read back), checks that the destination is still what the
//   comparison saw, and renames it over the destination (RNFR, RNTO); any failure deletes it.
// - Times: the first file listed to the minute (the first upload's temporary at the latest)
//   shows how MDTM relates to the listing: a whole number of hours (a server reading and
//   setting MDTM in its local zone) is learned and applied both ways; any other disagreement
//   stops setting times, with one notice. With ";tz=" in the location, the listing's LIST
//   times are in that zone, so MDTM is learned against the right times.
// - Permissions: SITE CHMOD is asked once per connection; a server that refuses it, or does not
//   keep the bits it was told (read back with MLST or the listing), makes SetMode answer
//   Unsupported from then on, with one notice.
// - Links: a server tells of links only in some listings (a LIST line "l...", an MLSD type
//   OS.unix=symlink or OS.unix=slink, both reported as Link). Many servers follow links in
//   MLSD and MLST and show what they lead to, so a link cannot be told from a file or folder
//   there: on such a server the side cannot refuse to act through a link, and it relies on the
//   server keeping every path inside the login's root (pyftpdlib refuses paths that lead
//   outside; vsftpd's anonymous login is confined to its root).
// - Names: besides "/", a name may not hold "\" (a separator to many servers), CR or LF (which
//   would end a command); such names are dropped from listings and refused as BadName.
//
// Errors follow the interface: results with a kind, never exceptions. A lost connection is
// opened again for the next call; a connection that cannot be opened gives kind Connection.
// A side gone leaves its free connections to the next side of its location
// (side/kn_unitSideKeeper.h), which first enters the root on each by its path; a root at the
// server's top keeps none.
#pragma once

#include <memory>
#include <string>

#include "side/kn_unitSide.h"

namespace kn {

// A side for an FTP location; Connect reaches it. Nothing is sent before Connect.
std::unique_ptr<TKNSide> OpenFtpSide(const std::string& location, const TKNSideContext& context);

}  // namespace kn
