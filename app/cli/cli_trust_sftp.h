// Recording the host key of an SFTP server in ~/.ssh/known_hosts, for `kestrune-cli trust`.
#pragma once

#include <string>

namespace cli {

// Shows the key of the server `location` names and records it when `yes` is set or the user
// answers "y" on standard input. A key already recorded is left; a changed key is never
// replaced (a loud warning, exit status 1). Returns the exit status.
int TrustSftpLocation(const std::string& location, bool yes);

}  // namespace cli
