// The object store kind of side as the registry knows it: "s3://" buckets over HTTPS (or plain
// HTTP with ";http"), path-style (kn_unitS3Location.h), its side (kn_unitS3Side.h), the secret
// rule, and the trust an HTTPS endpoint needs: a certificate the system's store verifies for
// the host, or one the user trusted by its fingerprint (tls/kn_unitKnownServers.h).
#pragma once

#include "side/kn_unitSideKind.h"

namespace kn {

const TKNSideKind& S3SideKind();

}  // namespace kn
