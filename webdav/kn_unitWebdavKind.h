// The WebDAV kind of side as the registry knows it: "dav://" over HTTP and "davs://" over HTTPS
// (kn_unitWebdavLocation.h), its side (kn_unitWebdavSide.h), the password rule, and the trust a
// "davs" server needs: a certificate the system's store verifies for the host, or one the user
// trusted by its fingerprint (tls/kn_unitKnownServers.h).
#pragma once

#include "side/kn_unitSideKind.h"

namespace kn {

const TKNSideKind& WebdavSideKind();

}  // namespace kn
