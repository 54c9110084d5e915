#include "engine/kn_unitServerTrust.h"

#include "engine/kn_unitSideRegistry.h"

namespace kn {

bool ReadServerIdentity(const std::string& folder, TKNServerIdentity& identity)
{
    const TKNSideKind& kind = KindOfLocation(folder);
    if (kind.Trust(folder) == TKNServerTrust::None) return false;
    identity = kind.ReadIdentity(folder);
    return true;
}

void TrustServer(const std::string& folder, const TKNServerIdentity& identity, bool replaceChanged)
{
    KindOfLocation(folder).TrustIdentity(folder, identity, replaceChanged);
}

}  // namespace kn
