// The window's questions for remote sides: servers not trusted yet (an SFTP host key, an FTPS
// certificate: the server and the fingerprint, recorded when the user says yes), key
// passphrases and passwords.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace kn {

// Asks, for each SFTP or FTPS folder among `folders` whose server is not trusted yet, whether
// to trust it. True when at least one was recorded. A server whose recorded key or certificate
// changed is not asked about (its warning is the comparison's own message); one that cannot be
// reached is skipped.
bool OfferToTrustServers(QWidget* parent, const std::vector<std::string>& folders);

// Makes SFTP logins ask for passphrases and passwords in a box over `parent` (nullptr: no
// longer ask).
void InstallSftpPrompts(QWidget* parent);

}  // namespace kn
