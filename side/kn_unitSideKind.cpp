#include "side/kn_unitSideKind.h"

#include <stdexcept>

namespace kn {

TKNServerIdentity TKNSideKind::ReadIdentity(const std::string& location) const
{
    throw std::runtime_error("The server of \"" + HidePasswords(location) + "\" needs no trust.");
}

void TKNSideKind::TrustIdentity(const std::string& location, const TKNServerIdentity&) const
{
    throw std::runtime_error("The server of \"" + HidePasswords(location) + "\" needs no trust.");
}

}  // namespace kn
