// Trusting the server of a remote side that the comparison refused as not trusted yet (its
// ErrorKind is TKNSideError::Untrusted): the location's kind reads the server's identity and
// records a yes (side/kn_unitSideKind.h), so the window and kestrune-cli ask the same question
// whatever the kind of side.
#pragma once

#include <string>

#include "side/kn_unitSideKind.h"

namespace kn {

// Reads the identity of the server of `folder` without logging in; false for a folder whose
// kind needs no trust. Throws when the server cannot be reached.
bool ReadServerIdentity(const std::string& folder, TKNServerIdentity& identity);

// Records `identity` (as ReadServerIdentity gave it for `folder`) as trusted. Throws when it
// cannot be recorded, or when another one is recorded and `replaceChanged` is not given (or the
// kind never replaces a record: an SSH host key).
void TrustServer(const std::string& folder, const TKNServerIdentity& identity, bool replaceChanged = false);

}  // namespace kn
