// The window's questions for remote sides: servers not trusted yet (an SSH host key, a TLS
// certificate: the server and the fingerprint, recorded when the user says yes), and what a side
// asks while it logs in (key passphrases, passwords).
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace kn {

// Asks, for each folder among `folders` whose server is not trusted yet (its kind reads the
// server's identity), whether to trust it. True when at least one was recorded. A server whose
// recorded key or certificate changed is not asked about (its warning is the comparison's own
// message); one that cannot be reached is skipped.
bool OfferToTrustServers(QWidget* parent, const std::vector<std::string>& folders);

// Makes the sides' logins ask for passphrases and passwords in a box over `parent` (nullptr: no
// longer ask).
void InstallSidePrompts(QWidget* parent);

}  // namespace kn
