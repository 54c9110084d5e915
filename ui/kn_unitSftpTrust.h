// The window's questions for SFTP sides: hosts not known yet (the host and its key's
// fingerprint, recorded in known_hosts when the user says yes), key passphrases and passwords.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace kn {

// Asks, for each SFTP folder among `folders` whose host key is not recorded (and did not
// change), whether to trust it. True when at least one key was recorded. A host that cannot be
// reached or whose key changed is not asked about: the comparison's own message says why.
bool OfferToTrustSftpHosts(QWidget* parent, const std::vector<std::string>& folders);

// Makes SFTP logins ask for passphrases and passwords in a box over `parent` (nullptr: no
// longer ask).
void InstallSftpPrompts(QWidget* parent);

}  // namespace kn
