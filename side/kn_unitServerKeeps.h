// What a server was found not to keep, remembered across runs: a text file "server_keeps" in
// the program folder, beside the record of the servers the user trusted, one line per server:
//   sftp://me@host:22 no-modes 644,755
// "no-modes" says the server keeps no permission bits of its own choosing: the bits it showed
// in their place follow (octal), so that a later file kept with other bits shows that it keeps
// them again. The kinds record and read it through this unit; the comparison then shows no
// permission difference that can never be settled there.
//
// Errors: reading never fails (a missing or unreadable file records nothing); Record returns
// false with a message ready to be shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kn {

struct TKNServerKeeps {
    bool Modes = true;
    std::vector<uint32_t> ShownModes;  // where !Modes: the bits the server showed instead

    // Bits `kept` as asked show that the server keeps permission bits again, unless they are
    // ones it shows of its own.
    bool ShowsModesKept(uint32_t asked, uint32_t kept) const;
};

// The program folder's "server_keeps".
std::string ServerKeepsFile();

// What is recorded for `server` ("scheme://user@host:port"); everything kept when nothing is.
TKNServerKeeps RecordedServerKeeps(const std::string& server);

// Records `keeps` for `server`, replacing its line (removing it where everything is kept).
bool RecordServerKeeps(const std::string& server, const TKNServerKeeps& keeps, std::string& error);

}  // namespace kn
