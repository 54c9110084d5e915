// The trust of an HTTPS server for every kind that speaks HTTP: its identity read from the
// handshake, judged by the system's store or the fingerprint the user recorded for host:port
// (tls/kn_unitKnownServers.h), and a yes recorded. Errors: both throw std::runtime_error with a
// message ready to be shown.
#pragma once

#include "http/kn_unitHttpClient.h"
#include "side/kn_unitSideKind.h"

namespace kn {

// Throws when no handshake could be made.
TKNServerIdentity ReadHttpsIdentity(const TKNHttpEndpoint& endpoint);
// Throws when another fingerprint is recorded and `replaceChanged` is false, or when it cannot
// be recorded.
void TrustHttpsIdentity(const TKNServerIdentity& identity, bool replaceChanged);

}  // namespace kn
