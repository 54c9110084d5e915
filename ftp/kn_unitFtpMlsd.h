// Reading one line of an MLSD listing (RFC 3659, section 7): facts, one blank, the name.
//   "type=file;size=1048576;modify=20190307140512;UNIX.mode=0644; old.bin"
//   "type=dir;modify=20240101000000.123; docs"
// Fact names are read in any letter case. "type" is file, dir, cdir or pdir (the listed folder
// and its parent, skipped), or OS.unix=slink[:target] / OS.unix=symlink for a link. "modify" is
// UTC to the second (a fraction is dropped); a missing or nonsensical one leaves the entry with
// an unknown time (vex::kNoTime) rather than dropping it. "size" (or "sizd" for folders) is the
// size; a missing one is 0. "UNIX.mode" (its owner write bit) or else "perm" (the rights of
// the login: "w" for a file; "c", "m" or "p" for a folder) tell whether the entry is read-only;
// with neither, or for a link, that stays unknown.
#pragma once

#include <cstdint>
#include <string_view>

#include "ftp/kn_unitFtpListing.h"

namespace kn {

// Fills `item` from `line`, times turned local by `utcOffset` seconds. False when the line has
// no fact part or no name; `skip` tells an entry for the folder itself or its parent.
bool ParseMlsdLine(std::string_view line, int64_t utcOffset, TKNFtpListItem& item, bool& skip);

// The UNIX.mode fact of an MLSD or MLST entry line (facts, blank, name); -1 when it has none.
int MlsdUnixMode(std::string_view line);

// "YYYYMMDDHHMMSS" (a trailing ".fff" allowed) as Unix seconds; false when it is no such time.
bool ParseMlsdTime(std::string_view text, int64_t& unixSeconds);

}  // namespace kn
