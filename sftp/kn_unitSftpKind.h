// The SFTP kind as the registry knows it: sftp: locations (kn_unitSftpLocation.h), whose servers
// are trusted by their SSH host keys, recorded in the user's ~/.ssh/known_hosts as ssh does.
#pragma once

#include "side/kn_unitSideKind.h"

namespace kn {

const TKNSideKind& SftpSideKind();

}  // namespace kn
