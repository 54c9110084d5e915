// Trusting the server of a remote side that the comparison refused as unknown: the host key of
// an SFTP server (recorded in ~/.ssh/known_hosts) or the certificate of an FTP-over-TLS server
// (recorded in known_servers beside the configuration file). One mechanism for both, so the
// window asks the same question whatever the kind of side.
#pragma once

#include <string>

#include "side/kn_unitSideKind.h"

namespace kn {

// True when a comparison's error says a server is not trusted yet (an SFTP host not known, an
// FTPS certificate that does not pass), which a recorded yes mends.
bool IsUntrustedServerMessage(const std::string& message);

// Reads the identity of the server of an SFTP or FTPS folder without logging in; false for any
// other folder. Throws when the server cannot be reached.
bool ReadServerIdentity(const std::string& folder, TKNServerIdentity& identity);

// Records `identity` (as ReadServerIdentity gave it for `folder`) as trusted. Throws when it
// cannot be recorded, or when another one is recorded: that is never replaced here.
void TrustServer(const std::string& folder, const TKNServerIdentity& identity);

}  // namespace kn
