// The servers whose certificates the user trusted: a text file "known_servers" in the program
// folder (beside the configuration file), one "host:port sha256:HEX" per line, e.g.
//   ftp.example.org:21 sha256:9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
// Lines of another form are kept as they are and otherwise ignored.
#pragma once

#include <string>

namespace kn {

// vex::ProgramFolder() + "/known_servers".
std::string KnownServersFile();

// The fingerprint recorded for `serverKey` ("host:port"); empty when there is none.
std::string RecordedFingerprint(const std::string& serverKey);

// Records `fingerprint` for `serverKey`, replacing an earlier one; the file is written whole
// to a temporary name and renamed over the old one. False with `error` when it cannot be.
bool RecordFingerprint(const std::string& serverKey, const std::string& fingerprint, std::string& error);

}  // namespace kn
