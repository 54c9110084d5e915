// The window's question for SFTP hosts that are not known yet: the host and its key's
// fingerprint, recorded in known_hosts when the user says yes.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace kn {

// Asks, for each SFTP folder among `folders` whose host key is not recorded (and did not
// change), whether to trust it. True when at least one key was recorded. A host that cannot be
// reached or whose key changed is not asked about: the comparison's own message says why.
bool OfferToTrustSftpHosts(QWidget* parent, const std::vector<std::string>& folders);

}  // namespace kn
